#include <gtest/gtest.h>

#include "procedure/prompts.h"
#include "run_fakes.h"
#include "support/fake_clock.h"

namespace librato {
namespace {

using testing::FakeClock;
using testing::FakeResolver;
using testing::FakeRunView;
using testing::Played;
using testing::RecordingSound;

constexpr bool kWait = true;
constexpr bool kLeave = false;

struct PromptsFixture : ::testing::Test {
  FakeRunView view;
  RecordingSound sound;
  FakeResolver files;
  FakeClock clock;
  AcquisitionShared shared;
  Prompts prompts{view, sound, files.resolver(), clock, shared};
};

// ------------------------------------------------------------ placing prompt

TEST_F(PromptsFixture, ReferencePlacementAtStartShowsA0AndLeavesSampleSoundPlaying) {
  SessionParameters p;
  prompts.PromptPlace({ProcedureStep::ReadInitWeight, -1, 0, &p});
  EXPECT_EQ(view.hint, "A0");
  EXPECT_EQ(view.hintSmall, "Поставьте эталонную гирю");
  EXPECT_EQ(sound.played, (std::vector<Played>{{"Sounds/Sample_Puton.wav", kLeave}}));

  sound.played.clear();
  prompts.PromptPlace({ProcedureStep::WaitForA, 0, 0, &p});
  EXPECT_EQ(view.hint, "A1");
  EXPECT_EQ(sound.played, (std::vector<Played>{{"Sounds/Sample_Puton.wav", kLeave}}));
}

struct TestPlacementCase {
  const char* name;
  bool sko, numbersOn, voiceOn;
  std::map<int, std::string> numbers;
  std::string small;
  std::vector<Played> sounds;
};

TEST_F(PromptsFixture, TestWeightPlacementTextsAndSounds) {
  // Group cycles; two B readings recorded, so the coming one is weight 3.
  const std::vector<TestPlacementCase> cases = {
      {"numbers voiced",
       false,
       true,
       true,
       {{3, "12"}},
       "Поставьте проверяемую гирю № 12",
       {{"Sounds/Load_Puton.wav", kWait},
        {"Sounds/Number.wav", kWait},
        {"Sounds/1.wav", kWait},
        {"Sounds/2.wav", kWait}}},
      {"voicing on, weight without number",
       false,
       true,
       true,
       {{2, "7"}},
       "Поставьте проверяемую гирю",
       {{"Sounds/Load_Puton.wav", kWait}, {"Sounds/Without_Number.wav", kWait}}},
      {"numbers shown, voicing off",
       false,
       true,
       false,
       {{3, "12"}},
       "Поставьте проверяемую гирю № 12",
       {{"Sounds/Load_Puton.wav", kWait}}},
      {"numbers not in use",
       false,
       false,
       true,
       {{3, "12"}},
       "Поставьте проверяемую гирю",
       {{"Sounds/Load_Puton.wav", kWait}}},
      {"standard deviation mode names the reference",
       true,
       true,
       true,
       {{3, "12"}},
       "Поставьте эталонную гирю",
       {{"Sounds/Sample_Puton.wav", kLeave}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SessionParameters p;
    p.GroupCycle = true;
    p.DetermineSKO = c.sko;
    view.numbers = c.numbers;
    view.numbersOn = c.numbersOn;
    view.voiceOn = c.voiceOn;
    sound.played.clear();
    prompts.PromptPlace({ProcedureStep::WaitForB, 3, 2, &p});
    EXPECT_EQ(view.hint, "B3");
    EXPECT_EQ(view.hintSmall, c.small);
    EXPECT_EQ(sound.played, c.sounds);
  }
}

TEST_F(PromptsFixture, IndividualAbbaWithTwoCyclesPromptsWeightsByPlacement) {
  SessionParameters p;
  p.GroupCycle = false;
  p.MethodABA = false;
  p.CyclesToWeight = 2;
  view.numbersOn = true;
  view.numbers = {{1, "W1"}, {2, "W2"}, {3, "W3"}};
  for (int b = 1; b <= 9; ++b) {
    prompts.PromptPlace({ProcedureStep::WaitForB, 1, b - 1, &p});
    const std::string expected = b <= 4 ? "W1" : b <= 8 ? "W2" : "W3";
    EXPECT_EQ(view.hintSmall, "Поставьте проверяемую гирю № " + expected) << "B" << b;
    EXPECT_EQ(view.hint, "B" + std::to_string(b));
  }
}

TEST(PromptsRule, TestWeightOfNextB) {
  struct Case {
    bool group, aba;
    int cycles, bCount, weight;
  };
  const Case cases[] = {
      {true, false, 3, 0, 1},  {true, true, 1, 4, 5},   {false, true, 1, 0, 1},
      {false, true, 1, 1, 2},  {false, true, 3, 2, 1},  {false, true, 3, 3, 2},
      {false, false, 1, 1, 1}, {false, false, 1, 2, 2}, {false, false, 2, 7, 2},
      {false, false, 2, 8, 3},
  };
  for (const auto& c : cases) {
    SessionParameters p;
    p.GroupCycle = c.group;
    p.MethodABA = c.aba;
    p.CyclesToWeight = c.cycles;
    EXPECT_EQ(Prompts::TestWeightOfNextB(c.bCount, p), c.weight)
        << c.group << c.aba << c.cycles << " b=" << c.bCount;
  }
}

// ------------------------------------------------------------ other prompts

TEST_F(PromptsFixture, RemoveTareEndAndPlainSounds) {
  const DateTime t0 = clock.now();
  prompts.PromptRemove();
  EXPECT_EQ(view.hintSmall, "Снимите гирю");
  EXPECT_EQ(view.hint, " 0 ");
  prompts.PromptTare();
  EXPECT_EQ(view.hintSmall, "Обнулите показания");
  EXPECT_EQ(view.hint, "0/T");
  EXPECT_NEAR(ToSeconds(clock.now() - t0), 2.5, 1e-6);
  prompts.PromptEnd();
  EXPECT_EQ(view.hintSmall, "Проверка закончена");
  EXPECT_EQ(view.hint, "");
  prompts.PlayNotify();
  prompts.PlayStartWarning();
  EXPECT_EQ(sound.played, (std::vector<Played>{{"Sounds/Putoff.wav", kWait},
                                               {"Sounds/Tare.wav", kLeave},
                                               {"Sounds/End.wav", kLeave},
                                               {"Sounds/notify.wav", kLeave},
                                               {"Sounds/StartWarning.wav", kWait}}));
}

TEST_F(PromptsFixture, MissingFilesAreSkippedButTextsAndTarePauseStay) {
  files.all_missing = true;
  SessionParameters p;
  view.numbersOn = view.voiceOn = true;
  view.numbers = {{1, "5"}};
  const DateTime t0 = clock.now();
  prompts.PromptPlace({ProcedureStep::WaitForB, 1, 0, &p});
  EXPECT_EQ(view.hintSmall, "Поставьте проверяемую гирю № 5");
  prompts.PromptTare();
  EXPECT_EQ(view.hint, "0/T");
  prompts.PromptRemove();
  EXPECT_EQ(view.hint, " 0 ");
  EXPECT_TRUE(sound.played.empty());
  EXPECT_NEAR(ToSeconds(clock.now() - t0), 2.5, 1e-6);

  // One missing character file does not stop the others.
  files.all_missing = false;
  files.missing = {"Sounds/Q.wav"};
  view.numbers = {{1, "1Q2"}};
  prompts.VoiceNumber(1);
  EXPECT_EQ(sound.played, (std::vector<Played>{{"Sounds/1.wav", kWait}, {"Sounds/2.wav", kWait}}));
}

// ------------------------------------------------------------ number voicing

TEST(PromptsChars, OnlySafeSingleCharactersAreVoiceable) {
  struct Case {
    std::string c;
    bool ok;
  };
  const Case cases[] = {
      {"7", true},
      {"A", true},
      {"А", true},  // Cyrillic А
      {"Ж", true},
      {"-", true},
      {"/", false},
      {"\\", false},
      {".", false},
      {"\n", false},
      {std::string(1, '\0'), false},
      {"\x7f", false},
      {"\xC2\x85", false},  // U+0085, a C1 control
      {"ab", false},
      {"", false},
      {"\xD0", false},      // cut UTF-8
      {"\xC0\xAE", false},  // overlong '.'
      {"\xE0\x80\xAE", false},
  };
  for (const auto& c : cases) EXPECT_EQ(Prompts::IsVoiceableChar(c.c), c.ok) << c.c;
}

TEST_F(PromptsFixture, NumberCharactersAreVoicedAsCodePointsWithoutLeavingTheFolder) {
  view.numbers = {{1, "АБ12"}, {2, "../x"}, {3, "a\\b/c"}};
  prompts.VoiceNumber(1);
  EXPECT_EQ(sound.played, (std::vector<Played>{{"Sounds/А.wav", kWait},
                                               {"Sounds/Б.wav", kWait},
                                               {"Sounds/1.wav", kWait},
                                               {"Sounds/2.wav", kWait}}));
  sound.played.clear();
  prompts.VoiceNumber(2);
  EXPECT_EQ(sound.played, (std::vector<Played>{{"Sounds/x.wav", kWait}}));
  sound.played.clear();
  prompts.VoiceNumber(3);
  EXPECT_EQ(sound.played,
            (std::vector<Played>{
                {"Sounds/a.wav", kWait}, {"Sounds/b.wav", kWait}, {"Sounds/c.wav", kWait}}));
}

TEST_F(PromptsFixture, LongNumbersVoiceTheirFirstTwentyCharactersAndKeepTheReadingMoving) {
  view.numbers = {{1, "ЖЖЖЖЖ0123456789ABCDEFGHIJ"}};  // 25 characters
  shared.liveValue = 12.3456;
  shared.liveDecimals = 4;
  prompts.VoiceNumber(1);
  ASSERT_EQ(sound.played.size(), 20u);
  EXPECT_EQ(sound.played.front().file, "Sounds/Ж.wav");
  EXPECT_EQ(sound.played.back().file, "Sounds/E.wav");
  EXPECT_EQ(view.captionWrites, 20);
  EXPECT_EQ(view.caption, "12,3456");

  shared.liveInvalid = 1;
  view.numbers = {{1, "9"}};
  prompts.VoiceNumber(1);
  EXPECT_EQ(view.caption, "-----");
}

TEST(PromptsChars, SplitKeepsMultibyteCharactersWhole) {
  EXPECT_EQ(Prompts::SplitChars("Ж1\xD0"), (std::vector<std::string>{"Ж", "1", "\xD0"}));
  EXPECT_EQ(Prompts::SplitChars("€x"), (std::vector<std::string>{"€", "x"}));
  EXPECT_TRUE(Prompts::SplitChars("").empty());
}

}  // namespace
}  // namespace librato

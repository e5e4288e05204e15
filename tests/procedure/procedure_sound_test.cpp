#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "procedure/sound_output.h"
#include "support/fake_clock.h"

namespace librato {
namespace {

namespace fs = std::filesystem;
using testing::FakeClock;

void Put32(std::ofstream& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.put(char(v >> (8 * i)));
}
void Put16(std::ofstream& out, std::uint16_t v) {
  out.put(char(v));
  out.put(char(v >> 8));
}

// A silent PCM WAV of the given length, with an extra chunk before "data"
// as some recorders write.
void WriteWav(const fs::path& p, int rate, int channels, int ms) {
  const std::uint32_t byteRate = std::uint32_t(rate * channels * 2);
  const std::uint32_t dataSize = byteRate * std::uint32_t(ms) / 1000;
  std::ofstream out(p, std::ios::binary);
  out.write("RIFF", 4);
  Put32(out, 4 + 24 + 14 + 8 + dataSize);
  out.write("WAVE", 4);
  out.write("fmt ", 4);
  Put32(out, 16);
  Put16(out, 1);
  Put16(out, std::uint16_t(channels));
  Put32(out, std::uint32_t(rate));
  Put32(out, byteRate);
  Put16(out, std::uint16_t(channels * 2));
  Put16(out, 16);
  out.write("LIST", 4);
  Put32(out, 5);
  out.write("INFOx", 5);
  out.put(0);  // pad byte of the odd-sized chunk
  out.write("data", 4);
  Put32(out, dataSize);
  std::vector<char> zeros(dataSize, 0);
  out.write(zeros.data(), std::streamsize(zeros.size()));
}

struct SoundFiles : ::testing::Test {
  fs::path dir;
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("librato-sound-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
           "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir / "Sounds");
  }
  void TearDown() override { fs::remove_all(dir); }
};

TEST_F(SoundFiles, DurationComesFromTheHeader) {
  WriteWav(dir / "a.wav", 16000, 1, 500);
  WriteWav(dir / "b.wav", 44100, 2, 1250);
  std::ofstream(dir / "junk.wav") << "not a wave file at all";
  EXPECT_EQ(WavDurationMs((dir / "a.wav").string()), 500);
  EXPECT_EQ(WavDurationMs((dir / "b.wav").string()), 1250);
  EXPECT_FALSE(WavDurationMs((dir / "junk.wav").string()));
  EXPECT_FALSE(WavDurationMs((dir / "none.wav").string()));
}

TEST_F(SoundFiles, PlayToEndWaitsTheFilesOwnDurationWithOrWithoutAudioDevice) {
  // No sound server here: whichever SDL driver is found, or none, the wait
  // is the file's length plus the margin, on the clock.
  for (const char* driver : {"dummy", "none-such"}) {
    SCOPED_TRACE(driver);
    ::setenv("SDL_AUDIODRIVER", driver, 1);
    WriteWav(dir / "a.wav", 16000, 1, 700);
    FakeClock clock;
    SdlSoundOutput out(clock);
    const DateTime t0 = clock.now();
    out.play((dir / "a.wav").string(), true);
    EXPECT_EQ(out.audible(), std::string(driver) == "dummy");
    EXPECT_NEAR(ToSeconds(clock.now() - t0), 0.7 + SdlSoundOutput::kEndMarginMs / 1000.0, 1e-6);
    out.play((dir / "a.wav").string(), false);  // left playing: no wait
    out.stop();
    std::ofstream(dir / "junk.wav") << "RIFF....WAVEjunk";
    out.play((dir / "junk.wav").string(), true);  // unreadable: skipped
    EXPECT_NEAR(ToSeconds(clock.now() - t0), 0.75, 1e-6);
  }
  ::unsetenv("SDL_AUDIODRIVER");
}

TEST_F(SoundFiles, ResolversFindOnlyExistingFiles) {
  WriteWav(dir / "Sounds" / "Putoff.wav", 16000, 1, 10);
  SoundResolver byDir = DirectorySoundResolver(dir.string());
  EXPECT_EQ(byDir("Sounds/Putoff.wav"), (dir / "Sounds" / "Putoff.wav").string());
  EXPECT_FALSE(byDir("Sounds/End.wav"));
  EXPECT_FALSE(byDir("Sounds"));  // a folder is not a sound
  SoundResolver byFolder = SoundsFolderResolver((dir / "Sounds").string());
  EXPECT_EQ(byFolder("Sounds/Putoff.wav"), (dir / "Sounds" / "Putoff.wav").string());
  EXPECT_FALSE(byFolder("Sounds/End.wav"));
  EXPECT_FALSE(byFolder("Other/Putoff.wav"));
}

TEST(SoundRecordings, EveryPromptAndDigitHasAShortRecording) {
  const fs::path sounds = fs::path(__FILE__).parent_path() / ".." / ".." / "data" / "sounds";
  std::vector<std::string> names = {"Putoff", "Sample_Puton",   "Load_Puton",
                                    "Number", "Without_Number", "Tare",
                                    "End",    "notify",         "StartWarning"};
  for (char d = '0'; d <= '9'; ++d) names.emplace_back(1, d);
  for (const auto& name : names) {
    SCOPED_TRACE(name);
    std::optional<std::int64_t> ms = WavDurationMs((sounds / (name + ".wav")).string());
    ASSERT_TRUE(ms);
    EXPECT_GT(*ms, 100);
    EXPECT_LT(*ms, 6000);
  }
}

}  // namespace
}  // namespace librato

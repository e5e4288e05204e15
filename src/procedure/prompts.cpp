#include "procedure/prompts.h"

#include <string>

#include "link/acquisition.h"
#include "link/clock.h"
#include "link/mass_text.h"

namespace librato {

namespace {
const std::string kPutReference = "Поставьте эталонную гирю";
const std::string kPutTest = "Поставьте проверяемую гирю";
}  // namespace

Prompts::Prompts(PromptView& view, SoundOutput& sound, SoundResolver resolver, Clock& clock,
                 const AcquisitionShared& shared)
    : view_(view), sound_(sound), resolver_(std::move(resolver)), clock_(clock), shared_(shared) {}

void Prompts::playFile(const std::string& relative, bool waitToEnd) {
  if (!resolver_) return;
  std::optional<std::string> path = resolver_(relative);
  if (!path) return;  // a missing recording only costs the voice
  sound_.play(*path, waitToEnd);
}

int Prompts::TestWeightOfNextB(int bCount, const SessionParameters& params) {
  if (params.GroupCycle) return bCount + 1;
  int perWeight = (params.MethodABA ? 1 : 2) * params.CyclesToWeight;
  if (perWeight < 1) perWeight = 1;
  return (bCount + 1 + perWeight - 1) / perWeight;
}

void Prompts::PromptRemove() {
  view_.setHintSmall("Снимите гирю");
  view_.setHint(" 0 ");
  playFile(sounds::kPutoff, true);
}

void Prompts::PromptPlace(const PlaceContext& at) {
  static const SessionParameters kDefaults;
  const SessionParameters& params = at.params ? *at.params : kDefaults;
  if (at.next != ProcedureStep::WaitForB) {
    view_.setHintSmall(kPutReference);
    view_.setHint("A" + std::to_string(at.aCount + 1));
    playFile(sounds::kSamplePuton, false);
    return;
  }
  view_.setHint("B" + std::to_string(at.bCount + 1));
  const int row = TestWeightOfNextB(at.bCount, params);
  if (params.DetermineSKO) {
    // The reference goes on again; there is no test weight to name.
    view_.setHintSmall(kPutReference);
    playFile(sounds::kSamplePuton, false);
    return;
  }
  const bool numbers = view_.numbersEntered();
  std::string number;
  view_.setHintSmall(kPutTest);
  if (numbers) {
    number = view_.weightNumber(row);
    if (!number.empty()) view_.setHintSmall(kPutTest + " № " + number);
  }
  playFile(sounds::kLoadPuton, true);
  if (numbers && view_.voiceNumbers()) {
    if (!number.empty()) playFile(sounds::kNumber, true);
    VoiceNumber(row);
  }
}

void Prompts::VoiceNumber(int row) {
  const std::string number = view_.weightNumber(row);
  if (number.empty()) {
    playFile(sounds::kWithoutNumber, true);
    return;
  }
  std::vector<std::string> chars = SplitChars(number);
  if (chars.size() > std::size_t(kMaxVoicedChars)) chars.resize(kMaxVoicedChars);
  for (const std::string& c : chars) {
    // The timers stand still while the voice plays; keep the reading moving.
    view_.setLiveCaption(shared_.liveInvalid.load()
                             ? std::string("-----")
                             : FormatFixed(shared_.liveDecimals.load(), shared_.liveValue.load()));
    VoiceChar(c);
  }
}

std::vector<std::string> Prompts::SplitChars(std::string_view text) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    std::size_t len = 1;
    if (lead >= 0xC2 && lead <= 0xDF)
      len = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
      len = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
      len = 4;
    bool valid = len == 1 || i + len <= text.size();
    for (std::size_t k = 1; valid && k < len; ++k)
      valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    if (!valid) len = 1;
    out.emplace_back(text.substr(i, len));
    i += len;
  }
  return out;
}

bool Prompts::IsVoiceableChar(std::string_view c) {
  if (c.empty()) return false;
  const unsigned char lead = static_cast<unsigned char>(c[0]);
  if (c.size() == 1) {
    if (lead < 0x20 || lead == 0x7F || lead >= 0x80) return false;  // control or stray byte
    return c[0] != '/' && c[0] != '\\' && c[0] != '.';
  }
  std::vector<std::string> parts = SplitChars(c);
  if (parts.size() != 1 || parts[0].size() != c.size()) return false;
  // The C1 control range, U+0080..U+009F, is C2 80..C2 9F in UTF-8.
  if (lead == 0xC2 && static_cast<unsigned char>(c[1]) < 0xA0) return false;
  // Overlong or surrogate forms do not name a character.
  const unsigned char second = static_cast<unsigned char>(c[1]);
  if (lead == 0xE0 && second < 0xA0) return false;
  if (lead == 0xED && second >= 0xA0) return false;
  if (lead == 0xF0 && second < 0x90) return false;
  if (lead == 0xF4 && second >= 0x90) return false;
  return true;
}

void Prompts::VoiceChar(std::string_view c) {
  // The character becomes part of a path: anything that could leave the
  // folder or is not a plain character is skipped like a missing file.
  if (!IsVoiceableChar(c)) return;
  playFile("Sounds/" + std::string(c) + ".wav", true);
}

void Prompts::PromptTare() {
  view_.setHintSmall("Обнулите показания");
  view_.setHint("0/T");
  playFile(sounds::kTare, false);
  clock_.sleepMs(kTarePauseMs);
}

void Prompts::PromptEnd() {
  view_.setHintSmall("Проверка закончена");
  view_.setHint("");
  playFile(sounds::kEnd, false);
}

void Prompts::PlayNotify() { playFile(sounds::kNotify, false); }

void Prompts::PlayStartWarning() { playFile(sounds::kStartWarning, true); }

}  // namespace librato

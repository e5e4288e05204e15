#pragma once
// The operator prompts: every action the step machine expects is announced
// in large text on the window and by a recorded voice.

#include <string>
#include <string_view>
#include <vector>

#include "procedure/session.h"
#include "procedure/sound_output.h"

namespace librato {

class Clock;
struct AcquisitionShared;

// What the prompts touch on the window. Every setter repaints at once: the
// user-interface thread may be held by a sound right after it.
class PromptView {
 public:
  virtual ~PromptView() = default;
  virtual void setHint(const std::string& text) = 0;         // labHint
  virtual void setHintSmall(const std::string& text) = 0;    // labHintSmall
  virtual void setLiveCaption(const std::string& text) = 0;  // lCur, with pCur
  // Column 1 of row `row` (1-based) of the weight numbers grid; empty when
  // the weight has no number.
  virtual std::string weightNumber(int row) const = 0;
  virtual bool numbersEntered() const = 0;  // cbAddNames ticked
  virtual bool voiceNumbers() const = 0;    // cbSound ticked
};

// The sound files, relative to the working directory.
namespace sounds {
inline constexpr const char* kPutoff = "Sounds/Putoff.wav";
inline constexpr const char* kSamplePuton = "Sounds/Sample_Puton.wav";
inline constexpr const char* kLoadPuton = "Sounds/Load_Puton.wav";
inline constexpr const char* kNumber = "Sounds/Number.wav";
inline constexpr const char* kWithoutNumber = "Sounds/Without_Number.wav";
inline constexpr const char* kTare = "Sounds/Tare.wav";
inline constexpr const char* kEnd = "Sounds/End.wav";
inline constexpr const char* kNotify = "Sounds/notify.wav";
inline constexpr const char* kStartWarning = "Sounds/StartWarning.wav";
}  // namespace sounds

// Where the run stands when a placement is prompted.
struct PlaceContext {
  ProcedureStep next = ProcedureStep::WaitForA;  // plan[stepPos + 1]
  int aCount = 0;
  int bCount = 0;
  const SessionParameters* params = nullptr;
};

class Prompts {
 public:
  static constexpr int kTarePauseMs = 2500;
  // Characters of a number that are voiced; the rest is shown, not spoken.
  static constexpr int kMaxVoicedChars = 20;

  Prompts(PromptView& view, SoundOutput& sound, SoundResolver resolver, Clock& clock,
          const AcquisitionShared& shared);

  void PromptRemove();
  void PromptPlace(const PlaceContext& at);
  void PromptTare();
  void PromptEnd();
  void VoiceNumber(int row);
  // One character of a number, as UTF-8 (one code point).
  void VoiceChar(std::string_view c);
  void PlayNotify();
  void PlayStartWarning();

  // The test weight (1-based, its row in the numbers grid) of the B
  // placement after `bCount` recorded B readings.
  static int TestWeightOfNextB(int bCount, const SessionParameters& params);
  // True for a character that may stand alone as a file name: one code
  // point, no path separator, no dot, no control character.
  static bool IsVoiceableChar(std::string_view c);
  // The number split into characters (UTF-8 code points; a byte that is not
  // valid UTF-8 counts as one character).
  static std::vector<std::string> SplitChars(std::string_view text);

 private:
  void playFile(const std::string& relative, bool waitToEnd);

  PromptView& view_;
  SoundOutput& sound_;
  SoundResolver resolver_;
  Clock& clock_;
  const AcquisitionShared& shared_;
};

}  // namespace librato

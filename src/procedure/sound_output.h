#pragma once
// Sound output for the operator prompts. A sound is either played to its end
// (the caller waits for the WAV's own duration) or started and left playing;
// starting a new sound stops one still playing.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace librato {

class Clock;

class SoundOutput {
 public:
  virtual ~SoundOutput() = default;
  // Plays the WAV file at `path` (an existing file). With waitToEnd the call
  // returns once the sound has played out.
  virtual void play(const std::string& path, bool waitToEnd) = 0;
  // Stops a sound still playing; nothing when none plays.
  virtual void stop() = 0;
};

// Maps a relative sound name ("Sounds/Putoff.wav") to the path of an existing
// file; nothing when there is no such file, and the sound is then skipped.
using SoundResolver = std::function<std::optional<std::string>(const std::string& relative)>;

// Resolves relative names below `baseDir` (the program's working directory).
SoundResolver DirectorySoundResolver(std::string baseDir);
// Resolves "Sounds/<name>" to `soundsDir`/<name>: for an installed program
// whose recordings live in a data folder of their own.
SoundResolver SoundsFolderResolver(std::string soundsDir);

// Duration of a PCM WAV file from its header (fmt and data chunks), in
// milliseconds; nothing when the file cannot be read as one.
std::optional<std::int64_t> WavDurationMs(const std::string& path);

// The real backend: the SDL2 audio queue. A play-to-end waits the file's own
// duration plus kEndMarginMs on `clock`, never on a signal of the audio
// system, so it returns on time even without an audio device; without one it
// is silent and keeps the duration. A file that is not a readable WAV is
// skipped without waiting.
class SdlSoundOutput final : public SoundOutput {
 public:
  static constexpr int kEndMarginMs = 50;

  explicit SdlSoundOutput(Clock& clock);
  ~SdlSoundOutput() override;
  SdlSoundOutput(const SdlSoundOutput&) = delete;
  SdlSoundOutput& operator=(const SdlSoundOutput&) = delete;

  void play(const std::string& path, bool waitToEnd) override;
  void stop() override;

  // False when no audio device could be opened so far (the sink is silent).
  bool audible() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A sink that plays nothing and returns at once; for benchmarks and
// head-less runs.
class SilentSoundOutput final : public SoundOutput {
 public:
  void play(const std::string&, bool) override {}
  void stop() override {}
};

}  // namespace librato

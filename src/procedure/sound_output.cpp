#include "procedure/sound_output.h"

#include <SDL.h>

#include <array>
#include <filesystem>
#include <fstream>

#include "link/clock.h"

namespace librato {

SoundResolver DirectorySoundResolver(std::string baseDir) {
  return [base = std::move(baseDir)](const std::string& relative) -> std::optional<std::string> {
    std::filesystem::path p = std::filesystem::path(base) / relative;
    std::error_code ec;
    if (std::filesystem::is_regular_file(p, ec)) return p.string();
    return std::nullopt;
  };
}

SoundResolver SoundsFolderResolver(std::string soundsDir) {
  return [dir = std::move(soundsDir)](const std::string& relative) -> std::optional<std::string> {
    constexpr std::string_view kPrefix = "Sounds/";
    if (relative.compare(0, kPrefix.size(), kPrefix) != 0) return std::nullopt;
    std::filesystem::path p = std::filesystem::path(dir) / relative.substr(kPrefix.size());
    std::error_code ec;
    if (std::filesystem::is_regular_file(p, ec)) return p.string();
    return std::nullopt;
  };
}

namespace {

std::uint32_t Le32(const unsigned char* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}
std::uint16_t Le16(const unsigned char* p) { return std::uint16_t(p[0] | p[1] << 8); }

}  // namespace

std::optional<std::int64_t> WavDurationMs(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::array<unsigned char, 12> riff{};
  if (!in.read(reinterpret_cast<char*>(riff.data()), riff.size())) return std::nullopt;
  if (std::string_view(reinterpret_cast<char*>(riff.data()), 4) != "RIFF" ||
      std::string_view(reinterpret_cast<char*>(riff.data()) + 8, 4) != "WAVE")
    return std::nullopt;
  std::uint32_t byteRate = 0;
  for (;;) {
    std::array<unsigned char, 8> head{};
    if (!in.read(reinterpret_cast<char*>(head.data()), head.size())) return std::nullopt;
    std::string_view id(reinterpret_cast<char*>(head.data()), 4);
    std::uint32_t size = Le32(head.data() + 4);
    if (id == "fmt ") {
      if (size < 16) return std::nullopt;
      std::array<unsigned char, 16> fmt{};
      if (!in.read(reinterpret_cast<char*>(fmt.data()), fmt.size())) return std::nullopt;
      if (Le16(fmt.data()) != 1) return std::nullopt;  // PCM only
      byteRate = Le32(fmt.data() + 8);
      in.seekg(std::streamoff(size - 16 + (size & 1)), std::ios::cur);
    } else if (id == "data") {
      if (byteRate == 0) return std::nullopt;
      return std::int64_t(size) * 1000 / byteRate;
    } else {
      in.seekg(std::streamoff(size + (size & 1)), std::ios::cur);
    }
    if (!in) return std::nullopt;
  }
}

struct SdlSoundOutput::Impl {
  explicit Impl(Clock& c) : clock(c) {}
  Clock& clock;
  bool initTried = false;
  bool initOk = false;
  SDL_AudioDeviceID device = 0;
  SDL_AudioSpec deviceSpec{};
  bool audible = false;

  bool ensureInit() {
    if (!initTried) {
      initTried = true;
      SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
      initOk = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    }
    return initOk;
  }

  // An open device for the file's format, reopened when the format changes.
  bool ensureDevice(const SDL_AudioSpec& wavFormat) {
    if (device != 0 && wavFormat.freq == deviceSpec.freq && wavFormat.format == deviceSpec.format &&
        wavFormat.channels == deviceSpec.channels)
      return true;
    if (device != 0) {
      SDL_CloseAudioDevice(device);
      device = 0;
    }
    SDL_AudioSpec want = wavFormat;
    want.callback = nullptr;
    want.userdata = nullptr;
    device = SDL_OpenAudioDevice(nullptr, 0, &want, &deviceSpec, 0);
    audible = device != 0;
    return audible;
  }

  void stop() {
    if (device != 0) {
      SDL_PauseAudioDevice(device, 1);
      SDL_ClearQueuedAudio(device);
    }
  }
};

SdlSoundOutput::SdlSoundOutput(Clock& clock) : impl_(std::make_unique<Impl>(clock)) {}

SdlSoundOutput::~SdlSoundOutput() {
  if (impl_->device != 0) SDL_CloseAudioDevice(impl_->device);
  if (impl_->initOk) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void SdlSoundOutput::play(const std::string& path, bool waitToEnd) {
  impl_->stop();
  std::optional<std::int64_t> duration = WavDurationMs(path);
  if (!duration) return;
  if (impl_->ensureInit()) {
    SDL_AudioSpec wavFormat{};
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    if (SDL_LoadWAV(path.c_str(), &wavFormat, &buffer, &length) != nullptr) {
      if (impl_->ensureDevice(wavFormat)) {
        SDL_QueueAudio(impl_->device, buffer, length);
        SDL_PauseAudioDevice(impl_->device, 0);
      }
      SDL_FreeWAV(buffer);
    }
  }
  // The file's own length decides, audible or not.
  if (waitToEnd) impl_->clock.sleepMs(int(*duration) + kEndMarginMs);
}

void SdlSoundOutput::stop() { impl_->stop(); }

bool SdlSoundOutput::audible() const { return impl_->audible; }

}  // namespace librato

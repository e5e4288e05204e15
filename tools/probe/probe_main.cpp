// librato-probe: does a balance answer on COM<n>? Runs the program's own
// protocol detection on the port for a few seconds and prints every reading.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "link/clock.h"
#include "link/get_w.h"
#include "link/posix_serial.h"
#include "port_check.h"

namespace {

const char* const kUsage =
    "usage: librato-probe --port <n> [--seconds <s>]\n"
    "Looks for a balance of either protocol on COM<n> for s seconds (default 10) and prints\n"
    "one line per reading: protocol, value, unit, stable, decimals, model, serial number.\n";

std::string Trimmed(const char* text) {
  std::string s(text);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.pop_back();
  std::size_t start = 0;
  while (start < s.size() && static_cast<unsigned char>(s[start]) <= ' ') ++start;
  return s.substr(start);
}

bool ReadPositive(const char* text, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end && *end == '\0' && end != text && value > 0 && value < 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace librato;
  int port = 0;
  double seconds = 10;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--help" || name == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "librato-probe: the option %s needs a value.\n%s", name.c_str(), kUsage);
      return 2;
    }
    const char* value = argv[++i];
    double x = 0;
    if (name == "--port" && ReadPositive(value, x) && x == static_cast<int>(x) && x <= 255) {
      port = static_cast<int>(x);
    } else if (name == "--seconds" && ReadPositive(value, x)) {
      seconds = x;
    } else {
      std::fprintf(stderr, "librato-probe: %s %s is not usable.\n%s", name.c_str(), value, kUsage);
      return 2;
    }
  }
  if (port == 0) {
    std::fprintf(stderr, "librato-probe: say which port to probe: --port <n> (COM<n>).\n%s",
                 kUsage);
    return 2;
  }

  // Say plainly why a port cannot be used before trying the protocols on it.
  const auto unusable = [](const std::string& sentence) {
    std::fprintf(stderr, "librato-probe: %s\n", sentence.c_str());
    std::printf("readings: 0; protocol: none; model: ; recognised: no\n");
    return 1;
  };
  const probe::PortCheck check = probe::CheckPort(port);
  if (!check.usable) return unusable(check.sentence);
  {
    PosixSerialDevice device;
    if (!device.open(port, LineSettings{19200, Parity::None})) {
      return unusable("COM" + std::to_string(port) + " (" + check.device +
                      ") opens but does not accept the serial line settings.");
    }
    device.close();
  }

  // The detection runs on its own thread: one call can block far longer than
  // the probe should (a silent line costs about 32 s per protocol-2 attempt).
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;          // guarded by mutex
  long long count = 0;        // guarded by mutex
  int lastProtocol = 0;       // guarded by mutex
  std::string lastModel;      // guarded by mutex
  ModelText lastModelText{};  // guarded by mutex
  std::atomic<bool> stop{false};

  std::thread worker([&] {
    GetW getw(port, PosixSerialFactory(), RealClock());
    double value = 0;
    UnitText unit{};
    std::uint8_t stable = 0;
    ModelText model{};
    std::int32_t serial = 0;
    std::int32_t decimals = 0;
    while (!stop) {
      unit.fill(0);
      if (!getw.Acquire(value, unit, stable, model, serial, decimals) || stop) continue;
      std::lock_guard lock(mutex);
      ++count;
      lastProtocol = getw.protocol();
      lastModel = Trimmed(model.data());
      lastModelText = model;
      std::printf("%d\t%.*f\t%s\t%d\t%d\t%s\t%d\n", getw.protocol(),
                  decimals >= 0 && decimals <= 9 ? decimals : 6, value,
                  Trimmed(unit.data()).c_str(), stable ? 1 : 0, decimals, lastModel.c_str(),
                  serial);
      std::fflush(stdout);
    }
    std::lock_guard lock(mutex);
    done = true;
    finished.notify_all();
  });

  std::unique_lock lock(mutex);
  finished.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return done; });
  stop = true;
  // Let a reading in progress finish; a protocol-2 synchronisation on a silent
  // line is not waited for.
  const bool ended = finished.wait_for(lock, std::chrono::seconds(2), [&] { return done; });
  std::int32_t clearance = 0, capacity = 0;
  const bool recognised = count > 0 && LookupModel(lastModelText, clearance, capacity, 2);
  std::printf("readings: %lld; protocol: %s; model: %s; recognised: %s\n", count,
              lastProtocol ? std::to_string(lastProtocol).c_str() : "none", lastModel.c_str(),
              recognised ? "yes" : "no");
  std::fflush(stdout);
  const int status = count > 0 ? 0 : 1;
  lock.unlock();
  if (!ended) {
    // The detection thread is blocked in a read; the port closes with the process.
    worker.detach();
    std::_Exit(status);
  }
  worker.join();
  return status;
}

#pragma once
// The acquisition thread and what it shares with the step machine: the
// snapshot of the latest and of the handed-over reading, the four hand-over
// flags and the one lock. The thread reads the balance without pause,
// publishes every reading as the live part, and hands a settled reading over
// when the step machine has asked for one.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "link/clock.h"
#include "link/serial_device.h"

namespace librato {

// The accepted part: written by the thread under the lock at a hand-over,
// copied by the step machine under the same lock.
struct AcceptedReading {
  double acceptedValue = 0;
  std::uint8_t acceptedInvalid = 0;
  std::array<char, 16> balanceModel{};  // zero-terminated
  std::int32_t balanceSerial = 0;
  std::int32_t balanceCapacity = -1;  // grams; -1 while the model is not recognised
  std::int32_t clearanceDigits = -1;  // removal threshold in display steps
};

// One instance for the program's life; nothing in it is reset between runs.
struct AcquisitionShared {
  // The one lock. Held only for short updates, never during serial traffic.
  std::mutex SnapshotLock;

  // Live part: written by the thread (under the lock), read plainly by the
  // live display and the number routines.
  std::atomic<double> liveValue{0};
  std::atomic<std::uint8_t> liveIsStable{0};
  std::atomic<std::int32_t> liveDecimals{-1};
  std::atomic<std::uint8_t> liveInvalid{0};

  // Accepted part (guarded by SnapshotLock).
  AcceptedReading accepted;
  // Time of the latest hand-over; the step machine also sets it when a
  // removal step passes, and reads it for the time-out.
  std::atomic<DateTime> lastReadingTime{0};

  // Hand-over flags: written under the lock, read plainly.
  std::atomic<bool> readingRequested{false};
  std::atomic<bool> readingReady{false};
  std::atomic<bool> stopRequested{false};
  std::atomic<bool> linkLost{false};

  // Run state that the thread reads; the step machine writes them between
  // hand-overs.
  std::atomic<std::int32_t> stepsDone{-2};
  std::atomic<bool> inWaitForClear{false};  // plan[stepPos] is WaitForClear
  std::atomic<bool> prevStepInvalid{false};
};

struct AcquisitionConfig {
  int portNumber = 1;
  int readoutSeconds = 3;  // ReadoutTime
};

class GetW;
class ReadingSource;

// Makes what the thread reads from, on the thread, for a port number: GetW
// in the program, fakes in tests.
using ReadingSourceFactory = std::function<std::unique_ptr<ReadingSource>(int port)>;

// Owns the thread. Start() makes sure an earlier thread has ended (joins it)
// before it starts the next; the destructor stops and joins, so the port is
// closed when the program ends.
class AcquisitionThread {
 public:
  // The thread reads through a GetW over devices from `devices`.
  AcquisitionThread(AcquisitionShared& shared, SerialDeviceFactory devices, Clock& clock);
  AcquisitionThread(AcquisitionShared& shared, ReadingSourceFactory sources, Clock& clock);
  ~AcquisitionThread();
  AcquisitionThread(const AcquisitionThread&) = delete;
  AcquisitionThread& operator=(const AcquisitionThread&) = delete;

  // Clears stopRequested, starts the thread, clears linkLost.
  void Start(const AcquisitionConfig& config);
  // Under the lock: stopRequested = true, readingRequested = readingReady = false.
  // Does not wait; the thread ends at its next pass.
  void RequestStop();
  // Waits for the thread to end (if one runs).
  void Join();
  bool running() const;

 private:
  AcquisitionShared& shared_;
  ReadingSourceFactory sources_;
  Clock& clock_;
  std::thread thread_;
  std::atomic<bool> running_{false};
};

}  // namespace librato

#include "link/acquisition.h"

#include <algorithm>
#include <cmath>

#include "link/acquisition_loop.h"

namespace librato {

AcquisitionLoop::AcquisitionLoop(AcquisitionShared& shared, const AcquisitionConfig& config,
                                 std::unique_ptr<ReadingSource> source, Clock& clock)
    : shared_(shared),
      readoutTime_(Seconds(config.readoutSeconds)),
      source_(std::move(source)),
      clock_(clock) {
  threadStart_ = clock_.now();
  stabilityStart_ = threadStart_;
  lastCompleted_ = threadStart_;
}

void AcquisitionLoop::run() {
  while (runPass()) {
  }
}

bool AcquisitionLoop::runPass() {
  clock_.sleepMs(20);
  if (shared_.stopRequested.load()) {
    source_.reset();  // closes the port
    return false;
  }
  const bool ok = source_ && source_->Acquire(value_, unit_, stable_, model_, serial_, decimals_);
  const DateTime now = clock_.now();
  if (!ok) {
    // "No reading for 40 s": counted from the thread's start, the latest
    // read-out interval and the latest reading, whichever is latest, so a
    // single failed window of a working balance does not end the run.
    const DateTime base = std::max({threadStart_, stabilityStart_, lastCompleted_});
    if (now > base + kLinkLostAfter) {
      std::lock_guard lock(shared_.SnapshotLock);
      shared_.linkLost = true;
      shared_.stopRequested = true;
    }
    return true;
  }

  lastCompleted_ = now;
  invalid_ = unit_[0] == '|';
  double accepted;
  std::int32_t clearance;
  {
    std::lock_guard lock(shared_.SnapshotLock);
    shared_.liveValue = value_;
    shared_.liveIsStable = stable_;
    shared_.liveDecimals = decimals_;
    shared_.liveInvalid = invalid_ ? 1 : 0;
    accepted = shared_.accepted.acceptedValue;
    clearance = shared_.accepted.clearanceDigits;
  }

  // Fast path: an invalid frame, or a clear drop below the last handed-over
  // reading while the step waits for a removal, counts as settled at once.
  if (!shared_.prevStepInvalid.load()) {
    bool fast = invalid_;
    if (!invalid_ && shared_.inWaitForClear.load()) {
      const double threshold = (clearance * 100.0) / std::pow(10.0, decimals_ + 2);
      fast = (accepted - value_) > threshold;
    }
    if (fast) {
      stable_ = 1;
      armed_ = true;
      stabilityStart_ = now - readoutTime_;
    }
  }

  if (!shared_.readingRequested.load()) return true;
  if (!stable_) {
    armed_ = false;
    return true;
  }
  if (!armed_) {
    armed_ = true;
    stabilityStart_ = now;
    return true;
  }
  if (now >= stabilityStart_ + readoutTime_ || shared_.stepsDone.load() < 0) handOver(now);
  return true;
}

void AcquisitionLoop::handOver(DateTime now) {
  armed_ = false;
  std::lock_guard lock(shared_.SnapshotLock);
  AcceptedReading& a = shared_.accepted;
  shared_.readingReady = true;
  shared_.readingRequested = false;
  a.acceptedValue = value_;
  a.acceptedInvalid = invalid_ ? 1 : 0;
  a.balanceSerial = serial_;
  a.balanceModel = model_;
  if (a.balanceCapacity < 0) {
    LookupModel(a.balanceModel, a.clearanceDigits, a.balanceCapacity, 2);
    // An unrecognised model still gets the removal threshold; otherwise
    // every reading would count as a removal or a placement.
    if (a.clearanceDigits < 0) a.clearanceDigits = kClearanceDigits;
  }
  shared_.lastReadingTime = now;
}

AcquisitionThread::AcquisitionThread(AcquisitionShared& shared, SerialDeviceFactory devices,
                                     Clock& clock)
    : AcquisitionThread(
          shared,
          [devices = std::move(devices), &clock](int port) -> std::unique_ptr<ReadingSource> {
            return std::make_unique<GetW>(port, devices, clock);
          },
          clock) {}

AcquisitionThread::AcquisitionThread(AcquisitionShared& shared, ReadingSourceFactory sources,
                                     Clock& clock)
    : shared_(shared), sources_(std::move(sources)), clock_(clock) {}

AcquisitionThread::~AcquisitionThread() {
  RequestStop();
  Join();
}

void AcquisitionThread::Start(const AcquisitionConfig& config) {
  if (thread_.joinable()) {
    // Normally stopped already; never wait on a thread nobody told to end.
    if (running_.load()) {
      std::lock_guard lock(shared_.SnapshotLock);
      shared_.stopRequested = true;
    }
    thread_.join();
  }
  shared_.stopRequested = false;
  running_ = true;
  thread_ = std::thread([this, config] {
    AcquisitionLoop loop(shared_, config, sources_(config.portNumber), clock_);
    loop.run();
    running_ = false;
  });
  shared_.linkLost = false;
}

void AcquisitionThread::RequestStop() {
  std::lock_guard lock(shared_.SnapshotLock);
  shared_.stopRequested = true;
  shared_.readingRequested = false;
  shared_.readingReady = false;
}

void AcquisitionThread::Join() {
  if (thread_.joinable()) thread_.join();
}

bool AcquisitionThread::running() const { return running_.load(); }

}  // namespace librato

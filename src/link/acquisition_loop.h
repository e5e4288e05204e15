#pragma once
// The body of the acquisition thread, one pass at a time, so that tests can
// drive it deterministically in fake time.

#include <cstdint>
#include <memory>

#include "link/acquisition.h"
#include "link/balance.h"
#include "link/get_w.h"

namespace librato {

// No reading for this long ends the run as a lost link.
constexpr DateTime kLinkLostAfter = Seconds(40);
// Removal threshold in display steps once a reading has been handed over.
constexpr std::int32_t kClearanceDigits = 100;

class AcquisitionLoop {
 public:
  // The thread's start: buffers zeroed, not armed, the interval starts now.
  AcquisitionLoop(AcquisitionShared& shared, const AcquisitionConfig& config,
                  std::unique_ptr<ReadingSource> source, Clock& clock);

  // One pass: the 20 ms pause, the stop test, one Acquire and what follows.
  // False when the thread is to end (its source has then been destroyed).
  bool runPass();
  // Passes until the thread is to end.
  void run();

  bool armed() const { return armed_; }
  DateTime stabilityStart() const { return stabilityStart_; }
  ReadingSource* source() const { return source_.get(); }

 private:
  void handOver(DateTime now);

  AcquisitionShared& shared_;
  DateTime readoutTime_;
  std::unique_ptr<ReadingSource> source_;
  Clock& clock_;

  double value_ = 0;
  UnitText unit_{};
  std::uint8_t stable_ = 0;
  ModelText model_{};
  std::int32_t serial_ = 0;
  std::int32_t decimals_ = 0;
  bool invalid_ = false;
  bool armed_ = false;

  DateTime threadStart_;
  // Start of the current read-out interval.
  DateTime stabilityStart_;
  // The latest reading that came through, requested or not.
  DateTime lastCompleted_;
};

}  // namespace librato

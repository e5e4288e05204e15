#pragma once
// Start-up measurement for the benchmark: when LIBRATO_START_PROBE holds the
// launch time (nanoseconds since the epoch), the program prints how long the
// first paint of its window took and its peak resident memory once the
// working area is shown, then quits. Otherwise it does nothing.

#include <QObject>
#include <cstdint>

namespace librato::app {

class TMainForm;

class StartProbe final : public QObject {
  Q_OBJECT
 public:
  explicit StartProbe(TMainForm& form);
  bool active() const { return launchNs_ > 0; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void report();

  TMainForm& form_;
  std::int64_t launchNs_ = 0;
  double firstPaintMs_ = -1;
  bool reported_ = false;
};

// Peak resident set of this process in megabytes (VmHWM), -1 when unknown.
double PeakRssMb();

}  // namespace librato::app

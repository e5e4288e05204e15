#pragma once
// The live reading on the window: the balance's current value in large
// digits and the "g" marker that is lit while the balance reports it stable.
// The caption itself is the memory of what is shown.

#include <string>

namespace librato {

struct AcquisitionShared;
class Trace;

class LiveView {
 public:
  virtual ~LiveView() = default;
  virtual std::string liveCaption() const = 0;               // lCur
  virtual void setLiveCaption(const std::string& text) = 0;  // set and repaint at once
  virtual bool stabVisible() const = 0;                      // labStab
  virtual void setStabVisible(bool visible) = 0;
};

class LiveDisplay {
 public:
  // Shown numbers closer than this to the live value are left as they are.
  static constexpr double kRedrawTolerance = 5e-7;
  static constexpr const char* kInvalidCaption = "-----";

  // One tick of tCur: redraws the caption when it no longer matches the live
  // value (or an invalid frame is involved), then lets labStab follow the
  // stability flag. The live part is read without the lock.
  static void Tick(LiveView& view, const AcquisitionShared& shared, Trace& trace);
};

}  // namespace librato

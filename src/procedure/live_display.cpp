#include "procedure/live_display.h"

#include <cmath>

#include "link/acquisition.h"
#include "link/mass_text.h"
#include "link/trace.h"

namespace librato {

void LiveDisplay::Tick(LiveView& view, const AcquisitionShared& shared, Trace& trace) {
  const bool invalid = shared.liveInvalid.load() != 0;
  const double value = shared.liveValue.load();
  const std::string caption = view.liveCaption();
  bool redraw = invalid || caption == kInvalidCaption;
  if (!redraw) {
    double shown = 0;
    // A caption that does not read as a number no longer shows the value.
    redraw = !ParseDecimal(caption, shown) || std::fabs(shown - value) > kRedrawTolerance;
  }
  if (redraw) {
    view.setLiveCaption(invalid ? std::string(kInvalidCaption)
                                : FormatFixed(shared.liveDecimals.load(), value));
    trace.add("lCur refresh");
  }
  const bool stable = shared.liveIsStable.load() != 0;
  if (view.stabVisible() != stable) view.setStabVisible(stable);
}

}  // namespace librato

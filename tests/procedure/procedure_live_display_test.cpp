#include <gtest/gtest.h>

#include "link/trace.h"
#include "procedure/live_display.h"
#include "run_fakes.h"

namespace librato {
namespace {

using testing::FakeRunView;

struct LiveCase {
  const char* name;
  std::string caption;
  double value;
  int decimals;
  bool invalid;
  std::string shown;  // caption after the tick
  int refreshLines;
};

TEST(LiveDisplay, RedrawRule) {
  const LiveCase cases[] = {
      {"matching value is left alone", "12,3456", 12.3456, 4, false, "12,3456", 0},
      {"within 5e-7 is left alone", "12,3456", 12.3456004, 4, false, "12,3456", 0},
      {"one display step moves it", "12,3456", 12.3457, 4, false, "12,3457", 1},
      {"invalid frame shows dashes", "12,3456", 12.3456, 4, true, "-----", 1},
      {"dashes replaced when readings return", "-----", 0.5, 1, false, "0,5", 1},
      {"no decimals, no separator", "0", 1234.0, 0, false, "1234", 1},
      {"negative value", "0", -0.0012, 4, false, "-0,0012", 1},
      {"unreadable caption is redrawn", "abc", 1.0, 2, false, "1,00", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeRunView view;
    AcquisitionShared shared;
    Trace trace;
    view.caption = c.caption;
    shared.liveValue = c.value;
    shared.liveDecimals = c.decimals;
    shared.liveInvalid = c.invalid;
    LiveDisplay::Tick(view, shared, trace);
    EXPECT_EQ(view.caption, c.shown);
    EXPECT_EQ(trace.count("lCur refresh"), c.refreshLines);
  }
}

TEST(LiveDisplay, InvalidFramesRedrawEveryTickAndStabilityFollowsTheFlag) {
  FakeRunView view;
  AcquisitionShared shared;
  Trace trace;
  shared.liveDecimals = 4;
  shared.liveValue = 12.3456;
  shared.liveIsStable = 1;
  LiveDisplay::Tick(view, shared, trace);
  EXPECT_TRUE(view.stab);
  const int writes = view.captionWrites;
  LiveDisplay::Tick(view, shared, trace);  // steady: nothing redrawn
  EXPECT_EQ(view.captionWrites, writes);
  shared.liveIsStable = 0;
  LiveDisplay::Tick(view, shared, trace);
  EXPECT_FALSE(view.stab);  // follows without a redraw
  EXPECT_EQ(view.captionWrites, writes);

  shared.liveInvalid = 1;
  shared.liveIsStable = 1;
  for (int i = 0; i < 3; ++i) LiveDisplay::Tick(view, shared, trace);
  EXPECT_EQ(view.caption, "-----");
  EXPECT_TRUE(view.stab);
  EXPECT_EQ(trace.count("lCur refresh"), 1 + 3);
}

}  // namespace
}  // namespace librato

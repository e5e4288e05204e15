#include "link/trace.h"

#include <gtest/gtest.h>

namespace librato {
namespace {

TEST(Trace, KeepsTheLatestLinesOfALongRun) {
  Trace trace;
  int notified = 0;
  trace.setListener([&] { ++notified; });
  const std::size_t total = Trace::kKeep * 2 + 7;
  for (std::size_t i = 0; i < total; ++i) trace.add(std::to_string(i));
  EXPECT_EQ(notified, static_cast<int>(total));
  ASSERT_EQ(trace.lines().size(), Trace::kKeep);
  EXPECT_EQ(trace.dropped() + trace.lines().size(), total);
  // Numbering stays continuous across the drop.
  EXPECT_EQ(trace.lines().front(), std::to_string(trace.dropped()));
  EXPECT_EQ(trace.lines().back(), std::to_string(total - 1));
  trace.clear();
  EXPECT_TRUE(trace.lines().empty());
  EXPECT_EQ(trace.dropped(), 0u);
  EXPECT_EQ(trace.count("x"), 0);
}

}  // namespace
}  // namespace librato

// The simulated balance against the program's own decoders and GetW, in
// process and in fake time: what it sends decodes to what it meant, and the
// detection finds it.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "balance_sim.h"
#include "link/b_balance/b_frames.h"
#include "link/get_w.h"
#include "link/pt_balance/pt_line.h"
#include "sim_device.h"
#include "support/fake_clock.h"

namespace librato::sim {
namespace {

using librato::testing::FakeClock;

TEST(SimAgainstDecoders, ModelCodesGiveTheConfiguredDesignation) {
  for (int code = 0; code < 256; ++code) {
    ASSERT_EQ(DesignationOfCode(code), b_protocol::ModelName(code)) << code;
  }
  for (const char* name : {"QZ71", "QZ74426", "LWQ7-01", "LWR150M-1AC", "LWX250-1", "LWT35M-01C"}) {
    b_protocol::Identity id;
    const Frame r = IdentificationReply(ModelCodeOf(name), 0xABCDEF);
    ASSERT_TRUE(b_protocol::DecodeIdentity(std::span<const std::uint8_t, 8>(r), id)) << name;
    EXPECT_EQ(b_protocol::ModelName(id.modelCode), name);
    EXPECT_EQ(id.serial, 0xABCDEF);
  }
}

TEST(SimAgainstDecoders, WeighingRepliesAndLinesDecodeToTheirValue) {
  struct Case {
    std::int64_t count;
    int decimals;
    bool stable;
    double value;  // as decoded
    bool stableOut;
  };
  const Case cases[] = {
      {123456, 4, true, 12.3456, true},
      {-100, 4, false, -0.01, false},
      {1, 0, true, 1.0, true},
      {-8388608, 6, true, -8.388608, true},
      {8388608, 4, true, 838.8607, false},
      {-9000000, 3, true, -8388.608, false},
      {999999, 1, true, 99999.9, true},
  };
  for (const auto& c : cases) {
    const Frame r = WeighingReply(c.count, c.decimals, c.stable);
    b_protocol::Weighing w;
    ASSERT_EQ(b_protocol::DecodeWeighing(std::span<const std::uint8_t, 8>(r), w),
              FrameStatus::FrameOk);
    EXPECT_NEAR(w.value, c.value, 1e-9) << c.count;
    EXPECT_EQ(w.decimals, c.decimals);
    EXPECT_EQ(w.stable, c.stableOut);
  }
  for (const auto& c : cases) {
    const std::string line = ReadingLine(c.count, c.decimals, c.stable, "PT300", 10452);
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(line.data()),
                                              line.size());
    pt_protocol::PtReading out;
    std::int32_t decimals = -7;
    const FrameStatus status = pt_protocol::DecodeLine(bytes, out, decimals);
    if (ValueField(c.count, c.decimals).empty()) {
      EXPECT_EQ(status, FrameStatus::FrameBad) << "overload carries no number: " << line;
      continue;
    }
    ASSERT_EQ(status, FrameStatus::FrameOk) << line;
    EXPECT_NEAR(out.value, static_cast<double>(c.count) / std::pow(10.0, c.decimals), 1e-9);
    EXPECT_EQ(out.stable, c.stable);
    EXPECT_EQ(decimals, c.decimals == 0 ? -7 : c.decimals) << "no point keeps the decimals";
    EXPECT_EQ(out.serial, 10452);
  }
}

TEST(SimAgainstGetW, DetectsEitherProtocolInFakeTime) {
  for (int protocol : {1, 2}) {
    SCOPED_TRACE(protocol);
    FakeClock clock;
    SimConfig c;
    c.protocol = protocol;
    c.noiseSteps = 0;
    ASSERT_EQ(CheckConfig(c), "");
    BalanceSimulator balance(c, clock.now());
    balance.put(20.0, clock.now());
    clock.advanceMs(1500);
    GetW getw(3, SimDeviceFactory(balance, clock, 3), clock);
    double value = 0;
    UnitText unit{};
    std::uint8_t stable = 0;
    ModelText model{};
    std::int32_t serial = 0, decimals = 0;
    const DateTime start = clock.now();
    int calls = 0;
    while (!getw.Acquire(value, unit, stable, model, serial, decimals) && ++calls < 20) {
    }
    ASSERT_LT(calls, 20);
    EXPECT_EQ(getw.protocol(), protocol);
    EXPECT_EQ(value, 20.0);
    EXPECT_EQ(serial, 123456);
    EXPECT_EQ(decimals, 4);
    // Protocol 1 is tried first: a protocol-2 balance waits for that window.
    const double took = ToSeconds(clock.now() - start);
    EXPECT_LT(took, protocol == 1 ? 0.5 : 5.0);
  }
}

}  // namespace
}  // namespace librato::sim

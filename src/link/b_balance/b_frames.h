#pragma once
// Pure decoding of the first protocol's replies (19200 baud, byte-by-byte
// exchange, frames protected by three overlapping 5-byte sums).

#include <cstdint>
#include <span>
#include <string>

#include "link/balance.h"

namespace librato::b_protocol {

constexpr std::size_t kFrameSize = 8;
constexpr std::size_t kFirstIdentSize = 16;

// Requests of the identification and the weighing.
extern const std::uint8_t kFirstIdentRequest[kFirstIdentSize];
extern const std::uint8_t kIdentAckRequest[kFrameSize];
extern const std::uint8_t kIdentRequest[kFrameSize];
extern const std::uint8_t kWeighRequest[kFrameSize];

// True when the sums r[first..first+4], r[first+1..first+5] and
// r[first+2..first+6] (mod 256) are all 0.
bool SumsZero(std::span<const std::uint8_t> r, std::size_t first);

struct Weighing {
  double value = 0;
  std::int32_t decimals = 0;
  int unitIndex = 0;
  bool stable = false;
};
// A weighing reply r0..r7. FrameOk or FrameBad; `out` is set only on FrameOk.
FrameStatus DecodeWeighing(std::span<const std::uint8_t, kFrameSize> r, Weighing& out);

// Reply to the first identification exchange.
enum class FirstIdentCheck { SumsBad, NotSimple, Ok };
FirstIdentCheck CheckFirstIdent(std::span<const std::uint8_t, kFirstIdentSize> r);

struct Identity {
  std::int32_t modelCode = -1;
  std::int32_t serial = 0;
  std::int32_t decimals = 4;
};
// The identification reply r0..r7; false when it fails its checks.
bool DecodeIdentity(std::span<const std::uint8_t, kFrameSize> r, Identity& out);

// Unit text of an index 0..8 (8, the vertical bar, marks the invalid frame;
// any other index gives it too).
const char* UnitName(int index);
// Designation of a model code (0..255).
std::string ModelName(int code);

// Copies a text into a fixed buffer, cut to fit, zero-terminated.
template <std::size_t N>
void CopyText(std::array<char, N>& to, const std::string& from) {
  to.fill(0);
  for (std::size_t i = 0; i + 1 < N && i < from.size(); ++i) to[i] = from[i];
}

}  // namespace librato::b_protocol

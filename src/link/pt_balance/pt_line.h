#pragma once
// Pure decoding of the second protocol's text lines (2400 baud 8E1, sent by
// the balance on its own, each ending in CR LF):
//   0..7 value, 8..10 unit (blank when unstable), 11 free,
//   12..L model designation up to the last space L, L+1..E-2 serial, CR LF.

#include <cstddef>
#include <cstdint>
#include <span>

#include "link/balance.h"

namespace librato::pt_protocol {

constexpr std::size_t kLineBufferSize = 50;
constexpr std::size_t kMaxSerialDigits = 7;

// Collects a line byte by byte as the driver reads it: the end E is the
// latest byte, the line ends at a CR LF whose LF is at position 6 or later,
// or after position 49.
class LineAssembler {
 public:
  // Adds the next byte; true when the line has ended.
  bool push(std::uint8_t byte);
  std::span<const std::uint8_t> line() const { return {buffer_, size_}; }
  void clear();

 private:
  std::uint8_t buffer_[kLineBufferSize] = {};
  std::size_t size_ = 0;
};

struct PtReading {
  double value = 0;
  UnitText unit{};  // 3 characters
  bool stable = false;
  ModelText model{};
  std::int32_t serial = 0;
};

// Decodes a line (positions 0..E, at most 50 bytes; longer input is cut).
// `decimals` keeps its value when the value field has no point. FrameOk or
// FrameBad; `out` and `decimals` change only on FrameOk.
FrameStatus DecodeLine(std::span<const std::uint8_t> line, PtReading& out, std::int32_t& decimals);

// Reads "  -12.34" style text: optional leading spaces, optional sign, digits
// and one '.'; anything else ends the number; no digits give 0.
double ParseValueField(std::span<const std::uint8_t> field);

}  // namespace librato::pt_protocol

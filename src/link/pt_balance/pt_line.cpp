#include "link/pt_balance/pt_line.h"

#include <algorithm>
#include <charconv>
#include <string>

namespace librato::pt_protocol {

namespace {
constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kLf = 0x0A;
}  // namespace

bool LineAssembler::push(std::uint8_t byte) {
  if (size_ >= kLineBufferSize) return true;
  buffer_[size_] = byte;
  const std::size_t e = size_;
  ++size_;
  if (e >= 6 && buffer_[e] == kLf && buffer_[e - 1] == kCr) return true;
  return size_ >= kLineBufferSize;
}

void LineAssembler::clear() {
  std::fill(std::begin(buffer_), std::end(buffer_), 0);
  size_ = 0;
}

double ParseValueField(std::span<const std::uint8_t> field) {
  std::size_t i = 0;
  while (i < field.size() && field[i] == ' ') ++i;
  bool negative = false;
  if (i < field.size() && (field[i] == '-' || field[i] == '+')) {
    negative = field[i] == '-';
    ++i;
  }
  std::string digits;
  bool point = false, anyDigit = false;
  for (; i < field.size(); ++i) {
    const std::uint8_t c = field[i];
    if (c >= '0' && c <= '9') {
      digits += static_cast<char>(c);
      anyDigit = true;
    } else if (c == '.' && !point) {
      digits += '.';
      point = true;
    } else {
      break;
    }
  }
  if (!anyDigit) return 0;
  if (digits.front() == '.') digits.insert(digits.begin(), '0');
  double value = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return negative ? -value : value;
}

FrameStatus DecodeLine(std::span<const std::uint8_t> line, PtReading& out, std::int32_t& decimals) {
  if (line.empty()) return FrameStatus::FrameBad;
  // The driver's buffer is cleared before every line, so positions beyond
  // the end read as zero bytes.
  std::uint8_t b[kLineBufferSize] = {};
  const std::size_t size = std::min(line.size(), kLineBufferSize);
  std::copy_n(line.begin(), size, b);
  const std::size_t e = size - 1;
  std::size_t last = 0;
  for (std::size_t i = 0; i <= e; ++i)
    if (b[i] == ' ') last = i;
  if (e < 1 || b[e - 1] != kCr || b[e] != kLf || b[last] != ' ') return FrameStatus::FrameBad;

  // Serial number: the leading digits between the last space and the CR. A
  // field longer than the balance ever sends is refused, not overflowed.
  const std::size_t serialStart = last + 1;
  const std::size_t serialEnd = e - 1;  // exclusive: position of the CR
  if (serialEnd > serialStart && serialEnd - serialStart > kMaxSerialDigits)
    return FrameStatus::FrameBad;
  std::int32_t serial = 0;
  for (std::size_t i = serialStart; i < serialEnd && b[i] >= '0' && b[i] <= '9'; ++i)
    serial = serial * 10 + (b[i] - '0');

  PtReading r;
  r.value = ParseValueField(std::span<const std::uint8_t>(b, 8));
  for (int p = 7; p >= 0; --p) {
    if (b[p] == '.') {
      decimals = 7 - p;
      break;
    }
  }
  r.unit.fill(0);
  for (int i = 0; i < 3; ++i) r.unit[i] = static_cast<char>(b[8 + i]);
  r.stable = !(b[8] == ' ' && b[9] == ' ' && b[10] == ' ');
  // Model designation from position 12 up to and including the last space;
  // empty when the last space lies before 12, at most 15 characters.
  r.model.fill(0);
  if (last >= 12) {
    const std::size_t length = std::min<std::size_t>(last - 12 + 1, r.model.size() - 1);
    for (std::size_t i = 0; i < length; ++i) r.model[i] = static_cast<char>(b[12 + i]);
  }
  r.serial = serial;
  out = r;
  return FrameStatus::FrameOk;
}

}  // namespace librato::pt_protocol

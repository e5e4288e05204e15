#include "link/b_balance/b_frames.h"

namespace librato::b_protocol {

const std::uint8_t kFirstIdentRequest[kFirstIdentSize] = {'S', 'i', 'm', 'p', 'l', 'e', 0xA5, 0x01,
                                                          'S', 'i', 'm', 'p', 'l', 'e', 0x00, 0x00};
const std::uint8_t kIdentAckRequest[kFrameSize] = {'S', 'i', 'm', 'p', 'l', 'e', '|', 0x01};
const std::uint8_t kIdentRequest[kFrameSize] = {'S', 'i', 'm', 'p', 'l', 'e', 0x00, 0x01};
const std::uint8_t kWeighRequest[kFrameSize] = {'S', 'i', 'm', 'p', 'l', 'e', 0x47, 0x01};

bool SumsZero(std::span<const std::uint8_t> r, std::size_t first) {
  if (first + 7 > r.size()) return false;
  for (std::size_t start = first; start < first + 3; ++start) {
    std::uint8_t sum = 0;
    for (std::size_t i = start; i < start + 5; ++i) sum = static_cast<std::uint8_t>(sum + r[i]);
    if (sum != 0) return false;
  }
  return true;
}

FrameStatus DecodeWeighing(std::span<const std::uint8_t, kFrameSize> r, Weighing& out) {
  if (!SumsZero(r, 0)) return FrameStatus::FrameBad;
  const std::uint8_t status = r[3];
  const int exponent = status & 0x07;
  std::int32_t count = (std::int32_t{r[4]} << 16) | (std::int32_t{r[5]} << 8) | r[6];
  if (count & 0x800000) count -= 0x1000000;  // 24-bit two's complement
  // Divide by the power of ten rather than multiply by its inverse, so that
  // 123456 with exponent 2 reads as the double nearest to 12.3456.
  double value;
  if (exponent <= 6) {
    double divisor = 1;
    for (int i = exponent; i < 6; ++i) divisor *= 10;
    value = count / divisor;
  } else {
    value = count * 10.0;
  }
  out.value = value;
  out.decimals = 6 - exponent;
  out.unitIndex = (status >> 4) & 0x07;
  out.stable = (status & 0x80) != 0;
  return FrameStatus::FrameOk;
}

FirstIdentCheck CheckFirstIdent(std::span<const std::uint8_t, kFirstIdentSize> r) {
  if (!SumsZero(r, 8)) return FirstIdentCheck::SumsBad;
  if (r[11] != 0x53 || r[12] != 0x71) return FirstIdentCheck::NotSimple;
  return FirstIdentCheck::Ok;
}

bool DecodeIdentity(std::span<const std::uint8_t, kFrameSize> r, Identity& out) {
  if (r[7] != 0x01 || !SumsZero(r, 0)) return false;
  out.serial = (std::int32_t{r[4]} << 16) | (std::int32_t{r[5]} << 8) | r[6];
  out.modelCode = r[3];
  const int code = r[3];
  out.decimals = (code == 4 || code == 5 || code == 12 || code == 13) ? 3 : 4;
  return true;
}

const char* UnitName(int index) {
  static const char* const kUnits[] = {"g", "ct", "%", "pcs", "mg", "kg", "oz", "ozt", "|"};
  if (index < 0 || index > 8) return kUnits[8];
  return kUnits[index];
}

std::string ModelName(int code) {
  static const char* const kFirst[] = {"QZ71",   "QZ713",  "QZ722",   "QZ7312",
                                       "QZ7323", "QZ7334", "QZ74415", "QZ74426"};
  static const char* const kSecond[] = {"LWQ7",  "LWR15",  "LWS25", "LWT35",
                                        "LWV65", "LWR150", "LWU55", "LWX250"};
  const int index = code & 0x07;
  if (code & 0x20) return kFirst[index];
  std::string text = kSecond[index];
  if (code & 0x80) text += "M";
  text += index <= 3 ? "-01" : "-1";
  if (code & 0x10) text += "A";
  if (code & 0x08) text += "C";
  return text;
}

}  // namespace librato::b_protocol

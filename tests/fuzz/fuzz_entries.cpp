#include "fuzz_entries.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "link/b_balance/b_frames.h"
#include "link/get_w.h"
#include "link/mass_text.h"
#include "link/pt_balance/pt_line.h"

namespace librato::fuzz {

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

template <std::size_t N>
std::array<std::uint8_t, N> Padded(const std::uint8_t* data, std::size_t size) {
  std::array<std::uint8_t, N> a{};
  std::memcpy(a.data(), data, std::min(size, N));
  return a;
}

template <std::size_t N>
bool Terminated(const std::array<char, N>& text) {
  return std::memchr(text.data(), 0, N) != nullptr;
}

}  // namespace

void WeighingReply(const std::uint8_t* data, std::size_t size) {
  const auto r = Padded<8>(data, size);
  b_protocol::Weighing w;
  const FrameStatus status = b_protocol::DecodeWeighing(r, w);
  Check(status == FrameStatus::FrameOk || status == FrameStatus::FrameBad);
  if (status == FrameStatus::FrameOk) {
    Check(std::isfinite(w.value));
    Check(w.decimals >= -1 && w.decimals <= 6);
    Check(w.unitIndex >= 0 && w.unitIndex <= 7);
    Check(std::abs(w.value) <= 8388608.0 * 10);
  }
  const std::string name = b_protocol::ModelName(r[3]);
  Check(name.size() <= 15);
}

void IdentityReply(const std::uint8_t* data, std::size_t size) {
  const auto first = Padded<16>(data, size);
  b_protocol::CheckFirstIdent(first);
  const auto r = Padded<8>(size > 16 ? data + 16 : data, size > 16 ? size - 16 : size);
  b_protocol::Identity id;
  if (b_protocol::DecodeIdentity(r, id)) {
    Check(id.serial >= 0 && id.serial < (1 << 24));
    Check(id.modelCode >= 0 && id.modelCode <= 255);
    Check(id.decimals == 3 || id.decimals == 4);
    // Every designation the first protocol can report is in the model table.
    ModelText model{};
    b_protocol::CopyText(model, b_protocol::ModelName(id.modelCode));
    std::int32_t clearance = -1, capacity = -1;
    Check(LookupModel(model, clearance, capacity, 2));
    Check(clearance == 100 && capacity > 0);
  }
}

void PtLines(const std::uint8_t* data, std::size_t size) {
  pt_protocol::LineAssembler line;
  std::int32_t decimals = 0;
  for (std::size_t i = 0; i < size; ++i) {
    if (!line.push(data[i])) continue;
    Check(line.line().size() <= pt_protocol::kLineBufferSize);
    pt_protocol::PtReading r;
    const std::int32_t before = decimals;
    if (pt_protocol::DecodeLine(line.line(), r, decimals) == FrameStatus::FrameOk) {
      Check(Terminated(r.model));
      Check(r.serial >= 0 && r.serial <= 9999999);
      Check(std::isfinite(r.value) && std::abs(r.value) < 1e8);
      Check(decimals >= 0 && decimals <= 7);
    } else {
      Check(decimals == before);
    }
    line.clear();
  }
  // The decoder on the whole input as one line, whatever its length.
  pt_protocol::PtReading r;
  pt_protocol::DecodeLine({data, size}, r, decimals);
  Check(Terminated(r.model));
}

void ModelLookup(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::int32_t clearance = -7, capacity = -7;
  if (LookupModel(text, clearance, capacity, 2)) {
    Check(clearance == 100);
    Check(capacity >= 0);
  } else {
    Check(clearance == -7 && capacity == -7);
  }
  // The same through the fixed model buffer.
  ModelText model{};
  std::memcpy(model.data(), data, std::min(size, model.size()));
  LookupModel(model, clearance, capacity, 2);
}

void MassTextCounts(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  // liveDecimals runs from -1 (no reading yet) to 6 on either protocol.
  const int decimals = (data[0] & 0x07) - 1;
  const int extra = (data[0] & 0x08) ? 0 : 2;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const MassText m(decimals, nullptr);
  try {
    m.GetLong(text, extra);
  } catch (const ConversionError&) {
  }
}

}  // namespace librato::fuzz

#include "link/get_w.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "link/b_balance/b_balance.h"
#include "link/pt_balance/pt_balance.h"

namespace librato {

GetW::GetW(std::int32_t port, SerialDeviceFactory devices, Clock& clock)
    : portNumber_(port), devices_(std::move(devices)), clock_(clock) {}

GetW::~GetW() = default;

bool GetW::Acquire(double& value, UnitText& unit, std::uint8_t& stable, ModelText& model,
                   std::int32_t& serial, std::int32_t& decimals) {
  if (phase_ == 1) {
    protocol_ = protocol_ + 1;
    if (protocol_ > 2) protocol_ = 1;
    driver_.reset();  // closes its port before the next driver opens it
    if (protocol_ == 1)
      driver_ = std::make_unique<B_balance>(portNumber_, devices_, clock_);
    else
      driver_ = std::make_unique<PT_balance>(portNumber_, devices_, clock_);
    phase_ = 2;
    return false;
  }

  bool result = false;
  DateTime windowStart = clock_.now();
  // The time is tested only between polls, and the first poll always runs.
  do {
    driver_->Poll(value, unit, stable, model, serial);
    decimals = driver_->decimals;
    if (driver_->state == DriverState::Linked) windowStart = clock_.now();
    if (driver_->state == DriverState::ReadingComplete) {
      result = true;
      driver_->Resume();
      break;
    }
  } while (clock_.now() - windowStart < kWindow);
  if (!result) phase_ = 1;
  return result;
}

namespace {

bool IsTrimmed(unsigned char c) { return c <= 0x20 || c == 0x7F; }

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

struct Row {
  std::string_view name;
  std::int32_t capacity;
};

constexpr Row kFirstFamily[] = {{"QZ71", 20},       {"QZ713", 100},    {"QZ722", 200},
                                {"QZ7312", 1000},   {"QZ7323", 2000},  {"QZ7334", 5000},
                                {"QZ74415", 10000}, {"QZ74426", 20000}};
constexpr Row kSecondFamily[] = {{"LWR150", 1200}, {"LWX250", 2200}, {"LWR15", 120}, {"LWS25", 210},
                                 {"LWT35", 310},   {"LWV65", 600},   {"LWU55", 510}, {"LWQ7", 60}};

bool Find(std::string_view text, std::int32_t& capacity) {
  if (!text.empty() && text[0] == 'Q') {
    for (const Row& row : kFirstFamily) {
      if (text == row.name) {
        capacity = row.capacity;
        return true;
      }
    }
  }
  if (StartsWith(text, "LW")) {
    // Longest designations first, so LWR150 wins over LWR15.
    for (std::size_t length : {6u, 5u, 4u}) {
      for (const Row& row : kSecondFamily) {
        if (row.name.size() == length && StartsWith(text, row.name)) {
          capacity = row.capacity;
          return true;
        }
      }
    }
  }
  std::size_t first = 0, last = text.size();
  while (first < last && IsTrimmed(static_cast<unsigned char>(text[first]))) ++first;
  while (last > first && IsTrimmed(static_cast<unsigned char>(text[last - 1]))) --last;
  const std::string_view trimmed = text.substr(first, last - first);
  if (StartsWith(trimmed, "PT")) {
    // No digits, or a number too large for the capacity, is not a model.
    std::int64_t number = 0;
    std::size_t i = 2;
    for (; i < trimmed.size() && trimmed[i] >= '0' && trimmed[i] <= '9'; ++i) {
      number = number * 10 + (trimmed[i] - '0');
      if (number * 10 > std::numeric_limits<std::int32_t>::max()) return false;
    }
    if (i == 2) return false;
    capacity = static_cast<std::int32_t>(number * 10);
    return true;
  }
  return false;
}

}  // namespace

bool LookupModel(std::string_view text, std::int32_t& clearance, std::int32_t& capacity,
                 int exponent) {
  // Designations are zero-terminated texts.
  if (const auto zero = text.find('\0'); zero != std::string_view::npos)
    text = text.substr(0, zero);
  std::int32_t found = 0;
  if (!Find(text, found)) return false;
  capacity = found;
  std::int64_t power = exponent >= 0 ? 1 : 0;
  for (int i = 0; i < exponent && power <= std::numeric_limits<std::int32_t>::max(); ++i)
    power *= 10;
  clearance = static_cast<std::int32_t>(
      std::min<std::int64_t>(power, std::numeric_limits<std::int32_t>::max()));
  return true;
}

bool LookupModel(const ModelText& text, std::int32_t& clearance, std::int32_t& capacity,
                 int exponent) {
  return LookupModel(std::string_view(text.data(), strnlen(text.data(), text.size())), clearance,
                     capacity, exponent);
}

}  // namespace librato

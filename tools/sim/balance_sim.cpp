#include "balance_sim.h"

#include <cmath>
#include <cstdio>

namespace librato::sim {

namespace {

constexpr std::uint8_t kSimple[6] = {'S', 'i', 'm', 'p', 'l', 'e'};

const char* const kFirstFamily[8] = {"QZ71",   "QZ713",  "QZ722",   "QZ7312",
                                     "QZ7323", "QZ7334", "QZ74415", "QZ74426"};
const char* const kSecondFamily[8] = {"LWQ7",  "LWR15",  "LWS25", "LWT35",
                                      "LWV65", "LWR150", "LWU55", "LWX250"};

std::int64_t PowerOfTen(int n) {
  std::int64_t p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

bool InRate(double r) { return r >= 0 && r <= 1; }

}  // namespace

std::string DesignationOfCode(int code) {
  const int index = code & 0x07;
  if (code & 0x20) return kFirstFamily[index];
  std::string text = kSecondFamily[index];
  if (code & 0x80) text += "M";
  text += index <= 3 ? "-01" : "-1";
  if (code & 0x10) text += "A";
  if (code & 0x08) text += "C";
  return text;
}

int ModelCodeOf(const std::string& designation) {
  for (int code = 0; code < 256; ++code) {
    if (DesignationOfCode(code) == designation) return code;
  }
  return -1;
}

std::string CheckConfig(SimConfig& c) {
  if (c.protocol != 1 && c.protocol != 2) return "The protocol must be 1 or 2.";
  if (c.model.empty()) c.model = c.protocol == 1 ? "QZ713" : "PT300";
  if (c.decimals < 0 || c.decimals > 6) return "The number of decimals must be from 0 to 6.";
  if (!(c.noiseSteps >= 0) || c.noiseSteps > 1000) {
    return "The noise must be a number of display steps from 0 to 1000.";
  }
  if (!(c.settleSeconds >= 0) || c.settleSeconds > 3600) {
    return "The settling time must be from 0 to 3600 seconds.";
  }
  if (!InRate(c.corruptRate) || !InRate(c.garbageRate) || !InRate(c.dropRate)) {
    return "A fault rate must be a fraction from 0 to 1 (0.05 means 5 %).";
  }
  if (!(c.byteSeconds > 0)) return "The time per byte must be positive.";
  if (c.protocol == 1) {
    if (ModelCodeOf(c.model) < 0) {
      return "\"" + c.model +
             "\" is not a designation that a protocol-1 balance reports; use one such as "
             "QZ713, QZ7334, LWR15-01 or LWR150M-1A.";
    }
    if (c.serial < 0 || c.serial > 0xFFFFFF) {
      return "A protocol-1 balance reports serial numbers from 0 to 16777215.";
    }
  } else {
    for (const char ch : c.model) {
      if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) {
        return "The designation must not contain control characters.";
      }
    }
    if (c.serial < 0 || c.serial > 9999999) {
      return "A protocol-2 balance reports serial numbers of at most 7 digits (0 to 9999999).";
    }
    const std::size_t digits = std::to_string(c.serial).size();
    // The reader takes at most 50 bytes per line.
    if (8 + 3 + 1 + c.model.size() + 1 + digits + 2 > 50) {
      return "The designation is too long: a protocol-2 line holds at most 50 characters.";
    }
  }
  return "";
}

void FillCheckSums(Frame& r) {
  r[2] = static_cast<std::uint8_t>(-(r[3] + r[4] + r[5] + r[6]));
  r[1] = static_cast<std::uint8_t>(-(r[2] + r[3] + r[4] + r[5]));
  r[0] = static_cast<std::uint8_t>(-(r[1] + r[2] + r[3] + r[4]));
}

Frame WeighingReply(std::int64_t count, int decimals, bool stable, bool* overload) {
  const bool over = count > kMaxCount24 || count < kMinCount24;
  if (over) {
    count = count > 0 ? kMaxCount24 : kMinCount24;
    stable = false;
  }
  if (overload) *overload = over;
  const auto raw = static_cast<std::uint32_t>(count) & 0xFFFFFF;
  Frame r{};
  r[3] = static_cast<std::uint8_t>((stable ? 0x80 : 0x00) | ((6 - decimals) & 0x07));
  r[4] = static_cast<std::uint8_t>(raw >> 16);
  r[5] = static_cast<std::uint8_t>(raw >> 8);
  r[6] = static_cast<std::uint8_t>(raw);
  r[7] = 0x00;
  FillCheckSums(r);
  return r;
}

Frame IdentificationReply(int modelCode, std::int64_t serial) {
  Frame r{};
  r[3] = static_cast<std::uint8_t>(modelCode);
  r[4] = static_cast<std::uint8_t>(serial >> 16);
  r[5] = static_cast<std::uint8_t>(serial >> 8);
  r[6] = static_cast<std::uint8_t>(serial);
  r[7] = 0x01;
  FillCheckSums(r);
  return r;
}

Frame AcknowledgeReply() {
  Frame r{};
  r[3] = 'S';
  r[4] = 'q';
  FillCheckSums(r);
  return r;
}

std::string ValueField(std::int64_t count, int decimals) {
  const std::int64_t p = PowerOfTen(decimals);
  const std::uint64_t a =
      count < 0 ? 0 - static_cast<std::uint64_t>(count) : static_cast<std::uint64_t>(count);
  std::string text = std::to_string(a / static_cast<std::uint64_t>(p));
  if (decimals > 0) {
    std::string frac = std::to_string(a % static_cast<std::uint64_t>(p));
    text += "." + std::string(static_cast<std::size_t>(decimals) - frac.size(), '0') + frac;
  }
  if (count < 0) text = "-" + text;
  if (text.size() > 8) return "";
  return std::string(8 - text.size(), ' ') + text;
}

std::string ReadingLine(std::int64_t count, int decimals, bool stable, const std::string& model,
                        std::int64_t serial) {
  const std::string value = ValueField(count, decimals);
  if (value.empty()) return "OVERLOAD\r\n";
  return value + (stable ? "g  " : "   ") + " " + model + " " + std::to_string(serial) + "\r\n";
}

BalanceSimulator::BalanceSimulator(const SimConfig& config, DateTime start)
    : config_(config),
      modelCode_(config.protocol == 1 ? ModelCodeOf(config.model) : -1),
      model_(ModelSettings{config.decimals, config.noiseSteps, config.settleSeconds}, config.seed,
             start),
      // Faults draw from their own sequence, so a fault rate does not change the noise.
      faults_(config.seed ^ 0xA5A5A5A5F00DFACEull),
      nextByteAt_(start) {}

void BalanceSimulator::put(double grams, DateTime now) {
  std::lock_guard lock(mutex_);
  model_.put(grams, now);
}

void BalanceSimulator::remove(DateTime now) {
  std::lock_guard lock(mutex_);
  model_.remove(now);
}

void BalanceSimulator::zero(DateTime now) {
  std::lock_guard lock(mutex_);
  model_.zero(now);
}

void BalanceSimulator::silence(double seconds, DateTime now) {
  std::lock_guard lock(mutex_);
  silentUntil_ = now + Seconds(seconds);
  pos_ = -1;
}

void BalanceSimulator::disconnect() {
  std::lock_guard lock(mutex_);
  connected_ = false;
}

bool BalanceSimulator::connected() const {
  std::lock_guard lock(mutex_);
  return connected_;
}

std::vector<SentRecord> BalanceSimulator::sent() const {
  std::lock_guard lock(mutex_);
  return log_;
}

Sample BalanceSimulator::lastSample() const {
  std::lock_guard lock(mutex_);
  return last_;
}

double BalanceSimulator::valueOf(std::int64_t count) const {
  return static_cast<double>(count) / static_cast<double>(PowerOfTen(config_.decimals));
}

void BalanceSimulator::record(DateTime t, SentKind kind, double value, bool stable) {
  if (config_.keepLog) log_.push_back(SentRecord{t, kind, value, stable});
}

void BalanceSimulator::receive(const std::uint8_t* data, std::size_t n, DateTime now,
                               std::vector<std::uint8_t>& replies) {
  std::lock_guard lock(mutex_);
  if (!connected_ || config_.protocol != 1) return;
  for (std::size_t i = 0; i < n; ++i) exchange(data[i], now, replies);
}

void BalanceSimulator::startFrame(DateTime now) {
  pos_ = 0;
  dropAt_ = -1;
  echo_ = false;
  switch (next_) {
    case Next::Echo:
      echo_ = true;
      break;
    case Next::Acknowledge:
      frame_ = AcknowledgeReply();
      break;
    case Next::Identification:
      frame_ = IdentificationReply(modelCode_, config_.serial);
      break;
    case Next::Weighing: {
      const Sample s = model_.sample(now);
      last_ = s;
      bool over = false;
      frame_ = WeighingReply(s.count, config_.decimals, s.stable, &over);
      const std::int64_t carried = over ? (s.count > 0 ? kMaxCount24 : kMinCount24) : s.count;
      SentKind kind = over ? SentKind::Overload : SentKind::Intact;
      if (faults_.uniform() < config_.corruptRate) {
        // Every byte r0..r6 enters a sum, so any change fails the frame.
        frame_[faults_.below(7)] ^= static_cast<std::uint8_t>(1 + faults_.below(255));
        kind = SentKind::Corrupted;
      } else if (faults_.uniform() < config_.dropRate) {
        dropAt_ = static_cast<int>(faults_.below(8));
        kind = SentKind::Dropped;
      }
      record(now, kind, valueOf(carried), !over && s.stable);
      break;
    }
  }
}

void BalanceSimulator::exchange(std::uint8_t b, DateTime now, std::vector<std::uint8_t>& replies) {
  if (silentAt(now)) {
    pos_ = -1;
    next_ = Next::Echo;
    return;
  }
  if (pos_ >= 0) {
    if (pos_ >= 6 || b == kSimple[pos_]) {
      if (pos_ == 6) command_ = b;
      const std::uint8_t reply = echo_ ? b : frame_[static_cast<std::size_t>(pos_)];
      const bool send = pos_ != dropAt_;
      if (pos_ == 7) {
        if (command_ == 0xA5) {
          next_ = Next::Acknowledge;
        } else if (command_ == '|') {
          next_ = Next::Identification;
        } else if (command_ == 0x47 || (command_ == 0x00 && b == 0x01)) {
          next_ = Next::Weighing;
        } else {
          next_ = Next::Echo;
        }
        pos_ = -1;
      } else {
        ++pos_;
      }
      if (send) replies.push_back(reply);
      return;
    }
    pos_ = -1;  // not this frame: the byte starts afresh
  }
  if (b == 0x00) {
    replies.push_back(0x00);
  } else if (b == 0x01) {
    replies.push_back(0x02);
    next_ = Next::Echo;
  } else if (b == 'S') {
    startFrame(now);
    exchange(b, now, replies);
  }
  // Anything else is line noise to the balance: no reply.
}

void BalanceSimulator::startLine(DateTime at) {
  linePos_ = 0;
  nextByteAt_ = at;
  if (faults_.uniform() < config_.garbageRate) {
    const std::size_t n = 6 + faults_.below(35);
    line_.clear();
    for (std::size_t i = 0; i < n; ++i) {
      // Printable and upper half, never space, CR, LF or FF.
      std::uint64_t v = faults_.below(94 + 127);
      line_ += static_cast<char>(v < 94 ? 0x21 + v : 0x80 + (v - 94));
    }
    line_ += "\r\n";
    record(at, SentKind::Garbage, 0, false);
    return;
  }
  const Sample s = model_.sample(at);
  last_ = s;
  line_ = ReadingLine(s.count, config_.decimals, s.stable, config_.model, config_.serial);
  if (line_.rfind("OVERLOAD", 0) == 0) {
    record(at, SentKind::Overload, 0, false);
    return;
  }
  if (faults_.uniform() < config_.corruptRate) {
    for (std::size_t i = 0; i + 2 < line_.size(); ++i) {
      if (line_[i] == ' ') line_[i] = static_cast<char>(0x21 + faults_.below(94));
    }
    record(at, SentKind::Corrupted, valueOf(s.count), s.stable);
    return;
  }
  record(at, SentKind::Intact, valueOf(s.count), s.stable);
}

void BalanceSimulator::transmitUntil(DateTime now, std::vector<std::uint8_t>& out) {
  std::lock_guard lock(mutex_);
  if (!connected_ || config_.protocol != 2) return;
  const DateTime span = Seconds(config_.byteSeconds);
  // Nobody can hold more than a receive buffer of what went by unheard.
  const DateTime backlog = 4096 * span;
  if (now - nextByteAt_ > backlog) {
    nextByteAt_ = now - backlog;
    linePos_ = line_.size();
  }
  for (;;) {
    if (linePos_ >= line_.size()) {
      const DateTime start = std::max(nextByteAt_, silentUntil_);
      if (start > now) break;
      startLine(start);
    }
    if (nextByteAt_ > now) break;
    out.push_back(static_cast<std::uint8_t>(line_[linePos_++]));
    nextByteAt_ += span;
  }
}

std::optional<DateTime> BalanceSimulator::nextTransmitTime() const {
  std::lock_guard lock(mutex_);
  if (!connected_ || config_.protocol != 2) return std::nullopt;
  if (linePos_ < line_.size()) return nextByteAt_;
  return std::max(nextByteAt_, silentUntil_);
}

}  // namespace librato::sim

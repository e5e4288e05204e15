#pragma once
// The simulated balance: the weighing physics plus the wire behaviour of either
// balance protocol, with fault injection.
//
// Protocol 1 (19200 8N1) answers byte by byte: every request byte gets at once
// one reply byte (or none). A reply frame's first bytes carry check sums over
// data that follows, so the balance must know which frame it answers before
// the command byte arrives; like the real one it follows the fixed order of the
// exchanges: synchronisation (00 -> 00 ... 01 -> 02), identification
// ("Simple" A5 01, "Simple" 00 00 -> the "Sq" acknowledgement, "Simple|" 01,
// "Simple" 00 01 -> model code and serial number), then weighings
// ("Simple" 47 01). A byte that does not fit the frame in progress abandons it.
//
// Protocol 2 (2400 8E1) sends its text lines by itself at the pace of the line
// (11 bits per byte): 8-character value with '.', 3-character unit (blank while
// unstable), a space, the designation, a space, the serial number, CR LF.
//
// Overload, where the frame cannot carry the value:
// - protocol 1: the count pinned at the 24-bit limit of its sign (+8388607 or
//   -8388608) with the stable bit clear;
// - protocol 2: the line "OVERLOAD" CR LF, which has no space and therefore
//   fails the line checks: the reader gets no reading rather than a number.
//
// Faults, drawn per reply frame (protocol 1) or per line (protocol 2):
// - corrupt: protocol 1 changes one of r0..r6 of a weighing reply (a check sum
//   then fails); protocol 2 replaces every space of a line, so that it fails
//   the last-space check but keeps its CR LF;
// - garbage (protocol 2): a junk line between lines, 6 to 40 bytes without
//   space, CR or LF, then CR LF. Junk must end in a line end long enough to be
//   seen (at least 6 bytes): anything else runs into the next line, and a
//   protocol without check sums cannot tell such a line from a good one;
// - drop (protocol 1): one reply byte of a weighing reply is not sent;
// - silence: no reply and no line for a while (protocol 2 finishes the line
//   in progress first, for the same reason as above);
// - disconnect: the balance is gone for good.
//
// Thread-safe: the operator commands and the wire side may be called from
// different threads.

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "balance_model.h"
#include "link/clock.h"

namespace librato::sim {

struct SimConfig {
  int protocol = 1;
  std::string model;  // empty: QZ713 for protocol 1, PT300 for protocol 2
  std::int64_t serial = 123456;
  int decimals = 4;
  double noiseSteps = 0.3;
  double settleSeconds = 1.0;
  std::uint64_t seed = 1;
  double corruptRate = 0;
  double garbageRate = 0;
  double dropRate = 0;
  // Protocol 2: time of one byte on the line (2400 baud, start + 8 + parity + stop).
  double byteSeconds = 11.0 / 2400.0;
  // Keep a record of every weighing reply and line (tests and benchmarks).
  bool keepLog = false;
};

// Checks the settings and fills in the default model. Returns "" when they
// are usable, else a sentence that says what is wrong.
std::string CheckConfig(SimConfig& config);

// The designation that the program's model table gives for a protocol-1 model
// code (the balance's own list of designations).
std::string DesignationOfCode(int code);
// The lowest model code with that designation; -1 when there is none.
int ModelCodeOf(const std::string& designation);

constexpr std::int64_t kMaxCount24 = 0x7FFFFF;
constexpr std::int64_t kMinCount24 = -0x800000;

using Frame = std::array<std::uint8_t, 8>;

// Fills r0..r2 so that the sums r0..r4, r1..r5 and r2..r6 are 0 (mod 256).
void FillCheckSums(Frame& r);
// Weighing reply: stable bit, unit 0 (g), exponent 6 - decimals, 24-bit count.
// A count beyond 24 bits gives the overload reply; `overload` tells which.
Frame WeighingReply(std::int64_t count, int decimals, bool stable, bool* overload = nullptr);
// Identification reply: model code, serial number (24 bits), r7 = 01.
Frame IdentificationReply(int modelCode, std::int64_t serial);
// The "Sq" acknowledgement of the identification request.
Frame AcknowledgeReply();

// Protocol 2: the 8-character value field of a count, "" when it does not fit.
std::string ValueField(std::int64_t count, int decimals);
// The whole line with CR LF, or "OVERLOAD\r\n" when the value does not fit.
std::string ReadingLine(std::int64_t count, int decimals, bool stable, const std::string& model,
                        std::int64_t serial);

enum class SentKind { Intact, Corrupted, Garbage, Dropped, Overload };

// What the balance sent: one weighing reply (protocol 1) or one line.
struct SentRecord {
  DateTime time = 0;
  SentKind kind = SentKind::Intact;
  double value = 0;  // the reading it carries (intact, corrupted, dropped)
  bool stable = false;
};

class BalanceSimulator {
 public:
  // `config` must have passed CheckConfig.
  BalanceSimulator(const SimConfig& config, DateTime start);

  const SimConfig& config() const { return config_; }
  int modelCode() const { return modelCode_; }

  // Operator side.
  void put(double grams, DateTime now);
  void remove(DateTime now);
  void zero(DateTime now);
  void silence(double seconds, DateTime now);
  void disconnect();
  bool connected() const;

  // Wire side. Protocol 1: request bytes in, the reply bytes due at once out
  // (protocol 2 ignores what it receives).
  void receive(const std::uint8_t* data, std::size_t n, DateTime now,
               std::vector<std::uint8_t>& replies);
  // Protocol 2: appends every byte whose time has come by `now`.
  void transmitUntil(DateTime now, std::vector<std::uint8_t>& out);
  // When the next byte of protocol 2 is due; none for protocol 1 or when gone.
  std::optional<DateTime> nextTransmitTime() const;

  std::vector<SentRecord> sent() const;
  // The latest sample that went out (protocol 1 weighing or protocol 2 line).
  Sample lastSample() const;

 private:
  enum class Next { Echo, Acknowledge, Identification, Weighing };

  bool silentAt(DateTime t) const { return t < silentUntil_; }
  void exchange(std::uint8_t b, DateTime now, std::vector<std::uint8_t>& replies);
  void startFrame(DateTime now);
  void startLine(DateTime at);
  void record(DateTime t, SentKind kind, double value, bool stable);
  double valueOf(std::int64_t count) const;

  mutable std::mutex mutex_;
  SimConfig config_;
  int modelCode_ = -1;
  BalanceModel model_;
  Random faults_;
  bool connected_ = true;
  DateTime silentUntil_ = 0;
  Sample last_;
  std::vector<SentRecord> log_;

  // Protocol 1: the frame in progress.
  int pos_ = -1;  // -1: between frames
  bool echo_ = true;
  Frame frame_{};
  int dropAt_ = -1;
  std::uint8_t command_ = 0;
  Next next_ = Next::Echo;

  // Protocol 2: the line in progress and the time of its next byte.
  std::string line_;
  std::size_t linePos_ = 0;
  DateTime nextByteAt_ = 0;
};

}  // namespace librato::sim

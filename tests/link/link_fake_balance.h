#pragma once
// A first-protocol balance for driver tests: answers the synchronisation,
// the identification and weighing requests byte by byte on a FakeLine.

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

#include "support/fake_serial.h"
#include "link/b_balance/b_frames.h"

namespace librato::testing {

using Frame8 = std::array<std::uint8_t, 8>;

// Fills r0..r2 so that the three sums of a reply are 0 (r3..r7 given).
inline Frame8 WithSums(Frame8 r) {
  r[2] = static_cast<std::uint8_t>(-(r[3] + r[4] + r[5] + r[6]));
  r[1] = static_cast<std::uint8_t>(-(r[2] + r[3] + r[4] + r[5]));
  r[0] = static_cast<std::uint8_t>(-(r[1] + r[2] + r[3] + r[4]));
  return r;
}

// Weighing reply: count (24-bit signed), exponent k (decimals 6 - k).
inline Frame8 WeighFrame(std::int32_t count, int exponent, bool stable, int unit = 0) {
  const auto c = static_cast<std::uint32_t>(count) & 0xFFFFFF;
  const auto status = static_cast<std::uint8_t>((stable ? 0x80 : 0) | (unit << 4) | exponent);
  return WithSums({0, 0, 0, status, static_cast<std::uint8_t>(c >> 16),
                   static_cast<std::uint8_t>(c >> 8), static_cast<std::uint8_t>(c), 0});
}

inline Frame8 IdentFrame(int modelCode, std::int32_t serial) {
  Frame8 r = WithSums(
      {0, 0, 0, static_cast<std::uint8_t>(modelCode), static_cast<std::uint8_t>(serial >> 16),
       static_cast<std::uint8_t>(serial >> 8), static_cast<std::uint8_t>(serial), 0});
  r[7] = 0x01;
  return r;
}

class FakeBBalance {
 public:
  explicit FakeBBalance(FakeLine& line) {
    line.setWriteHandler([this](FakeLine& l, std::uint8_t b) { onByte(l, b); });
  }

  // Reply of the identification; QZ7334, serial 123456 by default.
  void setIdent(const Frame8& reply) {
    std::lock_guard lock(mutex_);
    ident_ = reply;
  }
  // Weighing replies in turn; the last one repeats.
  void queueFrames(std::initializer_list<Frame8> frames) {
    std::lock_guard lock(mutex_);
    for (const Frame8& f : frames) frames_.push_back(f);
  }
  // Delay in ms of reply byte i of a weighing reply (0 by default).
  void setWeighDelay(std::function<double(int)> delay) {
    std::lock_guard lock(mutex_);
    weighDelay_ = std::move(delay);
  }
  // The next weighing reply stops answering after `bytes` bytes.
  void dropNextWeighAfter(int bytes) {
    std::lock_guard lock(mutex_);
    dropAfter_ = bytes;
  }
  void setSilent(bool silent) {
    std::lock_guard lock(mutex_);
    silent_ = silent;
  }
  int weighings() const {
    std::lock_guard lock(mutex_);
    return weighings_;
  }
  int syncs() const {
    std::lock_guard lock(mutex_);
    return syncs_;
  }

 private:
  enum class Next { Unsynced, FirstIdent, Ack, Ident, Weigh };

  void onByte(FakeLine& line, std::uint8_t b) {
    std::vector<std::uint8_t> reply;
    double delay = 0;
    {
      std::lock_guard lock(mutex_);
      if (silent_) return;
      if (pos_ == 0 && b == 0x00) {
        reply = {0x00};
      } else if (pos_ == 0 && b == 0x01) {
        reply = {0x02};
        next_ = Next::FirstIdent;
        ++syncs_;
      } else if (pos_ == 0 && b != 'S') {
        return;
      } else if (next_ == Next::Unsynced) {
        return;
      } else {
        if (pos_ == 0) beginRequest();
        if (dropping_ >= 0 && pos_ >= dropping_) {
          // The balance gave up on this request and waits for a new sync.
          pos_ = 0;
          dropping_ = -1;
          next_ = Next::Unsynced;
          return;
        }
        reply = {current_[pos_]};
        if (next_ == Next::Weigh && weighDelay_) delay = weighDelay_(pos_);
        if (++pos_ == length_) endRequest();
      }
    }
    line.send(reply, delay);
  }

  void beginRequest() {
    current_.assign(16, 0);
    length_ = 8;
    dropping_ = -1;
    switch (next_) {
      case Next::FirstIdent: {
        length_ = 16;
        // Bytes 8..14 pass the sums and carry 'S' 'q' at 11 and 12.
        const std::uint8_t tail[7] = {0x00, 0x00, 0x3C, 0x53, 0x71, 0x00, 0x00};
        std::copy(tail, tail + 7, current_.begin() + 8);
        break;
      }
      case Next::Ack:
        break;
      case Next::Ident:
        std::copy(ident_.begin(), ident_.end(), current_.begin());
        break;
      case Next::Weigh: {
        const Frame8 f = frames_.empty() ? WeighFrame(0, 2, true) : frames_.front();
        if (frames_.size() > 1) frames_.pop_front();
        std::copy(f.begin(), f.end(), current_.begin());
        dropping_ = dropAfter_;
        dropAfter_ = -1;
        ++weighings_;
        break;
      }
      case Next::Unsynced:
        break;
    }
  }

  void endRequest() {
    pos_ = 0;
    if (next_ == Next::FirstIdent)
      next_ = Next::Ack;
    else if (next_ == Next::Ack)
      next_ = Next::Ident;
    else if (next_ == Next::Ident)
      next_ = Next::Weigh;
  }

  mutable std::mutex mutex_;
  Frame8 ident_ = {0xE2, 0x40, 0xB8, 0x25, 0x01, 0xE2, 0x40, 0x01};
  std::deque<Frame8> frames_;
  std::function<double(int)> weighDelay_;
  Next next_ = Next::Unsynced;
  std::vector<std::uint8_t> current_;
  int pos_ = 0, length_ = 8, dropping_ = -1, dropAfter_ = -1;
  bool silent_ = false;
  int weighings_ = 0, syncs_ = 0;
};

}  // namespace librato::testing

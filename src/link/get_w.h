#pragma once
// Protocol auto-detection: GetW owns one driver at a time and gives it a
// 1.5 s window to link; a driver that does not is replaced by the other
// protocol's, in alternation, until readings come. LookupModel turns a
// reported designation into the balance's capacity.

#include <cstdint>
#include <memory>
#include <string_view>

#include "link/balance.h"
#include "link/clock.h"
#include "link/serial_device.h"

namespace librato {

// What the acquisition thread reads readings from: GetW, or a fake in tests.
class ReadingSource {
 public:
  virtual ~ReadingSource() = default;
  // True when this call obtained a complete reading; the first five
  // out-arguments are valid only then, decimals after every call.
  virtual bool Acquire(double& value, UnitText& unit, std::uint8_t& stable, ModelText& model,
                       std::int32_t& serial, std::int32_t& decimals) = 0;
};

class GetW final : public ReadingSource {
 public:
  // Nothing is opened yet; every driver it creates gets a fresh device from
  // `devices` and port number `port`.
  GetW(std::int32_t port, SerialDeviceFactory devices, Clock& clock);
  ~GetW() override;

  bool Acquire(double& value, UnitText& unit, std::uint8_t& stable, ModelText& model,
               std::int32_t& serial, std::int32_t& decimals) override;

  std::int32_t phase() const { return phase_; }        // 1 switch next, 2 acquire
  std::int32_t protocol() const { return protocol_; }  // 1 B_balance, 2 PT_balance
  CBalance* driver() const { return driver_.get(); }

  // The window a driver gets to link.
  static constexpr DateTime kWindow = Seconds(1.5);

 private:
  std::int32_t portNumber_;
  std::int32_t phase_ = 1;
  std::unique_ptr<CBalance> driver_;
  std::int32_t protocol_ = 2;  // so that the first switch selects protocol 1
  SerialDeviceFactory devices_;
  Clock& clock_;
};

// Capacity in grams of a designation (compared up to its first zero byte).
// On success capacity := the table's value and clearance := 10^exponent;
// on failure neither changes.
bool LookupModel(std::string_view text, std::int32_t& clearance, std::int32_t& capacity,
                 int exponent);
bool LookupModel(const ModelText& text, std::int32_t& clearance, std::int32_t& capacity,
                 int exponent);

}  // namespace librato

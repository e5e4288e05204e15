#pragma once
// Entry points of the fuzz targets, shared by the libFuzzer programs and the
// corpus replay test. Each feeds arbitrary bytes to one decoder and checks
// what must hold for any input; a violated check aborts.

#include <cstddef>
#include <cstdint>

namespace librato::fuzz {

// First protocol: an 8-byte weighing reply (shorter input is zero-padded).
void WeighingReply(const std::uint8_t* data, std::size_t size);
// First protocol: the 16-byte first identification reply and the 8-byte
// identification reply that follows.
void IdentityReply(const std::uint8_t* data, std::size_t size);
// Second protocol: a byte stream cut into lines as the driver reads it.
void PtLines(const std::uint8_t* data, std::size_t size);
// The model table on an arbitrary designation.
void ModelLookup(const std::uint8_t* data, std::size_t size);
// Counts of a mass text; the first byte picks the decimals and the kind.
void MassTextCounts(const std::uint8_t* data, std::size_t size);

}  // namespace librato::fuzz

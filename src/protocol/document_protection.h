#pragma once
// Password protection of a word-processing document as Word 2007-2019 write
// it: the legacy 32-bit key of the password, hashed with SHA-512 and a salt.
// It keeps honest users from editing by accident; it is not encryption.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace librato {

inline constexpr int kProtectionSpinCount = 100000;

// The legacy key of a password given as UTF-8 (at most its first 15
// characters count; 0 for an empty password).
std::uint32_t LegacyPasswordKey(std::string_view utf8_password);

// The key as the hashed text takes it: 8 upper-case hex digits of the key's
// bytes in reverse order, as UTF-16LE (16 bytes).
std::vector<unsigned char> LegacyKeyBytes(std::uint32_t key);

// SHA-512 of salt + key bytes, then `spin_count` times SHA-512 of the hash
// followed by the iteration number as 32-bit little-endian.
std::array<unsigned char, 64> ProtectionHash(std::string_view utf8_password,
                                             const std::vector<unsigned char>& salt,
                                             int spin_count = kProtectionSpinCount);

std::string Base64(const unsigned char* data, std::size_t size);

// 16 random bytes from the system's cryptographic generator.
std::vector<unsigned char> RandomSalt();

// A fresh salt and the hash of the password with it.
struct ProtectionValues {
  std::vector<unsigned char> salt;
  std::array<unsigned char, 64> hash{};
};
ProtectionValues MakeProtection(std::string_view utf8_password);

}  // namespace librato

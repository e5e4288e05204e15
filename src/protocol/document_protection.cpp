#include "document_protection.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstdio>
#include <stdexcept>

#include "docx_document.h"

namespace librato {

namespace {

constexpr std::uint16_t kInitialCode[15] = {0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C,
                                            0x0E10, 0xF1CE, 0x313E, 0x1872, 0xE139,
                                            0xD40F, 0x84F9, 0x280C, 0xA96A, 0x4EC3};

// Seven words per character position; the last character of a password uses
// the last row.
constexpr std::uint16_t kEncryptionMatrix[15][7] = {
    {0xAEFC, 0x4DD9, 0x9BB2, 0x2745, 0x4E8A, 0x9D14, 0x2A09},
    {0x7B61, 0xF6C2, 0xFDA5, 0xEB6B, 0xC6F7, 0x9DCF, 0x2BBF},
    {0x4563, 0x8AC6, 0x05AD, 0x0B5A, 0x16B4, 0x2D68, 0x5AD0},
    {0x0375, 0x06EA, 0x0DD4, 0x1BA8, 0x3750, 0x6EA0, 0xDD40},
    {0xD849, 0xA0B3, 0x5147, 0xA28E, 0x553D, 0xAA7A, 0x44D5},
    {0x6F45, 0xDE8A, 0xAD35, 0x4A4B, 0x9496, 0x390D, 0x721A},
    {0xEB23, 0xC667, 0x9CEF, 0x29FF, 0x53FE, 0xA7FC, 0x5FD9},
    {0x47D3, 0x8FA6, 0x0F6D, 0x1EDA, 0x3DB4, 0x7B68, 0xF6D0},
    {0xB861, 0x60E3, 0xC1C6, 0x93AD, 0x377B, 0x6EF6, 0xDDEC},
    {0x45A0, 0x8B40, 0x06A1, 0x0D42, 0x1A84, 0x3508, 0x6A10},
    {0xAA51, 0x4483, 0x8906, 0x022D, 0x045A, 0x08B4, 0x1168},
    {0x76B4, 0xED68, 0xCAF1, 0x85C3, 0x1BA7, 0x374E, 0x6E9C},
    {0x3730, 0x6E60, 0xDCC0, 0xA9A1, 0x4363, 0x86C6, 0x1DAD},
    {0x3331, 0x6662, 0xCCC4, 0x89A9, 0x0373, 0x06E6, 0x0DCC},
    {0x1021, 0x2042, 0x4084, 0x8108, 0x1231, 0x2462, 0x48C4},
};

// UTF-16 code units of a UTF-8 text; malformed bytes count as themselves.
std::u16string Utf16(std::string_view s) {
  std::u16string out;
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    char32_t cp = c;
    std::size_t len = 1;
    if (c >= 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else if (c >= 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xC0) {
      len = 2;
      cp = c & 0x1F;
    }
    if (len > 1 && i + len <= s.size()) {
      for (std::size_t k = 1; k < len; ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    } else {
      len = 1;
      cp = c;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

}  // namespace

std::uint32_t LegacyPasswordKey(std::string_view utf8_password) {
  std::u16string units = Utf16(utf8_password);
  if (units.size() > 15) units.resize(15);
  if (units.empty()) return 0;
  // One byte per character: the low byte, or the high one when the low is 0.
  std::string bytes;
  for (char16_t u : units) {
    unsigned char b = static_cast<unsigned char>(u & 0xFF);
    if (b == 0) b = static_cast<unsigned char>(u >> 8);
    bytes.push_back(static_cast<char>(b));
  }
  const std::size_t n = bytes.size();
  std::uint16_t high = kInitialCode[n - 1];
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char ch = static_cast<unsigned char>(bytes[i]);
    const std::size_t row = 15 - n + i;
    for (int bit = 0; bit < 7; ++bit)
      if (ch & (1u << bit)) high ^= kEncryptionMatrix[row][bit];
  }
  std::uint16_t low = 0;
  for (std::size_t i = n; i-- > 0;) {
    low = static_cast<std::uint16_t>((((low >> 14) & 1) | ((low << 1) & 0x7FFF)) ^
                                     static_cast<unsigned char>(bytes[i]));
  }
  low = static_cast<std::uint16_t>((((low >> 14) & 1) | ((low << 1) & 0x7FFF)) ^ n ^ 0xCE4B);
  return (static_cast<std::uint32_t>(high) << 16) | low;
}

std::vector<unsigned char> LegacyKeyBytes(std::uint32_t key) {
  char hex[9];
  // Bytes of the key, last first.
  std::snprintf(hex, sizeof hex, "%02X%02X%02X%02X", key & 0xFF, (key >> 8) & 0xFF,
                (key >> 16) & 0xFF, (key >> 24) & 0xFF);
  std::vector<unsigned char> out;
  for (int i = 0; i < 8; ++i) {
    out.push_back(static_cast<unsigned char>(hex[i]));
    out.push_back(0);
  }
  return out;
}

std::array<unsigned char, 64> ProtectionHash(std::string_view utf8_password,
                                             const std::vector<unsigned char>& salt,
                                             int spin_count) {
  const std::vector<unsigned char> key = LegacyKeyBytes(LegacyPasswordKey(utf8_password));
  std::vector<unsigned char> buf(salt);
  buf.insert(buf.end(), key.begin(), key.end());
  std::array<unsigned char, 64> hash{};
  // One digest context for all rounds: fetching the algorithm anew per round
  // would cost more than the hashing itself.
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  EVP_MD* md = EVP_MD_fetch(nullptr, "SHA512", nullptr);
  auto digest = [&](const unsigned char* data, std::size_t size) {
    unsigned int n = 0;
    if (!ctx || !md || EVP_DigestInit_ex2(ctx, md, nullptr) != 1 ||
        EVP_DigestUpdate(ctx, data, size) != 1 || EVP_DigestFinal_ex(ctx, hash.data(), &n) != 1) {
      EVP_MD_free(md);
      EVP_MD_CTX_free(ctx);
      throw DocxError("хэш пароля не вычисляется");
    }
  };
  digest(buf.data(), buf.size());
  unsigned char block[68];
  for (int i = 0; i < spin_count; ++i) {
    std::copy(hash.begin(), hash.end(), block);
    const auto n = static_cast<std::uint32_t>(i);
    block[64] = static_cast<unsigned char>(n & 0xFF);
    block[65] = static_cast<unsigned char>((n >> 8) & 0xFF);
    block[66] = static_cast<unsigned char>((n >> 16) & 0xFF);
    block[67] = static_cast<unsigned char>((n >> 24) & 0xFF);
    digest(block, sizeof block);
  }
  EVP_MD_free(md);
  EVP_MD_CTX_free(ctx);
  return hash;
}

std::string Base64(const unsigned char* data, std::size_t size) {
  std::string out(4 * ((size + 2) / 3) + 1, '\0');
  const int n =
      EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), data, static_cast<int>(size));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

std::vector<unsigned char> RandomSalt() {
  std::vector<unsigned char> salt(16);
  if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1)
    throw DocxError("генератор случайных чисел недоступен");
  return salt;
}

ProtectionValues MakeProtection(std::string_view utf8_password) {
  ProtectionValues v;
  v.salt = RandomSalt();
  v.hash = ProtectionHash(utf8_password, v.salt);
  return v;
}

}  // namespace librato

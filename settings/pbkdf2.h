// PBKDF2 with HMAC-SHA-256 and a source of random salt: the platform's
// (bcrypt) in the Windows build, OpenSSL's in the native one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sentrel {

// The first `keyBytes` bytes that PBKDF2-HMAC-SHA-256 derives from
// `password` and `salt` in `iterations` rounds. Throws std::runtime_error
// when the platform refuses.
std::string DerivePbkdf2Sha256(std::string_view password, std::string_view salt, std::uint32_t iterations,
                               size_t keyBytes);

// `count` bytes from the system's cryptographic random source; throws
// std::runtime_error when it gives none.
std::string CryptographicRandomBytes(size_t count);

}  // namespace sentrel

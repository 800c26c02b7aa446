#include "settings/pbkdf2.h"

#include <windows.h>
#include <bcrypt.h>

#include <stdexcept>

namespace sentrel {
namespace {

// The HMAC-SHA-256 provider, opened once: opening it costs more than a
// short derivation.
BCRYPT_ALG_HANDLE HmacSha256() {
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE opened = nullptr;
        if (BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, BCRYPT_ALG_HANDLE_HMAC_FLAG) != 0)
            return BCRYPT_ALG_HANDLE{};
        return opened;  // kept for the life of the process
    }();
    if (!provider) throw std::runtime_error("HMAC-SHA-256 is not available");
    return provider;
}

PUCHAR Bytes(std::string_view text) { return reinterpret_cast<PUCHAR>(const_cast<char*>(text.data())); }

}  // namespace

std::string DerivePbkdf2Sha256(std::string_view password, std::string_view salt, std::uint32_t iterations,
                               size_t keyBytes) {
    std::string key(keyBytes, '\0');
    // An empty password is passed as one that has a buffer: some versions
    // refuse a null pointer even with a length of 0.
    static char empty = 0;
    const PUCHAR passwordBytes = password.empty() ? reinterpret_cast<PUCHAR>(&empty) : Bytes(password);
    if (BCryptDeriveKeyPBKDF2(HmacSha256(), passwordBytes, static_cast<ULONG>(password.size()), Bytes(salt),
                              static_cast<ULONG>(salt.size()), iterations, reinterpret_cast<PUCHAR>(key.data()),
                              static_cast<ULONG>(key.size()), 0) != 0)
        throw std::runtime_error("PBKDF2 failed");
    return key;
}

std::string CryptographicRandomBytes(size_t count) {
    std::string bytes(count, '\0');
    if (BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(bytes.data()), static_cast<ULONG>(count),
                        BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0)
        throw std::runtime_error("no random bytes");
    return bytes;
}

}  // namespace sentrel

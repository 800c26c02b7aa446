#include "settings/pbkdf2.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <stdexcept>

namespace sentrel {

std::string DerivePbkdf2Sha256(std::string_view password, std::string_view salt, std::uint32_t iterations,
                               size_t keyBytes) {
    std::string key(keyBytes, '\0');
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                          reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()),
                          static_cast<int>(iterations), EVP_sha256(), static_cast<int>(key.size()),
                          reinterpret_cast<unsigned char*>(key.data())) != 1)
        throw std::runtime_error("PBKDF2 failed");
    return key;
}

std::string CryptographicRandomBytes(size_t count) {
    std::string bytes(count, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(count)) != 1)
        throw std::runtime_error("no random bytes");
    return bytes;
}

}  // namespace sentrel

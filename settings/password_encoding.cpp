#include "settings/password_encoding.h"

#include <cstdint>

namespace sentrel {

std::string EncodePassword(std::string_view password) {
    std::string encoded;
    encoded.reserve(password.size() * 2);
    for (char c : password) {
        const auto byte = static_cast<std::int8_t>(c);
        encoded.push_back(static_cast<char>('a' + (byte & 0x0F)));
        encoded.push_back(static_cast<char>('a' + (byte >> 4)));
    }
    return encoded;
}

std::string DecodePassword(std::string_view encoded) {
    encoded = encoded.substr(0, kMaxEncodedPasswordChars);
    std::string password;
    password.reserve(encoded.size() / 2 + 1);
    for (size_t i = 0; i < encoded.size(); i += 2) {
        const auto low = static_cast<std::uint8_t>(static_cast<std::uint8_t>(encoded[i]) - 0x61);
        std::uint8_t byte = low;
        if (i + 1 < encoded.size()) {
            const auto high = static_cast<std::uint8_t>((static_cast<std::uint8_t>(encoded[i + 1]) - 0x61) * 16);
            byte = static_cast<std::uint8_t>(low | high);
        }
        if (byte == 0) break;
        password.push_back(static_cast<char>(byte));
    }
    return password;
}

}  // namespace sentrel

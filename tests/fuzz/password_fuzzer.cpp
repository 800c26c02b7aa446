// The stored password: decoding any text stays within 39 bytes, and every
// password of up to 19 bytes comes back unchanged from its stored form.
#include "settings/password_encoding.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (sentrel::DecodePassword(text).size() > sentrel::kMaxEncodedPasswordChars / 2) __builtin_trap();

    const std::string_view password = text.substr(0, sentrel::kMaxPasswordBytes);
    const std::string stored = sentrel::EncodePassword(password);
    if (stored.size() != 2 * password.size()) __builtin_trap();
    if (sentrel::DecodePassword(stored) != password) __builtin_trap();
    return 0;
}

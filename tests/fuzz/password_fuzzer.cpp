// The stored password: decoding any text stays within 39 bytes and stops at
// a NUL, and every password of up to 39 bytes comes back unchanged from its
// stored form, up to its first NUL. Any text read as a document's password
// is refused or read as one form, and a hashed form read is kept unchanged.
#include "settings/password_encoding.h"
#include "settings/settings_password.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string decoded = sentrel::DecodePassword(text);
    if (decoded.size() > sentrel::kMaxStoredPasswordBytes) __builtin_trap();
    if (decoded.find('\0') != std::string::npos) __builtin_trap();

    const std::string_view password = text.substr(0, sentrel::kMaxStoredPasswordBytes);
    const std::string stored = sentrel::EncodePassword(password);
    if (stored.size() != 2 * password.size()) __builtin_trap();
    if (sentrel::DecodePassword(stored) != password.substr(0, password.find('\0'))) __builtin_trap();

    using sentrel::SettingsPassword;
    if (const std::optional<SettingsPassword> read = SettingsPassword::FromStored(text)) {
        const bool hashed = text.substr(0, sentrel::kHashedPasswordPrefix.size()) == sentrel::kHashedPasswordPrefix;
        if (hashed != (read->StoredAs() == SettingsPassword::Form::Hashed)) __builtin_trap();
        if (hashed && read->StoredForm() != text) __builtin_trap();
        if (!hashed && !read->Empty() && !read->Accepts(decoded)) __builtin_trap();
    }
    return 0;
}

#include "settings/settings_password.h"

#include "settings/password_encoding.h"
#include "settings/pbkdf2.h"

#include <array>
#include <charconv>

namespace sentrel {
namespace {

constexpr std::string_view kBase64Letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(std::string_view bytes) {
    std::string text;
    text.reserve((bytes.size() * 4 + 2) / 3);
    for (size_t at = 0; at < bytes.size(); at += 3) {
        const size_t count = std::min<size_t>(3, bytes.size() - at);
        std::uint32_t group = 0;
        for (size_t i = 0; i < 3; ++i)
            group = group << 8 | (i < count ? static_cast<unsigned char>(bytes[at + i]) : 0u);
        for (size_t i = 0; i <= count; ++i) text.push_back(kBase64Letters[(group >> (18 - 6 * i)) & 0x3F]);
    }
    return text;
}

// Nothing for a letter outside the alphabet, a length no encoding has, or
// bits left over that an encoder would have written as zero.
std::optional<std::string> FromBase64(std::string_view text) {
    if (text.size() % 4 == 1) return std::nullopt;
    std::string bytes;
    std::uint32_t bits = 0;
    int held = 0;
    for (char letter : text) {
        const size_t value = kBase64Letters.find(letter);
        if (value == std::string_view::npos) return std::nullopt;
        bits = bits << 6 | static_cast<std::uint32_t>(value);
        held += 6;
        if (held >= 8) {
            held -= 8;
            bytes.push_back(static_cast<char>((bits >> held) & 0xFF));
        }
    }
    if ((bits & ((1u << held) - 1)) != 0) return std::nullopt;
    return bytes;
}

struct HashedForm {
    std::uint32_t iterations = 0;
    std::string salt;
    std::string key;
};

std::string Format(const HashedForm& form) {
    return std::string(kHashedPasswordPrefix) + std::to_string(form.iterations) + "$" + Base64(form.salt) + "$" +
           Base64(form.key);
}

std::optional<HashedForm> Parse(std::string_view value) {
    if (value.substr(0, kHashedPasswordPrefix.size()) != kHashedPasswordPrefix) return std::nullopt;
    value.remove_prefix(kHashedPasswordPrefix.size());
    const size_t saltStart = value.find('$');
    const size_t keyStart = saltStart == std::string_view::npos ? saltStart : value.find('$', saltStart + 1);
    if (keyStart == std::string_view::npos) return std::nullopt;
    const std::string_view rounds = value.substr(0, saltStart);
    HashedForm form;
    const auto [end, error] = std::from_chars(rounds.data(), rounds.data() + rounds.size(), form.iterations);
    if (error != std::errc() || end != rounds.data() + rounds.size() || rounds.empty() || rounds[0] == '0')
        return std::nullopt;
    if (form.iterations < kMinPasswordIterations || form.iterations > kMaxPasswordIterations) return std::nullopt;
    std::optional<std::string> salt = FromBase64(value.substr(saltStart + 1, keyStart - saltStart - 1));
    std::optional<std::string> key = FromBase64(value.substr(keyStart + 1));
    if (!salt || salt->size() < 8 || salt->size() > 64 || !key || key->size() != kPasswordKeyBytes)
        return std::nullopt;
    form.salt = std::move(*salt);
    form.key = std::move(*key);
    return form;
}

// Compares every byte whatever the first difference, so the time taken
// does not tell how much of a guess was right.
bool SameBytes(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    unsigned char difference = 0;
    for (size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

HashedForm Hash(std::string_view typed, std::uint32_t iterations) {
    HashedForm form;
    form.iterations = iterations;
    form.salt = CryptographicRandomBytes(kPasswordSaltBytes);
    form.key = DerivePbkdf2Sha256(typed, form.salt, iterations, kPasswordKeyBytes);
    return form;
}

}  // namespace

std::optional<SettingsPassword> SettingsPassword::FromStored(std::string_view value) {
    SettingsPassword password;
    if (value.substr(0, kHashedPasswordPrefix.size()) == kHashedPasswordPrefix) {
        if (!Parse(value)) return std::nullopt;
        password.hashed_ = value;
    } else {
        password.plain_ = DecodePassword(value);
    }
    return password;
}

SettingsPassword SettingsPassword::Choose(std::string_view typed, std::uint32_t iterations) {
    SettingsPassword password;
    if (!typed.empty()) password.hashed_ = Format(Hash(typed, iterations));
    return password;
}

bool SettingsPassword::Accepts(std::string_view typed) const {
    if (!plain_.empty()) return SameBytes(typed, plain_);
    const std::optional<HashedForm> form = Parse(hashed_);
    if (!form) return false;
    return SameBytes(DerivePbkdf2Sha256(typed, form->salt, form->iterations, form->key.size()), form->key);
}

std::string SettingsPassword::StoredForm() const {
    if (!hashed_.empty()) return hashed_;
    if (plain_.empty()) return {};
    return Format(Hash(plain_, kPasswordIterations));
}

std::uint32_t SettingsPassword::Iterations() const {
    const std::optional<HashedForm> form = Parse(hashed_);
    return form ? form->iterations : 0;
}

}  // namespace sentrel

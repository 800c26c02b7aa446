// The settings password as the record keeps it.
//
// A document holds it in "password" in one of two forms:
// - hashed: "$pbkdf2-sha256$<iterations>$<salt>$<key>", PBKDF2 with
//   HMAC-SHA-256, salt and derived key in base64 without padding. What the
//   controller writes.
// - reversible: two letters a byte (password_encoding.h), what documents
//   written before hold. Still read, never written again.
// The hashed form lives in the same attribute rather than a new one so that
// an older controller given a new document reads a password nobody can type
// (it stays locked) instead of no password at all.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sentrel {

inline constexpr std::string_view kHashedPasswordPrefix = "$pbkdf2-sha256$";
// About 50 ms a check under Wine on a current machine.
inline constexpr std::uint32_t kPasswordIterations = 48000;
// What a hashed form may ask for: fewer rounds would make guessing cheap
// again, more would let a document hang the prompt.
inline constexpr std::uint32_t kMinPasswordIterations = 1000;
inline constexpr std::uint32_t kMaxPasswordIterations = 1'000'000;
inline constexpr size_t kPasswordSaltBytes = 16;
inline constexpr size_t kPasswordKeyBytes = 32;

class SettingsPassword {
public:
    enum class Form { None, Hashed, Reversible };

    SettingsPassword() = default;  // no password: nothing is asked

    // What a document's "password" value says. Nothing when it begins with
    // the hashed form's prefix but is not a well-made hashed form.
    static std::optional<SettingsPassword> FromStored(std::string_view value);

    // A password chosen now (the narrow text typed), hashed with a fresh
    // salt; the empty text is no password. Throws std::runtime_error when
    // the platform cannot hash.
    static SettingsPassword Choose(std::string_view typed, std::uint32_t iterations = kPasswordIterations);

    Form StoredAs() const { return !hashed_.empty() ? Form::Hashed : !plain_.empty() ? Form::Reversible : Form::None; }
    bool Empty() const { return StoredAs() == Form::None; }

    // Whether `typed` is the password: the same bytes, letter case counting.
    bool Accepts(std::string_view typed) const;

    // The value for the document's "password": always the hashed form; a
    // password read from the reversible form is hashed here. Empty for no
    // password.
    std::string StoredForm() const;

    // The rounds of the hashed form (0 for the other forms).
    std::uint32_t Iterations() const;

    friend bool operator==(const SettingsPassword&, const SettingsPassword&) = default;

private:
    std::string hashed_;  // the hashed form
    std::string plain_;   // read from the reversible form
};

}  // namespace sentrel

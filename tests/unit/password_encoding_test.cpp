#include "settings/password_encoding.h"
#include "settings/pbkdf2.h"
#include "settings/settings_password.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

namespace sentrel {
namespace {

TEST(PasswordEncoding, Table) {
    const struct {
        std::string plain;
        std::string encoded;
    } cases[] = {
        {"abc", "bgcgdg"},
        {"", ""},
        {"A", "be"},
        {"\x7f", "ph"},
        {"\x80", "aY"},      // bytes from 0x80 up: second letter 'Y'..'`'
        {"\xff", "p`"},
        {"\xe9t\xe9", "j_ehj_"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncodePassword(c.plain), c.encoded);
        EXPECT_EQ(DecodePassword(c.encoded), c.plain) << c.encoded;
    }
}

TEST(PasswordEncoding, EveryByteButNulRoundTrips) {
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    for (size_t at = 0; at < all.size(); at += 19) {
        const std::string slice = all.substr(at, 19);
        EXPECT_EQ(DecodePassword(EncodePassword(slice)), slice);
    }
}

TEST(PasswordEncoding, APasswordEndsAtItsFirstNul) {
    EXPECT_EQ(EncodePassword(std::string("\0", 1)), "aa");
    EXPECT_EQ(DecodePassword("aa"), "");
    EXPECT_EQ(DecodePassword("bgaacg"), "a") << "what follows a NUL is dropped";
}

TEST(PasswordEncoding, AnUnpairedLastLetterGivesOneByte) {
    EXPECT_EQ(DecodePassword("bgc"), std::string("a\x02"));
}

TEST(PasswordEncoding, DecodesAtMostSeventyEightLetters) {
    const std::string longest(39, 'x');
    EXPECT_EQ(DecodePassword(EncodePassword(longest)), longest);
    const std::string longer(60, 'x');
    EXPECT_EQ(DecodePassword(EncodePassword(longer)), longest);
    EXPECT_EQ(DecodePassword(std::string(100000, 'q')).size(), 39u);
}

}  // namespace
}  // namespace sentrel

// The hashed form: known answers (RFC 7914's vector; a form made with
// Python's hashlib) through the platform's PBKDF2, and every malformed
// variant refused rather than read as a password nobody can type.
namespace sentrel {
namespace {

constexpr std::string_view kMadeElsewhere =
    "$pbkdf2-sha256$1000$AAECAwQFBgcICQoLDA0ODw$LIR29uofaeVEqJJhJfFPWhTNRLE1ZfudZn8to5pnk5U";

std::string Hex(std::string_view bytes) {
    std::string text;
    for (unsigned char c : bytes) text += "0123456789abcdef"[c >> 4], text += "0123456789abcdef"[c & 15];
    return text;
}

TEST(HashedPassword, KnownAnswers) {
    EXPECT_EQ(Hex(DerivePbkdf2Sha256("passwd", "salt", 1, 32)),
              "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc");
    const std::optional<SettingsPassword> stored = SettingsPassword::FromStored(kMadeElsewhere);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->StoredAs(), SettingsPassword::Form::Hashed);
    EXPECT_EQ(stored->Iterations(), 1000u);
    EXPECT_EQ(stored->StoredForm(), kMadeElsewhere) << "a hashed form is kept as it is";
    for (const auto& [typed, accepted] : {std::pair{"S3cret!", true}, {"s3cret!", false}, {"S3cret", false},
                                          {"S3cret!!", false}, {"", false}})
        EXPECT_EQ(stored->Accepts(typed), accepted) << typed;
}

TEST(HashedPassword, MalformedFormsAreRefused) {
    const std::string form(kMadeElsewhere);
    const std::string salt = "AAECAwQFBgcICQoLDA0ODw", key = "LIR29uofaeVEqJJhJfFPWhTNRLE1ZfudZn8to5pnk5U";
    for (const std::string& value : {
             std::string("$pbkdf2-sha256$"), "$pbkdf2-sha256$1000$" + salt, "$pbkdf2-sha256$$" + salt + "$" + key,
             "$pbkdf2-sha256$999$" + salt + "$" + key,          // too few rounds
             "$pbkdf2-sha256$1000001$" + salt + "$" + key,     // enough to hang the prompt
             "$pbkdf2-sha256$01000$" + salt + "$" + key, "$pbkdf2-sha256$1e3$" + salt + "$" + key,
             "$pbkdf2-sha256$99999999999999999999$" + salt + "$" + key,
             "$pbkdf2-sha256$1000$AAECAw$" + key,               // salt too short
             "$pbkdf2-sha256$1000$" + salt + "$" + key.substr(1),  // key not 32 bytes
             "$pbkdf2-sha256$1000$" + salt + "$" + key + "A", "$pbkdf2-sha256$1000$" + salt + "$" + key + "=",
             "$pbkdf2-sha256$1000$" + salt + "$" + key.substr(0, 42) + "V",  // bits left over
             "$pbkdf2-sha256$1000$" + salt + "$" + key + "$",
         })
        EXPECT_FALSE(SettingsPassword::FromStored(value)) << value;
    // Not the prefix: the reversible form, as every older document has it.
    const std::optional<SettingsPassword> old = SettingsPassword::FromStored("bgcgdg");
    ASSERT_TRUE(old);
    EXPECT_EQ(old->StoredAs(), SettingsPassword::Form::Reversible);
    EXPECT_TRUE(old->Accepts("abc"));
    EXPECT_FALSE(old->Accepts("abcd"));
    EXPECT_TRUE(SettingsPassword::FromStored("")->Empty());
    EXPECT_TRUE(SettingsPassword::FromStored("aa")->Empty()) << "ends at its first NUL, as before";
}

TEST(HashedPassword, ChosenAndOldPasswordsAreStoredHashedWithAFreshSalt) {
    const SettingsPassword chosen = SettingsPassword::Choose("pw", 1000);
    const SettingsPassword again = SettingsPassword::Choose("pw", 1000);
    EXPECT_NE(chosen.StoredForm(), again.StoredForm()) << "each has its own salt";
    EXPECT_TRUE(SettingsPassword::Choose("").Empty());
    const SettingsPassword old = *SettingsPassword::FromStored(EncodePassword("\xe9t\xe9"));
    const std::string stored = old.StoredForm();
    EXPECT_EQ(stored.rfind(kHashedPasswordPrefix, 0), 0u) << stored;
    EXPECT_EQ(stored.find(EncodePassword("\xe9t\xe9")), std::string::npos);
    const std::optional<SettingsPassword> reread = SettingsPassword::FromStored(stored);
    ASSERT_TRUE(reread);
    EXPECT_EQ(reread->Iterations(), kPasswordIterations);
    EXPECT_TRUE(reread->Accepts("\xe9t\xe9"));
    EXPECT_FALSE(reread->Accepts("\xe9t"));
}

}  // namespace
}  // namespace sentrel

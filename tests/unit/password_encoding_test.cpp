#include "settings/password_encoding.h"

#include <gtest/gtest.h>

#include <string>

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

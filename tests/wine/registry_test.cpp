#include "support/registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qz_support::registry {
namespace {

constexpr const char* kTestKeyPath = "Software\\SentrelRegistryTest";

// A key of the tests' own below HKCU, removed before and after each test.
class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, kTestKeyPath);
        created_ = CreateKey(HKEY_CURRENT_USER, kTestKeyPath, KEY_ALL_ACCESS);
        ASSERT_TRUE(created_) << created_.status;
    }
    void TearDown() override {
        created_.key.reset();
        RegDeleteTreeA(HKEY_CURRENT_USER, kTestKeyPath);
    }
    HKEY Key() const { return created_.key.get(); }

    // Exactly these bytes. A character follows them: the registry adds a NUL
    // to text whose next character is one, as if its length had left it out.
    void Store(const char* name, DWORD type, const std::string& bytes) {
        const std::string followed = bytes + 'X';
        ASSERT_EQ(RegSetValueExA(Key(), name, 0, type, reinterpret_cast<const BYTE*>(followed.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
    }
    void StoreWide(const wchar_t* name, DWORD type, const std::wstring& text, DWORD bytes) {
        const std::wstring followed = text + L'X';
        ASSERT_EQ(RegSetValueExW(Key(), name, 0, type, reinterpret_cast<const BYTE*>(followed.data()), bytes),
                  ERROR_SUCCESS);
    }

    // The value as stored: its type and bytes.
    std::pair<DWORD, std::string> Stored(const char* name) {
        DWORD type = 0, size = 0;
        if (RegQueryValueExA(Key(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return {REG_NONE, "<absent>"};
        std::string bytes(size, '\0');
        RegQueryValueExA(Key(), name, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size);
        bytes.resize(size);
        return {type, bytes};
    }

private:
    OpenedKey created_;
};

std::string Bytes(DWORD value, size_t count) {
    return std::string(reinterpret_cast<const char*>(&value), count);
}

TEST_F(Registry, OpeningAMissingKeyGivesItsStatusAndNoKey) {
    const OpenedKey missing = OpenKey(HKEY_CURRENT_USER, "Software\\SentrelRegistryTest\\none", KEY_READ);
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.status, ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(missing.key);
    const OpenedKey opened = OpenKey(HKEY_CURRENT_USER, kTestKeyPath, KEY_READ);
    EXPECT_TRUE(opened);
    EXPECT_TRUE(opened.key);
}

TEST_F(Registry, TheViewAskedForIsTheViewOpened) {
    constexpr const char* kMachinePath = "Software\\SentrelRegistryTest";
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kMachinePath, KEY_WOW64_32KEY, 0);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kMachinePath, KEY_WOW64_64KEY, 0);
    ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, kMachinePath, KEY_READ | KEY_WOW64_32KEY));
    EXPECT_TRUE(OpenKey(HKEY_LOCAL_MACHINE, kMachinePath, KEY_READ | KEY_WOW64_32KEY));
    // 32-bit Windows has one view, which both flags name.
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    if (sizeof(void*) == 8 || wow64)
        EXPECT_EQ(OpenKey(HKEY_LOCAL_MACHINE, kMachinePath, KEY_READ | KEY_WOW64_64KEY).status, ERROR_FILE_NOT_FOUND)
            << "the 32-bit view's key is not in the 64-bit view";
    EXPECT_EQ(DeleteKey(HKEY_LOCAL_MACHINE, kMachinePath, KEY_WOW64_32KEY), ERROR_SUCCESS);
    EXPECT_EQ(OpenKey(HKEY_LOCAL_MACHINE, kMachinePath, KEY_READ | KEY_WOW64_32KEY).status, ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, ReadDwordGivesWhatAValueOfUpToFourBytesHolds) {
    const struct {
        const char* name;
        DWORD type;
        std::string bytes;
        ValueState state;
        bool isDword;
        DWORD value;
    } cases[] = {
        {"dword", REG_DWORD, Bytes(7, 4), ValueState::Present, true, 7},
        {"short dword", REG_DWORD, Bytes(0x0102, 2), ValueState::Present, false, 0x0102},
        {"binary", REG_BINARY, Bytes(1, 4), ValueState::Present, false, 1},
        {"text", REG_SZ, std::string("1", 2), ValueState::Present, false, '1'},
        {"too large", REG_QWORD, std::string(8, '\x01'), ValueState::Unreadable, false, 0},
    };
    for (const auto& test : cases) {
        Store(test.name, test.type, test.bytes);
        const DwordValue read = ReadDword(Key(), test.name);
        EXPECT_EQ(read.state, test.state) << test.name;
        EXPECT_EQ(read.IsDword(), test.isDword) << test.name;
        EXPECT_EQ(read.value, test.value) << test.name;
        EXPECT_EQ(read.type, test.type) << test.name;
        EXPECT_EQ(read.size, test.bytes.size()) << test.name;
    }
    EXPECT_EQ(ReadDword(Key(), "missing").state, ValueState::Absent);
}

// The same table for both string readers: the text stored (its bytes, NUL
// included or not), the limit in characters, and what is read.
struct TextCase {
    const char* name;
    DWORD type;
    std::wstring stored;  // ASCII only, so the narrow form is the same text
    size_t limitChars;
    ValueState state;
    std::wstring text;
};
const TextCase kTextCases[] = {
    {"terminated", REG_SZ, std::wstring(L"yes", 4), 7, ValueState::Present, L"yes"},
    {"unterminated", REG_SZ, L"yes", 7, ValueState::Present, L"yes"},
    {"up to its NUL", REG_SZ, std::wstring(L"ye\0s", 5), 7, ValueState::Present, L"ye"},
    {"empty", REG_SZ, std::wstring(L"", 1), 7, ValueState::Present, L""},
    {"at the limit", REG_SZ, L"1234567", 7, ValueState::Present, L"1234567"},
    {"over the limit", REG_SZ, std::wstring(L"yes, more", 10), 7, ValueState::Unreadable, L""},
    {"another text type", REG_EXPAND_SZ, std::wstring(L"yes", 4), 7, ValueState::Unreadable, L""},
    {"not text", REG_BINARY, L"yes", 7, ValueState::Unreadable, L""},
};

TEST_F(Registry, ReadStringTakesOnlyTextWithinItsLimit) {
    for (const TextCase& test : kTextCases) {
        Store(test.name, test.type, std::string(test.stored.begin(), test.stored.end()));
        const TextValue<std::string> read = ReadString(Key(), test.name, static_cast<DWORD>(test.limitChars));
        EXPECT_EQ(read.state, test.state) << test.name;
        EXPECT_EQ(read.text, std::string(test.text.begin(), test.text.end())) << test.name;
    }
    EXPECT_EQ(ReadString(Key(), "missing", 7).state, ValueState::Absent);
}

TEST_F(Registry, ReadWideStringTakesOnlyTextWithinItsLimit) {
    for (const TextCase& test : kTextCases) {
        const std::wstring name(test.name, test.name + std::char_traits<char>::length(test.name));
        StoreWide(name.c_str(), test.type, test.stored, static_cast<DWORD>(test.stored.size() * sizeof(wchar_t)));
        const auto read = ReadWideString(Key(), name.c_str(), static_cast<DWORD>(test.limitChars * sizeof(wchar_t)));
        EXPECT_EQ(read.state, test.state) << test.name;
        EXPECT_EQ(read.text, std::u16string(test.text.begin(), test.text.end())) << test.name;
    }
    // An odd size: the last half character is left out.
    StoreWide(L"odd", REG_SZ, L"abc", 5);
    EXPECT_EQ(ReadWideString(Key(), L"odd", 100).text, u"ab");
    EXPECT_EQ(ReadWideString(Key(), L"missing", 100).state, ValueState::Absent);
    EXPECT_EQ(DescribeValue(Key(), L"odd").size, 5u);
    EXPECT_EQ(DescribeValue(Key(), L"odd").type, static_cast<DWORD>(REG_SZ));
}

TEST_F(Registry, WritersStoreTheTypeAndBytesTheySay) {
    EXPECT_EQ(SetString(Key(), "narrow", "abc"), ERROR_SUCCESS);
    EXPECT_EQ(SetWideString(Key(), L"wide", L"abc"), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(Key(), "dword", 0x01020304), ERROR_SUCCESS);
    const BYTE binary[] = {0, 1, 2};
    EXPECT_EQ(SetBinary(Key(), "binary", binary, sizeof binary), ERROR_SUCCESS);
    EXPECT_EQ(SetString(Key(), nullptr, "default"), ERROR_SUCCESS);
    const std::vector<std::pair<const char*, std::pair<DWORD, std::string>>> expected = {
        {"narrow", {REG_SZ, std::string("abc", 4)}},
        {"wide", {REG_SZ, std::string("abc", 4)}},  // read back narrow
        {"dword", {REG_DWORD, Bytes(0x01020304, 4)}},
        {"binary", {REG_BINARY, std::string("\0\1\2", 3)}},
        {nullptr, {REG_SZ, std::string("default", 8)}},
    };
    for (const auto& [name, value] : expected) EXPECT_EQ(Stored(name), value) << (name ? name : "(default)");

    EXPECT_EQ(CreateAndSetString(HKEY_CURRENT_USER, "Software\\SentrelRegistryTest\\a\\b", "made", "here"),
              ERROR_SUCCESS);
    const OpenedKey made = OpenKey(HKEY_CURRENT_USER, "Software\\SentrelRegistryTest\\a\\b", KEY_READ);
    ASSERT_TRUE(made);
    EXPECT_EQ(ReadString(made.key.get(), "made", 16).text, "here");
}

TEST_F(Registry, DeletingWhatIsNotThereSucceeds) {
    ASSERT_TRUE(CreateKey(Key(), "tree\\branch\\leaf", KEY_READ));
    EXPECT_NE(DeleteKey(Key(), "tree"), ERROR_SUCCESS) << "a key with subkeys is not deleted alone";
    EXPECT_EQ(DeleteTree(Key(), "tree"), ERROR_SUCCESS);
    EXPECT_EQ(OpenKey(Key(), "tree", KEY_READ).status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(DeleteTree(Key(), "tree"), ERROR_SUCCESS) << "already gone";
    EXPECT_EQ(DeleteKey(Key(), "tree"), ERROR_SUCCESS) << "already gone";
    ASSERT_TRUE(CreateKey(Key(), "single", KEY_READ));
    EXPECT_EQ(DeleteKey(Key(), "single"), ERROR_SUCCESS);
    EXPECT_EQ(OpenKey(Key(), "single", KEY_READ).status, ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace qz_support::registry

// The agent's log as the controller keeps it, through the real program:
// /RegServer makes it with its descriptor (an existing log keeps its content
// and gets the descriptor), /UnregServer removes it, and a start renames it
// to Sentrel.log.1 when it is larger than the machine's "LogMaxKB".
//
// Wine keeps no descriptor for a file: it turns an access list into Unix
// mode bits and reads back one made from them, and it enforces neither
// integrity levels nor app containers. So the descriptor is checked as the
// controller builds it (entry by entry, and through the platform's own
// access check for a member of Users with Administrators disabled), and as
// read back from the file exactly where the platform keeps descriptors,
// elsewhere as far as the mode bits carry it (Everyone gets nothing).
#include "controller/log_file.h"
#include "support/log_location.h"
#include "support/text.h"
#include "support/unique_any.h"
#include "tests/wine/store_sandbox.h"
#include "tools/client/controller_client.h"

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace sentrel {
namespace {

using client::RunProgram;

constexpr const char* kIntendedSddl =
    "O:BAG:SYD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x100084;;;BU)(A;;0x100084;;;AC)";
// FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE
constexpr DWORD kAppendOnly = 0x100084;
const char* const kFolder = "<folder>";
const char* const kAbsent = "<absent>";
const wchar_t* const kEveryName[] = {kLogPath, kRotatedLogPath, kFreshLogPath, kLeavingLogPath};

long RunController(const wchar_t* arguments) {
    return RunProgram(L"\"" + client::ControllerProgram() + L"\" " + arguments);
}

// A file's content, kFolder for a folder, kAbsent when the name is free.
std::string Content(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return kAbsent;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return kFolder;
    std::string text;
    if (FILE* file = _wfopen(path, L"rb")) {
        char buffer[4096];
        for (size_t read; (read = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, read);
        std::fclose(file);
    }
    return text;
}

// Puts `content` at `path`: nothing for null, a folder (holding a file of
// its own, as a user would fill it) for kFolder, else a file made with the
// folder's default access, as any program makes one.
void Place(const wchar_t* path, const char* content) {
    if (!content) return;
    if (std::string(content) == kFolder) {
        ASSERT_TRUE(CreateDirectoryW(path, nullptr));
        const qz_support::UniqueFile inside(CreateFileW((std::wstring(path) + L"\\mine.txt").c_str(), GENERIC_WRITE, 0,
                                                        nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(inside);
        return;
    }
    const qz_support::UniqueFile file(
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), content, static_cast<DWORD>(std::string(content).size()), &written, nullptr));
}

void RemoveEveryName() {
    for (const wchar_t* path : kEveryName) {
        SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path);
        DeleteFileW((std::wstring(path) + L"\\mine.txt").c_str());
        RemoveDirectoryW(path);
    }
}

// Appends as a browser does: a handle for appending only.
bool Append(const wchar_t* path, const std::string& text) {
    const qz_support::UniqueFile log(CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return log && WriteFile(log.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

PSID WellKnownSid(WELL_KNOWN_SID_TYPE type, std::vector<BYTE>& storage) {
    storage.assign(SECURITY_MAX_SID_SIZE, 0);
    DWORD size = SECURITY_MAX_SID_SIZE;
    EXPECT_TRUE(CreateWellKnownSid(type, nullptr, storage.data(), &size));
    return storage.data();
}

// The mandatory label of a descriptor: "ML;NW;LW" for a low label with
// no-write-up, "none" without one. (Wine's SDDL conversion writes no label,
// so the system access list's ACE is read itself.)
std::string LabelOf(PSECURITY_DESCRIPTOR descriptor) {
    BOOL present = FALSE, defaulted = FALSE;
    ACL* sacl = nullptr;
    if (!GetSecurityDescriptorSacl(descriptor, &present, &sacl, &defaulted) || !present || !sacl) return "none";
    std::string label;
    for (DWORD i = 0; i < sacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(sacl, i, &ace)) return "unreadable";
        const auto* mandatory = static_cast<const SYSTEM_MANDATORY_LABEL_ACE*>(ace);
        if (mandatory->Header.AceType != SYSTEM_MANDATORY_LABEL_ACE_TYPE) return "not a label";
        std::vector<BYTE> low;
        label += std::string(label.empty() ? "" : " ") + "ML" +
                 (mandatory->Mask == SYSTEM_MANDATORY_LABEL_NO_WRITE_UP ? ";NW" : ";other") +
                 (EqualSid(const_cast<DWORD*>(&mandatory->SidStart), WellKnownSid(WinLowLabelSid, low)) ? ";LW"
                                                                                                        : ";other");
    }
    return label.empty() ? "none" : label;
}

std::string SddlOf(PSECURITY_DESCRIPTOR descriptor) {
    qz_support::UniqueLocalText text;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1,
            OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, text.put(), nullptr))
        return "<no text>";
    return ToNarrow(AsWideView(text.get()));
}

struct ReadBack {
    std::string sddl;
    std::string label;
    bool everyoneAllowed = false;
};

// The descriptor the file system gives back for `path`.
ReadBack StoredDescriptor(const wchar_t* path) {
    qz_support::UniqueLocalDescriptor descriptor;
    ACL* dacl = nullptr;
    ReadBack read;
    if (GetNamedSecurityInfoW(path, SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                  LABEL_SECURITY_INFORMATION,
                              nullptr, nullptr, &dacl, nullptr, descriptor.put()) != ERROR_SUCCESS) {
        read.sddl = "<unreadable>";
        return read;
    }
    read.sddl = SddlOf(descriptor.get());
    read.label = LabelOf(descriptor.get());
    std::vector<BYTE> everyone;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (GetAce(dacl, i, &ace) && static_cast<ACE_HEADER*>(ace)->AceType == ACCESS_ALLOWED_ACE_TYPE &&
            EqualSid(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart, WellKnownSid(WinWorldSid, everyone)))
            read.everyoneAllowed = true;
    }
    return read;
}

// Whether this platform stores the descriptor a file is made with (Windows
// does; Wine reads back one made from the Unix mode bits).
bool KeepsFileDescriptors() {
    static const bool keeps = [] {
        const wchar_t* probe = L"C:\\descriptor-probe.tmp";
        DeleteFileW(probe);
        const bool made = SUCCEEDED(CreateLogFile(probe));
        const bool kept = made && StoredDescriptor(probe).sddl == kIntendedSddl;
        DeleteFileW(probe);
        if (!kept)
            std::printf("note: this platform keeps no file descriptors; the log's descriptor is compared exactly "
                        "only where it does (Windows)\n");
        return kept;
    }();
    return keeps;
}

// The stored descriptor is the log's, as far as the platform keeps it.
void ExpectTheLogsDescriptor(const wchar_t* path, const char* what) {
    const ReadBack stored = StoredDescriptor(path);
    EXPECT_FALSE(stored.everyoneAllowed) << what << ": " << stored.sddl;
    if (KeepsFileDescriptors()) {
        EXPECT_EQ(stored.sddl, kIntendedSddl) << what;
        EXPECT_EQ(stored.label, "ML;NW;LW") << what;
    }
}

class LogFile : public ::testing::Test {
protected:
    void SetUp() override {
        client::EndControllers();
        testing::RemoveStoreKeys();
        RemoveEveryName();
    }
    void TearDown() override {
        client::StopControllers();
        testing::RemoveStoreKeys();
        RemoveEveryName();
    }
};

TEST_F(LogFile, TheDescriptorIsTheIntendedOne) {
    qz_support::UniqueLocalDescriptor descriptor;
    ASSERT_EQ(LogFileDescriptor(descriptor), S_OK);
    EXPECT_EQ(SddlOf(descriptor.get()), kIntendedSddl);
    EXPECT_EQ(LabelOf(descriptor.get()), "ML;NW;LW");

    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "nothing is inherited from C:\\";

    // Entry by entry: who, which rights, and no inheritance flags.
    const struct {
        WELL_KNOWN_SID_TYPE who;
        DWORD rights;
    } expected[] = {
        {WinLocalSystemSid, FILE_ALL_ACCESS},
        {WinBuiltinAdministratorsSid, FILE_ALL_ACCESS},
        {WinBuiltinUsersSid, kAppendOnly},
        {WinBuiltinAnyPackageSid, kAppendOnly},
    };
    BOOL present = FALSE, defaulted = FALSE;
    ACL* dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted) && present && dacl);
    ASSERT_EQ(dacl->AceCount, std::size(expected));
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, &ace));
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        std::vector<BYTE> sid;
        EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE) << i;
        EXPECT_EQ(allowed->Header.AceFlags, 0) << i;
        EXPECT_TRUE(EqualSid(const_cast<DWORD*>(&allowed->SidStart), WellKnownSid(expected[i].who, sid))) << i;
        EXPECT_EQ(allowed->Mask, expected[i].rights) << i;
    }
}

// The platform's access check for this (administrator's) token, for the same
// token as a member of Users only (Administrators deny-only, as in a
// standard user's token), and with Users disabled too.
TEST_F(LogFile, OnlyAppendingIsLeftToUsers) {
    qz_support::UniqueLocalDescriptor descriptor;
    ASSERT_EQ(LogFileDescriptor(descriptor), S_OK);
    qz_support::UniqueHandle own;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, own.put()));
    std::vector<BYTE> administrators, users;
    SID_AND_ATTRIBUTES disabled[] = {{WellKnownSid(WinBuiltinAdministratorsSid, administrators), 0},
                                     {WellKnownSid(WinBuiltinUsersSid, users), 0}};
    const auto impersonation = [&](DWORD disabledCount) {
        qz_support::UniqueHandle restricted, token;
        if (disabledCount == 0) {
            EXPECT_TRUE(DuplicateTokenEx(own.get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation,
                                         TokenImpersonation, token.put()));
            return token;
        }
        EXPECT_TRUE(CreateRestrictedToken(own.get(), 0, disabledCount, disabled, 0, nullptr, 0, nullptr,
                                          restricted.put()));
        EXPECT_TRUE(DuplicateTokenEx(restricted.get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation,
                                     TokenImpersonation, token.put()));
        return token;
    };
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    const auto granted = [&](HANDLE token, DWORD wanted) {
        MapGenericMask(&wanted, &mapping);
        PRIVILEGE_SET privileges{};
        DWORD privilegesSize = sizeof privileges;
        DWORD rights = 0;
        BOOL allowed = FALSE;
        EXPECT_TRUE(AccessCheck(descriptor.get(), token, wanted, &mapping, &privileges, &privilegesSize, &rights,
                                &allowed));
        return allowed ? rights : 0;
    };
    const qz_support::UniqueHandle administrator = impersonation(0);
    const qz_support::UniqueHandle user = impersonation(1);
    const qz_support::UniqueHandle neither = impersonation(2);
    EXPECT_EQ(granted(administrator.get(), MAXIMUM_ALLOWED), static_cast<DWORD>(FILE_ALL_ACCESS));
    EXPECT_EQ(granted(user.get(), MAXIMUM_ALLOWED), kAppendOnly);
    EXPECT_EQ(granted(neither.get(), MAXIMUM_ALLOWED), 0u) << "Everyone, Authenticated Users, INTERACTIVE: nothing";

    const struct {
        const char* name;
        DWORD right;
        bool forUsers;
    } rights[] = {
        {"append", FILE_APPEND_DATA, true},
        {"read attributes", FILE_READ_ATTRIBUTES, true},
        {"synchronize", SYNCHRONIZE, true},
        {"read", FILE_READ_DATA, false},
        {"write (rewrite, truncate)", FILE_WRITE_DATA, false},
        {"write attributes (read-only mark, times)", FILE_WRITE_ATTRIBUTES, false},
        {"read extended attributes", FILE_READ_EA, false},
        {"write extended attributes", FILE_WRITE_EA, false},
        {"execute", FILE_EXECUTE, false},
        {"delete (and rename)", DELETE, false},
        {"read the descriptor", READ_CONTROL, false},
        {"change the access list", WRITE_DAC, false},
        {"take ownership (and relabel)", WRITE_OWNER, false},
        {"generic write", GENERIC_WRITE, false},
        {"generic read", GENERIC_READ, false},
    };
    for (const auto& r : rights) {
        EXPECT_EQ(granted(user.get(), r.right) != 0, r.forUsers) << r.name;
        EXPECT_NE(granted(administrator.get(), r.right), 0u) << r.name;
    }
}

TEST_F(LogFile, RegServerMakesTheLogOrGivesItTheDescriptor) {
    const struct {
        const char* name;
        const char* before;  // null: no log
        bool readOnly;
        const char* after;
    } cases[] = {
        {"no log", nullptr, false, ""},
        {"a log with records", "0, http://a.test/1, http://b.test/", false, "0, http://a.test/1, http://b.test/"},
        {"a read-only log, which would stop every append", "1, http://a.test/", true, "1, http://a.test/"},
        {"a folder a user made in its place", kFolder, false, kFolder},
    };
    for (const auto& c : cases) {
        RemoveEveryName();
        Place(kLogPath, c.before);
        if (c.readOnly) ASSERT_TRUE(SetFileAttributesW(kLogPath, FILE_ATTRIBUTE_READONLY));
        EXPECT_EQ(RunController(L"/RegServer"), 0) << c.name << ": the log never fails the registration";
        EXPECT_EQ(Content(kLogPath), c.after) << c.name;
        if (std::string(c.after) == kFolder) {
            EXPECT_NE(GetFileAttributesW((std::wstring(kLogPath) + L"\\mine.txt").c_str()), INVALID_FILE_ATTRIBUTES)
                << c.name << ": what the folder holds stays";
            continue;
        }
        EXPECT_FALSE(GetFileAttributesW(kLogPath) & FILE_ATTRIBUTE_READONLY) << c.name;
        ExpectTheLogsDescriptor(kLogPath, c.name);
        EXPECT_TRUE(Append(kLogPath, "0, http://next.test/")) << c.name;
        EXPECT_EQ(Content(kLogPath), std::string(c.after) + "0, http://next.test/") << c.name;
    }
}

TEST_F(LogFile, UnregServerRemovesTheLogAndItsRenamedCopies) {
    ASSERT_EQ(RunController(L"/RegServer"), 0);
    ASSERT_TRUE(Append(kLogPath, "0, http://a.test/"));
    Place(kRotatedLogPath, "1, http://b.test/");
    Place(kFreshLogPath, "");
    Place(kLeavingLogPath, kFolder);
    EXPECT_EQ(RunController(L"/UnregServer"), 0);
    EXPECT_EQ(Content(kLogPath), kAbsent);
    EXPECT_EQ(Content(kRotatedLogPath), kAbsent);
    EXPECT_EQ(Content(kFreshLogPath), kAbsent);
    EXPECT_EQ(Content(kLeavingLogPath), kFolder) << "a folder is no file of the log's: it is left";
    EXPECT_EQ(RunController(L"/UnregServer"), 0) << "nothing left to remove";
}

// The log grows by records until it has `bytes` bytes.
std::string Records(size_t bytes) {
    std::string records;
    for (int i = 0; records.size() < bytes; ++i) records += "0, http://intranet.test/page" + std::to_string(i);
    return records.substr(0, bytes);
}

TEST_F(LogFile, AStartRenamesALogLargerThanTheLimit) {
    const std::string full = Records(3000);
    const std::string atLimit = Records(2048);
    const std::string older = "1, http://oldest.test/";
    const struct {
        const char* name;
        std::optional<DWORD> limitKB;  // as a DWORD; nothing: no policy
        const char* limitText;         // or as text
        const std::string* log;
        const char* rotatedBefore;      // what Sentrel.log.1 holds before
        const wchar_t* plantedFolder;   // a folder a user made, or null
        bool atRegistration;
        bool rotates;
    } cases[] = {
        {"no policy", std::nullopt, nullptr, &full, nullptr, nullptr, false, false},
        {"a limit of 0", 0, nullptr, &full, nullptr, nullptr, false, false},
        {"the limit as text", std::nullopt, "2", &full, nullptr, nullptr, false, false},
        {"a smaller log", 4, nullptr, &full, nullptr, nullptr, false, false},
        {"a log exactly at the limit", 2, nullptr, &atLimit, nullptr, nullptr, false, false},
        {"a larger log", 2, nullptr, &full, nullptr, nullptr, false, true},
        {"a larger log replaces an older one", 2, nullptr, &full, older.c_str(), nullptr, false, true},
        {"a larger log at registration", 2, nullptr, &full, nullptr, nullptr, true, true},
        {"a folder in the older one's place", 2, nullptr, &full, nullptr, kRotatedLogPath, false, false},
        {"a folder in the fresh log's working place", 2, nullptr, &full, older.c_str(), kFreshLogPath, false, false},
        {"a folder in the full log's working place", 2, nullptr, &full, older.c_str(), kLeavingLogPath, false, false},
    };
    for (const auto& c : cases) {
        RemoveEveryName();
        testing::RemoveStoreKeys();
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Corvantis");
        ASSERT_EQ(PrepareLogFile(), S_OK) << c.name;
        ASSERT_TRUE(Append(kLogPath, *c.log)) << c.name;
        Place(kRotatedLogPath, c.rotatedBefore);
        if (c.plantedFolder) Place(c.plantedFolder, kFolder);
        std::optional<testing::MachinePolicyScope> policy;
        if (c.limitKB) policy.emplace(kLogMaxKBPolicy, *c.limitKB);
        if (c.limitText) {
            testing::CreateKey(HKEY_LOCAL_MACHINE, kMachinePolicyKeyPath);
            ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, kMachinePolicyKeyPath, kLogMaxKBPolicy, REG_SZ, c.limitText,
                                      2),
                      ERROR_SUCCESS);
        }

        if (c.atRegistration) {
            EXPECT_EQ(RunController(L"/RegServer"), 0) << c.name;
        } else {
            EXPECT_TRUE(client::StartController()) << c.name << ": a rotation never stops the start";
            client::StopControllers();
        }

        const std::string rotated = c.rotatedBefore ? c.rotatedBefore : kAbsent;
        if (c.rotates) {
            EXPECT_EQ(Content(kRotatedLogPath), *c.log) << c.name;
            EXPECT_EQ(Content(kLogPath), "") << c.name << ": a fresh log";
            ExpectTheLogsDescriptor(kLogPath, c.name);
            EXPECT_TRUE(Append(kLogPath, "1, http://after.test/")) << c.name;
            EXPECT_EQ(Content(kLogPath), "1, http://after.test/") << c.name;
        } else {
            EXPECT_EQ(Content(kLogPath), *c.log) << c.name << ": the log as it was";
            EXPECT_EQ(Content(kRotatedLogPath), c.plantedFolder == kRotatedLogPath ? kFolder : rotated) << c.name;
        }
        for (const wchar_t* working : {kFreshLogPath, kLeavingLogPath})
            EXPECT_EQ(Content(working), c.plantedFolder == working ? kFolder : kAbsent) << c.name;
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Corvantis");
    }
}

}  // namespace
}  // namespace sentrel

// What an administrator reads in the event log, from the real controller
// program: its records read back from Wine's debug output
// (tools/client/wine_event_log.h) for each thing it records, each record
// rendered through the message file that /RegServer names for the source,
// none holding the password or its hash; and the source's registration,
// gone after /UnregServer.
#include "controller/agent_policy.h"
#include "controller/event_source.h"
#include "resource_ids.h"
#include "settings/registry_store.h"
#include "settings/settings_password.h"
#include "support/machine_policy.h"
#include "support/unique_any.h"
#include "tests/wine/store_sandbox.h"
#include "tools/client/controller_client.h"
#include "tools/client/wine_event_log.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace sentrel {
namespace {

using client::Env;
using client::EventRecord;
using client::WaitUntil;
using testing::CreateKey;

constexpr UINT kTrayCallback = WM_USER + 1000;
const wchar_t* const kUserKey = L"HKEY_CURRENT_USER\\SOFTWARE\\Corvantis\\Sentrel";
const wchar_t* const kMachineKey = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvantis\\Sentrel";
const wchar_t* const kBadElement =
    L"a child of lockSettings is not an element or has no name, or its password is malformed";

const char* const kPassword = "S3cret!";
const char* const kLockedDocument =
    "<lockSettings blockPopups=\"Y\" reverseOperation=\"N\" prohibitUninstall=\"N\" active=\"Y\" errorPage=\"\">"
    "<host name=\"corp\"/></lockSettings>";
const char* const kBadChildDocument = "<lockSettings active=\"N\"><host/></lockSettings>";

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string Url(const std::string& path) { return "http://127.0.0.1:" + Env("SENTREL_HTTP_PORT") + path; }

void Serve(const std::string& name, const std::string& body) {
    std::ofstream(Env("SENTREL_HTTP_ROOT") + "\\" + name, std::ios::binary) << body;
}

void SetSettingsValue(HKEY root, const char* name, const std::string& text) {
    const qz_support::UniqueHkey key = CreateKey(root, kSettingsKeyPath);
    RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
}

void SetDword(HKEY root, const char* path, const char* name, DWORD value) {
    const qz_support::UniqueHkey key = CreateKey(root, path);
    RegSetValueExA(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// The document the good synchronisation fetches: two entries and a password.
std::string SyncedDocument() {
    return "<lockSettings blockPopups=\"Y\" reverseOperation=\"N\" prohibitUninstall=\"N\" active=\"Y\" "
           "errorPage=\"\" password=\"" +
           SettingsPassword::Choose(kPassword, 1000).StoredForm() +
           "\"><host name=\"corp\"/><host name=\"intranet\"/></lockSettings>";
}

std::wstring TempFile(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

std::string NotesFolder() {
    char local[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, local);
    return std::string(local) + "\\lotus\\notes\\data";
}

std::string NotesValue(const char* key) {
    char value[64] = {};
    GetPrivateProfileStringA("Notes", key, "<absent>", value, sizeof value, (NotesFolder() + "\\notes.ini").c_str());
    return value;
}

// Repeats `change` until `done` holds: a change made in the instant between
// the start's own pass and the watcher's first request is seen by neither.
void ChangeUntil(const std::function<void()>& change, const std::function<bool()>& done) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        change();
        if (WaitUntil(done, 2000)) return;
    }
    ADD_FAILURE() << "the controller did not undo the change";
}

// An expected record: its event id and its strings, each exact, or a
// beginning when it ends in '*'.
struct Expected {
    WORD eventId;
    std::vector<std::wstring> inserts;

    bool Matches(const EventRecord& record) const {
        if (record.EventId() != eventId || record.inserts.size() != inserts.size()) return false;
        for (size_t i = 0; i < inserts.size(); ++i) {
            const std::wstring& want = inserts[i];
            const bool prefix = !want.empty() && want.back() == L'*';
            const std::wstring_view got = record.inserts[i];
            if (prefix ? got.substr(0, want.size() - 1) != std::wstring_view(want).substr(0, want.size() - 1)
                       : got != want)
                return false;
        }
        return true;
    }
};

// Whether `expected` occur in `records` in this order, others between them.
bool InOrder(const std::vector<Expected>& expected, const std::vector<EventRecord>& records) {
    size_t next = 0;
    for (const EventRecord& record : records) {
        if (next < expected.size() && expected[next].Matches(record)) ++next;
    }
    return next == expected.size();
}

std::string Describe(const std::vector<EventRecord>& records) {
    std::string text;
    for (const EventRecord& record : records) {
        text += "  " + std::to_string(record.EventId()) + " (type " + std::to_string(record.type) + "):";
        for (const std::wstring& insert : record.inserts) text += " [" + ToNarrow(AsWideView(insert)) + "]";
        text += "\n";
    }
    return text.empty() ? "  (no records)\n" : text;
}

// The record rendered as a viewer of the log renders it: the message of its
// id from the message file registered for the source, with its strings.
std::wstring Rendered(const EventRecord& record) {
    wchar_t file[MAX_PATH] = {};
    DWORD size = sizeof file;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, Wide(kEventSourceKeyPath).c_str(), L"EventMessageFile",
                     RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, file, &size) != ERROR_SUCCESS)
        return L"<no message file registered>";
    const qz_support::UniqueHmodule messages(
        LoadLibraryExW(file, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!messages) return L"<the message file does not load>";
    std::vector<DWORD_PTR> arguments;
    for (const std::wstring& insert : record.inserts) arguments.push_back(reinterpret_cast<DWORD_PTR>(insert.c_str()));
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY, messages.get(),
        record.messageId, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<wchar_t*>(&text), 0,
        reinterpret_cast<va_list*>(arguments.data()));
    const qz_support::UniqueLocalText owner(text);
    return length ? std::wstring(text, length) : L"<no message " + std::to_wstring(record.EventId()) + L">";
}

class ControllerEvents : public testing::StoreSandbox {
protected:
    static void SetUpTestSuite() {
        ASSERT_FALSE(Env("SENTREL_HTTP_PORT").empty()) << "the test run starts the settings web server";
        ASSERT_EQ(client::RunProgram(L"\"" + client::ControllerProgram() + L"\" /RegServer"), 0);
    }
    void SetUp() override {
        client::StopControllers();
        StoreSandbox::SetUp();
        CreateKey(HKEY_CURRENT_USER, kSettingsKeyPath);
        CreateKey(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\Main");
    }
    void TearDown() override {
        for (const DWORD exitCode : client::StopControllers()) EXPECT_EQ(exitCode, 0u) << "a clean end";
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Corvantis");
        StoreSandbox::TearDown();
    }
};

struct Case {
    const char* name;
    std::function<void()> prepare;  // before the start
    std::function<void()> act;      // once the controller's window is there
    std::function<std::vector<Expected>()> expected;
};

TEST_F(ControllerEvents, EachKindOfRecordIsWrittenAndRendered) {
    const std::string agentClass = std::string("Software\\Classes\\CLSID\\") + kAgentClsidText;
    const std::wstring notesFile = Wide(NotesFolder() + "\\notes.ini");
    const Case cases[] = {
        {"a good synchronisation", [] {
             Serve("events-good.xml", SyncedDocument());
             SetSettingsValue(HKEY_CURRENT_USER, "Settings", Url("/files/events-good.xml"));
         },
         {},
         [] {
             return std::vector<Expected>{{1004, {L"start"}},
                                          {1000, {Wide(Url("/files/events-good.xml")), L"2", L"substring", L"allow list"}},
                                          {1003, {L"reload"}}};
         }},
        {"a refused document", [] {
             Serve("events-refused.xml", "<html><body>Down for maintenance</body>");
             SetSettingsValue(HKEY_CURRENT_USER, "Settings", Url("/files/events-refused.xml"));
         },
         {},
         [] {
             return std::vector<Expected>{{1001, {Wide(Url("/files/events-refused.xml")),
                                                  L"it is not well-formed XML, or it declares a document type"}}};
         }},
        // The source's credentials stay out of the record.
        {"a failed pass", [] {
             const std::string url = Url("/files/events-missing.xml");
             SetSettingsValue(HKEY_CURRENT_USER, "Settings", "http://admin:" + std::string(kPassword) + "@" + url.substr(7));
         },
         {},
         [] {
             return std::vector<Expected>{{1002, {Wide(Url("/files/events-missing.xml")),
                                                  L"the server answered with HTTP status 404", L"the synchronisation pass"}}};
         }},
        {"the lock switched twice from the tray", [] { client::StoreSettingsDocument(kLockedDocument); },
         [] {
             PostMessageA(client::ControllerWindow(), kTrayCallback, 100, WM_LBUTTONDBLCLK);
             PostMessageA(client::ControllerWindow(), kTrayCallback, 100, WM_LBUTTONDBLCLK);
         },
         [] { return std::vector<Expected>{{1003, {L"start"}}, {1004, {L"toggle"}}, {1003, {L"toggle"}}}; }},
        {"Exit Sentrel", [] { client::StoreSettingsDocument(kLockedDocument); },
         [] { PostMessageA(client::ControllerWindow(), WM_COMMAND, ID_EXIT, 0); },
         [] { return std::vector<Expected>{{1003, {L"start"}}, {1004, {L"exit"}}}; }},
        {"browser extensions switched off", {},
         [] {
             ChangeUntil(
                 [] {
                     RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\Main",
                                     "Enable Browser Extensions", REG_SZ, "no", 3);
                 },
                 [] {
                     return client::RegistryText(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\Main",
                                                 "Enable Browser Extensions") == "yes";
                 });
         },
         [] {
             return std::vector<Expected>{
                 {1010,
                  {L"HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Main\\Enable Browser Extensions",
                   L"was \"no\", set to \"yes\""}}};
         }},
        {"the agent's add-on policy entry switched off", [] {
             const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Ext\\CLSID";
             RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), kAgentClsidText, REG_SZ, "0", 2);
         },
         {},
         [] {
             return std::vector<Expected>{
                 {1010,
                  {L"HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Ext\\CLSID\\" +
                       Wide(kAgentClsidText),
                   L"was \"0\", set to \"1\""}}};
         }},
        {"a class entry of the user's own for the agent", {},
         [&] {
             ChangeUntil([&] { CreateKey(HKEY_CURRENT_USER, agentClass.c_str()); },
                         [&] { return !client::KeyExists(HKEY_CURRENT_USER, agentClass); });
         },
         [&] {
             const std::wstring view = sizeof(void*) == 8 ? L" (64-bit registry view)" : L"";
             return std::vector<Expected>{{1011, {L"HKEY_CURRENT_USER\\" + Wide(agentClass) + view}}};
         }},
        {"the Notes settings set back", [] {
             CreateDirectoryA((NotesFolder() + "\\..\\..").c_str(), nullptr);
             CreateDirectoryA((NotesFolder() + "\\..").c_str(), nullptr);
             CreateDirectoryA(NotesFolder().c_str(), nullptr);
             std::ofstream(NotesFolder() + "\\notes.ini", std::ios::binary)
                 << "[Notes]\r\nWWWDSP_SYNC_BROWSERFETCH=1\r\nWWWDSP_PREFETCH_OBJECT=2\r\n";
             SetDword(HKEY_CURRENT_USER, kSettingsKeyPath, "ProtectNotes", 1);
         },
         [] {
             ChangeUntil([] { std::ofstream(NotesFolder() + "\\mail.nsf", std::ios::binary | std::ios::app) << "x"; },
                         [] { return NotesValue("WWWDSP_PREFETCH_OBJECT") == "0"; });
         },
         [&] {
             return std::vector<Expected>{{1012, {L"WWWDSP_SYNC_BROWSERFETCH", notesFile, L"1"}},
                                          {1012, {L"WWWDSP_PREFETCH_OBJECT", notesFile, L"2"}}};
         }},
        // No password: "Settings..." opens the dialog at once.
        {"the settings dialog: an import refused, one applied, then OK", [] {
             client::StoreSettingsDocument(kLockedDocument);
             std::ofstream(std::filesystem::path(TempFile(L"events-broken.xml")), std::ios::binary) << "<lockSettings>";
             std::ofstream(std::filesystem::path(TempFile(L"events-import.xml")), std::ios::binary)
                 << "<lockSettings reverseOperation=\"Y\" hostMatching=\"domain\"><host name=\"games.test\"/>"
                    "<host name=\"casino.test\"/></lockSettings>";
         },
         [] {
             const HWND window = client::ControllerWindow();
             PostMessageA(window, WM_COMMAND, ID_SETTINGS, 0);
             ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(window) != FALSE; }));
             for (const wchar_t* name : {L"events-broken.xml", L"events-import.xml"}) {
                 PostMessageA(GetDlgItem(window, IDC_IMPORT), BM_CLICK, 0, 0);
                 ASSERT_TRUE(client::PickFile("Choose import file", TempFile(name)));
             }
             PostMessageA(GetDlgItem(window, IDOK), BM_CLICK, 0, 0);
         },
         [] {
             return std::vector<Expected>{
                 {1001, {TempFile(L"events-broken.xml"), L"it is not well-formed XML, or it declares a document type"}},
                 {1000, {TempFile(L"events-import.xml"), L"2", L"domain", L"block list"}},
                 {1000, {L"the settings dialog", L"2", L"domain", L"block list"}}};
         }},
        {"stored settings that cannot be used", [] { client::StoreSettingsDocument(kBadChildDocument); },
         [] { EXPECT_NE(client::DismissErrorBox().find(L"cannot use its stored settings"), std::wstring::npos); },
         [] { return std::vector<Expected>{{1005, {kUserKey, kBadElement}}, {1003, {L"start"}}}; }},
        {"a reload whose document cannot be applied", [] { client::StoreSettingsDocument(kLockedDocument); },
         [] {
             client::StoreSettingsDocument(kBadChildDocument);
             client::ReloadRunningController(500);
             EXPECT_NE(client::DismissErrorBox().find(L"0x80004003"), std::wstring::npos);
         },
         [] {
             return std::vector<Expected>{{1001, {kUserKey, kBadElement}},
                                          {1101, {L"Error 0x80004003*", L"SentrelAgentController.exe"}}};
         }},
        {"machine policies in force, the machine's settings still to come", [] {
             SetDword(HKEY_LOCAL_MACHINE, kMachinePolicyKeyPath, kMachineSettingsOnlyPolicy, 1);
             SetDword(HKEY_LOCAL_MACHINE, kMachinePolicyKeyPath, kFailClosedPolicy, 1);
             SetSettingsValue(HKEY_LOCAL_MACHINE, "Settings", Url("/files/events-missing.xml"));
         },
         {},
         [] {
             return std::vector<Expected>{{1007, {L"MachineSettingsOnly", L"1"}},
                                          {1007, {L"FailClosed", L"1"}},
                                          {1006, {kMachineKey, Wide(Url("/files/events-missing.xml"))}},
                                          {1003, {L"start"}},
                                          {1002, {Wide(Url("/files/events-missing.xml")),
                                                  L"the server answered with HTTP status 404", L"the synchronisation pass"}}};
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        if (c.prepare) c.prepare();
        const client::WineDebugLog log;
        ASSERT_TRUE(client::StartControllerRecording(log));
        if (c.act) c.act();
        const std::vector<Expected> expected = c.expected();
        std::vector<EventRecord> records;
        EXPECT_TRUE(WaitUntil([&] { return InOrder(expected, records = log.Records()); }, 15000))
            << "records read back:\n" << Describe(records);
        for (const EventRecord& record : records) {
            const std::wstring rendered = Rendered(record);
            for (const std::wstring& insert : record.inserts) {
                EXPECT_NE(rendered.find(insert), std::wstring::npos) << ToNarrow(AsWideView(rendered));
                EXPECT_EQ(insert.find(Wide(kPassword)), std::wstring::npos) << "the password in a record";
                EXPECT_EQ(insert.find(L"pbkdf2"), std::wstring::npos) << "the password's hash in a record";
            }
            EXPECT_EQ(rendered.find(L"%"), std::wstring::npos) << "every string in its place: "
                                                              << ToNarrow(AsWideView(rendered));
        }
    }
}

TEST_F(ControllerEvents, RegistrationNamesTheProgramAsTheSourcesMessageFile) {
    const std::wstring key = Wide(kEventSourceKeyPath);
    wchar_t file[MAX_PATH] = {};
    DWORD type = 0, size = sizeof file;
    ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"EventMessageFile", RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                           &type, file, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(lstrcmpiW(file, client::ControllerProgram().c_str()), 0);
    DWORD types = 0;
    size = sizeof types;
    ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"TypesSupported", RRF_RT_REG_DWORD, nullptr, &types, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(types, static_cast<DWORD>(EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE));

    ASSERT_EQ(client::RunProgram(L"\"" + client::ControllerProgram() + L"\" /UnregServer"), 0);
    EXPECT_FALSE(client::KeyExists(HKEY_LOCAL_MACHINE, kEventSourceKeyPath));
    EXPECT_TRUE(client::KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application"))
        << "the log's own key stays";
    EXPECT_EQ(client::RunProgram(L"\"" + client::ControllerProgram() + L"\" /UnregServer"), 0) << "a second time too";
    ASSERT_EQ(client::RunProgram(L"\"" + client::ControllerProgram() + L"\" /RegServer"), 0);
    EXPECT_TRUE(client::KeyExists(HKEY_LOCAL_MACHINE, kEventSourceKeyPath));
}

}  // namespace
}  // namespace sentrel

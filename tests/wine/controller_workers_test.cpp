// The controller's helper threads end to end: settings fetched from the
// run's web server on 127.0.0.1 (or a drive path) by the real controller
// program and by the menu's reload; the browser configuration restored after
// outside changes; the Lotus Notes settings held at zero. And what the user
// at the workstation can do to the controller from their own registry hive,
// their own web server and their own files.
#include "policy/connect_controller.h"
#include "resource_ids.h"
#include "settings/registry_store.h"
#include "settings/settings_limits.h"
#include "settings/settings_sync.h"
#include "support/unique_any.h"
#include "tests/wine/figures.h"
#include "tests/wine/store_sandbox.h"
#include "tools/client/controller_client.h"

#include <gtest/gtest.h>

#include <oleauto.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

namespace sentrel {
namespace {

using qz_support::ComPtr;
using qz_support::UniqueHkey;
using client::AskController;
using client::Env;
using client::KeyExists;
using client::RegistryText;
using client::StoreSettingsDocument;
using client::WaitUntil;
using testing::CreateKey;

const char* const kAllowCorp =
    "<lockSettings blockPopups=\"Y\" reverseOperation=\"N\" prohibitUninstall=\"N\" active=\"Y\" errorPage=\"\">"
    "<host name=\"corp\"/></lockSettings>";
const char* const kAllowNews =
    "<lockSettings blockPopups=\"Y\" reverseOperation=\"N\" prohibitUninstall=\"N\" active=\"Y\" errorPage=\"\">"
    "<host name=\"news\"/></lockSettings>";

// The run's web server: its folder, its addresses, and what it answered.
struct WebServer {
    static std::string Root() { return Env("SENTREL_HTTP_ROOT"); }
    static std::string Url(const std::string& path) { return "http://127.0.0.1:" + Env("SENTREL_HTTP_PORT") + path; }
    static void Serve(const std::string& name, const std::string& body) {
        std::ofstream(Root() + "\\" + name, std::ios::binary) << body;
    }
    static int Answered(const std::string& path) {
        std::ifstream log(Root() + "\\requests.log");
        int count = 0;
        for (std::string line; std::getline(log, line);) count += line.rfind(path + " ", 0) == 0;
        return count;
    }
};

std::string StoredText() { return RegistryText(HKEY_CURRENT_USER, kSettingsKeyPath, nullptr); }
std::string LastSync() { return RegistryText(HKEY_CURRENT_USER, kSettingsKeyPath, "Last Sync"); }

// Stores `text` and its NUL (the text may hold NULs of its own).
void SetSettingsValue(const char* name, const std::string& text) {
    const UniqueHkey key = CreateKey(HKEY_CURRENT_USER, kSettingsKeyPath);
    EXPECT_EQ(RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              ERROR_SUCCESS);
}

void SetDword(HKEY root, const char* path, const char* name, DWORD value) {
    const UniqueHkey key = CreateKey(root, path);
    RegSetValueExA(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

void SetSource(const std::string& source) { SetSettingsValue("Settings", source); }

// The downloads ("int…") in the temporary folder, by name, with their sizes.
std::vector<std::pair<std::string, long long>> DownloadFiles() {
    char folder[MAX_PATH] = {};
    GetTempPathA(sizeof folder, folder);
    std::vector<std::pair<std::string, long long>> files;
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA((std::string(folder) + "int*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return files;
    do files.emplace_back(found.cFileName, (static_cast<long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
    while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> Downloads() {
    std::vector<std::string> names;
    for (const auto& file : DownloadFiles()) names.push_back(file.first);
    return names;
}

class ControllerWorkers : public testing::StoreSandbox {
protected:
    static void SetUpTestSuite() {
        ASSERT_FALSE(Env("SENTREL_HTTP_PORT").empty()) << "the test run starts the settings web server";
        ASSERT_EQ(client::RunProgram(L"\"" + client::ControllerProgram() + L"\" /RegServer"), 0);
    }
    void SetUp() override {
        client::StopControllers();
        // Downloads left by a controller that was ended from outside.
        char folder[MAX_PATH] = {};
        GetTempPathA(sizeof folder, folder);
        for (const std::string& name : Downloads()) DeleteFileA((std::string(folder) + name).c_str());
        StoreSandbox::SetUp();
        CreateKey(HKEY_CURRENT_USER, kSettingsKeyPath);
    }
    void TearDown() override {
        StopController();
        StoreSandbox::TearDown();
    }

    // Ends the controller through its own shutdown path, which must not
    // fault, even while this test still holds a reference to it.
    static void StopController() {
        for (const DWORD exitCode : client::StopControllers()) EXPECT_EQ(exitCode, 0u) << "a clean end";
    }

    // Starts the controller with passes `intervalMs` apart and connects to
    // it. Only an administrator shortens the interval: under HKLM.
    ComPtr<ISentrelController> Start(DWORD intervalMs = 300) {
        SetDword(HKEY_LOCAL_MACHINE, kSettingsKeyPath, "Sync Interval", intervalMs);
        return StartAsConfigured();
    }
    static ComPtr<ISentrelController> StartAsConfigured() {
        EXPECT_TRUE(client::StartController());
        ComPtr<ISentrelController> controller;
        EXPECT_EQ(ConnectController(controller), S_OK);
        return controller;
    }
};

// The menu's reload on this thread; the message box it shows is closed from
// another thread and its text returned.
std::pair<SyncOutcome, std::wstring> ReloadNow(int* loads) {
    std::wstring shown;
    std::thread closer([&] { shown = client::DismissErrorBox(15000); });
    const SyncOutcome outcome = ReloadSettingsFromSource([&] { ++*loads; });
    closer.join();
    return {outcome, shown};
}

TEST_F(ControllerWorkers, ImportsTheSourceAtStartAndDeletesTheDownloadWhenThePassEnds) {
    StoreSettingsDocument(kAllowNews);
    WebServer::Serve("settings.xml", kAllowCorp);
    SetSource(WebServer::Url("/files/settings.xml"));
    const auto controller = Start(2000);
    ASSERT_TRUE(WaitUntil([] { return LastSync() != "<absent>"; }, 5000));
    EXPECT_EQ(StoredText(), kAllowCorp);
    EXPECT_TRUE(std::regex_match(LastSync(), std::regex(R"([A-Z][a-z]{2} \d{2}, \d{4}; \d{2}:\d{2}:\d{2})")))
        << LastSync();
    EXPECT_EQ(AskController(controller.get(), L"http://corp/"), S_OK) << "the controller reloaded";
    EXPECT_EQ(AskController(controller.get(), L"http://news/"), S_FALSE);

    // The download stays for the pass's sleep, beside the empty file that
    // reserves its unique name for the pass; both go when the pass ends.
    const auto first = DownloadFiles();
    ASSERT_EQ(first.size(), 2u);
    std::smatch unique;
    ASSERT_TRUE(std::regex_match(first[0].first, unique, std::regex(R"(int([0-9A-Fa-f]+)\.tmp)"))) << first[0].first;
    EXPECT_EQ(first[0].second, 0) << "the reservation";
    EXPECT_EQ(first[1].first, "int" + unique[1].str() + ".xml");
    EXPECT_EQ(first[1].second, static_cast<long long>(strlen(kAllowCorp)));
    ASSERT_TRUE(WaitUntil([] { return WebServer::Answered("/files/settings.xml") >= 2; }, 5000));
    ASSERT_TRUE(WaitUntil([&] { return DownloadFiles() != first; }, 2000));
    for (const std::string& name : Downloads()) EXPECT_TRUE(name != first[0].first && name != first[1].first) << name;
}

// A standard user under "MachineSettingsOnly" cannot write the machine's
// key: what the worker fetched from the machine's source is applied for the
// run all the same, and neither the stored document nor "Last Sync" changes.
// The user's own source is never fetched.
TEST_F(ControllerWorkers, UnderMachineSettingsOnlyAFetchedDocumentThatCannotBeStoredIsApplied) {
    const testing::MachinePolicyScope machineOnly(kMachineSettingsOnlyPolicy, 1);
    WebServer::Serve("machine.xml", kAllowCorp);
    const std::string source = WebServer::Url("/files/machine.xml");
    ASSERT_TRUE(StoreSettingsDocument(kAllowNews, HKEY_LOCAL_MACHINE));
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, "Settings", REG_SZ, source.c_str(), source.size() + 1);
    SetDword(HKEY_LOCAL_MACHINE, kSettingsKeyPath, "Sync Interval", 2000);
    WebServer::Serve("users.xml", "<lockSettings active=\"N\"/>");
    SetSource(WebServer::Url("/files/users.xml"));  // the user's own, never fetched
    const testing::ReadOnlyKeyScope readOnly(HKEY_LOCAL_MACHINE, kSettingsKeyPath);
    const auto controller = StartAsConfigured();
    EXPECT_TRUE(WaitUntil([&] { return AskController(controller.get(), L"http://corp/") == S_OK; }, 5000))
        << "the fetched document applies";
    EXPECT_EQ(AskController(controller.get(), L"http://news/"), S_FALSE);
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kSettingsKeyPath, nullptr), kAllowNews);
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kSettingsKeyPath, "Last Sync"), "<absent>");
    EXPECT_EQ(WebServer::Answered("/files/users.xml"), 0);
}

TEST_F(ControllerWorkers, ASourceAddedAfterTheStartHasNoEffectUntilTheNextStart) {
    StoreSettingsDocument(kAllowNews);
    WebServer::Serve("later.xml", kAllowCorp);
    const auto controller = Start();
    SetSource(WebServer::Url("/files/later.xml"));
    Sleep(1500);
    EXPECT_EQ(WebServer::Answered("/files/later.xml"), 0);
    EXPECT_EQ(StoredText(), kAllowNews);
    EXPECT_EQ(LastSync(), "<absent>");
}

TEST_F(ControllerWorkers, ASourceRemovedLaterImportsNothing) {
    WebServer::Serve("removed.xml", kAllowCorp);
    SetSource(WebServer::Url("/files/removed.xml"));
    const auto controller = Start();
    ASSERT_TRUE(WaitUntil([] { return StoredText() == kAllowCorp; }, 5000));
    RegDeleteKeyValueA(HKEY_CURRENT_USER, kSettingsKeyPath, "Settings");
    const int answered = WebServer::Answered("/files/removed.xml");
    WebServer::Serve("removed.xml", kAllowNews);
    Sleep(1500);
    EXPECT_LE(WebServer::Answered("/files/removed.xml"), answered + 1) << "at most the pass already under way";
    EXPECT_EQ(StoredText(), kAllowCorp);
    EXPECT_EQ(AskController(controller.get(), L"http://corp/"), S_OK);
}

// Bodies that must never replace the stored settings, each named by the
// path that serves it.
struct BadSource {
    const char* path;
    const char* why;
};
const BadSource kBadSources[] = {
    {"/status/404/xhtml.html", "HTTP 404 with a well-formed XHTML page"},
    {"/status/500/xhtml.html", "HTTP 500 with a well-formed XHTML page"},
    {"/status/404/settings-ok.xml", "HTTP 404 with a valid settings document"},
    {"/files/binary.xml", "a binary body"},
    {"/files/empty.xml", "an empty body"},
    {"/cut/settings-ok.xml", "a body cut mid-transfer"},
    {"/files/no-name.xml", "a child without name"},
    {"/files/other.xml", "well-formed without lockSettings"},
    {"/files/laughs.xml", "entity expansion in a document type declaration"},
};

void ServeBadBodies() {
    WebServer::Serve("xhtml.html",
                     "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>Error</title></head>"
                     "<body><h1>Not Found</h1></body></html>");
    WebServer::Serve("settings-ok.xml", kAllowNews);
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 7919) & 0xFF);
    WebServer::Serve("binary.xml", binary);
    WebServer::Serve("empty.xml", "");
    WebServer::Serve("no-name.xml", "<lockSettings active=\"N\"><host name=\"news\"/><host/></lockSettings>");
    WebServer::Serve("other.xml", "<other active=\"N\"/>");
    std::string laughs = "<!DOCTYPE l [<!ENTITY l0 \"lol\">";
    for (int i = 1; i < 10; ++i) {
        laughs += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j) laughs += "&l" + std::to_string(i - 1) + ";";
        laughs += "\">";
    }
    WebServer::Serve("laughs.xml", laughs + "]><lockSettings active=\"N\" errorPage=\"&l9;\"/>");
}

TEST_F(ControllerWorkers, TheMenuReloadKeepsEverythingForEveryBadSource) {
    ServeBadBodies();
    StoreSettingsDocument(kAllowCorp);
    SetSettingsValue("Last Sync", "Jan 01, 2026; 00:00:00");
    std::vector<std::string> sources;
    for (const BadSource& bad : kBadSources) sources.push_back(WebServer::Url(bad.path));
    sources.push_back("http://127.0.0.1:1/files/settings-ok.xml");  // nobody listens there
    sources.push_back("\\\\127.0.0.1\\share\\settings-ok.xml");     // a network path to no share
    sources.push_back("C:\\no\\such\\settings.xml");

    for (const std::string& source : sources) {
        SetSource(source);
        int loads = 0;
        const auto [outcome, shown] = ReloadNow(&loads);
        EXPECT_EQ(outcome, SyncOutcome::Failed) << source;
        EXPECT_EQ(shown, std::wstring(kRetrievalFailure, kRetrievalFailure + strlen(kRetrievalFailure))) << source;
        EXPECT_EQ(loads, 0) << source;
        EXPECT_EQ(StoredText(), kAllowCorp) << source;
        EXPECT_EQ(LastSync(), "Jan 01, 2026; 00:00:00") << source;
    }
    EXPECT_TRUE(Downloads().empty()) << "a failed download leaves no file";
}

TEST_F(ControllerWorkers, TheMenuReloadImportsUrlsAndDrivePaths) {
    WebServer::Serve("settings", kAllowNews);
    SetSource(WebServer::Url("/files/settings"));
    int loads = 0;
    std::vector<std::string> duringLoad;
    const SyncOutcome outcome = ReloadSettingsFromSource([&] {
        ++loads;
        duringLoad = Downloads();
    });
    EXPECT_EQ(outcome, SyncOutcome::Imported);
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(StoredText(), kAllowNews);
    ASSERT_EQ(duringLoad.size(), 1u);
    EXPECT_TRUE(std::regex_match(duringLoad[0], std::regex(R"(int[0-9A-Fa-f]+\.tmp)"))) << "the bare unique name";
    EXPECT_TRUE(Downloads().empty()) << "the menu deletes its download at once";

    char folder[MAX_PATH] = {};
    GetTempPathA(sizeof folder, folder);
    const std::string local = std::string(folder) + "drive-source.xml";
    std::ofstream(local, std::ios::binary) << kAllowCorp;
    SetSource(local);
    EXPECT_EQ(ReloadSettingsFromSource([&] { ++loads; }), SyncOutcome::Imported);
    EXPECT_EQ(StoredText(), kAllowCorp);
    EXPECT_EQ(GetFileAttributesA(local.c_str()) != INVALID_FILE_ATTRIBUTES, true) << "read in place, never deleted";
    DeleteFileA(local.c_str());

    RegDeleteKeyValueA(HKEY_CURRENT_USER, kSettingsKeyPath, "Settings");
    EXPECT_EQ(ReloadSettingsFromSource([&] { ++loads; }), SyncOutcome::NoSource);
    EXPECT_EQ(loads, 2);
}

// A source named by a policy: the document of the user's policy goes to the
// user's settings key, which is made for it when missing (as the user could
// make it), but only for a document that loads; the computer's policy's goes
// where any import goes, never to a key made for it.
TEST_F(ControllerWorkers, TheUsersPolicySourceIsStoredInTheUsersKey) {
    WebServer::Serve("policy-corp.xml", kAllowCorp);
    WebServer::Serve("policy-broken.xml", "<lockSettings");
    const struct {
        HKEY policyRoot;
        bool userKeyBefore, machineKeyBefore;
        const char* served;
        SyncOutcome outcome;
        bool userKeyAfter;
        const char* userDocument;     // "<absent>" when none
        const char* machineDocument;  // "<absent>" when none
    } cases[] = {
        {HKEY_CURRENT_USER, false, false, "policy-corp.xml", SyncOutcome::Imported, true, kAllowCorp, "<absent>"},
        {HKEY_CURRENT_USER, false, true, "policy-corp.xml", SyncOutcome::Imported, true, kAllowCorp, ""},
        {HKEY_CURRENT_USER, false, true, "policy-broken.xml", SyncOutcome::Failed, false, "<absent>", ""},
        {HKEY_CURRENT_USER, true, false, "policy-corp.xml", SyncOutcome::Imported, true, kAllowCorp, "<absent>"},
        {HKEY_LOCAL_MACHINE, false, false, "policy-corp.xml", SyncOutcome::Failed, false, "<absent>", "<absent>"},
        {HKEY_LOCAL_MACHINE, false, true, "policy-corp.xml", SyncOutcome::Imported, false, "<absent>", kAllowCorp},
    };
    for (const auto& c : cases) {
        testing::RemoveStoreKeys();
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Corvantis");
        if (c.userKeyBefore) CreateKey(HKEY_CURRENT_USER, kSettingsKeyPath);
        if (c.machineKeyBefore) StoreSettingsDocument("", HKEY_LOCAL_MACHINE);
        const std::string source = WebServer::Url(std::string("/files/") + c.served);
        const UniqueHkey policy = CreateKey(c.policyRoot, kMachinePolicyKeyPath);
        RegSetValueExA(policy.get(), "Settings", 0, REG_SZ, reinterpret_cast<const BYTE*>(source.c_str()),
                       static_cast<DWORD>(source.size() + 1));
        const std::string scenario = std::string(c.policyRoot == HKEY_CURRENT_USER ? "user" : "machine") +
                                     " policy, " + c.served + (c.userKeyBefore ? ", user key" : "") +
                                     (c.machineKeyBefore ? ", machine key" : "");
        // The menu's reload, with its failure box closed as soon as it shows.
        std::atomic<bool> done{false};
        std::thread closer([&] {
            while (!done) client::DismissErrorBox(50);
        });
        const SyncOutcome outcome = ReloadSettingsFromSource([] {});
        done = true;
        closer.join();
        EXPECT_EQ(outcome, c.outcome) << scenario;
        EXPECT_EQ(KeyExists(HKEY_CURRENT_USER, kSettingsKeyPath), c.userKeyAfter) << scenario;
        EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, kSettingsKeyPath, nullptr), c.userDocument) << scenario;
        EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kSettingsKeyPath, nullptr), c.machineDocument) << scenario;
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Corvantis");
}

// A program of the user's that rewrites every download it can open in the
// temporary folder, as fast as it can, until it is ended.
class DownloadSwapper {
public:
    explicit DownloadSwapper(std::string text) : text_(std::move(text)), thread_([this] { Run(); }) {}
    DownloadSwapper(const DownloadSwapper&) = delete;
    DownloadSwapper& operator=(const DownloadSwapper&) = delete;
    ~DownloadSwapper() {
        stop_ = true;
        thread_.join();
    }
    int Swapped() const { return swapped_; }

private:
    void Run() {
        char folder[MAX_PATH] = {};
        GetTempPathA(sizeof folder, folder);
        while (!stop_) {
            for (const std::string& name : Downloads()) {
                const qz_support::UniqueFile file(CreateFileA((folder + name).c_str(), GENERIC_WRITE,
                                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                              nullptr, OPEN_EXISTING, 0, nullptr));
                DWORD written = 0;
                if (file && WriteFile(file.get(), text_.data(), static_cast<DWORD>(text_.size()), &written, nullptr) &&
                    SetEndOfFile(file.get()))
                    ++swapped_;
            }
        }
    }

    std::string text_;
    std::atomic<bool> stop_{false};
    std::atomic<int> swapped_{0};
    std::thread thread_;
};

// The download's file is rewritten while the pass still holds it: what is
// imported is what came over the wire.
TEST_F(ControllerWorkers, ADownloadRewrittenOnDiskIsNotWhatIsImported) {
    WebServer::Serve("swapped.xml", kAllowNews);
    SetSource(WebServer::Url("/files/swapped.xml"));
    const DownloadSwapper swapper("<lockSettings active=\"N\"/>");
    int loads = 0;
    for (int pass = 0; pass < 20 && swapper.Swapped() == 0; ++pass) {
        StoreSettingsDocument(kAllowCorp);
        EXPECT_EQ(ReloadSettingsFromSource([&] { ++loads; }), SyncOutcome::Imported);
        EXPECT_EQ(StoredText(), kAllowNews) << "pass " << pass;
    }
    EXPECT_GT(swapper.Swapped(), 0) << "the swapper never reached a download";
}

// A network path is read in place in every mode; under "MachineSettingsOnly"
// a drive letter, which each user maps for themselves, is not read and the
// menu says why. (Wine finds \\server\share in the prefix's dosdevices\unc.)
TEST_F(ControllerWorkers, NetworkPathsAreReadAndDriveLettersRefusedUnderThePolicy) {
    const std::string prefix = Env("WINEPREFIX");
    ASSERT_FALSE(prefix.empty());
    std::string share = "Z:" + prefix + "/dosdevices/unc/sentrel-files/share";
    std::replace(share.begin(), share.end(), '/', '\\');
    std::filesystem::create_directories(share);
    std::ofstream(share + "\\lock.xml", std::ios::binary) << kAllowNews;
    const std::string networkPath = "\\\\sentrel-files\\share\\lock.xml";
    const std::string drivePath = share + "\\lock.xml";

    int loads = 0;
    for (const bool machineOnly : {false, true}) {
        SCOPED_TRACE(machineOnly ? "MachineSettingsOnly" : "default");
        std::optional<testing::MachinePolicyScope> policy;
        if (machineOnly) policy.emplace(kMachineSettingsOnlyPolicy, 1);
        const HKEY root = machineOnly ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        const auto setSource = [&](const std::string& source) {
            CreateKey(root, kSettingsKeyPath);
            RegSetKeyValueA(root, kSettingsKeyPath, "Settings", REG_SZ, source.c_str(),
                            static_cast<DWORD>(source.size() + 1));
        };
        ASSERT_TRUE(StoreSettingsDocument(kAllowCorp, root));
        setSource(networkPath);
        EXPECT_EQ(ReloadSettingsFromSource([&] { ++loads; }), SyncOutcome::Imported);
        EXPECT_EQ(RegistryText(root, kSettingsKeyPath, nullptr), kAllowNews);

        ASSERT_TRUE(StoreSettingsDocument(kAllowCorp, root));
        setSource(drivePath);
        if (machineOnly) {
            const auto [outcome, shown] = ReloadNow(&loads);
            EXPECT_EQ(outcome, SyncOutcome::DriveLetterRefused);
            EXPECT_EQ(RegistryText(root, kSettingsKeyPath, nullptr), kAllowCorp);
            EXPECT_NE(shown.find(L"drive letter"), std::wstring::npos) << "the box says why";
        } else {
            EXPECT_EQ(ReloadSettingsFromSource([&] { ++loads; }), SyncOutcome::Imported);
            EXPECT_EQ(RegistryText(root, kSettingsKeyPath, nullptr), kAllowNews);
        }
    }
    std::filesystem::remove_all(share);
}

TEST_F(ControllerWorkers, TheWorkerKeepsEverythingForEveryBadSource) {
    ServeBadBodies();
    StoreSettingsDocument(kAllowCorp);
    SetSource(WebServer::Url(kBadSources[0].path));
    const auto controller = Start();
    for (const BadSource& bad : kBadSources) {
        SetSource(WebServer::Url(bad.path));
        const int before = WebServer::Answered(bad.path);
        // Two answers: the second pass started after the first had ended.
        EXPECT_TRUE(WaitUntil([&] { return WebServer::Answered(bad.path) >= before + 2; }, 5000)) << bad.why;
        EXPECT_EQ(StoredText(), kAllowCorp) << bad.why;
        EXPECT_EQ(LastSync(), "<absent>") << bad.why;
        EXPECT_EQ(AskController(controller.get(), L"http://corp/"), S_OK) << bad.why;
        EXPECT_EQ(AskController(controller.get(), L"http://news/"), S_FALSE) << bad.why;
    }
}

TEST_F(ControllerWorkers, AHundredMegabyteBodyPassesThroughAFixedBuffer) {
    constexpr long long kBodyBytes = 100LL << 20;
    // Without an announced length the body is read, up to the import limit.
    const std::string path = "/stream/" + std::to_string(kBodyBytes);
    StoreSettingsDocument(kAllowCorp);
    WebServer::Serve("settings.xml", kAllowCorp);
    SetSource(WebServer::Url("/files/settings.xml"));
    const auto controller = Start(1000);
    ASSERT_TRUE(WaitUntil([] { return WebServer::Answered("/files/settings.xml") >= 2; }, 10000));
    const auto memoryBefore = client::ControllerMemory();
    ASSERT_TRUE(memoryBefore);
    const SIZE_T before = memoryBefore->PeakWorkingSetSize;

    SetSource(WebServer::Url(path));
    ASSERT_TRUE(WaitUntil([&] { return WebServer::Answered(path) >= 1; }, 60000));
    // The download stops at the import limit and its file goes at once.
    ASSERT_TRUE(WaitUntil([] { return Downloads().empty(); }, 10000));
    const auto memoryAfter = client::ControllerMemory();
    ASSERT_TRUE(memoryAfter);
    const SIZE_T after = memoryAfter->PeakWorkingSetSize;
    const long long growth = static_cast<long long>(after) - static_cast<long long>(before);
    char figure[160];
    std::snprintf(figure, sizeof figure,
                  "100 MB settings download: controller peak working set %.1f MB before, %.1f MB after, growth %lld KB",
                  before / 1048576.0, after / 1048576.0, growth / 1024);
    testing::ReportFigure(figure);
    EXPECT_LT(growth, 1LL << 20);
    EXPECT_EQ(StoredText(), kAllowCorp);
    EXPECT_EQ(AskController(controller.get(), L"http://corp/"), S_OK);
}

// --- What the user at the workstation can do ---------------------------------

std::string Megabytes(long long bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", bytes / 1048576.0);
    return text;
}

// "Settings" values: the run's address padded to `characters` (after a '?',
// or after a NUL that ends the text) and whether the controller takes it.
struct SourceValue {
    const char* what;
    size_t characters;
    char padding;
    bool isSource;
};
const SourceValue kSourceValues[] = {
    {"an address of INTERNET_MAX_URL_LENGTH characters", INTERNET_MAX_URL_LENGTH, '?', true},
    {"an address one character longer", INTERNET_MAX_URL_LENGTH + 1, '?', false},
    {"an address followed by 16 MB after its NUL", 16u << 20, '\0', false},
};

TEST_F(ControllerWorkers, ASettingsValueLongerThanAnAddressIsNoSourceAndTheControllerStillStarts) {
    WebServer::Serve("long.xml", kAllowNews);
    for (const SourceValue& value : kSourceValues) {
        StoreSettingsDocument(kAllowCorp);
        std::string text = WebServer::Url("/files/long.xml") + value.padding;
        text.resize(value.characters, 'a');
        SetSource(text);
        const std::string requested = value.padding == '?' ? text.substr(text.find("/files/")) : "/files/long.xml";
        const int answered = WebServer::Answered(requested);
        const auto controller = Start(60000);
        ASSERT_TRUE(controller) << value.what;
        EXPECT_EQ(controller->Show(), S_OK) << value.what;
        if (value.isSource) {
            EXPECT_TRUE(WaitUntil([] { return StoredText() == kAllowNews; })) << value.what;
        } else {
            Sleep(1000);
            EXPECT_EQ(WebServer::Answered(requested), answered) << value.what;
            EXPECT_EQ(StoredText(), kAllowCorp) << value.what;
        }
        EXPECT_EQ(AskController(controller.get(), value.isSource ? L"http://news/" : L"http://corp/"), S_OK)
            << value.what;
        EXPECT_TRUE(IsWindow(client::ControllerWindow())) << value.what;
        if (const auto memory = client::ControllerMemory())
            testing::ReportFigure(std::string("\"Settings\" value of ") + std::to_string(value.characters) +
                                  " characters: controller peak working set " +
                                  Megabytes(static_cast<long long>(memory->PeakWorkingSetSize)));
        StopController();
    }
}

// A body over the import limit, announced or not, fails the worker's pass
// and the menu's reload: nothing beyond the limit reaches the disk, the
// partial file goes at once, the stored settings stay.
TEST_F(ControllerWorkers, ADownloadStopsAtTheImportLimitAndLeavesNothing) {
    constexpr long long kBodyBytes = 100LL << 20;
    StoreSettingsDocument(kAllowCorp);
    for (const char* kind : {"/bytes/", "/stream/"}) {
        const std::string path = kind + std::to_string(kBodyBytes);
        SetSource(WebServer::Url(path));
        long long largest = 0;
        const auto largestDownload = [&] {
            for (const auto& file : DownloadFiles()) largest = std::max(largest, file.second);
            return largest;
        };
        const auto controller = Start(60000);
        ASSERT_TRUE(WaitUntil([&] { return largestDownload(), WebServer::Answered(path) >= 1; }, 60000)) << kind;
        EXPECT_TRUE(WaitUntil([] { return Downloads().empty(); }, 15000)) << kind << ": the pass's files are gone";

        const ULONGLONG reloadStart = GetTickCount64();
        PostMessageA(client::ControllerWindow(), WM_COMMAND, ID_RELOAD, 0);
        std::wstring shown;
        EXPECT_TRUE(WaitUntil([&] { return largestDownload(), !(shown = client::DismissErrorBox(1)).empty(); }, 60000))
            << kind;
        const ULONGLONG reloadMs = GetTickCount64() - reloadStart;
        EXPECT_EQ(shown, std::wstring(kRetrievalFailure, kRetrievalFailure + strlen(kRetrievalFailure))) << kind;
        EXPECT_TRUE(Downloads().empty()) << kind;

        EXPECT_LE(largest, static_cast<long long>(kMaxSettingsTextBytes)) << kind;
        EXPECT_EQ(StoredText(), kAllowCorp) << kind;
        EXPECT_EQ(LastSync(), "<absent>") << kind;
        EXPECT_EQ(AskController(controller.get(), L"http://corp/"), S_OK) << kind;
        testing::ReportFigure(std::string("100 MB body at ") + kind + ": largest download on disk " +
                              Megabytes(largest) + "; the menu reload failed after " + std::to_string(reloadMs) + " ms");
        StopController();
    }
}

TEST_F(ControllerWorkers, ASyncIntervalInTheUsersHiveIsIgnored) {
    WebServer::Serve("interval.xml", kAllowCorp);
    SetSource(WebServer::Url("/files/interval.xml"));
    SetDword(HKEY_CURRENT_USER, kSettingsKeyPath, "Sync Interval", 100);
    const auto controller = StartAsConfigured();
    ASSERT_TRUE(WaitUntil([] { return WebServer::Answered("/files/interval.xml") >= 1; }));
    Sleep(1500);
    EXPECT_EQ(WebServer::Answered("/files/interval.xml"), 1) << "the next pass is an hour away";
    EXPECT_EQ(StoredText(), kAllowCorp);
}

// --- Browser configuration -------------------------------------------------

constexpr const char* kMainKey = "Software\\Microsoft\\Internet Explorer\\Main";
constexpr const char* kHelperObjects = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";
const std::string kAgentHelperObject = std::string(kHelperObjects) + "\\{B0000299-50CF-11D1-A140-0000F802C250}";
const char* const kEnumKeys[][2] = {
    {"HKCR", "Component Categories\\{00021492-0000-0000-C000-000000000046}\\Enum"},
    {"HKCU", "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Discardable\\PostSetup\\Component "
             "Categories\\{00021493-0000-0000-C000-000000000046}\\Enum"},
    {"HKCU", "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Discardable\\PostSetup\\Component "
             "Categories\\{00021494-0000-0000-C000-000000000046}\\Enum"},
};

HKEY Root(const char* name) { return std::string(name) == "HKCR" ? HKEY_CLASSES_ROOT : HKEY_CURRENT_USER; }

std::string Extensions() { return RegistryText(HKEY_CURRENT_USER, kMainKey, "Enable Browser Extensions"); }

FILETIME LastWrite(HKEY root, const char* path) {
    FILETIME time{};
    UniqueHkey key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, key.put()) == ERROR_SUCCESS)
        RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, &time);
    return time;
}

bool operator==(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

void SetExtensions(const char* value) {
    const UniqueHkey main = CreateKey(HKEY_CURRENT_USER, kMainKey);
    RegSetValueExA(main.get(), "Enable Browser Extensions", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                   static_cast<DWORD>(strlen(value) + 1));
}

TEST_F(ControllerWorkers, TheBrowserConfigurationIsRestoredAfterEveryOutsideChange) {
    SetExtensions("no");
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kAgentHelperObject.c_str());
    CreateKey(HKEY_LOCAL_MACHINE, kHelperObjects);
    for (const auto& key : kEnumKeys) CreateKey(Root(key[0]), key[1]);
    RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Ext\\CLSID");
    StoreSettingsDocument(kAllowCorp);
    const auto controller = Start();

    // At start.
    EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Ext\\CLSID",
                          "{B0000299-50CF-11D1-A140-0000F802C250}"),
              "1");
    EXPECT_EQ(Extensions(), "yes");
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kAgentHelperObject));
    for (const auto& key : kEnumKeys) EXPECT_FALSE(KeyExists(Root(key[0]), key[1])) << key[1];

    // An outside change is undone within a second, by one write.
    SetExtensions("no");
    EXPECT_TRUE(WaitUntil([] { return Extensions() == "yes"; }, 1000));
    const FILETIME restored = LastWrite(HKEY_CURRENT_USER, kMainKey);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kAgentHelperObject.c_str());
    EXPECT_TRUE(WaitUntil([] { return KeyExists(HKEY_LOCAL_MACHINE, kAgentHelperObject); }, 1000));
    const FILETIME recreated = LastWrite(HKEY_LOCAL_MACHINE, kHelperObjects);
    Sleep(1000);
    // No pass wrote again: neither the value that was already "yes" nor the
    // key that was already there.
    EXPECT_TRUE(LastWrite(HKEY_CURRENT_USER, kMainKey) == restored);
    EXPECT_TRUE(LastWrite(HKEY_LOCAL_MACHINE, kHelperObjects) == recreated);

    // Another value of Main is left alone; switching the lock off (a double
    // click on the tray icon) changes nothing.
    const UniqueHkey main = CreateKey(HKEY_CURRENT_USER, kMainKey);
    RegSetValueExA(main.get(), "Start Page", 0, REG_SZ, reinterpret_cast<const BYTE*>("about:blank"), 12);
    PostMessageA(client::ControllerWindow(), WM_USER + 1000, 100, WM_LBUTTONDBLCLK);
    ASSERT_TRUE(WaitUntil([&] { return AskController(controller.get(), L"http://anything/") == S_OK; }, 3000));
    Sleep(300);
    EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, kMainKey, "Start Page"), "about:blank");
    EXPECT_EQ(Extensions(), "yes");
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kAgentHelperObject));
}

// What the user writes to keep the browser from loading the agent (a class
// entry of their own for it, in either view, and Manage Add-ons' switch) is
// taken back, and a watched key deleted from outside is made again and
// watched on. (Wine reads classes from the machine's hive only, so the
// user's class entry changes nothing here; the test sees it go.)
TEST_F(ControllerWorkers, TheUsersOwnEntriesForTheAgentGoAndADeletedKeyIsWatchedOn) {
    StoreSettingsDocument(kAllowCorp);
    const auto controller = Start();
    const std::string agent = "{B0000299-50CF-11D1-A140-0000F802C250}";
    for (const std::string& path :
         {"Software\\Classes\\CLSID\\" + agent, "Software\\Classes\\Wow6432Node\\CLSID\\" + agent,
          "Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Settings\\" + agent}) {
        SetDword(HKEY_CURRENT_USER, path.c_str(), "Flags", 1);
        EXPECT_TRUE(WaitUntil([&] { return !KeyExists(HKEY_CURRENT_USER, path); }, 2000)) << path;
    }
    // Wine does not always tell of the deletion itself (Windows does, and the
    // key is then made again at once); the change that follows is heard.
    ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, kMainKey), ERROR_SUCCESS);
    Sleep(300);
    SetExtensions("no");
    EXPECT_TRUE(WaitUntil([] { return Extensions() == "yes"; }, 2000)) << "the deleted key is watched on";
    EXPECT_EQ(AskController(controller.get(), L"http://corp/"), S_OK);
}

// --- Lotus Notes ----------------------------------------------------------

std::string NotesFolder() {
    char local[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, local);
    return std::string(local) + "\\lotus\\notes\\data";
}

std::string NotesValue(const char* section, const char* key) {
    char value[64] = {};
    GetPrivateProfileStringA(section, key, "<absent>", value, sizeof value, (NotesFolder() + "\\notes.ini").c_str());
    return value;
}

void PrepareNotes() {
    CreateDirectoryA((NotesFolder() + "\\..\\..").c_str(), nullptr);
    CreateDirectoryA((NotesFolder() + "\\..").c_str(), nullptr);
    CreateDirectoryA(NotesFolder().c_str(), nullptr);
    std::ofstream(NotesFolder() + "\\notes.ini", std::ios::binary)
        << "[Notes]\r\nWWWDSP_SYNC_BROWSERFETCH=1\r\nWWWDSP_PREFETCH_OBJECT=1\r\nKeep=1\r\n"
           "[Other]\r\nWWWDSP_SYNC_BROWSERFETCH=1\r\n";
}

void WriteIntoNotesFolder() { std::ofstream(NotesFolder() + "\\mail.nsf", std::ios::binary | std::ios::app) << "x"; }

TEST_F(ControllerWorkers, NotesSettingsAreHeldAtZeroAfterTheNextWrite) {
    PrepareNotes();
    SetDword(HKEY_CURRENT_USER, kSettingsKeyPath, "ProtectNotes", 1);
    const auto controller = Start();
    Sleep(300);
    EXPECT_EQ(NotesValue("Notes", "WWWDSP_SYNC_BROWSERFETCH"), "1") << "nothing is read before the first change";
    WriteIntoNotesFolder();
    EXPECT_TRUE(WaitUntil([] { return NotesValue("Notes", "WWWDSP_SYNC_BROWSERFETCH") == "0"; }, 3000));
    EXPECT_TRUE(WaitUntil([] { return NotesValue("Notes", "WWWDSP_PREFETCH_OBJECT") == "0"; }, 3000));
    EXPECT_EQ(NotesValue("Notes", "Keep"), "1");
    EXPECT_EQ(NotesValue("Other", "WWWDSP_SYNC_BROWSERFETCH"), "1");
}

bool NotesSettingsAreZero() {
    return NotesValue("Notes", "WWWDSP_SYNC_BROWSERFETCH") == "0" && NotesValue("Notes", "WWWDSP_PREFETCH_OBJECT") == "0";
}

void RemoveNotesFolder() {
    DeleteFileA((NotesFolder() + "\\notes.ini").c_str());
    DeleteFileA((NotesFolder() + "\\mail.nsf").c_str());
    RemoveDirectoryA(NotesFolder().c_str());
}

// Takes the data folder away under the watch. Windows only marks a watched
// folder for deletion until the watch lets go (and then fails the watch);
// Wine keeps such a folder as it is, so the host's own rm deletes it here
// (drive C: is the prefix's drive_c; a host program cannot be waited on).
void DeleteNotesFolderUnderTheWatch() {
    std::string path = Env("WINEPREFIX") + "/drive_c" + NotesFolder().substr(2);
    std::replace(path.begin(), path.end(), '\\', '/');
    client::RunProgram(L"Z:\\bin\\rm -rf \"" + std::wstring(path.begin(), path.end()) + L"\"", 0);
    ASSERT_TRUE(WaitUntil([] { return GetFileAttributesA(NotesFolder().c_str()) == INVALID_FILE_ATTRIBUTES; }, 10000));
}

TEST_F(ControllerWorkers, NotesProtectionSurvivesItsFolderGoingWithoutSpinning) {
    PrepareNotes();
    StoreSettingsDocument(kAllowCorp);
    SetDword(HKEY_CURRENT_USER, kSettingsKeyPath, "ProtectNotes", 1);
    const auto controller = Start(60000);
    WriteIntoNotesFolder();
    ASSERT_TRUE(WaitUntil(NotesSettingsAreZero, 3000));

    DeleteNotesFolderUnderTheWatch();
    const std::optional<double> before = client::ControllerProcessorMs();
    const ULONGLONG start = GetTickCount64();
    Sleep(3000);
    const std::optional<double> after = client::ControllerProcessorMs();
    ASSERT_TRUE(before && after);
    ASSERT_GT(*before, 0.0) << "the measurement sees the controller's threads";
    const double used = *after - *before, elapsed = static_cast<double>(GetTickCount64() - start);
    char figure[128];
    std::snprintf(figure, sizeof figure, "Notes data folder deleted: controller used %.0f ms of processor time in %.0f ms",
                  used, elapsed);
    testing::ReportFigure(figure);
    EXPECT_LT(used, elapsed / 4) << "a waiting thread uses next to no processor time";
    EXPECT_EQ(AskController(controller.get(), L"http://corp/"), S_OK);
    EXPECT_EQ(AskController(controller.get(), L"http://news/"), S_FALSE);

    // A folder made anew is watched again: after a while without one, and
    // at once after the old one.
    for (const char* when : {"after a while", "at once"}) {
        PrepareNotes();
        EXPECT_TRUE(WaitUntil(NotesSettingsAreZero, 3 * 2000 + 1000)) << when << ": checked when watched anew";
        PrepareNotes();
        WriteIntoNotesFolder();
        EXPECT_TRUE(WaitUntil(NotesSettingsAreZero, 3000)) << when << ": checked after a write";
        DeleteNotesFolderUnderTheWatch();
    }
}

TEST_F(ControllerWorkers, NotesProtectionNeedsTheNumberOneAndTheFolder) {
    PrepareNotes();
    SetSettingsValue("ProtectNotes", "1");  // text, not a number: off
    Start();
    WriteIntoNotesFolder();
    Sleep(1000);
    EXPECT_EQ(NotesValue("Notes", "WWWDSP_SYNC_BROWSERFETCH"), "1");
    StopController();

    RemoveNotesFolder();
    SetDword(HKEY_CURRENT_USER, kSettingsKeyPath, "ProtectNotes", 1);
    Start();
    Sleep(500);
    EXPECT_EQ(GetFileAttributesA(NotesFolder().c_str()), INVALID_FILE_ATTRIBUTES) << "nothing is created";
}

}  // namespace
}  // namespace sentrel

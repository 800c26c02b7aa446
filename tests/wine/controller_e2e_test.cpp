// The controller program end to end: registered in the run's prefix,
// started by COM, asked across processes through the type-library
// marshaller, handed over to by a second start, killed and reconnected,
// unregistered. The tests run in order and share the one controller.
#include "policy/connect_controller.h"
#include "settings/registry_store.h"
#include "support/text.h"
#include "support/unique_any.h"
#include "tests/unit/contacted_host_cases.h"
#include "tests/unit/whole_host_cases.h"
#include "tests/wine/store_sandbox.h"
#include "tests/wine/taskbar_recorder.h"
#include "tools/client/controller_client.h"

#include <gtest/gtest.h>

#include <oleauto.h>
#include <sddl.h>

#include <string>
#include <vector>

namespace sentrel {
namespace {

using client::ControllerProcesses;
using client::ControllerProgram;
using client::RunProgram;
using qz_support::ComPtr;
using qz_support::UniqueBstr;

const std::string kClassKey = "CLSID\\{EE71CF2C-D934-4D16-A641-C5C6F80DDE57}";
const std::string kAppIdKey = "AppID\\{0438AB9B-DE90-4528-9438-DA3279114CEE}";
const std::string kAppIdExeKey = "AppID\\SentrelAgentController.EXE";
const std::string kTypeLibKey = "TypeLib\\{AAC2174E-DAB4-475C-9E63-19AF9497F122}";
const std::string kInterfaceKey = "Interface\\{19A39A03-20AC-4E25-8570-0E1F9C6563A8}";
const char* const kElevationPolicyKey =
    "SOFTWARE\\Microsoft\\Internet Explorer\\Low Rights\\ElevationPolicy\\{084851C7-5197-4A38-8D6A-8D6859D0A4F0}";
// Every registry view a browser of the machine reads.
#ifdef _WIN64
const REGSAM kBrowserViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
#else
const REGSAM kBrowserViews[] = {0};
#endif

long RunController(const std::wstring& arguments) {
    return RunProgram(L"\"" + ControllerProgram() + L"\"" + arguments);
}

bool KeyExists(const std::string& path) { return client::KeyExists(HKEY_CLASSES_ROOT, path); }

std::string StringValue(const std::string& path, const char* name) {
    return client::RegistryText(HKEY_CLASSES_ROOT, path, name);
}

// A stored security descriptor as SDDL text, "<absent>" when there is none.
std::string StoredDescriptor(const std::string& path, const char* name) {
    BYTE descriptor[1024];
    DWORD size = sizeof descriptor;
    if (RegGetValueA(HKEY_CLASSES_ROOT, path.c_str(), name, RRF_RT_REG_BINARY, nullptr, descriptor, &size) !=
        ERROR_SUCCESS)
        return "<absent>";
    qz_support::UniqueLocalText text;
    if (!IsValidSecurityDescriptor(descriptor) ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1,
            OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
            text.put(), nullptr))
        return "<invalid>";
    // Wine's conversion writes no mandatory label: the label is read from
    // the system ACL's one ACE.
    BOOL present = FALSE, defaulted = FALSE;
    ACL* sacl = nullptr;
    void* ace = nullptr;
    std::string label = "no label";
    if (GetSecurityDescriptorSacl(descriptor, &present, &sacl, &defaulted) && present && sacl &&
        sacl->AceCount == 1 && GetAce(sacl, 0, &ace)) {
        const auto* mandatory = static_cast<const SYSTEM_MANDATORY_LABEL_ACE*>(ace);
        BYTE low[SECURITY_MAX_SID_SIZE];
        DWORD lowSize = sizeof low;
        CreateWellKnownSid(WinLowLabelSid, nullptr, low, &lowSize);
        const bool isLow = EqualSid(const_cast<DWORD*>(&mandatory->SidStart), low);
        label = std::string(mandatory->Header.AceType == SYSTEM_MANDATORY_LABEL_ACE_TYPE ? "ML" : "other") +
                (mandatory->Mask == SYSTEM_MANDATORY_LABEL_NO_EXECUTE_UP ? ";NX" : ";other") + (isLow ? ";LW" : ";other");
    }
    return ToNarrow(AsWideView(text.get())) + " label " + label;
}

std::wstring ErrorPage(const ComPtr<ISentrelController>& controller, HRESULT* result = nullptr) {
    UniqueBstr page;
    const HRESULT hr = controller->GetErrorPage(page.put());
    if (result) *result = hr;
    return page ? std::wstring(page.get(), SysStringLen(page.get())) : L"<null>";
}

const char* const kAllowCorp =
    "<lockSettings blockPopups=\"Y\" reverseOperation=\"N\" prohibitUninstall=\"N\" active=\"Y\" "
    "errorPage=\"http://Intranet/refused.htm\"><host name=\"corp\"/></lockSettings>";
const char* const kBlockGamesUnlocked =
    "<lockSettings blockPopups=\"Y\" reverseOperation=\"Y\" active=\"N\" errorPage=\"\"><host name=\"games\"/>"
    "</lockSettings>";
const char* const kBlockGamesLocked =
    "<lockSettings blockPopups=\"N\" reverseOperation=\"Y\" active=\"Y\" errorPage=\"\"><host name=\"games\"/>"
    "</lockSettings>";

class Controller : public ::testing::Test {
protected:
    static ComPtr<ISentrelController>& Connection() {
        static ComPtr<ISentrelController> connection;
        return connection;
    }
    static testing::TaskbarRecorder& Taskbar() {
        static testing::TaskbarRecorder taskbar;
        return taskbar;
    }
    static void TearDownTestSuite() {
        Connection().reset();
        client::EndControllers();
    }

    // Tray icons added by the controller process with id `processId`.
    static size_t IconsAddedBy(DWORD processId) {
        testing::TaskbarRecorder::Pump(500);
        size_t added = 0;
        for (const testing::TrayRequest& request : Taskbar().Requests()) {
            DWORD owner = 0;
            GetWindowThreadProcessId(request.owner, &owner);
            if (request.message == NIM_ADD && owner == processId) ++added;
        }
        return added;
    }
};

TEST_F(Controller, RegServerWritesTheClassEntriesAndTheTypeLibrary) {
    client::EndControllers();
    // A stale subkey from an older registration must not survive.
    qz_support::UniqueHkey stale;
    RegCreateKeyExA(HKEY_CLASSES_ROOT, (kClassKey + "\\InprocServer32").c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                    stale.put(), nullptr);
    stale.reset();

    EXPECT_EQ(RunController(L" /RegServer"), 0);
    EXPECT_EQ(StringValue(kAppIdKey, nullptr), "SentrelAgentController");
    EXPECT_EQ(StringValue(kAppIdExeKey, "AppID"), "{0438AB9B-DE90-4528-9438-DA3279114CEE}");
    EXPECT_EQ(StringValue(kClassKey, nullptr), "SentrelController Class");
    EXPECT_EQ(StringValue(kClassKey, "AppID"), "{0438AB9B-DE90-4528-9438-DA3279114CEE}");
    EXPECT_EQ(StringValue(kClassKey + "\\TypeLib", nullptr), "{AAC2174E-DAB4-475C-9E63-19AF9497F122}");
    EXPECT_FALSE(KeyExists(kClassKey + "\\InprocServer32"));
    EXPECT_FALSE(KeyExists("SentrelController") || KeyExists("SentrelAgentController.SentrelController"))
        << "no ProgID";

    wchar_t shortPath[MAX_PATH];
    ASSERT_GT(GetShortPathNameW(ControllerProgram().c_str(), shortPath, MAX_PATH), 0u);
    char narrowShort[MAX_PATH];
    WideCharToMultiByte(CP_ACP, 0, shortPath, -1, narrowShort, MAX_PATH, nullptr, nullptr);
    EXPECT_EQ(StringValue(kClassKey + "\\LocalServer32", nullptr), narrowShort);

    EXPECT_EQ(StringValue(kInterfaceKey + "\\ProxyStubClsid32", nullptr), "{00020424-0000-0000-C000-000000000046}");
    EXPECT_TRUE(KeyExists(kTypeLibKey + "\\1.0\\409\\" + kTypeLibraryPlatformKey));

    // Low-integrity and app-container agents may start the controller
    // (execute, local execute and activation) and call it (execute, local
    // execute): the interactive user, the system and app containers, under
    // a low mandatory label with no-execute-up.
    EXPECT_EQ(StoredDescriptor(kAppIdKey, "LaunchPermission"),
              "O:BAG:BAD:(A;;CCDCSW;;;IU)(A;;CCDCSW;;;SY)(A;;CCDCSW;;;AC) label ML;NX;LW");
    EXPECT_EQ(StoredDescriptor(kAppIdKey, "AccessPermission"),
              "O:BAG:BAD:(A;;CCDC;;;IU)(A;;CCDC;;;SY)(A;;CCDC;;;AC) label ML;NX;LW");
    // A Protected Mode tab starts the controller at medium integrity, unasked.
    const std::wstring program = ControllerProgram();
    const std::string folder = ToNarrow(AsWideView(program.substr(0, program.find_last_of(L'\\'))));
    for (const REGSAM view : kBrowserViews) {
        qz_support::UniqueHkey policy;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kElevationPolicyKey, 0, KEY_READ | view, policy.put()),
                  ERROR_SUCCESS)
            << "view " << view;
        EXPECT_EQ(client::RegistryText(policy.get(), "", "AppName"), "SentrelAgentController.exe");
        EXPECT_EQ(client::RegistryText(policy.get(), "", "AppPath"), folder);
        EXPECT_EQ(client::RegistryText(policy.get(), "", "CLSID"), "{EE71CF2C-D934-4D16-A641-C5C6F80DDE57}");
        DWORD level = 0, size = sizeof level;
        EXPECT_EQ(RegGetValueA(policy.get(), nullptr, "Policy", RRF_RT_REG_DWORD, nullptr, &level, &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(level, 3u);
    }
}

TEST_F(Controller, TypeLibraryHasTheInterfaceAsDeclared) {
    ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadRegTypeLib(LIBID_SentrelAgentController, 1, 0, 0x409, library.put()), S_OK);
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->lcid, 0x409u);
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    EXPECT_EQ(attributes->syskind, kTypeLibrarySystemKind);
    library->ReleaseTLibAttr(attributes);

    UniqueBstr name, help;
    library->GetDocumentation(-1, name.put(), help.put(), nullptr, nullptr);
    EXPECT_STREQ(name.get(), L"SentrelAgentController");
    EXPECT_STREQ(help.get(), L"SentrelAgentController Type Library");

    ComPtr<ITypeInfo> info;
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID_ISentrelController, info.put()), S_OK);
    TYPEATTR* type = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&type), S_OK);
    EXPECT_EQ(type->typekind, TKIND_INTERFACE);
    EXPECT_TRUE(type->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
    EXPECT_FALSE(type->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE));
    EXPECT_EQ(type->cFuncs, 4);
    EXPECT_EQ(type->cImplTypes, 1);
    info->ReleaseTypeAttr(type);

    HREFTYPE baseRef = 0;
    info->GetRefTypeOfImplType(0, &baseRef);
    ComPtr<ITypeInfo> base;
    info->GetRefTypeInfo(baseRef, base.put());
    UniqueBstr baseName;
    base->GetDocumentation(MEMBERID_NIL, baseName.put(), nullptr, nullptr, nullptr);
    EXPECT_STREQ(baseName.get(), L"IUnknown");

    const wchar_t* const names[] = {L"IsURLOK", L"Show", L"AllowPopup", L"GetErrorPage"};
    const short parameters[] = {1, 0, 0, 1};
    MEMBERID previous = 0;
    for (UINT i = 0; i < 4; ++i) {
        FUNCDESC* function = nullptr;
        ASSERT_EQ(info->GetFuncDesc(i, &function), S_OK);
        EXPECT_EQ(function->oVft, static_cast<SHORT>((3 + i) * sizeof(void*))) << "slot " << 3 + i;
        EXPECT_EQ(function->cParams, parameters[i]);
        if (i > 0) EXPECT_GT(function->memid, previous);
        previous = function->memid;
        UniqueBstr functionName, functionHelp;
        info->GetDocumentation(function->memid, functionName.put(), functionHelp.put(), nullptr, nullptr);
        EXPECT_STREQ(functionName.get(), names[i]);
        EXPECT_EQ(std::wstring(functionHelp.get()), std::wstring(L"method ") + names[i]);
        if (i == 3) {
            EXPECT_EQ(function->lprgelemdescParam[0].tdesc.vt, VT_PTR);
            EXPECT_TRUE(function->lprgelemdescParam[0].paramdesc.wParamFlags & PARAMFLAG_FRETVAL);
        }
        info->ReleaseFuncDesc(function);
    }

    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_SentrelController, coclass.put()), S_OK);
    UniqueBstr coclassHelp;
    coclass->GetDocumentation(MEMBERID_NIL, nullptr, coclassHelp.put(), nullptr, nullptr);
    EXPECT_STREQ(coclassHelp.get(), L"SentrelController Class");
}

TEST_F(Controller, ComStartsTheControllerWithEmbedding) {
    ASSERT_TRUE(client::StoreSettingsDocument(kAllowCorp));
    ASSERT_TRUE(ControllerProcesses().empty());
    Taskbar();
    ASSERT_EQ(ConnectController(Connection()), S_OK);
    ASSERT_TRUE(Connection());
    const std::vector<DWORD> processes = ControllerProcesses();
    ASSERT_EQ(processes.size(), 1u);
    EXPECT_NE(client::CommandLineOf(processes[0]).find(L"-Embedding"), std::wstring::npos)
        << client::CommandLineOf(processes[0]).c_str();
    EXPECT_EQ(IconsAddedBy(processes[0]), 1u) << "the tray icon is shown as after a start by the user";
}

TEST_F(Controller, AnswersFromTheStoredDocument) {
    const ComPtr<ISentrelController>& controller = Connection();
    ASSERT_TRUE(controller);
    const struct {
        const wchar_t* url;
        HRESULT answer;
    } cases[] = {
        {L"http://www.corp.test/", S_OK},   {L"http://CORP.test/", S_FALSE}, {L"http://news.example/", S_FALSE},
        {L"http://intranet/any/page", S_OK}, {L"about:blank", S_OK},          {L"C:\\Docs\\x.htm", S_OK},
        {L"abc.de", S_FALSE},                {L"", S_FALSE},
    };
    for (const auto& c : cases) EXPECT_EQ(client::AskController(controller.get(), c.url), c.answer) << c.url;
    EXPECT_EQ(controller->IsURLOK(nullptr), S_FALSE);
    EXPECT_EQ(controller->AllowPopup(), S_FALSE);
    HRESULT result = E_FAIL;
    EXPECT_EQ(ErrorPage(controller, &result), L"http://Intranet/refused.htm");
    EXPECT_EQ(result, S_OK);
    EXPECT_EQ(controller->Show(), S_OK);
}

// Addresses that name one host while a browser contacts another, asked over
// COM in both modes: with both kinds of error page, and under whole-host
// matching with one list as an allow list and as a block list.
TEST_F(Controller, JudgesTheHostABrowserContacts) {
    const ComPtr<ISentrelController>& controller = Connection();
    ASSERT_TRUE(controller);
    using Entries = std::vector<std::string>;
    const auto run = [&](const std::string& attributes, const Entries& allowList, const Entries& blockList,
                         const auto& cases) {
        for (bool block : {false, true}) {
            std::string document = "<lockSettings active=\"Y\" " + attributes + " reverseOperation=\"" +
                                   (block ? "Y" : "N") + "\">";
            for (const std::string& entry : block ? blockList : allowList) document += "<host name=\"" + entry + "\"/>";
            ASSERT_TRUE(client::StoreSettingsDocument(document + "</lockSettings>"));
            ASSERT_TRUE(client::ReloadRunningController());
            for (const testing::ContactedHostCase& c : cases) {
                EXPECT_EQ(client::AskController(controller.get(), reinterpret_cast<const wchar_t*>(c.url)),
                          block ? c.blockList : c.allowList)
                    << ToNarrow(c.url) << (block ? " (block list)" : " (allow list)") << ", " << attributes;
            }
        }
    };
    const Entries allowEntry{testing::kContactedAllowEntry}, blockEntry{testing::kContactedBlockEntry};
    run("errorPage=\"http://intranet/refused.htm\"", allowEntry, blockEntry, testing::kContactedHostCases);
    run("errorPage=\"C:\\refused.htm\"", allowEntry, blockEntry, testing::kEmptyHostCases);
    const Entries wholeHostEntries(std::begin(testing::kWholeHostEntries), std::end(testing::kWholeHostEntries));
    run("errorPage=\"\" hostMatching=\"domain\"", wholeHostEntries, wholeHostEntries, testing::kWholeHostCases);
    for (const char16_t* errorPage : testing::kWholeHostErrorPages)
        run("errorPage=\"" + ToNarrow(errorPage) + "\" hostMatching=\"domain\"", allowEntry, blockEntry,
            testing::kWholeHostErrorPageCases);
    ASSERT_TRUE(client::StoreSettingsDocument(kAllowCorp));
    ASSERT_TRUE(client::ReloadRunningController());
}

// A drive letter the user maps to a share (as `subst` onto a network path or
// `net use` does, from another program) is judged by the share's server
// under whole-host matching, in every spelling of a path on that drive; an
// error page on such a drive exempts its server.
TEST_F(Controller, AMappedDriveIsJudgedByItsServer) {
    const ComPtr<ISentrelController>& controller = Connection();
    ASSERT_TRUE(controller);
    struct MappedDrive {
        const wchar_t* name;
        ~MappedDrive() { DefineDosDeviceW(DDD_REMOVE_DEFINITION, name, nullptr); }
    };
    // Y: and W: lead to evil.test, V: to no server that can be told.
    const MappedDrive evil{L"Y:"}, corp{L"X:"}, global{L"W:"}, bare{L"V:"};
    ASSERT_TRUE(DefineDosDeviceW(DDD_RAW_TARGET_PATH, global.name, L"\\GLOBAL??\\UNC\\evil.test\\share"));
    ASSERT_TRUE(DefineDosDeviceW(DDD_RAW_TARGET_PATH, bare.name, L"\\Device\\Mup"));
    ASSERT_TRUE(DefineDosDeviceW(DDD_RAW_TARGET_PATH, evil.name, L"\\??\\UNC\\evil.test\\share"));
    ASSERT_TRUE(DefineDosDeviceW(DDD_RAW_TARGET_PATH, corp.name, L"\\??\\UNC\\www.corp.example\\share"));
    const struct {
        const wchar_t* address;
        HRESULT whole, substring;
    } cases[] = {
        {L"Y:\\page.htm", S_FALSE, S_OK},          {L"y:/page.htm", S_FALSE, S_OK},
        {L"file:///Y:/page.htm", S_FALSE, S_OK},    {L"file://Y:/page.htm", S_FALSE, S_OK},
        {L"file:Y|/page.htm", S_FALSE, S_OK},       {L"file://localhost/Y:/page.htm", S_FALSE, S_OK},
        {L"\\\\?\\Y:\\page.htm", S_FALSE, S_OK},    {L"res://Y:\\x.dll/a.htm", S_FALSE, S_OK},
        {L"Y:page.htm", S_FALSE, S_FALSE},           {L"file:///Y:page.htm", S_FALSE, S_OK},
        {L"res://Y:x.dll/a.htm", S_FALSE, S_OK},     {L"W:\\page.htm", S_FALSE, S_OK},
        {L"file:///V:/evil.test/share/page.htm", S_FALSE, S_OK},
        {L"X:\\page.htm", S_OK, S_OK},             {L"file:///x:/page.htm", S_OK, S_OK},
        {L"C:\\page.htm", S_OK, S_OK},             {L"file:///C:/page.htm", S_OK, S_OK},
    };
    for (const char* matching : {"hostMatching=\"domain\"", ""}) {
        ASSERT_TRUE(client::StoreSettingsDocument(std::string("<lockSettings active=\"Y\" errorPage=\"\" ") + matching +
                                                  "><host name=\"corp.example\"/></lockSettings>"));
        ASSERT_TRUE(client::ReloadRunningController());
        for (const auto& c : cases)
            EXPECT_EQ(client::AskController(controller.get(), c.address), *matching ? c.whole : c.substring)
                << ToNarrow(AsWideView(c.address)) << " " << matching;
    }
    // The error page on the mapped drive: its server is exempt, others not.
    ASSERT_TRUE(client::StoreSettingsDocument("<lockSettings active=\"Y\" hostMatching=\"domain\" "
                                              "errorPage=\"Y:\\blocked.htm\"><host name=\"corp.example\"/></lockSettings>"));
    ASSERT_TRUE(client::ReloadRunningController());
    EXPECT_EQ(client::AskController(controller.get(), L"http://evil.test/"), S_OK);
    EXPECT_EQ(client::AskController(controller.get(), L"http://other.test/"), S_FALSE);
    ASSERT_TRUE(client::StoreSettingsDocument(kAllowCorp));
    ASSERT_TRUE(client::ReloadRunningController());
}

TEST_F(Controller, NullOutPointerForTheErrorPageFailsWithoutHarm) {
    const ComPtr<ISentrelController>& controller = Connection();
    ASSERT_TRUE(controller);
    EXPECT_TRUE(FAILED(controller->GetErrorPage(nullptr)));
    EXPECT_EQ(client::AskController(controller.get(), L"http://corp/"), S_OK) << "the controller still answers";
}

TEST_F(Controller, ReloadSettingsAppliesANewDocument) {
    const ComPtr<ISentrelController>& controller = Connection();
    ASSERT_TRUE(controller);
    ASSERT_TRUE(client::StoreSettingsDocument(kBlockGamesUnlocked));
    ASSERT_TRUE(client::ReloadRunningController());
    // Lock off: everything allowed, popups too, even with blockPopups set.
    EXPECT_EQ(client::AskController(controller.get(), L"http://games.test/"), S_OK);
    EXPECT_EQ(client::AskController(controller.get(), L"abc.de"), S_OK);
    EXPECT_EQ(controller->AllowPopup(), S_OK);
    HRESULT result = E_FAIL;
    EXPECT_EQ(ErrorPage(controller, &result), L"<null>");
    EXPECT_EQ(result, S_OK);

    ASSERT_TRUE(client::StoreSettingsDocument(kBlockGamesLocked));
    ASSERT_TRUE(client::ReloadRunningController());
    EXPECT_EQ(client::AskController(controller.get(), L"http://games.test/"), S_FALSE);
    EXPECT_EQ(client::AskController(controller.get(), L"http://news.test/"), S_OK);
    EXPECT_EQ(controller->AllowPopup(), S_OK) << "popup blocking is off";

    // The document's prohibitUninstall flag is written to the uninstall entry.
    qz_support::UniqueHkey uninstall;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUninstallKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, uninstall.put(),
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_TRUE(client::StoreSettingsDocument(
        "<lockSettings prohibitUninstall=\"Y\" reverseOperation=\"Y\"><host name=\"games\"/></lockSettings>"));
    ASSERT_TRUE(client::ReloadRunningController());
    for (const char* name : {"NoRemove", "NoRepair", "NoModify"}) {
        DWORD value = 0, size = sizeof value;
        EXPECT_EQ(RegGetValueA(uninstall.get(), nullptr, name, RRF_RT_REG_DWORD, nullptr, &value, &size), ERROR_SUCCESS);
        EXPECT_EQ(value, 1u) << name;
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kUninstallKeyPath);

    // A document that cannot be applied leaves the controller as it was,
    // and the error is shown through the message handler's guard.
    ASSERT_TRUE(client::StoreSettingsDocument("<lockSettings reverseOperation=\"N\"><host/></lockSettings>"));
    EXPECT_FALSE(client::ReloadRunningController(1500)) << "the handler waits for the error box";
    EXPECT_EQ(client::AskController(controller.get(), L"http://games.test/"), S_FALSE) << "calls are served while the box is open";
    const std::wstring shown = client::DismissErrorBox();
    EXPECT_NE(shown.find(L"0x80004003"), std::wstring::npos) << (shown.empty() ? L"no error box" : shown.c_str());
    EXPECT_EQ(client::AskController(controller.get(), L"http://games.test/"), S_FALSE);
    EXPECT_EQ(client::AskController(controller.get(), L"http://news.test/"), S_OK);
    ASSERT_TRUE(client::StoreSettingsDocument(kBlockGamesLocked));
}

TEST_F(Controller, SecondStartHandsOverAndExits) {
    const ComPtr<ISentrelController>& controller = Connection();
    ASSERT_TRUE(controller);
    const std::vector<DWORD> before = ControllerProcesses();
    ASSERT_EQ(before.size(), 1u);
    EXPECT_EQ(RunController(L""), 0);
    EXPECT_EQ(ControllerProcesses(), before);
    EXPECT_EQ(IconsAddedBy(before[0]), 1u) << "no second tray icon";
    EXPECT_EQ(client::AskController(controller.get(), L"http://games.test/"), S_FALSE) << "the running controller keeps its settings";
    EXPECT_EQ(client::AskController(controller.get(), L"http://news.test/"), S_OK);
}

TEST_F(Controller, KilledControllerFailsTheCallAndAReconnectionStartsANewOne) {
    ComPtr<ISentrelController>& controller = Connection();
    ASSERT_TRUE(controller);
    const std::vector<DWORD> before = ControllerProcesses();
    client::EndControllers();
    const HRESULT dead = client::AskController(controller.get(), L"http://news.test/");
    EXPECT_TRUE(FAILED(dead)) << std::hex << dead;

    // Wine's rpcss keeps handing out the dead server's class registration
    // until it is restarted.
    RunProgram(L"net stop rpcss");
    ASSERT_EQ(ConnectController(controller), S_OK);
    const std::vector<DWORD> after = ControllerProcesses();
    ASSERT_EQ(after.size(), 1u);
    EXPECT_NE(after, before);
    EXPECT_EQ(client::AskController(controller.get(), L"http://games.test/"), S_FALSE);
    EXPECT_EQ(client::AskController(controller.get(), L"http://news.test/"), S_OK);
}

// The user's own key with the lock off, applied by a "ReloadSettings" and
// by a restart: it counts only while the machine's policy allows it.
TEST_F(Controller, MachineSettingsOnlyIgnoresTheUsersKey) {
    ComPtr<ISentrelController>& controller = Connection();
    ASSERT_TRUE(controller);
    ASSERT_TRUE(client::StoreSettingsDocument(kBlockGamesLocked, HKEY_LOCAL_MACHINE));
    struct Case {
        DWORD machineSettingsOnly;
        HRESULT games;  // with the user's unlocked document in place
    };
    for (const Case test : {Case{1, S_FALSE}, Case{0, S_OK}}) {
        SCOPED_TRACE(test.machineSettingsOnly);
        const testing::MachinePolicyScope policy(kMachineSettingsOnlyPolicy, test.machineSettingsOnly);
        RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKeyPath);
        ASSERT_TRUE(client::ReloadRunningController());
        EXPECT_EQ(client::AskController(controller.get(), L"http://games.test/"), S_FALSE) << "the machine's document";

        ASSERT_TRUE(client::StoreSettingsDocument(kBlockGamesUnlocked));
        ASSERT_TRUE(client::ReloadRunningController());
        EXPECT_EQ(client::AskController(controller.get(), L"http://games.test/"), test.games) << "after ReloadSettings";
        client::StopControllers();
        ASSERT_EQ(ConnectController(controller), S_OK);
        EXPECT_EQ(client::AskController(controller.get(), L"http://games.test/"), test.games) << "after a restart";
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSettingsKeyPath);
    ASSERT_TRUE(client::StoreSettingsDocument(kBlockGamesLocked));
    ASSERT_TRUE(client::ReloadRunningController());
}

TEST_F(Controller, FailedConnectionLeavesTheReferenceNull) {
    ComPtr<ISentrelController> reference;
    ASSERT_EQ(ConnectController(reference), S_OK);
    client::EndControllers();
    RunProgram(L"net stop rpcss");
    RegDeleteTreeA(HKEY_CLASSES_ROOT, (kClassKey + "\\LocalServer32").c_str());
    EXPECT_TRUE(FAILED(ConnectController(reference)));
    EXPECT_FALSE(reference);
    Connection().reset();
}

TEST_F(Controller, UnregServerRemovesExactlyItsEntries) {
    ASSERT_EQ(RunController(L" -RegServer"), 0);
    EXPECT_EQ(RunController(L" -UnregServer"), 0);
    for (const std::string& key : {kAppIdKey, kAppIdExeKey, kClassKey, kTypeLibKey, kInterfaceKey})
        EXPECT_FALSE(KeyExists(key)) << key;
    for (const REGSAM view : kBrowserViews) {
        qz_support::UniqueHkey policy;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kElevationPolicyKey, 0, KEY_READ | view, policy.put()),
                  ERROR_FILE_NOT_FOUND)
            << "view " << view;
    }
    EXPECT_TRUE(KeyExists("AppID"));
    EXPECT_TRUE(KeyExists("CLSID"));
    EXPECT_TRUE(KeyExists("CLSID\\{00020424-0000-0000-C000-000000000046}")) << "the system's marshaller stays";
    EXPECT_EQ(RunController(L" /unregserver"), 0) << "nothing left to remove is no failure";
}

// A registration switch followed by more words, and the help switches, are
// answered on the standard streams and end the program: no tray program
// starts, and the registration stays as it was.
TEST_F(Controller, HelpAndMisusedRegistrationAnswerAndEnd) {
    const struct {
        const wchar_t* arguments;
        bool registeredBefore;
        long exitCode;
        const char* told;
    } cases[] = {
        {L" /RegServer now", false, static_cast<long>(E_INVALIDARG), "take no further words"},
        {L" -RegServer -Embedding", false, static_cast<long>(E_INVALIDARG), "take no further words"},
        {L" /UnregServer /s", true, static_cast<long>(E_INVALIDARG), "nothing was registered or removed"},
        {L" -regserver -unregserver", true, static_cast<long>(E_INVALIDARG), "take no further words"},
        {L" /?", false, 0, "/UnregServer   remove that registration"},
        {L" -h", true, 0, "/RegServer     register the controller"},
        {L" -Embedding /?", false, 0, "Usage: SentrelAgentController"},
    };
    for (const auto& c : cases) {
        client::EndControllers();
        ASSERT_EQ(RunController(c.registeredBefore ? L" /RegServer" : L" /UnregServer"), 0);
        const client::ProgramRun run = client::RunProgramForOutput(L"\"" + ControllerProgram() + L"\"" + c.arguments, 10000);
        const std::string arguments = ToNarrow(AsWideView(c.arguments));
        EXPECT_EQ(run.exitCode, c.exitCode) << arguments;
        EXPECT_NE(run.output.find(c.told), std::string::npos) << arguments << ": " << run.output;
        EXPECT_NE(run.output.find("/RegServer and\r\n/UnregServer must be the last word"), std::string::npos)
            << arguments << ": the usage, with CRLF line ends";
        EXPECT_TRUE(ControllerProcesses().empty()) << arguments;
        EXPECT_FALSE(client::ControllerWindow()) << arguments;
        EXPECT_EQ(KeyExists(kClassKey), c.registeredBefore) << arguments;
        EXPECT_EQ(KeyExists(kTypeLibKey), c.registeredBefore) << arguments;
    }
    EXPECT_EQ(RunController(L" /RegServer "), 0) << "trailing blanks are no further words";
    EXPECT_TRUE(KeyExists(kClassKey));
    EXPECT_TRUE(ControllerProcesses().empty());
    EXPECT_EQ(RunController(L" /UnregServer"), 0);
}

// The program asks to run as its invoker (so the settings key is never
// virtualised) and for the current common controls.
TEST_F(Controller, CarriesItsManifest) {
    qz_support::UniqueHmodule program(LoadLibraryExW(ControllerProgram().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(program);
    const HRSRC found = FindResourceA(program.get(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr);
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(program.get(), found))),
                               SizeofResource(program.get(), found));
    EXPECT_NE(manifest.find("requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos) << "Windows 10";
}

// Registered from a folder named outside the system code page, the
// controller is still found and started by COM.
TEST_F(Controller, RegistersAndStartsFromAFolderNamedOutsideTheCodePage) {
    const std::wstring folder = L"C:\\\u041F\u0440\u043E\u0433\u0440\u0430\u043C\u043C\u044B \u4E2D\u6587";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring program = folder + L"\\SentrelAgentController.exe";
    ASSERT_TRUE(CopyFileW(ControllerProgram().c_str(), program.c_str(), FALSE));
    client::EndControllers();
    RunProgram(L"net stop rpcss");
    ASSERT_EQ(RunProgram(L"\"" + program + L"\" /RegServer"), 0);

    wchar_t stored[MAX_PATH] = {};
    DWORD size = sizeof stored;
    ASSERT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, L"CLSID\\{EE71CF2C-D934-4D16-A641-C5C6F80DDE57}\\LocalServer32",
                           nullptr, RRF_RT_REG_SZ, nullptr, stored, &size),
              ERROR_SUCCESS);
    wchar_t shortPath[MAX_PATH] = {};
    GetShortPathNameW(program.c_str(), shortPath, MAX_PATH);
    EXPECT_STREQ(stored, shortPath[0] ? shortPath : program.c_str());

    const std::wstring expected[] = {shortPath[0] ? shortPath : program, program};
    for (LCID locale : {0x0, 0x409}) {
        UniqueBstr registered;
        ASSERT_EQ(QueryPathOfRegTypeLib(LIBID_SentrelAgentController, 1, 0, locale, registered.put()), S_OK);
        EXPECT_EQ(std::wstring(registered.get()), expected[locale ? 1 : 0]) << "locale " << locale;
    }
    ComPtr<ISentrelController> controller;
    ASSERT_EQ(ConnectController(controller), S_OK);
    EXPECT_EQ(controller->AllowPopup(), S_OK);
    controller.reset();
    client::EndControllers();
    RunProgram(L"net stop rpcss");
    EXPECT_EQ(RunProgram(L"\"" + program + L"\" /UnregServer"), 0);
    DeleteFileW(program.c_str());
    RemoveDirectoryW(folder.c_str());
}

}  // namespace
}  // namespace sentrel

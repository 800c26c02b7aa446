// What administrators deploy: the Group Policy template, checked against the
// product's own registry names and then applied as a policy engine would;
// the MSI package installed, upgraded and removed with Wine's msiexec. Runs
// last: the package registers the deliverables from Program Files and
// removes them.
#include "controller/event_source.h"
#include "controller/notes_protection.h"
#include "policy/connect_controller.h"
#include "settings/dom.h"
#include "settings/registry_store.h"
#include "support/log_location.h"
#include "tests/wine/store_sandbox.h"
#include "tools/client/controller_client.h"

#include "package_codes.h"
#include "sentrel_version.h"

#include <gtest/gtest.h>

#include <msi.h>
#include <msiquery.h>
#include <oleauto.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace sentrel {
namespace {

using client::BuildMachinePath;
using client::Env;
using client::KeyExists;
using client::RegistryText;
using client::WaitUntil;
using dom::ComPtr;
using testing::CreateKey;

ComPtr<IXMLDOMDocument> LoadFile(const std::wstring& path) {
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const ComPtr<IXMLDOMDocument> document = dom::CreateDocument();
    // UTF-8 files of ASCII text: the bytes are the characters.
    const std::string body = text.substr(text.find("<policy"));
    EXPECT_TRUE(dom::LoadXml(document, ToWide(body))) << "well-formed";
    return document;
}

std::vector<ComPtr<IXMLDOMElement>> Elements(const ComPtr<IXMLDOMDocument>& document, const wchar_t* name) {
    std::vector<ComPtr<IXMLDOMElement>> elements;
    const ComPtr<IXMLDOMNodeList> list = dom::GetElementsByTagName(document, name);
    for (long i = 0;; ++i) {
        const ComPtr<IXMLDOMNode> node = dom::GetItem(list, i);
        if (!node) break;
        elements.push_back(node.query<IXMLDOMElement>());
    }
    return elements;
}

ComPtr<IXMLDOMNodeList> Descendants(const ComPtr<IXMLDOMElement>& element, const wchar_t* name) {
    qz_support::UniqueBstr tag(SysAllocString(name));
    ComPtr<IXMLDOMNodeList> list;
    EXPECT_EQ(element->getElementsByTagName(tag.get(), list.put()), S_OK);
    return list;
}

std::string Attribute(const ComPtr<IXMLDOMElement>& element, const wchar_t* name) {
    const std::optional<WideString> value = dom::GetAttribute(element.get(), name);
    return value ? ToNarrow(*value) : "";
}

// "$(string.X)" → X
std::string Reference(const std::string& text, const std::string& kind) {
    const std::string prefix = "$(" + kind + ".";
    if (text.rfind(prefix, 0) != 0 || text.back() != ')') return "";
    return text.substr(prefix.size(), text.size() - prefix.size() - 1);
}

// A registry value that a policy of the template sets.
struct PolicyValue {
    bool machine;
    std::string key, name;
    DWORD type;
    DWORD number;  // for REG_DWORD: the enabled value
};

// What the package registers for the agents, per registry view: the agent
// of that view's bitness with its class, category and helper-object entry,
// and the interface and type library its calls to the controller need.
// Paths are below HKLM\SOFTWARE; `file` is below the install folder.
// What the controller's registration gives low-integrity tabs (checked in
// detail by the controller's own tests): the package must leave them too.
const char* const kElevationPolicy =
    "Microsoft\\Internet Explorer\\Low Rights\\ElevationPolicy\\{084851C7-5197-4A38-8D6A-8D6859D0A4F0}";
const char* const kControllerAppId = "AppID\\{0438AB9B-DE90-4528-9438-DA3279114CEE}";

bool HasPermissions() {
    bool both = true;
    for (const char* name : {"LaunchPermission", "AccessPermission"})
        both = both && RegGetValueA(HKEY_CLASSES_ROOT, kControllerAppId, name, RRF_RT_REG_BINARY, nullptr, nullptr,
                                    nullptr) == ERROR_SUCCESS;
    return both;
}

const char* const kAgentClass = "Classes\\CLSID\\{B0000299-50CF-11D1-A140-0000F802C250}";
const char* const kHelperEntry =
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\{B0000299-50CF-11D1-A140-0000F802C250}";
const char* const kInterfaceEntry = "Classes\\Interface\\{19A39A03-20AC-4E25-8570-0E1F9C6563A8}";
const char* const kLibraryEntry = "Classes\\TypeLib\\{AAC2174E-DAB4-475C-9E63-19AF9497F122}\\1.0\\0";

struct View {
    REGSAM flag;
    const char* agentFile;  // below the install folder
    const char* libraryPlatform;
    const char* libraryFile;
};
#ifdef _WIN64
// 64-bit tabs load the 64-bit agent, 32-bit tabs the 32-bit one from "x86".
const View kViews[] = {{KEY_WOW64_64KEY, "SentrelAgent.dll", "win64", "SentrelAgentController.exe"},
                       {KEY_WOW64_32KEY, "x86\\SentrelAgent.dll", "win32", "x86\\SentrelAgentController.tlb"}};
#else
const View kViews[] = {{0, "SentrelAgent.dll", "win32", "SentrelAgentController.exe"}};
#endif

// A key the package makes (below HKLM\SOFTWARE) and the installed file its
// default value names (nullptr: only the key).
struct ViewEntry {
    std::string key;
    const char* file;
};

std::vector<ViewEntry> EntriesOf(const View& view) {
    return {{std::string(kAgentClass) + "\\InprocServer32", view.agentFile},
            // The category that Enhanced Protected Mode and 64-bit tabs ask of a helper object.
            {std::string(kAgentClass) + "\\Implemented Categories\\{59FB2056-D625-48D0-A944-1A85B5AB2640}", nullptr},
            {kHelperEntry, nullptr},
            {std::string(kInterfaceEntry) + "\\ProxyStubClsid32", nullptr},
            {std::string(kLibraryEntry) + "\\" + view.libraryPlatform, view.libraryFile}};
}

qz_support::UniqueHkey SoftwareKey(REGSAM view) {
    qz_support::UniqueHkey software;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ | view, software.put());
    return software;
}

void CloseMsiHandle(MSIHANDLE handle) { MsiCloseHandle(handle); }
using UniqueMsiHandle = qz_support::UniqueAny<MSIHANDLE, CloseMsiHandle>;

// A value of a package's Property table ("ProductCode", "ProductVersion");
// empty when it cannot be read.
std::string PackageProperty(const std::wstring& package, const char* name) {
    UniqueMsiHandle database;
    if (MsiOpenDatabaseW(package.c_str(), nullptr /* MSIDBOPEN_READONLY */, database.put()) != ERROR_SUCCESS) return "";
    const std::string query = std::string("SELECT `Value` FROM `Property` WHERE `Property` = '") + name + "'";
    UniqueMsiHandle view, record;
    if (MsiDatabaseOpenViewA(database.get(), query.c_str(), view.put()) != ERROR_SUCCESS ||
        MsiViewExecute(view.get(), 0) != ERROR_SUCCESS || MsiViewFetch(view.get(), record.put()) != ERROR_SUCCESS)
        return "";
    char value[256] = {};
    DWORD size = sizeof value;
    return MsiRecordGetStringA(record.get(), 1, value, &size) == ERROR_SUCCESS ? value : "";
}

// The installed products of an upgrade code, as Windows Installer lists them.
std::vector<std::string> InstalledProducts(const char* upgradeCode) {
    std::vector<std::string> products;
    char product[39] = {};
    for (DWORD index = 0; MsiEnumRelatedProductsA(upgradeCode, 0, index, product) == ERROR_SUCCESS; ++index)
        products.push_back(product);
    return products;
}

// Every installed Sentrel product, of either architecture's upgrade code.
std::vector<std::string> InstalledSentrel() {
    std::vector<std::string> products = InstalledProducts(SENTREL_UPGRADE_CODE_X64);
    for (std::string& product : InstalledProducts(SENTREL_UPGRADE_CODE_X86)) products.push_back(std::move(product));
    return products;
}

// A product's uninstall entry, below HKLM.
std::string UninstallEntry(const std::string& productCode) { return kUninstallRootPath + productCode; }

// A file's version from its version block, "a.b.c.d"; empty without one.
std::string FileVersion(const std::string& path) {
    std::vector<BYTE> block(GetFileVersionInfoSizeA(path.c_str(), nullptr));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (block.empty() || !GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) ||
        !VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length))
        return "";
    return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
}

// A string of a file's version block ("CompanyName", "ProductName"); empty
// without one.
std::string FileVersionString(const std::string& path, const char* name) {
    std::vector<BYTE> block(GetFileVersionInfoSizeA(path.c_str(), nullptr));
    char* text = nullptr;
    UINT length = 0;
    const std::string query = std::string("\\StringFileInfo\\040904b0\\") + name;
    if (block.empty() || !GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) ||
        !VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length))
        return "";
    return text;
}

// The folder the package installs into, with its trailing backslash.
std::string InstallFolder() {
    char programFiles[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programFiles);
    return std::string(programFiles) + "\\Sentrel\\";
}

// What a command line printed to its standard output (through cmd's
// redirection into a file), and its exit status in `status`.
std::string OutputOf(const std::wstring& commandLine, long* status = nullptr) {
    char temporary[MAX_PATH];
    GetTempPathA(MAX_PATH, temporary);
    const std::string outputPath = std::string(temporary) + "sentrel_deployed_output.txt";
    DeleteFileA(outputPath.c_str());
    const long exitCode =
        client::RunProgram(L"cmd /c \"" + commandLine + L" > \"" + ToWindowsWide(outputPath) + L"\"\"", 60000);
    if (status) *status = exitCode;
    std::ifstream output(outputPath, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(output)), std::istreambuf_iterator<char>());
}

// The value of a DWORD below HKLM; -1 when there is none.
long MachineNumber(const char* key, const char* name) {
    DWORD value = 0, size = sizeof value;
    const LSTATUS status = RegGetValueA(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return status == ERROR_SUCCESS ? static_cast<long>(value) : -1L;
}

// What the package remembers of the properties it was given.
const char* const kRememberedKey = "SOFTWARE\\Corvantis\\Sentrel\\Package";
// The product code every earlier release's package carried.
const char* const kEarlierProductCode = "{27E397F5-3A9D-4C6F-AB69-670E032DBED9}";

// ASCII text (addresses, paths of the test prefix) as a wide string.
std::wstring Ascii(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// The browser's own machine policies that BROWSERPOLICIES=1 writes, below
// HKLM\SOFTWARE (keys that both registry views share), with their data as
// ValueData() gives it.
const char* const kIePolicies = "Policies\\Microsoft\\Internet Explorer";
const char* const kRestrictionsKey = "Policies\\Microsoft\\Internet Explorer\\Restrictions";
const char* const kAddOnPolicyKey = "Microsoft\\Windows\\CurrentVersion\\Policies\\Ext";
const char* const kAddOnListKey = "Microsoft\\Windows\\CurrentVersion\\Policies\\Ext\\CLSID";
const char* const kAgentClsid = "{B0000299-50CF-11D1-A140-0000F802C250}";

struct BrowserPolicy {
    std::string key;
    const char* name;
    const char* data;
};
const BrowserPolicy kBrowserPolicies[] = {
    {std::string(kIePolicies) + "\\Privacy", "EnableInPrivateBrowsing", "dword:0"},
    {std::string(kIePolicies) + "\\Safety\\PrivacIE", "DisableToolbars", "dword:0"},
    {kAddOnPolicyKey, "ListBox_Support_CLSID", "dword:1"},
    {kAddOnListKey, kAgentClsid, "sz:1"},
    {kRestrictionsKey, "NoExtensionManagement", "dword:1"},
    {std::string(kIePolicies) + "\\Main", "Enable Browser Extensions", "sz:yes"},
};

// A value below `software` as "dword:N", "sz:text" or "type N"; "<absent>"
// when there is none.
std::string ValueData(HKEY software, const std::string& key, const char* name) {
    DWORD type = 0, size = 0;
    if (RegGetValueA(software, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size) != ERROR_SUCCESS)
        return "<absent>";
    std::vector<char> data(size + 1);
    RegGetValueA(software, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, data.data(), &size);
    if (type == REG_DWORD) return "dword:" + std::to_string(*reinterpret_cast<const DWORD*>(data.data()));
    if (type == REG_SZ) return "sz:" + std::string(data.data());
    return "type " + std::to_string(type);
}

// Writes a value below HKLM\SOFTWARE as an administrator would, from
// "dword:N" or "sz:text".
void SetMachineValue(const std::string& key, const char* name, const std::string& data) {
    const auto opened = CreateKey(HKEY_LOCAL_MACHINE, ("SOFTWARE\\" + key).c_str());
    if (data.rfind("dword:", 0) == 0) {
        const DWORD number = std::stoul(data.substr(6));
        RegSetValueExA(opened.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    } else {
        const std::string text = data.substr(3);
        RegSetValueExA(opened.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
    }
}

void RemoveBrowserPolicies() {
    for (const BrowserPolicy& policy : kBrowserPolicies)
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, ("SOFTWARE\\" + policy.key).c_str(), policy.name);
}

// Runs the test browser host on `script`; what it printed.
std::string BrowseWithTheHost(const std::string& script) {
    char temporary[MAX_PATH];
    GetTempPathA(MAX_PATH, temporary);
    const std::string scriptPath = std::string(temporary) + "sentrel_deployed_session.txt";
    std::ofstream(scriptPath, std::ios::binary) << script;
    long status = -1;
    const std::string output =
        OutputOf(L"\"" + BuildMachinePath(SENTREL_BROWSER_HOST) + L"\" \"" + ToWindowsWide(scriptPath) + L"\"", &status);
    EXPECT_EQ(status, 0);
    return output;
}

class Deployment : public ::testing::Test {
protected:
    static void TearDownTestSuite() {
        client::StopControllers();
        client::RunProgram(L"net stop rpcss");
    }
};

TEST_F(Deployment, ThePolicyTemplateSetsWhatTheControllerReadsAndItIsFetchedAtStart) {
    // COM forgets any controller that was stopped from outside.
    client::StopControllers();
    client::RunProgram(L"net stop rpcss");
    const ComPtr<IXMLDOMDocument> admx = LoadFile(BuildMachinePath(SENTREL_SOURCE_DIR "/resources/deploy/Sentrel.admx"));
    const ComPtr<IXMLDOMDocument> adml = LoadFile(BuildMachinePath(SENTREL_SOURCE_DIR "/resources/deploy/en-US/Sentrel.adml"));

    std::set<std::string> strings, presentations, textBoxes;
    for (const auto& string : Elements(adml, L"string")) strings.insert(Attribute(string, L"id"));
    for (const auto& presentation : Elements(adml, L"presentation")) presentations.insert(Attribute(presentation, L"id"));
    for (const auto& box : Elements(adml, L"textBox")) textBoxes.insert(Attribute(box, L"refId"));
    for (const wchar_t* tag : {L"policy", L"category", L"definition"}) {
        for (const auto& element : Elements(admx, tag)) {
            for (const wchar_t* attribute : {L"displayName", L"explainText"}) {
                const std::string text = Attribute(element, attribute);
                if (!text.empty()) EXPECT_TRUE(strings.count(Reference(text, "string"))) << text;
            }
            const std::string presentation = Attribute(element, L"presentation");
            if (!presentation.empty())
                EXPECT_TRUE(presentations.count(Reference(presentation, "presentation"))) << presentation;
        }
    }

    std::vector<PolicyValue> values;
    // Each value the product reads from the policies key, with its type;
    // the hardening switches exist for the machine only. Nothing goes to
    // the settings key, where it would stay after the policy is removed.
    struct Read {
        DWORD type;
        bool machineOnly;
    };
    const std::map<std::string, Read> productReads = {
        {kSettingsSourceValue, {REG_SZ, false}},
        {kProtectNotesValue, {REG_DWORD, false}},
        {kMachineSettingsOnlyPolicy, {REG_DWORD, true}},
        {kFailClosedPolicy, {REG_DWORD, true}},
        {kLogMaxKBPolicy, {REG_DWORD, true}},
    };
    for (const auto& policy : Elements(admx, L"policy")) {
        const std::string name = Attribute(policy, L"name");
        const std::string key = Attribute(policy, L"key");
        const bool machine = Attribute(policy, L"class") == "Machine";
        std::string valueName = Attribute(policy, L"valueName");
        DWORD type = REG_DWORD, number = 0;
        const ComPtr<IXMLDOMNode> numberBox = dom::GetItem(Descendants(policy, L"decimal"), 0);
        const std::string numberName =
            numberBox ? Attribute(numberBox.query<IXMLDOMElement>(), L"valueName") : std::string();
        if (valueName.empty() && !numberName.empty()) {
            // A number element carries the value: applied as its box's default.
            valueName = numberName;
            number = 1024;
        } else if (valueName.empty()) {
            // A text element carries the value.
            const ComPtr<IXMLDOMNode> text = dom::GetItem(Descendants(policy, L"text"), 0);
            ASSERT_TRUE(text) << name;
            const auto textElement = text.query<IXMLDOMElement>();
            valueName = Attribute(textElement, L"valueName");
            EXPECT_TRUE(textBoxes.count(Attribute(textElement, L"id"))) << name << ": no text box";
            type = REG_SZ;
        } else {
            const ComPtr<IXMLDOMNode> enabled = dom::GetItem(Descendants(policy, L"decimal"), 0);
            ASSERT_TRUE(enabled) << name;
            number = static_cast<DWORD>(std::stoul(Attribute(enabled.query<IXMLDOMElement>(), L"value")));
        }
        ASSERT_TRUE(productReads.count(valueName)) << name << " sets " << valueName << ", which the product never reads";
        const Read& read = productReads.at(valueName);
        EXPECT_EQ(read.type, type) << name;
        EXPECT_EQ(_stricmp(key.c_str(), kMachinePolicyKeyPath), 0) << name;
        if (read.machineOnly) EXPECT_TRUE(machine) << name << " is a machine policy";
        values.push_back({machine, key, valueName, type, number});
    }
    ASSERT_EQ(values.size(), 7u)
        << "source and Notes for the machine and the user, the two machine switches, the log's size";

    // Applied as the policy engine would, for the machine and for the user,
    // with the settings sources pointing at the run's web server: the
    // machine's comes first. The user's settings key exists, as for a user
    // who once saved settings; it holds neither value.
    testing::RemoveStoreKeys();
    CreateKey(HKEY_CURRENT_USER, kSettingsKeyPath);
    const std::string source = "http://127.0.0.1:" + Env("SENTREL_HTTP_PORT") + "/files/policy.xml";
    const std::string userSource = "http://127.0.0.1:" + Env("SENTREL_HTTP_PORT") + "/files/user-policy.xml";
    std::ofstream(Env("SENTREL_HTTP_ROOT") + "\\policy.xml", std::ios::binary)
        << "<lockSettings active=\"Y\"><host name=\"from-policy\"/></lockSettings>";
    for (const PolicyValue& value : values) {
        const auto key = CreateKey(value.machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, value.key.c_str());
        if (value.type == REG_SZ) {
            const std::string& text = value.machine ? source : userSource;
            RegSetValueExA(key.get(), value.name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>(text.size() + 1));
        } else {
            RegSetValueExA(key.get(), value.name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value.number),
                           sizeof value.number);
        }
    }
    EXPECT_EQ(ReadSettingsSource(), source);
    EXPECT_TRUE(NotesProtectionConfigured());
    for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        EXPECT_EQ(RegistryText(root, kSettingsKeyPath, kSettingsSourceValue), "<absent>");
        EXPECT_NE(RegGetValueA(root, kSettingsKeyPath, kProtectNotesValue, RRF_RT_ANY, nullptr, nullptr, nullptr),
                  ERROR_SUCCESS);
    }
    ASSERT_EQ(client::RunProgram(L"\"" + client::ControllerProgram() + L"\" /RegServer"), 0);
    ASSERT_TRUE(client::StartController());
    ComPtr<ISentrelController> controller;
    ASSERT_EQ(ConnectController(controller), S_OK);
    const auto ask = [&](const wchar_t* address) { return client::AskController(controller.get(), address); };
    EXPECT_TRUE(WaitUntil([&] { return ask(L"http://from-policy/") == S_OK && ask(L"http://other/") == S_FALSE; },
                          5000))
        << "the source the policy set was fetched at start";
    controller.reset();
    client::StopControllers();
    testing::RemoveStoreKeys();
    for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) RegDeleteTreeA(root, "SOFTWARE\\Policies\\Corvantis");
}

TEST_F(Deployment, ThePackageInstallsRegistersAndRemovesEverythingItWrote) {
    const std::wstring package = BuildMachinePath(SENTREL_PACKAGE);
    const std::string classKey = "CLSID\\{EE71CF2C-D934-4D16-A641-C5C6F80DDE57}";
    const std::string agentKey = "CLSID\\{B0000299-50CF-11D1-A140-0000F802C250}";
    const std::string typeLibKey = "TypeLib\\{AAC2174E-DAB4-475C-9E63-19AF9497F122}";
    const std::string helperKey =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\"
        "{B0000299-50CF-11D1-A140-0000F802C250}";
    const std::string runKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    client::StopControllers();
    client::RunProgram(L"\"" + client::ControllerProgram() + L"\" /UnregServer");
    client::RunProgram(L"regsvr32 /s /u \"" + client::AgentLibrary() + L"\"");
    client::RunProgram(L"net stop rpcss");
    testing::RemoveStoreKeys();
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, helperKey.c_str());
    // What an administrator set beforehand where the browser policies go:
    // another value of the same key, and one of the package's own values with
    // the data the package writes, which it then does not take over.
    RemoveBrowserPolicies();
    SetMachineValue(kRestrictionsKey, "NoBrowserClose", "dword:1");
    SetMachineValue(kAddOnPolicyKey, "ListBox_Support_CLSID", "dword:1");

    const std::string source = "http://127.0.0.1:" + Env("SENTREL_HTTP_PORT") + "/files/package.xml";
    std::ofstream(Env("SENTREL_HTTP_ROOT") + "\\package.xml", std::ios::binary)
        << "<lockSettings active=\"Y\" prohibitUninstall=\"Y\"><host name=\"packaged\"/></lockSettings>";
    ASSERT_EQ(client::RunProgram(L"msiexec /i \"" + package + L"\" /qn FAILCLOSED=1 BROWSERPOLICIES=1 SETTINGSSOURCE=" +
                                     std::wstring(source.begin(), source.end()),
                                 120000),
              0);
    const auto policy = [](const char* name) { return MachineNumber(kMachinePolicyKeyPath, name); };

    const std::string folder = InstallFolder();
    for (const char* file : {"SentrelAgentController.exe", "SentrelAgent.dll", "sentrel-check.exe"})
        EXPECT_NE(GetFileAttributesA((folder + file).c_str()), INVALID_FILE_ATTRIBUTES) << file;
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, classKey + "\\LocalServer32"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, typeLibKey));
    EXPECT_EQ(_stricmp(RegistryText(HKEY_CLASSES_ROOT, agentKey + "\\InprocServer32", nullptr).c_str(),
                       (folder + "SentrelAgent.dll").c_str()),
              0);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, helperKey));
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, runKey, "Sentrel"), "\"" + folder + "SentrelAgentController.exe\"");
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kSettingsSourceValue), source);
    EXPECT_NE(RegGetValueA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kProtectNotesValue, RRF_RT_ANY, nullptr, nullptr,
                           nullptr),
              ERROR_SUCCESS)
        << "not asked for";
    EXPECT_EQ(policy(kFailClosedPolicy), 1);
    EXPECT_EQ(policy(kMachineSettingsOnlyPolicy), -1) << "not asked for";
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntry(SENTREL_PRODUCT_CODE))) << "Windows Installer's own entry";
    EXPECT_EQ(InstalledSentrel(), std::vector<std::string>{SENTREL_PRODUCT_CODE});
    // The policy checker beside the controller, and every program with the
    // configured version in its version block.
    for (const char* file : {"SentrelAgentController.exe", "SentrelAgent.dll", "sentrel-check.exe"}) {
        EXPECT_EQ(FileVersion(folder + file), SENTREL_VERSION_TEXT) << file;
        EXPECT_EQ(FileVersionString(folder + file, "CompanyName"), "Corvantis") << file;
        EXPECT_EQ(FileVersionString(folder + file, "LegalCopyright"), SENTREL_LEGAL_COPYRIGHT) << file;
    }
    for (const char* file : {"SentrelAgentController.exe", "sentrel-check.exe"}) {
        EXPECT_EQ(FileVersionString(folder + file, "ProductName"), "Sentrel") << file;
        EXPECT_EQ(FileVersionString(folder + file, "FileVersion"), SENTREL_VERSION_TEXT) << file;
        EXPECT_EQ(FileVersionString(folder + file, "ProductVersion"), SENTREL_VERSION_TEXT) << file;
        EXPECT_NE(FileVersionString(folder + file, "FileDescription"), "") << file;
    }
    // What it was given, remembered for an upgrade or a repair.
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kRememberedKey, "SETTINGSSOURCE"), source);
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kRememberedKey, "FAILCLOSED"), "1");
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kRememberedKey, "BROWSERPOLICIES"), "1");
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kRememberedKey, "PROTECTNOTES"), "<absent>") << "not asked for";
    char messageFile[MAX_PATH] = {};
    DWORD messageFileSize = sizeof messageFile;
    EXPECT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, kEventSourceKeyPath, "EventMessageFile",
                           RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, messageFile, &messageFileSize),
              ERROR_SUCCESS);
    EXPECT_EQ(_stricmp(messageFile, (folder + "SentrelAgentController.exe").c_str()), 0)
        << "the event source's messages: " << messageFile;
    for (const View& view : kViews) {
        const qz_support::UniqueHkey software = SoftwareKey(view.flag);
        for (const ViewEntry& entry : EntriesOf(view)) {
            EXPECT_TRUE(KeyExists(software.get(), entry.key)) << "view " << view.flag << ": " << entry.key;
            if (!entry.file) continue;
            // The neutral locale's library path is in its short form.
            char stored[MAX_PATH] = {};
            GetLongPathNameA(RegistryText(software.get(), entry.key, nullptr).c_str(), stored, MAX_PATH);
            EXPECT_EQ(_stricmp(stored, (folder + entry.file).c_str()), 0)
                << "view " << view.flag << ": " << entry.key << " = " << stored;
        }
        EXPECT_EQ(RegistryText(software.get(), std::string(kInterfaceEntry) + "\\ProxyStubClsid32", nullptr),
                  "{00020424-0000-0000-C000-000000000046}")
            << "the system's type-library marshaller, view " << view.flag;
        EXPECT_EQ(_stricmp(RegistryText(software.get(), kElevationPolicy, "AppPath").c_str(),
                           folder.substr(0, folder.size() - 1).c_str()),
                  0)
            << "view " << view.flag;
        for (const BrowserPolicy& policy : kBrowserPolicies)
            EXPECT_EQ(ValueData(software.get(), policy.key, policy.name), policy.data)
                << "view " << view.flag << ": " << policy.key << " " << policy.name;
    }
    EXPECT_TRUE(HasPermissions());
#ifdef _WIN64
    // The 64-bit package writes where 64-bit programs read, not the 32-bit view.
    qz_support::UniqueHkey software32;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ | KEY_WOW64_32KEY, software32.put()),
              ERROR_SUCCESS);
    EXPECT_EQ(RegistryText(software32.get(), "Microsoft\\Windows\\CurrentVersion\\Run", "Sentrel"), "<absent>");
    EXPECT_EQ(RegistryText(software32.get(), "Corvantis\\Sentrel", kSettingsSourceValue), "<absent>");
#endif

    // COM starts the installed controller, which fetches the source and
    // marks the installer's entry.
    ComPtr<ISentrelController> controller;
    ASSERT_EQ(ConnectController(controller), S_OK);
    ASSERT_EQ(client::ControllerProcesses().size(), 1u);
    EXPECT_EQ(client::CommandLineOf(client::ControllerProcesses()[0]).find(L"Z:"), std::wstring::npos)
        << "the installed program, not the build's";
    const auto ask = [&](const wchar_t* address) { return client::AskController(controller.get(), address); };
    EXPECT_TRUE(WaitUntil([&] { return ask(L"http://packaged/") == S_OK && ask(L"http://other/") == S_FALSE; }, 5000));
    // A browser window of this build's bitness loads the installed agent,
    // which asks the installed controller.
    const std::string session = BrowseWithTheHost("open IEFrame\nnavigate http://packaged/\nnavigate http://other/\nquit\n");
    EXPECT_NE(session.find("open IEFrame: 1 helper object(s) created, SetSite 0x00000000"), std::string::npos) << session;
    EXPECT_NE(session.find("navigate http://packaged/: allowed"), std::string::npos) << session;
    EXPECT_NE(session.find("navigate http://other/: CANCELLED"), std::string::npos) << session;
    {
        std::ifstream log(kLogPath, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(log), {}), "0, http://packaged/1, http://other/")
            << "the agent's records, in the log the package's registration made";
    }
    // prohibitUninstall="Y" marks the installed product's own entry.
    for (const char* flag : {"NoRemove", "NoRepair", "NoModify"})
        EXPECT_EQ(MachineNumber(UninstallEntry(SENTREL_PRODUCT_CODE).c_str(), flag), 1) << flag;
    controller.reset();

    // Removal stops the running controller first.
    ASSERT_EQ(client::RunProgram(L"msiexec /x " SENTREL_PRODUCT_CODE L" /qn", 120000), 0);
    EXPECT_TRUE(client::ControllerProcesses().empty());
    for (const char* file : {"SentrelAgentController.exe", "SentrelAgent.dll", "sentrel-check.exe"})
        EXPECT_EQ(GetFileAttributesA((folder + file).c_str()), INVALID_FILE_ATTRIBUTES) << file;
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, classKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, agentKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, typeLibKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, helperKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kEventSourceKeyPath));
    for (const View& view : kViews) {
        const qz_support::UniqueHkey software = SoftwareKey(view.flag);
        for (const char* key : {kAgentClass, kHelperEntry, kInterfaceEntry, kLibraryEntry, kElevationPolicy})
            EXPECT_FALSE(KeyExists(software.get(), key)) << "view " << view.flag << ": " << key;
        for (const BrowserPolicy& policy : kBrowserPolicies) {
            const bool administrators = std::string(policy.name) == "ListBox_Support_CLSID";
            EXPECT_EQ(ValueData(software.get(), policy.key, policy.name), administrators ? policy.data : "<absent>")
                << "view " << view.flag << ": " << policy.key << " " << policy.name;
        }
        EXPECT_EQ(ValueData(software.get(), kRestrictionsKey, "NoBrowserClose"), "dword:1") << "view " << view.flag;
    }
    EXPECT_FALSE(HasPermissions());
    EXPECT_EQ(GetFileAttributesA((folder + "x86").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(kLogPath), INVALID_FILE_ATTRIBUTES) << "removal removes the log";
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, runKey, "Sentrel"), "<absent>");
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kSettingsSourceValue), "<absent>");
    EXPECT_EQ(policy(kFailClosedPolicy), -1);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntry(SENTREL_PRODUCT_CODE)));
    EXPECT_TRUE(InstalledSentrel().empty());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kRememberedKey));
    // What the controller itself stored stays: the fetched document and its stamp.
    EXPECT_NE(RegistryText(HKEY_LOCAL_MACHINE, kSettingsKeyPath, nullptr).find("packaged"), std::string::npos);
    EXPECT_NE(RegistryText(HKEY_LOCAL_MACHINE, kSettingsKeyPath, "Last Sync"), "<absent>");
    testing::RemoveStoreKeys();
    RemoveBrowserPolicies();
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, (std::string("SOFTWARE\\") + kRestrictionsKey).c_str(), "NoBrowserClose");
}

#ifdef SENTREL_X86_PACKAGE
// The 32-bit package on 64-bit Windows would leave 64-bit tabs without an
// agent: it refuses, and nothing is installed.
TEST_F(Deployment, The32BitPackageRefuses64BitWindows) {
    const std::wstring package = BuildMachinePath(SENTREL_X86_PACKAGE);
    ASSERT_NE(GetFileAttributesW(package.c_str()), INVALID_FILE_ATTRIBUTES) << "the 32-bit package is built";
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring log = std::wstring(temp) + L"sentrel-x86.log";
    DeleteFileW(log.c_str());
    EXPECT_EQ(client::RunProgram(L"msiexec /i \"" + package + L"\" /qn /l* \"" + log + L"\"", 120000),
              ERROR_INSTALL_FAILURE);
    // Refused by its launch condition, not by a failing step later on.
    std::ifstream file(std::filesystem::path(log), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::erase(text, '\0');  // the log may be UTF-16
    // (Wine's log does not hold the condition's message; a passed check ends
    // with "Return value 1".)
    const std::string ended = "LaunchConditions. Return value ";
    const size_t at = text.find(ended);
    ASSERT_NE(at, std::string::npos) << text.substr(0, 2000);
    EXPECT_NE(text.substr(at + ended.size(), 1), "1") << "refused by its launch condition";
    // A 32-bit package writes the 32-bit view and the 32-bit program folder.
    qz_support::UniqueHkey entry;
    const std::string productCode = PackageProperty(package, "ProductCode");
    ASSERT_FALSE(productCode.empty());
    EXPECT_NE(productCode, SENTREL_PRODUCT_CODE) << "each architecture's product has its own code";
    EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, UninstallEntry(productCode).c_str(), 0, KEY_READ | KEY_WOW64_32KEY,
                            entry.put()),
              ERROR_SUCCESS)
        << "not installed";
    EXPECT_TRUE(InstalledSentrel().empty());
    wchar_t folder[MAX_PATH] = {};
    ASSERT_NE(GetEnvironmentVariableW(L"ProgramFiles(x86)", folder, MAX_PATH), 0u);
    EXPECT_EQ(GetFileAttributesW((std::wstring(folder) + L"\\Sentrel").c_str()), INVALID_FILE_ATTRIBUTES);
}
#endif

TEST_F(Deployment, ABrowserPolicyValueHeldWithOtherDataStopsTheInstallUntouched) {
    // The administrator lets users manage the agent in Manage Add-ons.
    RemoveBrowserPolicies();
    SetMachineValue(kAddOnListKey, kAgentClsid, "sz:2");
    EXPECT_EQ(client::RunProgram(L"msiexec /i \"" + BuildMachinePath(SENTREL_PACKAGE) + L"\" /qn BROWSERPOLICIES=1",
                                 120000),
              ERROR_INSTALL_FAILURE);
    const qz_support::UniqueHkey software = SoftwareKey(0);
    for (const BrowserPolicy& policy : kBrowserPolicies)
        EXPECT_EQ(ValueData(software.get(), policy.key, policy.name),
                  policy.key == kAddOnListKey ? "sz:2" : "<absent>")
            << policy.key << " " << policy.name;
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntry(SENTREL_PRODUCT_CODE))) << "not installed";
    EXPECT_TRUE(InstalledSentrel().empty());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE,
                           "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\" +
                               std::string(kAgentClsid)));
    RemoveBrowserPolicies();
}

TEST_F(Deployment, AnInstallWithItsWindowsStartsTheControllerAndRemovalStopsIt) {
    client::StopControllers();
    RemoveBrowserPolicies();
    ASSERT_EQ(client::RunProgram(L"msiexec /i \"" + BuildMachinePath(SENTREL_PACKAGE) + L"\" /qr", 120000), 0);
    ASSERT_TRUE(WaitUntil([] { return client::ControllerProcesses().size() == 1; }, 10000));
    EXPECT_EQ(client::CommandLineOf(client::ControllerProcesses()[0]).find(L"Z:"), std::wstring::npos);
    // Without BROWSERPOLICIES=1 the browser's policies are not written.
    const qz_support::UniqueHkey software = SoftwareKey(0);
    for (const BrowserPolicy& policy : kBrowserPolicies)
        EXPECT_EQ(ValueData(software.get(), policy.key, policy.name), "<absent>") << policy.key << " " << policy.name;
    ASSERT_EQ(client::RunProgram(L"msiexec /x " SENTREL_PRODUCT_CODE L" /qn", 120000), 0);
    EXPECT_TRUE(client::ControllerProcesses().empty());
    testing::RemoveStoreKeys();
}

// Removes whatever Sentrel product an earlier test left installed.
void RemoveInstalledSentrel() {
    for (const std::string& product : InstalledSentrel())
        client::RunProgram(L"msiexec /x " + Ascii(product) + L" /qn", 120000);
}

// The keys and values a product of the package writes below HKLM (64-bit
// builds: in the 64-bit view) that must all be gone once no product is left.
void ExpectNothingOfThePackageLeft(const std::vector<std::string>& productCodes) {
    const std::string folder = InstallFolder();
    EXPECT_TRUE(InstalledSentrel().empty());
    for (const std::string& code : productCodes)
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntry(code))) << code;
    for (const char* file : {"SentrelAgentController.exe", "SentrelAgent.dll", "sentrel-check.exe", "x86"})
        EXPECT_EQ(GetFileAttributesA((folder + file).c_str()), INVALID_FILE_ATTRIBUTES) << file;
    for (const View& view : kViews) {
        const qz_support::UniqueHkey software = SoftwareKey(view.flag);
        for (const char* key : {kAgentClass, kHelperEntry, kInterfaceEntry, kLibraryEntry, kElevationPolicy})
            EXPECT_FALSE(KeyExists(software.get(), key)) << "view " << view.flag << ": " << key;
        for (const BrowserPolicy& policy : kBrowserPolicies)
            EXPECT_EQ(ValueData(software.get(), policy.key, policy.name), "<absent>") << policy.key << " " << policy.name;
    }
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\{EE71CF2C-D934-4D16-A641-C5C6F80DDE57}"));
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "Sentrel"),
              "<absent>");
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kSettingsSourceValue), "<absent>");
    EXPECT_EQ(MachineNumber(kSettingsKeyPath, kProtectNotesValue), -1);
    EXPECT_EQ(MachineNumber(kMachinePolicyKeyPath, kFailClosedPolicy), -1);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kRememberedKey));
    EXPECT_TRUE(client::ControllerProcesses().empty());
}

// An administrator replaces an earlier release (one product code for every
// version, nothing remembered) with this one: the earlier product goes, and
// what it was given is taken from what it wrote, its browser policy values
// included, which this product then takes back at removal.
TEST_F(Deployment, AnEarlierReleaseIsReplacedAndWhatItWroteIsKept) {
    RemoveInstalledSentrel();
    client::StopControllers();
    client::RunProgram(L"net stop rpcss");
    testing::RemoveStoreKeys();
    RemoveBrowserPolicies();
    const std::string source = "http://127.0.0.1:" + Env("SENTREL_HTTP_PORT") + "/files/earlier.xml";
    ASSERT_EQ(client::RunProgram(L"msiexec /i \"" + BuildMachinePath(SENTREL_EARLIER_PACKAGE) +
                                     L"\" /qn FAILCLOSED=1 PROTECTNOTES=1 BROWSERPOLICIES=1 SETTINGSSOURCE=" +
                                     Ascii(source),
                                 120000),
              0);
    ASSERT_EQ(InstalledSentrel(), std::vector<std::string>{kEarlierProductCode});

    // Only BROWSERPOLICIES=1 given again: the earlier release remembered nothing
    // of it, and wrote values an administrator might have set as well.
    ASSERT_EQ(client::RunProgram(L"msiexec /i \"" + BuildMachinePath(SENTREL_PACKAGE) + L"\" /qn BROWSERPOLICIES=1",
                                 120000),
              0);
    EXPECT_EQ(InstalledSentrel(), std::vector<std::string>{SENTREL_PRODUCT_CODE});
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKeyPath)) << "the earlier product is gone";
    EXPECT_EQ(FileVersion(InstallFolder() + "sentrel-check.exe"), SENTREL_VERSION_TEXT);
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kSettingsSourceValue), source);
    EXPECT_EQ(MachineNumber(kSettingsKeyPath, kProtectNotesValue), 1);
    EXPECT_EQ(MachineNumber(kMachinePolicyKeyPath, kFailClosedPolicy), 1);
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kRememberedKey, "SETTINGSSOURCE"), source);
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kRememberedKey, "FAILCLOSED"), "1");
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kRememberedKey, "PROTECTNOTES"), "1");
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kRememberedKey, "MACHINESETTINGSONLY"), "<absent>");
    const qz_support::UniqueHkey software = SoftwareKey(0);
    for (const BrowserPolicy& policy : kBrowserPolicies)
        EXPECT_EQ(ValueData(software.get(), policy.key, policy.name), policy.data) << policy.key << " " << policy.name;

    ASSERT_EQ(client::RunProgram(L"msiexec /x " SENTREL_PRODUCT_CODE L" /qn", 120000), 0);
    ExpectNothingOfThePackageLeft({SENTREL_PRODUCT_CODE, kEarlierProductCode});
    testing::RemoveStoreKeys();
    RemoveBrowserPolicies();
}

#ifdef SENTREL_NEXT_PACKAGE
// Version N, then N+1 over it (one product: N+1's files, N's settings kept,
// the controller stopped and started again), N again over N+1 (refused,
// nothing changed), N+1 again (a repair), then removal.
TEST_F(Deployment, ANewerVersionReplacesTheOlderKeepingItsSettingsAndAnOlderOneIsRefused) {
    const std::wstring older = BuildMachinePath(SENTREL_PACKAGE);
    const std::wstring newer = BuildMachinePath(SENTREL_NEXT_PACKAGE);
    const std::string olderCode = PackageProperty(older, "ProductCode");
    const std::string newerCode = PackageProperty(newer, "ProductCode");
    const std::string newerVersion = PackageProperty(newer, "ProductVersion");
    ASSERT_EQ(olderCode, SENTREL_PRODUCT_CODE);
    ASSERT_EQ(PackageProperty(newer, "UpgradeCode"), SENTREL_UPGRADE_CODE);
    ASSERT_NE(newerCode, olderCode) << "each version is a product of its own";
    ASSERT_GT(newerVersion.substr(0, newerVersion.rfind('.')),
              std::string(SENTREL_VERSION_TEXT).substr(0, std::string(SENTREL_VERSION_TEXT).rfind('.')))
        << "Windows Installer compares the first three numbers only";
    const std::string folder = InstallFolder();
    RemoveInstalledSentrel();
    client::StopControllers();
    client::RunProgram(L"net stop rpcss");
    testing::RemoveStoreKeys();
    RemoveBrowserPolicies();

    // Version N with a source, Notes protection and FailClosed; its
    // controller stores the fetched document, stamps it and marks the entry.
    const std::string servedFile = Env("SENTREL_HTTP_ROOT") + "\\upgrade.xml";
    const std::string source = "http://127.0.0.1:" + Env("SENTREL_HTTP_PORT") + "/files/upgrade.xml";
    std::ofstream(servedFile, std::ios::binary)
        << "<lockSettings active=\"Y\" prohibitUninstall=\"Y\"><host name=\"upgraded\"/></lockSettings>";
    ASSERT_EQ(client::RunProgram(L"msiexec /i \"" + older + L"\" /qn FAILCLOSED=1 PROTECTNOTES=1 SETTINGSSOURCE=" +
                                     Ascii(source),
                                 120000),
              0);
    {
        ComPtr<ISentrelController> controller;
        ASSERT_EQ(ConnectController(controller), S_OK);
        EXPECT_TRUE(WaitUntil(
            [&] { return client::AskController(controller.get(), L"http://upgraded/") == S_OK; }, 5000));
    }
    EXPECT_TRUE(WaitUntil([&] { return MachineNumber(UninstallEntry(olderCode).c_str(), "NoRemove") == 1; }, 5000));
    const std::string document = RegistryText(HKEY_LOCAL_MACHINE, kSettingsKeyPath, nullptr);
    const std::string lastSync = RegistryText(HKEY_LOCAL_MACHINE, kSettingsKeyPath, "Last Sync");
    ASSERT_NE(document.find("upgraded"), std::string::npos);
    ASSERT_NE(lastSync, "<absent>");
    const std::vector<DWORD> olderControllers = client::ControllerProcesses();
    ASSERT_EQ(olderControllers.size(), 1u);
    // The source is down from now on: what the settings key holds after the
    // upgrade is what version N stored.
    DeleteFileA(servedFile.c_str());

    // N+1, given nothing: a major upgrade.
    ASSERT_EQ(client::RunProgram(L"msiexec /i \"" + newer + L"\" /qn", 120000), 0);
    EXPECT_EQ(InstalledSentrel(), std::vector<std::string>{newerCode}) << "one product";

    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntry(olderCode)));
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, UninstallEntry(newerCode), "DisplayVersion"), newerVersion);
    for (const char* file : {"SentrelAgentController.exe", "SentrelAgent.dll", "sentrel-check.exe"})
        EXPECT_EQ(FileVersion(folder + file), newerVersion) << file;
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kSettingsSourceValue), source);
    EXPECT_EQ(MachineNumber(kSettingsKeyPath, kProtectNotesValue), 1);
    EXPECT_EQ(MachineNumber(kMachinePolicyKeyPath, kFailClosedPolicy), 1);
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kSettingsKeyPath, nullptr), document);
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kSettingsKeyPath, "Last Sync"), lastSync);
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kRememberedKey, "SETTINGSSOURCE"), source);
    // Registered from the install folder, and started again in place of the
    // one the upgrade stopped.
    EXPECT_EQ(_stricmp(RegistryText(HKEY_CLASSES_ROOT, "CLSID\\{B0000299-50CF-11D1-A140-0000F802C250}\\InprocServer32",
                                    nullptr)
                           .c_str(),
                       (folder + "SentrelAgent.dll").c_str()),
              0);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\{EE71CF2C-D934-4D16-A641-C5C6F80DDE57}\\LocalServer32"));
    ASSERT_TRUE(WaitUntil([] { return client::ControllerProcesses().size() == 1 && client::ControllerWindow(); }, 10000));
    EXPECT_NE(client::ControllerProcesses()[0], olderControllers[0]);
    EXPECT_EQ(client::CommandLineOf(client::ControllerProcesses()[0]).find(L"Z:"), std::wstring::npos);
    // Wine's rpcss keeps handing out the class object of the controller the
    // upgrade ended until rpcss restarts (Windows drops it): the started
    // controller is ended through its own shutdown path, and COM starts the
    // registered one.
    client::StopControllers();
    client::RunProgram(L"net stop rpcss");
    {
        ComPtr<ISentrelController> controller;
        ASSERT_EQ(ConnectController(controller), S_OK);
        EXPECT_EQ(client::AskController(controller.get(), L"http://upgraded/"), S_OK);
        EXPECT_EQ(client::AskController(controller.get(), L"http://other/"), S_FALSE);
    }
    ASSERT_EQ(client::ControllerProcesses().size(), 1u);
    const DWORD newerController = client::ControllerProcesses()[0];
    EXPECT_EQ(client::CommandLineOf(newerController).find(L"Z:"), std::wstring::npos);
    EXPECT_TRUE(WaitUntil([&] { return MachineNumber(UninstallEntry(newerCode).c_str(), "NoRemove") == 1; }, 5000))
        << "prohibitUninstall marks the product now installed";
    // Both programs tell their version to a script, and --version starts no tray.
    long status = -1;
    EXPECT_EQ(OutputOf(L"\"" + Ascii(folder) + L"SentrelAgentController.exe\" --version", &status),
              "SentrelAgentController " + newerVersion + "\r\n");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(OutputOf(L"\"" + Ascii(folder) + L"sentrel-check.exe\" --version", &status),
              "sentrel-check " + newerVersion + "\r\n");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(client::ControllerProcesses(), std::vector<DWORD>{newerController});

    // N over N+1: refused by the launch condition, nothing changed.
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring log = std::wstring(temp) + L"sentrel-downgrade.log";
    DeleteFileW(log.c_str());
    EXPECT_EQ(client::RunProgram(L"msiexec /i \"" + older + L"\" /qn /l* \"" + log + L"\"", 120000),
              ERROR_INSTALL_FAILURE);
    std::ifstream file(std::filesystem::path(log), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::erase(text, '\0');
    const std::string ended = "LaunchConditions. Return value ";
    ASSERT_NE(text.find(ended), std::string::npos) << text.substr(0, 2000);
    EXPECT_NE(text.substr(text.find(ended) + ended.size(), 1), "1") << "refused by its launch condition";
    EXPECT_EQ(InstalledSentrel(), std::vector<std::string>{newerCode});
    for (const char* file : {"SentrelAgentController.exe", "SentrelAgent.dll", "sentrel-check.exe"})
        EXPECT_EQ(FileVersion(folder + file), newerVersion) << file;
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kSettingsSourceValue), source);
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kSettingsKeyPath, nullptr), document);
    EXPECT_EQ(client::ControllerProcesses(), std::vector<DWORD>{newerController});

    // N+1 again: a repair of the one product, with what it was given.
    ASSERT_TRUE(DeleteFileA((folder + "sentrel-check.exe").c_str()));
    ASSERT_EQ(client::RunProgram(L"msiexec /i \"" + newer + L"\" /qn", 120000), 0);
    EXPECT_EQ(InstalledSentrel(), std::vector<std::string>{newerCode});
    EXPECT_EQ(FileVersion(folder + "sentrel-check.exe"), newerVersion) << "repaired";
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kSettingsSourceValue), source);
    EXPECT_EQ(MachineNumber(kMachinePolicyKeyPath, kFailClosedPolicy), 1);
    EXPECT_TRUE(WaitUntil([] { return client::ControllerProcesses().size() == 1; }, 10000));

    // Removal leaves nothing of either version but what the controller stored.
    ASSERT_EQ(client::RunProgram(L"msiexec /x " + Ascii(newerCode) + L" /qn", 120000), 0);
    ExpectNothingOfThePackageLeft({olderCode, newerCode});
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kSettingsKeyPath, nullptr), document);
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kSettingsKeyPath, "Last Sync"), lastSync);
    testing::RemoveStoreKeys();
}
#endif

}  // namespace
}  // namespace sentrel

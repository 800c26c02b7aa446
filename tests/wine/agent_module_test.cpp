// SentrelAgent.dll as a module: what regsvr32 writes and removes, its
// exports, version block and resources, its class factory and when it may
// be unloaded.
#include "agent/agent_module.h"
#include "tests/wine/agent_fixture.h"
#include "support/unique_any.h"
#include "tools/client/controller_client.h"

#include "sentrel_version.h"

#include <ocidl.h>
#include <olectl.h>
#include <shlobj.h>

#include <cstring>

#include <vector>

namespace sentrel::testing {
namespace {

using client::KeyExists;
using client::RegistryText;

using qz_support::ComPtr;
using qz_support::UniqueHkey;

const char* const kClassKey = "CLSID\\{B0000299-50CF-11D1-A140-0000F802C250}";
const char* const kHelperKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\"
    "{B0000299-50CF-11D1-A140-0000F802C250}";
const char* const kPostSetup =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Discardable\\PostSetup\\Component Categories\\";

size_t SubkeyCount(HKEY hive, const std::string& path) {
    UniqueHkey key;
    if (RegOpenKeyExA(hive, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return 0;
    DWORD count = 0;
    RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
    return count;
}

void CreateKey(HKEY hive, const std::string& path) {
    UniqueHkey key;
    RegCreateKeyExA(hive, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr);
}

struct EnumKey {
    HKEY hive;
    std::string path;
};
const std::vector<EnumKey> kEnumKeys = {
    {HKEY_CLASSES_ROOT, "Component Categories\\{00021492-0000-0000-C000-000000000046}\\Enum"},
    {HKEY_CURRENT_USER, std::string(kPostSetup) + "{00021493-0000-0000-C000-000000000046}\\Enum"},
    {HKEY_CURRENT_USER, std::string(kPostSetup) + "{00021494-0000-0000-C000-000000000046}\\Enum"},
};

class AgentModule : public AgentTest {};

TEST_F(AgentModule, RegistrationWritesTheClassAndHelperEntriesAndClearsTheCategoryCaches) {
    // Leftovers that registration must replace or delete.
    CreateKey(HKEY_CLASSES_ROOT, std::string(kClassKey) + "\\Stale");
    CreateKey(HKEY_LOCAL_MACHINE, std::string(kHelperKey) + "\\Stale");
    for (const EnumKey& cache : kEnumKeys) CreateKey(cache.hive, cache.path + "\\Cached");

    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "first registration" : "second registration");
        ASSERT_EQ(RunRegsvr32(false), 0);
        EXPECT_EQ(RegistryText(HKEY_CLASSES_ROOT, kClassKey, nullptr), "Sentrel");
        char expected[MAX_PATH];
        WideCharToMultiByte(CP_ACP, 0, AgentLibrary().c_str(), -1, expected, MAX_PATH, nullptr, nullptr);
        EXPECT_STRCASEEQ(RegistryText(HKEY_CLASSES_ROOT, std::string(kClassKey) + "\\InprocServer32", nullptr).c_str(),
                         expected);
        EXPECT_EQ(RegistryText(HKEY_CLASSES_ROOT, std::string(kClassKey) + "\\InprocServer32", "ThreadingModel"), "Apartment");
        // The category that Enhanced Protected Mode and 64-bit tabs ask of the helper objects they load.
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::string(kClassKey) +
                                                     "\\Implemented Categories\\{59FB2056-D625-48D0-A944-1A85B5AB2640}"));
        EXPECT_EQ(SubkeyCount(HKEY_CLASSES_ROOT, kClassKey), 2u) << "the class key is recreated";
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kHelperKey));
        EXPECT_EQ(SubkeyCount(HKEY_LOCAL_MACHINE, kHelperKey), 0u) << "the helper entry is recreated";
        for (const EnumKey& cache : kEnumKeys) {
            EXPECT_FALSE(KeyExists(cache.hive, cache.path)) << cache.path;
            EXPECT_TRUE(KeyExists(cache.hive, cache.path.substr(0, cache.path.rfind('\\')))) << cache.path;
        }
    }
    EXPECT_EQ(host::RegisteredHelperObjects().size(), 1u);
}

TEST_F(AgentModule, UnregistrationRemovesItsEntriesAndKeepsTheParents) {
    ASSERT_EQ(RunRegsvr32(false), 0);
    ASSERT_EQ(RunRegsvr32(true), 0);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kHelperKey));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "CLSID"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE,
                          "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Component Categories\\{00021492-0000-0000-C000-000000000046}"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, std::string(kPostSetup) + "{00021494-0000-0000-C000-000000000046}"));
    EXPECT_EQ(RunRegsvr32(true), 0) << "nothing left to remove is no failure";
    ASSERT_EQ(RunRegsvr32(false), 0);
}

TEST_F(AgentModule, ExportsTheFourEntryPointsByNameAndOrdinal) {
    qz_support::UniqueHmodule module(LoadLibraryW(AgentLibrary().c_str()));
    ASSERT_TRUE(module);
    const char* const names[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"};
    for (int ordinal = 1; ordinal <= 4; ++ordinal) {
        const FARPROC byName = GetProcAddress(module.get(), names[ordinal - 1]);
        EXPECT_NE(byName, nullptr) << names[ordinal - 1];
        EXPECT_EQ(GetProcAddress(module.get(), MAKEINTRESOURCEA(ordinal)), byName) << names[ordinal - 1];
    }
    EXPECT_EQ(GetProcAddress(module.get(), MAKEINTRESOURCEA(5)), nullptr);
}

TEST_F(AgentModule, CarriesItsVersionBlockScriptAndPicture) {
    const std::wstring path = AgentLibrary();
    std::vector<BYTE> block(GetFileVersionInfoSizeW(path.c_str(), nullptr));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    // The configured version, in the numbers and in the agent's own
    // spelling of the strings ("2, 5, 5, 10").
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(SENTREL_VERSION_MINOR, SENTREL_VERSION_MAJOR));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(SENTREL_VERSION_REVISION, SENTREL_VERSION_BUILD));
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    const std::pair<const wchar_t*, const wchar_t*> strings[] = {
        {L"FileVersion", L"" SENTREL_VERSION_SPACED_TEXT},
        {L"ProductVersion", L"" SENTREL_VERSION_SPACED_TEXT},
        {L"FileDescription", L"SentrelAgent Module"},
        {L"ProductName", L"SentrelAgent Module"},
        {L"InternalName", L"SentrelAgent"},
        {L"OriginalFilename", L"SentrelAgent.DLL"},
        {L"CompanyName", L"Corvantis"},
        {L"LegalCopyright", L"" SENTREL_LEGAL_COPYRIGHT},
    };
    for (const auto& [name, expected] : strings) {
        wchar_t* text = nullptr;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
        ASSERT_TRUE(VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length)) << name;
        EXPECT_STREQ(text, expected);
    }

    qz_support::UniqueHmodule module(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(module);
    const HRSRC script = FindResourceExA(module.get(), "REGISTRY", MAKEINTRESOURCEA(101), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(script, nullptr);
    const std::string text(static_cast<const char*>(LockResource(LoadResource(module.get(), script))),
                           SizeofResource(module.get(), script));
    EXPECT_NE(text.find("%MODULE%"), std::string::npos);
    EXPECT_NE(text.find("Browser Helper Objects"), std::string::npos);

    const HRSRC picture = FindResourceExA(module.get(), MAKEINTRESOURCEA(23), "LOCKED.GIF",
                                          MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(picture, nullptr);
    const DWORD size = SizeofResource(module.get(), picture);
    const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module.get(), picture)));
    ASSERT_GT(size, 13u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), 6), "GIF89a");
    EXPECT_EQ(bytes[6] | bytes[7] << 8, 64);
    EXPECT_EQ(bytes[8] | bytes[9] << 8, 64);
    // The picture decodes: the system's picture loader reads it whole.
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    std::memcpy(GlobalLock(memory), bytes, size);
    GlobalUnlock(memory);
    ComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(memory, TRUE, stream.put()), S_OK);
    ComPtr<IPicture> loaded;
    ASSERT_EQ(OleLoadPicture(stream.get(), static_cast<LONG>(size), FALSE, IID_IPicture, loaded.put_void()), S_OK);
    OLE_XSIZE_HIMETRIC width = 0;
    loaded->get_Width(&width);
    EXPECT_NEAR(width, MulDiv(64, 2540, 96), 30);
}

TEST_F(AgentModule, ClassObjectAndFactoryAnswerWithTheirCodes) {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(agent::CLSID_SentrelAgent, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               factory.put_void()),
              S_OK);
    const auto getClassObject = AgentExport<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>("DllGetClassObject");
    ASSERT_NE(getClassObject, nullptr);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject(IID_IUnknown, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(getClassObject(agent::CLSID_SentrelAgent, IID_IClassFactory, nullptr), E_POINTER);

    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IObjectWithSite, nullptr), E_POINTER);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IOleObject, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);

    // Aggregated: only IUnknown may be asked for, and the inner object
    // hands its interfaces out with the outer object's identity.
    ComPtr<IUnknown> outer;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, reinterpret_cast<IStream**>(outer.put())), S_OK);
    EXPECT_EQ(factory->CreateInstance(outer.get(), IID_IObjectWithSite, &object), CLASS_E_NOAGGREGATION);
    ComPtr<IUnknown> inner;
    ASSERT_EQ(factory->CreateInstance(outer.get(), IID_IUnknown, inner.put_void()), S_OK);
    ComPtr<IPersistStream> persist;
    ASSERT_EQ(inner->QueryInterface(IID_IPersistStream, persist.put_void()), S_OK);
    ComPtr<IStream> asOuter;
    EXPECT_EQ(persist->QueryInterface(IID_IStream, asOuter.put_void()), S_OK) << "queries go to the outer object";
    CLSID classId{};
    EXPECT_EQ(persist->GetClassID(&classId), S_OK);
    EXPECT_TRUE(IsEqualCLSID(classId, agent::CLSID_SentrelAgent));
    EXPECT_EQ(persist->GetClassID(nullptr), E_POINTER);
}

TEST_F(AgentModule, PlainAgentAnswersItsInterfacesAndTrivialMethods) {
    ComPtr<IUnknown> agent;
    ASSERT_EQ(CoCreateInstance(agent::CLSID_SentrelAgent, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               agent.put_void()),
              S_OK);
    ComPtr<IObjectWithSite> site = agent.query<IObjectWithSite>();
    EXPECT_EQ(static_cast<IUnknown*>(site.get()), agent.get()) << "the site interface is the identity";
    const IID supported[] = {IID_IObjectWithSite, IID_IDispatch, IID_IPersistStream, IID_IPersist,
                             IID_IInputObject, IID_ISupportErrorInfo};
    auto errorInfo = agent.query<ISupportErrorInfo>();
    for (const IID& iid : supported) EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(iid), S_OK);
    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_IOleObject), S_FALSE);

    auto persist = agent.query<IPersistStream>();
    EXPECT_EQ(persist->IsDirty(), S_FALSE);
    EXPECT_EQ(persist->Load(nullptr), S_OK);
    EXPECT_EQ(persist->Save(nullptr, TRUE), S_OK);
    ULARGE_INTEGER size;
    size.QuadPart = 77;
    EXPECT_EQ(persist->GetSizeMax(&size), S_OK);
    EXPECT_EQ(size.QuadPart, 0u);
    EXPECT_EQ(persist->GetSizeMax(nullptr), S_OK);
    auto input = agent.query<IInputObject>();
    EXPECT_EQ(input->UIActivateIO(TRUE, nullptr), S_OK);
    EXPECT_EQ(input->HasFocusIO(), S_FALSE);
    EXPECT_EQ(input->TranslateAcceleratorIO(nullptr), S_FALSE);
    auto dispatch = agent.query<IDispatch>();
    UINT count = 0;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> info;
    EXPECT_TRUE(FAILED(dispatch->GetTypeInfo(0, 0, info.put())));
}

}  // namespace
}  // namespace sentrel::testing

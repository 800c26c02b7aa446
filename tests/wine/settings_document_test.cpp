// The settings document through Wine's MSXML and the run's own registry.
#include "settings/registry_store.h"
#include "settings/password_encoding.h"
#include "settings/settings_password.h"
#include "settings/settings_document.h"
#include "settings/settings_import.h"
#include "settings/settings_store.h"
#include "tests/wine/store_sandbox.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace sentrel {
namespace {

using dom::ComPtr;

using testing::CreateKey;

void DeleteTree(HKEY root, const char* path) { RegDeleteTreeA(root, path); }

void StoreDocument(const std::string& text) { ASSERT_EQ(WriteStoredDocument(text, true), S_OK); }

std::string StoredText() {
    const auto text = ReadStoredDocument();
    return text ? ToNarrow(*text) : "<nothing>";
}

// A password hashed with few rounds, to keep the tests quick.
SettingsPassword Chosen(const char* typed) { return SettingsPassword::Choose(typed, kMinPasswordIterations); }

std::vector<std::string> Hosts(const ControllerSettings& settings) { return {settings.hosts.begin(), settings.hosts.end()}; }

std::wstring TempPath(const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    qz_support::UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    WriteFile(file.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr);
}

std::string ReadBytes(const std::wstring& path) {
    qz_support::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return "<no file>";
    std::string bytes(1 << 16, '\0');
    DWORD read = 0;
    ReadFile(file.get(), bytes.data(), DWORD(bytes.size()), &read, nullptr);
    bytes.resize(read);
    return bytes;
}

// The serialised text without the serialiser's layout whitespace.
std::string Compact(std::string text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n' || text[i] == '\t') continue;
        if (text[i] == ' ' && (out.empty() || out.back() == '>')) continue;
        out.push_back(text[i]);
    }
    return out;
}

using SettingsDocument = testing::StoreSandbox;

TEST(DomInterfaceIds, MatchThePlatformsIds) {
    EXPECT_TRUE(IsEqualIID(__uuidof(IXMLDOMNode), IID_IXMLDOMNode));
    EXPECT_TRUE(IsEqualIID(__uuidof(IXMLDOMDocument), IID_IXMLDOMDocument));
    EXPECT_TRUE(IsEqualIID(__uuidof(IXMLDOMNodeList), IID_IXMLDOMNodeList));
    EXPECT_TRUE(IsEqualIID(__uuidof(IXMLDOMNamedNodeMap), IID_IXMLDOMNamedNodeMap));
    EXPECT_TRUE(IsEqualIID(__uuidof(IXMLDOMAttribute), IID_IXMLDOMAttribute));
    EXPECT_TRUE(IsEqualIID(__uuidof(IXMLDOMElement), IID_IXMLDOMElement));
}

TEST_F(SettingsDocument, WritesAttributesInOrderAndHostsInByteOrder) {
    ControllerSettings settings;
    settings.hosts.Insert("b.example");
    settings.hosts.Insert("a.example");
    settings.recentRefused.push_back("x");
    ASSERT_EQ(SaveSettings(settings), S_OK);
    EXPECT_EQ(Compact(StoredText()),
              "<lockSettings blockPopups=\"Y\" reverseOperation=\"N\" prohibitUninstall=\"N\" active=\"N\" "
              "errorPage=\"\"><host name=\"a.example\"/><host name=\"b.example\"/></lockSettings>");
    EXPECT_TRUE(settings.recentRefused.empty());
}

// Each host is written as creating its "name" attribute, setting the value
// and adding it to the element would write it: the same bytes, escapes and
// all, whatever the value holds.
TEST(SettingsDocumentBuild, WritesEachHostAsTheAttributeCallsWould) {
    ControllerSettings settings;
    for (const char* host : {"", " lead", "trail ", "a&b\"c'd<e>", "]]>", "&amp;", "caf\xe9", "tab\there", "line\nbreak",
                             "cr\rx", "\x80\x9f\xff", "x y  z", "www.corp.example"})
        settings.hosts.Insert(host);
    ControllerSettings empty = settings;
    empty.hosts.Clear();
    const ComPtr<IXMLDOMDocument> expected = BuildSettingsDocument(empty);
    const ComPtr<IXMLDOMElement> root = dom::GetDocumentElement(expected);
    for (const std::string_view entry : settings.hosts) {
        const ComPtr<IXMLDOMElement> host = dom::CreateElement(expected, L"host");
        const ComPtr<IXMLDOMAttribute> name = dom::CreateAttribute(expected, L"name");
        dom::AppendChild(root.get(), host.get());
        dom::PutNodeValue(name.get(), ToWide(entry));
        dom::SetNamedItem(dom::GetAttributes(host.get()), name.get());
    }
    const std::string written = SerializeSettingsDocument(BuildSettingsDocument(settings));
    EXPECT_EQ(written, SerializeSettingsDocument(expected));
    EXPECT_NE(written.find("a&amp;b"), std::string::npos) << written;
}

// An old document's reversible password is stored hashed from the next save
// on, and the same password still opens.
TEST_F(SettingsDocument, WritesThePasswordHashedAndLast) {
    StoreDocument("<lockSettings active=\"Y\" reverseOperation=\"Y\" prohibitUninstall=\"Y\" blockPopups=\"N\" "
                  "errorPage=\"http://intranet/refused.htm\" password=\"bgcgdg\"/>");
    ControllerSettings settings;
    ASSERT_TRUE(LoadSettings(settings));
    EXPECT_TRUE(settings.password.Accepts("abc"));
    ASSERT_EQ(SaveSettings(settings), S_OK);
    const std::string stored = Compact(StoredText());
    const std::string start = "<lockSettings blockPopups=\"N\" reverseOperation=\"Y\" prohibitUninstall=\"Y\" "
                              "active=\"Y\" errorPage=\"http://intranet/refused.htm\" password=\"";
    ASSERT_EQ(stored.substr(0, start.size()), start) << stored;
    const std::string value = stored.substr(start.size(), stored.size() - start.size() - 3);
    EXPECT_EQ(stored.substr(stored.size() - 3), "\"/>");
    EXPECT_EQ(value.rfind(kHashedPasswordPrefix, 0), 0u) << value;
    EXPECT_EQ(stored.find("bgcgdg"), std::string::npos);
    ControllerSettings loaded;
    ASSERT_TRUE(LoadSettings(loaded));
    EXPECT_EQ(loaded.password.StoredAs(), SettingsPassword::Form::Hashed);
    EXPECT_TRUE(loaded.password.Accepts("abc"));
    EXPECT_FALSE(loaded.password.Accepts("ABC"));
}

TEST_F(SettingsDocument, RoundTripsThroughTheRegistry) {
    ControllerSettings saved;
    saved.active = true;
    saved.reverseOperation = true;
    saved.blockPopups = false;
    saved.password = Chosen("s3cr\xe9t");
    saved.errorPage = u"C:\\Pages\\Refused.htm?a=1&b=<2>";
    for (const char* host : {"corp", "", "Abc", "abc", "a&b\"c'd<e>", "caf\xe9"}) saved.hosts.Insert(host);
    ASSERT_EQ(SaveSettings(saved), S_OK);

    ControllerSettings loaded;
    ASSERT_TRUE(LoadSettings(loaded));
    EXPECT_EQ(Hosts(loaded), Hosts(saved));
    EXPECT_EQ(loaded.password, saved.password);
    EXPECT_EQ(loaded.errorPage, saved.errorPage);
    EXPECT_TRUE(loaded.active);
    EXPECT_TRUE(loaded.reverseOperation);
    EXPECT_FALSE(loaded.blockPopups);
}

TEST_F(SettingsDocument, RoundTripsThroughAnExportAndImport) {
    ControllerSettings saved;
    saved.password = Chosen("pw");
    saved.errorPage = u"http://intranet/x";
    for (const char* host : {"one.example", "two.example", "caf\xe9"}) saved.hosts.Insert(host);
    const std::wstring file = TempPath(L"export-roundtrip.xml");
    EXPECT_EQ(SaveSettings(saved, file), S_OK);
    const std::string bytes = ReadBytes(file);
    EXPECT_EQ(bytes.find('\0'), std::string::npos) << "an export is 8-bit text";
    EXPECT_NE(bytes.find("caf\xe9"), std::string::npos);
    EXPECT_EQ(StoredText(), "<nothing>") << "an export does not store";

    CreateKey(HKEY_LOCAL_MACHINE, kSettingsKeyPath);
    ASSERT_EQ(ImportSettingsFile(file), ImportOutcome::Stored);
    EXPECT_EQ(StoredText(), bytes) << "the import stores the file's own text";
    ControllerSettings loaded;
    ASSERT_TRUE(LoadSettings(loaded));
    EXPECT_EQ(Hosts(loaded), Hosts(saved));
    EXPECT_TRUE(loaded.password.Accepts("pw"));
    EXPECT_EQ(loaded.errorPage, u"http://intranet/x");
    DeleteFileW(file.c_str());
}

TEST_F(SettingsDocument, EmptyElementLoadsTheDefaultsAndKeepsActive) {
    CreateKey(HKEY_LOCAL_MACHINE, kUninstallKeyPath);
    WriteUninstallEntry(true);
    StoreDocument("<lockSettings/>");
    ControllerSettings settings;
    settings.active = true;
    settings.blockPopups = false;
    settings.reverseOperation = true;
    settings.password = Chosen("old");
    settings.errorPage = u"old";
    settings.hosts.Insert("old");
    bool activeLoaded = true;
    ASSERT_TRUE(LoadSettings(settings, &activeLoaded));
    EXPECT_FALSE(activeLoaded);
    EXPECT_TRUE(settings.hosts.empty());
    EXPECT_TRUE(settings.password.Empty());
    EXPECT_TRUE(settings.errorPage.empty());
    EXPECT_TRUE(settings.blockPopups);
    EXPECT_FALSE(settings.reverseOperation);
    EXPECT_TRUE(settings.prohibitUninstall) << "taken from the uninstall entry";
    EXPECT_TRUE(settings.active);
}

TEST_F(SettingsDocument, FlagValues) {
    const struct {
        const char* value;
        bool yes;
    } cases[] = {{"Y", true}, {"y", true}, {"yes", false}, {"1", false}, {"N", false}, {"", false}, {" Y", false}};
    for (const auto& c : cases) {
        StoreDocument(std::string("<lockSettings blockPopups=\"") + c.value + "\" active=\"" + c.value + "\"/>");
        ControllerSettings settings;
        settings.active = !c.yes;
        ASSERT_TRUE(LoadSettings(settings));
        EXPECT_EQ(settings.blockPopups, c.yes) << c.value;
        EXPECT_EQ(settings.active, c.yes) << c.value;
    }
}

TEST_F(SettingsDocument, ProhibitUninstallAttributeWritesTheEntry) {
    CreateKey(HKEY_LOCAL_MACHINE, kUninstallKeyPath);
    StoreDocument("<lockSettings prohibitUninstall=\"Y\"/>");
    ControllerSettings settings;
    ASSERT_TRUE(LoadSettings(settings));
    EXPECT_TRUE(settings.prohibitUninstall);
    EXPECT_EQ(ReadUninstallEntry(), true);
}

TEST_F(SettingsDocument, ChildrenAreEntriesWhateverTheirName) {
    StoreDocument(
        "<lockSettings><host name=\"a\"/><host name=\"a\"/><site name=\"b\"/><host name=\"\"/></lockSettings>");
    ControllerSettings settings;
    ASSERT_TRUE(LoadSettings(settings));
    EXPECT_EQ(Hosts(settings), (std::vector<std::string>{"", "a", "b"}));
}

TEST_F(SettingsDocument, FirstLockSettingsAnywhereIsUsed) {
    StoreDocument("<root><other/><wrap><lockSettings errorPage=\"first\"/></wrap><lockSettings errorPage=\"2\"/></root>");
    ControllerSettings settings;
    ASSERT_TRUE(LoadSettings(settings));
    EXPECT_EQ(settings.errorPage, u"first");
}

TEST_F(SettingsDocument, UnusableStoredTextChangesNothing) {
    for (const char* text : {"not xml at all", "<lockSettings>", "<other/>", ""}) {
        DeleteTree(HKEY_LOCAL_MACHINE, kSettingsKeyPath);
        StoreDocument(text);
        ControllerSettings settings;
        settings.hosts.Insert("kept");
        EXPECT_FALSE(LoadSettings(settings)) << text;
        EXPECT_EQ(Hosts(settings), std::vector<std::string>{"kept"});
    }
    DeleteTree(HKEY_LOCAL_MACHINE, kSettingsKeyPath);
    ControllerSettings settings;
    EXPECT_FALSE(LoadSettings(settings));
}

// A bad child must not leave a half-applied document: in block-list mode a
// truncated list would un-block sites.
TEST_F(SettingsDocument, BadChildLeavesTheRecordAsItWas) {
    CreateKey(HKEY_LOCAL_MACHINE, kUninstallKeyPath);
    WriteUninstallEntry(false);
    const char* documents[] = {
        "<lockSettings reverseOperation=\"Y\" prohibitUninstall=\"Y\" active=\"N\"><host name=\"a\"/>"
        "<host/><host name=\"c\"/></lockSettings>",
        "<lockSettings reverseOperation=\"N\" prohibitUninstall=\"Y\" active=\"N\"><host name=\"a\"/>"
        "text<host name=\"c\"/></lockSettings>",
        "<lockSettings prohibitUninstall=\"Y\"><!-- comment --><host name=\"a\"/></lockSettings>",
    };
    for (bool blockList : {false, true}) {
        for (const char* text : documents) {
            StoreDocument(text);
            ControllerSettings settings;
            settings.active = true;
            settings.reverseOperation = blockList;
            settings.errorPage = u"http://kept/";
            for (const char* host : {"games", "casino", "zzz"}) settings.hosts.Insert(host);
            try {
                LoadSettings(settings);
                ADD_FAILURE() << "no error raised for " << text;
            } catch (const _com_error& error) {
                EXPECT_EQ(error.Error(), E_POINTER);
            }
            EXPECT_EQ(Hosts(settings), (std::vector<std::string>{"casino", "games", "zzz"})) << text;
            EXPECT_EQ(settings.reverseOperation, blockList);
            EXPECT_TRUE(settings.active);
            EXPECT_EQ(settings.errorPage, u"http://kept/");
            EXPECT_FALSE(settings.prohibitUninstall);
            EXPECT_EQ(ReadUninstallEntry(), false) << "uninstall entry untouched";
        }
    }
}

TEST_F(SettingsDocument, Passwords) {
    StoreDocument("<lockSettings password=\"\"/>");
    ControllerSettings settings;
    settings.password = Chosen("old");
    ASSERT_TRUE(LoadSettings(settings));
    EXPECT_TRUE(settings.password.Empty());

    StoreDocument("<lockSettings password=\"" + std::string(200, 'b') + "\"/>");
    ASSERT_TRUE(LoadSettings(settings));
    EXPECT_TRUE(settings.password.Accepts(std::string(39, '\x11'))) << "decoded from the first 78 letters";

    // Whatever loads can be saved again: a stored 39-byte password.
    StoreDocument("<lockSettings password=\"" + EncodePassword(std::string(39, 'p')) + "\"/>");
    ControllerSettings longest;
    ASSERT_TRUE(LoadSettings(longest));
    ASSERT_EQ(SaveSettings(longest), S_OK);
    ControllerSettings loaded;
    ASSERT_TRUE(LoadSettings(loaded));
    EXPECT_TRUE(loaded.password.Accepts(std::string(39, 'p')));

    // A NUL pair ends the password.
    StoreDocument("<lockSettings password=\"bgaacg\"/>");
    ASSERT_TRUE(LoadSettings(loaded));
    EXPECT_TRUE(loaded.password.Accepts("a"));

    // A hashed form that is not well made is refused like a bad child: it
    // would lock everyone out. The import keeps the document it has.
    const std::string before = StoredText();
    EXPECT_EQ(ImportSettingsText(u"<lockSettings active=\"N\" password=\"$pbkdf2-sha256$5$AAAA$AAAA\"/>"),
              ImportOutcome::BadElement);
    EXPECT_EQ(StoredText(), before);
}

TEST_F(SettingsDocument, ImportStoresOnlyWhatLoadsAndNeverCreatesAKey) {
    CreateKey(HKEY_LOCAL_MACHINE, kSettingsKeyPath);
    StoreDocument("<lockSettings errorPage=\"stored\"/>");
    const std::wstring file = TempPath(L"import-bad.xml");
    const struct {
        const char* bytes;
        ImportOutcome outcome;
    } refused[] = {
        {"<html><body>Not found", ImportOutcome::NotXml},
        {"", ImportOutcome::Unreadable},
        {"plain text", ImportOutcome::NotXml},
        {"<other/>", ImportOutcome::NoSettings},  // well-formed, but a load would change nothing
        {"<html xmlns=\"http://www.w3.org/1999/xhtml\"><body><h1>404 Not Found</h1></body></html>",
         ImportOutcome::NoSettings},
        {"<lockSettings><host name=\"a\"/><host/></lockSettings>", ImportOutcome::BadElement},  // no name
        {"<lockSettings><host name=\"a\"/>text</lockSettings>", ImportOutcome::BadElement},     // no element
    };
    for (const auto& c : refused) {
        WriteBytes(file, c.bytes);
        EXPECT_EQ(ImportSettingsFile(file), c.outcome) << c.bytes;
    }
    EXPECT_EQ(ImportSettingsFile(L""), ImportOutcome::Unreadable);
    EXPECT_EQ(ImportSettingsFile(TempPath(L"no-such-file.xml")), ImportOutcome::Unreadable);
    EXPECT_EQ(StoredText(), "<lockSettings errorPage=\"stored\"/>");

    // Larger than any settings document: refused unread.
    std::string huge = "<lockSettings errorPage=\"";
    huge.resize(kMaxSettingsTextBytes + 1, 'x');
    WriteBytes(file, huge);
    EXPECT_EQ(ImportSettingsFile(file), ImportOutcome::Unreadable);
    EXPECT_EQ(StoredText(), "<lockSettings errorPage=\"stored\"/>");

    WriteBytes(file, "<settings><lockSettings errorPage=\"nested\"/></settings>");
    EXPECT_EQ(ImportSettingsFile(file), ImportOutcome::Stored) << "lockSettings anywhere, as the load finds it";

    DeleteTree(HKEY_LOCAL_MACHINE, kSettingsKeyPath);
    WriteBytes(file, "<lockSettings/>");
    EXPECT_EQ(ImportSettingsFile(file), ImportOutcome::NotStored);
    qz_support::UniqueHkey key;
    EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_READ, key.put()), ERROR_SUCCESS);
    DeleteFileW(file.c_str());
}

TEST_F(SettingsDocument, ImportReadsLongFilesAcrossChunks) {
    CreateKey(HKEY_LOCAL_MACHINE, kSettingsKeyPath);
    std::string text = "<lockSettings>";
    for (int i = 0; i < 500; ++i) text += "<host name=\"site" + std::to_string(i) + ".example\"/>";
    text += "</lockSettings>";
    const std::wstring file = TempPath(L"import-long.xml");
    WriteBytes(file, text);
    ASSERT_EQ(ImportSettingsFile(file), ImportOutcome::Stored);
    ControllerSettings settings;
    ASSERT_TRUE(LoadSettings(settings));
    EXPECT_EQ(settings.hosts.size(), 500u);
    DeleteFileW(file.c_str());
}

TEST_F(SettingsDocument, ExportWritesTheUninstallEntryEvenWhenTheFileCannotBeCreated) {
    CreateKey(HKEY_LOCAL_MACHINE, kUninstallKeyPath);
    ControllerSettings settings;
    settings.prohibitUninstall = true;
    settings.recentRefused.push_back("x");
    EXPECT_EQ(SaveSettings(settings, std::wstring(L"Z:\\no\\such\\folder\\export.xml")),
              HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(ReadUninstallEntry(), true);
    EXPECT_TRUE(settings.recentRefused.empty());
}

}  // namespace
}  // namespace sentrel

// Settings documents from an attacker or a broken server, through the real
// reader under Wine's MSXML: each one is applied exactly or rejected with the
// record, the stored document and the uninstall entry untouched, in bounded
// time. Then thousands of documents mutated from valid ones, each checked
// against a second reading of the same text by another route through the DOM.
#include "settings/dom.h"
#include "settings/password_encoding.h"
#include "settings/registry_store.h"
#include "settings/settings_document.h"
#include "settings/settings_import.h"
#include "settings/settings_store.h"
#include "tests/wine/figures.h"
#include "tests/wine/store_sandbox.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace sentrel {
namespace {

using dom::ComPtr;
using testing::CreateKey;

// What a load can change, compared field by field.
struct Snapshot {
    std::vector<std::string> hosts;
    SettingsPassword password;
    WideString errorPage;
    bool blockPopups, reverseOperation, prohibitUninstall, active;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(const ControllerSettings& settings) {
    Snapshot snapshot{{}, settings.password, settings.errorPage, settings.blockPopups, settings.reverseOperation,
                      settings.prohibitUninstall, settings.active};
    for (const std::string_view entry : settings.hosts) snapshot.hosts.emplace_back(entry);
    return snapshot;
}

void StoreWide(const WideString& text, DWORD type = REG_SZ, bool withNul = true) {
    const auto key = CreateKey(HKEY_CURRENT_USER, kSettingsKeyPath);
    const DWORD bytes = static_cast<DWORD>((text.size() + (withNul ? 1 : 0)) * sizeof(char16_t));
    RegSetValueExW(key.get(), nullptr, 0, type, reinterpret_cast<const BYTE*>(text.c_str()), bytes);
}

DWORD NoRemove() {
    DWORD value = 7, size = sizeof value;
    RegGetValueA(HKEY_LOCAL_MACHINE, kUninstallKeyPath, "NoRemove", RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

// Loads what is stored; a raised error counts as a rejection.
bool LoadStored(ControllerSettings& settings) {
    try {
        return LoadSettings(settings);
    } catch (const _com_error&) {
        return false;
    }
}

// The reading of a text by another route: the child collection by index and
// every attribute through the attribute map. Nothing when the controller
// must reject it.
std::optional<Snapshot> ReferenceReading(const WideString& text, const Snapshot& previous) {
    if (DeclaresDocumentType(text)) return std::nullopt;
    const ComPtr<IXMLDOMDocument> document = dom::CreateDocument();
    if (!dom::LoadXml(document, text)) return std::nullopt;
    const ComPtr<IXMLDOMNode> element = dom::GetItem(dom::GetElementsByTagName(document, L"lockSettings"), 0);
    if (!element) return std::nullopt;
    const ComPtr<IXMLDOMNamedNodeMap> attributes = dom::GetAttributes(element.get());
    const auto value = [&](const wchar_t* name) -> std::optional<WideString> {
        const ComPtr<IXMLDOMNode> attribute = dom::GetNamedItem(attributes, name);
        if (!attribute) return std::nullopt;
        return dom::GetNodeValue(attribute.get());
    };
    const auto yes = [&](const wchar_t* name, bool absent) {
        const std::optional<WideString> text = value(name);
        return text ? (*text == u"Y" || *text == u"y") : absent;
    };
    Snapshot reading{{}, {}, value(L"errorPage").value_or(WideString()), yes(L"blockPopups", true),
                     yes(L"reverseOperation", false), yes(L"prohibitUninstall", false),
                     yes(L"active", previous.active)};
    if (const std::optional<WideString> password = value(L"password")) {
        const std::optional<SettingsPassword> stored = SettingsPassword::FromStored(ToNarrow(*password));
        if (!stored) return std::nullopt;
        reading.password = *stored;
    }
    SiteList hosts;
    ComPtr<IXMLDOMNodeList> children;
    if (FAILED(element->get_childNodes(children.put()))) return std::nullopt;
    for (long i = 0;; ++i) {
        const ComPtr<IXMLDOMNode> child = dom::GetItem(children, i);
        if (!child) break;
        DOMNodeType type = NODE_INVALID;
        child->get_nodeType(&type);
        if (type != NODE_ELEMENT) return std::nullopt;
        const ComPtr<IXMLDOMNode> name = dom::GetNamedItem(dom::GetAttributes(child.get()), L"name");
        if (!name) return std::nullopt;
        hosts.Insert(ToNarrow(dom::GetNodeValue(name.get())));
    }
    for (const std::string_view entry : hosts) reading.hosts.emplace_back(entry);
    return reading;
}

using Clock = std::chrono::steady_clock;

class HostileSettings : public testing::StoreSandbox {
protected:
    void SetUp() override {
        StoreSandbox::SetUp();
        settings_.errorPage = u"http://kept/";
        settings_.hosts.Insert("kept");
        settings_.active = true;
    }
    ControllerSettings settings_;
};

TEST_F(HostileSettings, EachDocumentIsAppliedExactlyOrRejectedWithNothingLost) {
    const auto repeat = [](const std::string& part, size_t times) {
        std::string text;
        text.reserve(part.size() * times);
        for (size_t i = 0; i < times; ++i) text += part;
        return text;
    };
    std::string laughs = "<!DOCTYPE lolz [<!ENTITY lol0 \"lol\">";
    for (int i = 1; i < 10; ++i)
        laughs += "<!ENTITY lol" + std::to_string(i) + " \"" + repeat("&lol" + std::to_string(i - 1) + ";", 10) + "\">";
    laughs += "]><lockSettings prohibitUninstall=\"Y\" errorPage=\"&lol9;\"/>";
    const std::string megabyte(1 << 20, 'm');

    const struct {
        const char* what;
        WideString text;
        std::optional<Snapshot> applied;  // nothing: must be rejected
    } cases[] = {
        {"entity expansion", ToWide(laughs), std::nullopt},
        {"external entity",
         ToWide("<!DOCTYPE x [<!ENTITY ext SYSTEM \"http://127.0.0.1:1/x\">]>"
                "<lockSettings prohibitUninstall=\"Y\" errorPage=\"&ext;\"/>"),
         std::nullopt},
        {"external DTD",
         ToWide("<!DOCTYPE lockSettings SYSTEM \"http://127.0.0.1:1/settings.dtd\"><lockSettings prohibitUninstall=\"Y\"/>"),
         std::nullopt},
        {"doctype in lower case", ToWide("<!doctype lockSettings><lockSettings prohibitUninstall=\"Y\"/>"),
         std::nullopt},
        {"megabyte attribute", ToWide("<lockSettings errorPage=\"" + megabyte + "\"/>"),
         Snapshot{{}, {}, ToWide(megabyte), true, false, false, true}},
        {"megabyte name", ToWide("<lockSettings><host name=\"" + megabyte + "\"/></lockSettings>"),
         Snapshot{{megabyte}, {}, {}, true, false, false, true}},
        {"deep nesting",
         ToWide(repeat("<a>", 100000) + "<lockSettings prohibitUninstall=\"Y\"/>" + repeat("</a>", 100000)),
         std::nullopt},
        {"non-ASCII", u"<lockSettings errorPage=\"http://caf\u00e9/\"><host name=\"\u00fcber\"/></lockSettings>",
         Snapshot{{"\xfc" "ber"}, {}, u"http://caf\u00e9/", true, false, false, true}},
        {"lone surrogate", WideString(u"<lockSettings errorPage=\"a") + char16_t(0xD800) + u"b\"/>", std::nullopt},
    };
    CreateKey(HKEY_LOCAL_MACHINE, kUninstallKeyPath);
    for (const auto& c : cases) {
        WriteUninstallEntry(false);
        const Snapshot before = Take(settings_);
        StoreWide(c.text);
        const auto start = Clock::now();
        const bool loaded = LoadStored(settings_);
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        EXPECT_LT(elapsed, 5000) << c.what;
        if (c.applied) {
            EXPECT_TRUE(loaded) << c.what;
            EXPECT_TRUE(Take(settings_) == *c.applied) << c.what;
        } else if (loaded) {
            // The deep nesting and the lone surrogate may be read by a
            // library that accepts them; then exactly as written.
            EXPECT_TRUE(std::string(c.what) == "deep nesting" || std::string(c.what) == "lone surrogate") << c.what;
        } else {
            EXPECT_TRUE(Take(settings_) == before) << c.what;
            EXPECT_EQ(NoRemove(), 0u) << c.what << ": the uninstall entry was written";
        }
        settings_.errorPage = u"http://kept/";
        settings_.hosts.Clear();
        settings_.hosts.Insert("kept");
    }
}

TEST_F(HostileSettings, OnlyTextIsReadAndANulIsNotNeeded) {
    const WideString document = u"<lockSettings errorPage=\"http://new/\"/>";
    const Snapshot before = Take(settings_);
    StoreWide(document, REG_BINARY);
    EXPECT_FALSE(LoadStored(settings_));
    StoreWide(document, REG_EXPAND_SZ);
    EXPECT_FALSE(LoadStored(settings_));
    EXPECT_TRUE(Take(settings_) == before);
    StoreWide(document, REG_SZ, false);
    EXPECT_TRUE(LoadStored(settings_));
    EXPECT_EQ(settings_.errorPage, u"http://new/");
}

TEST_F(HostileSettings, AHundredMegabyteImportIsRefusedUnread) {
    CreateKey(HKEY_CURRENT_USER, kSettingsKeyPath);
    StoreWide(u"<lockSettings errorPage=\"stored\"/>");
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"huge-import.xml";
    {
        std::ofstream file(std::filesystem::path(path), std::ios::binary);
        file << "<lockSettings errorPage=\"";
        const std::string block(1 << 20, 'x');
        for (int i = 0; i < 100; ++i) file << block;
        file << "\"/>";
    }
    const auto start = Clock::now();
    EXPECT_EQ(ImportSettingsFile(path), ImportOutcome::Unreadable);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(), 2000);
    EXPECT_EQ(*ReadStoredDocument(), u"<lockSettings errorPage=\"stored\"/>");
    DeleteFileW(path.c_str());
}

// --- Documents mutated from valid ones ---------------------------------

std::string Mutate(std::string text, std::mt19937& random) {
    static const char* const kChildren[] = {"text", "<!--c-->", "<?pi x?>", "<![CDATA[x]]>", "<other name=\"z\"/>",
                                            "<host/>", "<host name=\"\"/>", "<host name=\"a&amp;b\"/>"};
    static const char* const kEntities[] = {"&#x41;", "&amp;", "&lt;", "&undefined;", "&#0;", "&#xD800;", "&#65;"};
    const auto at = [&](size_t size) { return size ? random() % size : 0; };
    switch (random() % 7) {
    case 0:  // flip a byte
        if (!text.empty()) text[at(text.size())] ^= static_cast<char>(1 << (random() % 8));
        break;
    case 1:  // cut short
        text.resize(at(text.size() + 1));
        break;
    case 2: {  // duplicate an attribute
        const size_t equals = text.find('=', at(text.size()));
        if (equals == std::string::npos) break;
        const size_t start = text.rfind(' ', equals);
        const size_t end = text.find('"', text.find('"', equals) + 1);
        if (start != std::string::npos && end != std::string::npos)
            text.insert(end + 1, text.substr(start, end + 1 - start));
        break;
    }
    case 3: {  // drop an attribute
        const size_t equals = text.find('=', at(text.size()));
        if (equals == std::string::npos) break;
        const size_t start = text.rfind(' ', equals);
        const size_t end = text.find('"', text.find('"', equals) + 1);
        if (start != std::string::npos && end != std::string::npos) text.erase(start, end + 1 - start);
        break;
    }
    case 4: {  // a child of another kind
        const size_t open = text.find('>');
        if (open != std::string::npos) text.insert(open + 1, kChildren[random() % 8]);
        break;
    }
    case 5: {  // an entity inside a value
        const size_t quote = text.find('"', at(text.size()));
        if (quote != std::string::npos) text.insert(quote + 1, kEntities[random() % 7]);
        break;
    }
    default:  // a document type in front
        text = (random() % 2 ? "<!DOCTYPE lockSettings [<!ENTITY e \"x\">]>" : "<!DOCTYPE lockSettings>") + text;
        break;
    }
    return text;
}

TEST_F(HostileSettings, MutatedDocumentsAreReadExactlyOrNotAtAll) {
    const char* const seeds[] = {
        "<lockSettings blockPopups=\"Y\" reverseOperation=\"N\" prohibitUninstall=\"N\" active=\"Y\" "
        "errorPage=\"http://intranet/refused.htm\"><host name=\"corp\"/><host name=\"news.example\"/></lockSettings>",
        "<lockSettings blockPopups=\"n\" reverseOperation=\"y\" active=\"N\" errorPage=\"\" password=\"bgcgdg\">"
        "<host name=\"games\"/><host name=\"casino.test\"/><host name=\"games\"/></lockSettings>",
        "<settings><lockSettings active=\"Y\"><host name=\"a\"/></lockSettings></settings>",
    };
    char configured[16] = {};
    const DWORD length = GetEnvironmentVariableA("SENTREL_ROBUSTNESS_RUNS", configured, sizeof configured);
    const int runs = length > 0 && length < sizeof configured ? std::atoi(configured) : 3000;
    std::mt19937 random(20261208);
    int applied = 0, rejected = 0;
    for (int run = 0; run < runs; ++run) {
        std::string text = seeds[random() % 3];
        for (int mutations = 1 + static_cast<int>(random() % 3); mutations > 0; --mutations) text = Mutate(text, random);
        const WideString wide = ToWide(text);
        const Snapshot before = Take(settings_);
        const std::optional<Snapshot> expected = ReferenceReading(wide, before);
        StoreWide(wide);
        const bool loaded = LoadStored(settings_);
        const Snapshot after = Take(settings_);
        if (expected) {
            ASSERT_TRUE(loaded) << text;
            ASSERT_TRUE(after == *expected) << text;
            ++applied;
        } else {
            ASSERT_TRUE(after == before) << text;
            ++rejected;
        }
    }
    testing::ReportFigure("Settings robustness: " + std::to_string(runs) + " mutated documents, " +
                          std::to_string(applied) + " applied exactly, " + std::to_string(rejected) +
                          " rejected with nothing changed");
}

}  // namespace
}  // namespace sentrel

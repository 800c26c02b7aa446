#include "settings/settings_document.h"

#include "settings/registry_store.h"
#include "support/unique_any.h"

#include <objbase.h>

#include <cstring>
#include <mutex>

#include <vector>

namespace sentrel {
namespace {

using dom::ComPtr;
using qz_support::ThrowIfFailed;

WideView Flag(bool value) { return value ? u"Y" : u"N"; }


void AttachAttribute(const ComPtr<IXMLDOMNamedNodeMap>& map, const ComPtr<IXMLDOMAttribute>& attribute,
                     WideView value) {
    dom::PutNodeValue(attribute.get(), value);
    dom::SetNamedItem(map, attribute.get());
}

std::optional<WideString> AttributeValue(const ComPtr<IXMLDOMNamedNodeMap>& map, const wchar_t* name) {
    const ComPtr<IXMLDOMNode> attribute = dom::GetNamedItem(map, name);
    if (!attribute) return std::nullopt;
    return dom::GetNodeValue(attribute.get());
}

// The serialiser may write UTF-16 (with or without byte-order mark) or UTF-8.
WideString DecodeSerialisation(const std::vector<unsigned char>& bytes) {
    const size_t size = bytes.size();
    if (size >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || bytes[1] == 0)) {
        const size_t skip = bytes[0] == 0xFF && bytes[1] == 0xFE ? 2 : 0;
        WideString text((size - skip) / 2, u'\0');
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<char16_t>(bytes[skip + 2 * i] | (bytes[skip + 2 * i + 1] << 8));
        return text;
    }
    const size_t skip = size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
    if (size == skip) return {};
    const char* start = reinterpret_cast<const char*>(bytes.data()) + skip;
    const int length = static_cast<int>(size - skip);
    const int needed = MultiByteToWideChar(CP_UTF8, 0, start, length, nullptr, 0);
    WideString text(static_cast<size_t>(needed), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, start, length, reinterpret_cast<wchar_t*>(text.data()), needed);
    return text;
}

// An XML declaration names the serialiser's encoding, which the 8-bit text no
// longer has; the reader needs none.
WideString WithoutDeclaration(WideString text) {
    if (text.rfind(u"<?xml", 0) != 0) return text;
    const size_t end = text.find(u"?>");
    if (end == WideString::npos) return text;
    size_t next = end + 2;
    while (next < text.size() && (text[next] == u'\r' || text[next] == u'\n')) ++next;
    return text.substr(next);
}

bool WriteFileBytes(const std::wstring& fileName, const std::string& bytes) {
    qz_support::UniqueFile file(
        CreateFileW(fileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// The file's text: read in chunks of at most 1023 bytes, each taken up to
// its first NUL byte, then converted from the system code page at once. A
// file that does not open gives an empty text; a file larger than a settings
// document can be gives nothing, unread.
}  // namespace

std::optional<WideString> ReadSettingsFileText(const std::wstring& path) {
    qz_support::UniqueFile file(
        CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return WideString();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > static_cast<LONGLONG>(kMaxSettingsTextBytes))
        return std::nullopt;
    std::string bytes;
    char chunk[kSettingsTextChunkBytes];
    DWORD read = 0;
    while (ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read > 0) bytes.append(chunk, read);
    return SettingsTextOfBytes(bytes);
}

WideString SettingsTextOfBytes(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (size_t at = 0; at < bytes.size(); at += kSettingsTextChunkBytes) {
        const std::string_view chunk = bytes.substr(at, kSettingsTextChunkBytes);
        text += chunk.substr(0, chunk.find('\0'));
    }
    return ToWide(text);
}

// The root itself when it is lockSettings (found at once), else the first
// one below it.
ComPtr<IXMLDOMNode> FindSettingsElement(const ComPtr<IXMLDOMDocument>& document) {
    if (const ComPtr<IXMLDOMElement> root = dom::GetDocumentElement(document)) {
        if (dom::GetNodeName(root.get()) == u"lockSettings") return root.query<IXMLDOMNode>();
    }
    return dom::GetItem(dom::GetElementsByTagName(document, L"lockSettings"), 0);
}

ComPtr<IXMLDOMDocument> BuildSettingsDocument(const ControllerSettings& settings) {
    const ComPtr<IXMLDOMDocument> document = dom::CreateDocument();
    const ComPtr<IXMLDOMElement> root = dom::CreateElement(document, L"lockSettings");
    const ComPtr<IXMLDOMAttribute> blockPopups = dom::CreateAttribute(document, L"blockPopups");
    const ComPtr<IXMLDOMAttribute> reverseOperation = dom::CreateAttribute(document, L"reverseOperation");
    const ComPtr<IXMLDOMAttribute> prohibitUninstall = dom::CreateAttribute(document, L"prohibitUninstall");
    const ComPtr<IXMLDOMAttribute> errorPage = dom::CreateAttribute(document, L"errorPage");
    const ComPtr<IXMLDOMAttribute> active = dom::CreateAttribute(document, L"active");
    dom::AppendChild(document.get(), root.get());

    const ComPtr<IXMLDOMNamedNodeMap> attributes = dom::GetAttributes(root.get());
    AttachAttribute(attributes, blockPopups, Flag(settings.blockPopups));
    AttachAttribute(attributes, reverseOperation, Flag(settings.reverseOperation));
    AttachAttribute(attributes, prohibitUninstall, Flag(settings.prohibitUninstall));
    AttachAttribute(attributes, active, Flag(settings.active));
    AttachAttribute(attributes, errorPage, settings.errorPage);
    // Written only when chosen, so a document of the substring rule reads
    // exactly as it did before the attribute existed.
    if (settings.hostMatching == HostMatching::Domain) {
        const ComPtr<IXMLDOMAttribute> hostMatching = dom::CreateAttribute(document, L"hostMatching");
        AttachAttribute(attributes, hostMatching, u"domain");
    }

    if (!settings.password.Empty()) {
        const ComPtr<IXMLDOMAttribute> password = dom::CreateAttribute(document, L"password");
        AttachAttribute(attributes, password, ToWide(settings.password.StoredForm()));
    }

    // The names made once, and one buffer for every entry's wide text: a
    // list may hold 100,000 entries.
    const dom::Name hostElement(L"host");
    const dom::Name nameAttribute(L"name");
    WideString wide;
    for (const std::string_view entry : settings.hosts) {
        const ComPtr<IXMLDOMElement> host = dom::CreateElement(document, hostElement);
        dom::AppendChild(root.get(), host.get());
        ToWide(entry, wide);
        dom::SetAttribute(host.get(), nameAttribute, wide);
    }
    return document;
}

std::optional<std::string> SerializeSettingsDocument(const ComPtr<IXMLDOMDocument>& document) {
    ComPtr<IStream> stream;
    ThrowIfFailed(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()));
    const ComPtr<IPersistStream> persist = document.query<IPersistStream>();
    if (FAILED(persist->Save(stream.get(), FALSE))) return std::nullopt;
    HGLOBAL memory = nullptr;
    if (FAILED(GetHGlobalFromStream(stream.get(), &memory))) return std::nullopt;
    STATSTG status{};
    if (FAILED(stream->Stat(&status, STATFLAG_NONAME))) return std::nullopt;
    const auto* bytes = static_cast<const unsigned char*>(GlobalLock(memory));
    if (!bytes) return std::nullopt;
    std::vector<unsigned char> copy(bytes, bytes + status.cbSize.QuadPart);
    GlobalUnlock(memory);
    return ToNarrow(WithoutDeclaration(DecodeSerialisation(copy)));
}

bool SaveSettings(ControllerSettings& settings, const std::optional<std::wstring>& fileName) {
    // A password read from the reversible form is hashed once, here, and
    // kept hashed: no later save writes the reversible form again.
    if (settings.password.StoredAs() == SettingsPassword::Form::Reversible)
        settings.password = *SettingsPassword::FromStored(settings.password.StoredForm());
    const ComPtr<IXMLDOMDocument> document = BuildSettingsDocument(settings);
    const std::optional<std::string> text = SerializeSettingsDocument(document);
    bool stored = false;
    if (text) {
        stored = fileName ? WriteFileBytes(*fileName, *text) : WriteStoredDocument(*text, true);
        WriteUninstallEntry(settings.prohibitUninstall);
    }
    settings.recentRefused.clear();
    return stored;
}

namespace {

// The fetched document that could not be stored, shared by the worker's
// thread (which fetches) and the main thread (which loads).
struct HeldDocument {
    std::mutex lock;
    std::optional<WideString> text;
};

HeldDocument& Held() {
    static HeldDocument* held = new HeldDocument;  // released with the process
    return *held;
}

void Hold(std::optional<WideString> text) {
    HeldDocument& held = Held();
    std::lock_guard<std::mutex> guard(held.lock);
    held.text = std::move(text);
}

StoredDocument HeldOrStoredDocument() {
    {
        HeldDocument& held = Held();
        std::lock_guard<std::mutex> guard(held.lock);
        if (held.text) return {StoredDocumentState::Present, *held.text};
    }
    return ReadStoredDocumentValue();
}

// The document's lockSettings element; null when the text is not XML or
// holds none. DOM failures raise.
ComPtr<IXMLDOMNode> ParseSettingsElement(const WideString& text) {
    const ComPtr<IXMLDOMDocument> document = dom::CreateDocument();
    if (!dom::LoadXml(document, text)) return {};
    return FindSettingsElement(document);
}

}  // namespace

bool LoadSettings(ControllerSettings& settings, bool* activeLoaded) {
    if (activeLoaded) *activeLoaded = false;
    const StoredDocument stored = HeldOrStoredDocument();
    if (stored.state != StoredDocumentState::Present) return false;
    const ComPtr<IXMLDOMNode> element = ParseSettingsElement(stored.text);
    if (!element) return false;
    const bool active = ApplySettingsDocument(element.get(), settings);
    if (activeLoaded) *activeLoaded = active;
    return true;
}

SettingsLoad LoadStoredSettings(ControllerSettings& settings, bool* activeLoaded) noexcept {
    if (activeLoaded) *activeLoaded = false;
    try {
        const StoredDocument stored = HeldOrStoredDocument();
        if (stored.state == StoredDocumentState::Absent ||
            (stored.state == StoredDocumentState::Present && stored.text.empty()))
            return SettingsLoad::NoDocument;
        if (stored.state == StoredDocumentState::Unreadable) return SettingsLoad::Unusable;
        const ComPtr<IXMLDOMNode> element = ParseSettingsElement(stored.text);
        if (!element) return SettingsLoad::Unusable;
        const bool active = ApplySettingsDocument(element.get(), settings);
        if (activeLoaded) *activeLoaded = active;
        return SettingsLoad::Applied;
    } catch (...) {
        return SettingsLoad::Unusable;
    }
}

WideString ErrorPageOfStoredDocument() noexcept {
    try {
        const StoredDocument stored = HeldOrStoredDocument();
        if (stored.state != StoredDocumentState::Present) return {};
        const ComPtr<IXMLDOMNode> element = ParseSettingsElement(stored.text);
        if (!element) return {};
        return AttributeValue(dom::GetAttributes(element.get()), L"errorPage").value_or(WideString());
    } catch (...) {
        return {};
    }
}

namespace {

// One child of lockSettings, for the shared reader.
struct MsxmlChild {
    const ComPtr<IXMLDOMNode>& node;
    const dom::Name& nameAttribute;
    std::optional<dom::AttributeText> NameOfElement() const {
        const ComPtr<IXMLDOMElement> element = node.try_query<IXMLDOMElement>();
        if (!element) return std::nullopt;
        return dom::GetAttributeText(element.get(), nameAttribute);
    }
};

// The lockSettings element, for the shared reader. Its own attributes come
// through the attribute map; its children by a walk of siblings, which takes
// linear time.
struct MsxmlSettingsElement {
    IXMLDOMNode* node;
    ComPtr<IXMLDOMNamedNodeMap> attributes;
    dom::Name nameAttribute{L"name"};  // made once for all the children

    std::optional<WideString> Attribute(const char* name) const {
        const std::wstring wide(name, name + std::strlen(name));
        return AttributeValue(attributes, wide.c_str());
    }
    template <typename Visit>
    void ForEachChild(Visit visit) const {
        for (ComPtr<IXMLDOMNode> child = dom::GetFirstChild(node); child; child = dom::GetNextSibling(child.get()))
            visit(MsxmlChild{child, nameAttribute});
    }
    [[noreturn]] void Reject() const { qz_support::RaiseComError(E_POINTER, nullptr); }
};

}  // namespace

SettingsReading ReadSettingsElement(IXMLDOMNode* element) {
    const MsxmlSettingsElement settings{element, dom::GetAttributes(element)};
    return ReadSettingsElementWith(settings);
}

bool ApplySettingsDocument(IXMLDOMNode* element, ControllerSettings& settings) {
    SettingsReading reading = ReadSettingsElement(element);

    // Everything was read: only now does anything change.
    if (reading.prohibitUninstall) WriteUninstallEntry(*reading.prohibitUninstall);
    const bool carriesActive = reading.active.has_value();
    TakeReading(std::move(reading), settings, [] { return ReadUninstallEntry().value_or(false); });
    return carriesActive;
}

bool ImportSettingsFile(const std::wstring& path, bool holdUnstored, bool* stored) {
    if (stored) *stored = false;
    if (path.empty()) return false;
    const std::optional<WideString> text = ReadSettingsFileText(path);
    return text && ImportSettingsText(*text, holdUnstored, stored);
}

bool ImportSettingsText(const WideString& text, bool holdUnstored, bool* stored) {
    if (stored) *stored = false;
    const ComPtr<IXMLDOMDocument> document = dom::CreateDocument();
    if (!dom::LoadXml(document, text)) return false;
    // A text that the next load would reject must not replace one that loads.
    const ComPtr<IXMLDOMNode> element = FindSettingsElement(document);
    if (!element) return false;
    try {
        ReadSettingsElement(element.get());
    } catch (const _com_error&) {
        return false;
    }
    if (WriteStoredDocument(ToNarrow(text), false)) {
        if (stored) *stored = true;
        Hold(std::nullopt);
        return true;
    }
    if (!holdUnstored) return false;
    Hold(text);
    return true;
}

}  // namespace sentrel

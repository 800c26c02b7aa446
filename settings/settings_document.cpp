#include "settings/settings_document.h"

#include "settings/registry_store.h"
#include "support/com_error.h"

#include <objbase.h>

#include <cstring>
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

}  // namespace


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

std::string SerializeSettingsDocument(const ComPtr<IXMLDOMDocument>& document) {
    ComPtr<IStream> stream;
    ThrowIfFailed(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()));
    const ComPtr<IPersistStream> persist = document.query<IPersistStream>();
    ThrowIfFailed(persist->Save(stream.get(), FALSE));
    HGLOBAL memory = nullptr;
    ThrowIfFailed(GetHGlobalFromStream(stream.get(), &memory));
    STATSTG status{};
    ThrowIfFailed(stream->Stat(&status, STATFLAG_NONAME));
    const auto* bytes = static_cast<const unsigned char*>(GlobalLock(memory));
    if (!bytes) qz_support::RaiseComError(E_OUTOFMEMORY, nullptr);
    std::vector<unsigned char> copy(bytes, bytes + status.cbSize.QuadPart);
    GlobalUnlock(memory);
    return ToNarrow(WithoutDeclaration(DecodeSerialisation(copy)));
}

// The document's lockSettings element; null when the text is not XML or
// holds none. DOM failures raise.
ComPtr<IXMLDOMNode> ParseSettingsElement(const WideString& text) {
    const ComPtr<IXMLDOMDocument> document = dom::CreateDocument();
    if (!dom::LoadXml(document, text)) return {};
    return FindSettingsElement(document);
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

WideString ErrorPageOf(IXMLDOMNode* element) {
    return AttributeValue(dom::GetAttributes(element), L"errorPage").value_or(WideString());
}

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

}  // namespace sentrel

#include "settings/dom.h"

#include "settings/settings_reading.h"

#include <algorithm>

#include "support/entry_points.h"
#include "support/unique_any.h"
#include "support/unique_variant.h"

#include <ole2.h>

#include <string>

namespace sentrel::dom {
namespace {

using qz_support::CheckPointer;
using qz_support::ThrowIfFailed;
using qz_support::UniqueBstr;

UniqueBstr MakeBstr(WideView text) {
    UniqueBstr bstr(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size())));
    if (!bstr) qz_support::RaiseComError(E_OUTOFMEMORY, nullptr);
    return bstr;
}

UniqueBstr MakeBstr(const wchar_t* text) {
    return MakeBstr(AsWideView(text));
}

WideString FromBstr(BSTR text) {
    return WideString(AsWideView(std::wstring_view(text, SysStringLen(text))));
}

using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

// MSXML 6 from the system folder, by its full path, and its class object
// taken from the library itself: COM's own lookup would honour a class
// entry that the user wrote under HKCU\Software\Classes, and with it any
// library the user chose as the settings parser. Loaded once, kept for the
// life of the process.
GetClassObject DomClassObjectEntry() {
    static const GetClassObject entry = []() -> GetClassObject {
        wchar_t folder[MAX_PATH] = {};
        const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return nullptr;
        const std::wstring path = std::wstring(folder) + L"\\msxml6.dll";
        const HMODULE library = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (!library) return nullptr;
        return reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
    }();
    return entry;
}

}  // namespace

ComPtr<IXMLDOMDocument> CreateDocument() {
    qz_support::SetNextCreateCLSID(kDomDocumentClsid);
    const GetClassObject entry = DomClassObjectEntry();
    if (!entry) qz_support::RaiseComError(REGDB_E_CLASSNOTREG, nullptr);
    ComPtr<IClassFactory> factory;
    ThrowIfFailed(entry(kDomDocumentClsid, IID_IClassFactory, factory.put_void()));
    ComPtr<IUnknown> object;
    ThrowIfFailed(factory->CreateInstance(nullptr, IID_IUnknown, object.put_void()));
    ThrowIfFailed(OleRun(object.get()));
    ComPtr<IXMLDOMDocument> document;
    const HRESULT hr = object->QueryInterface(__uuidof(IXMLDOMDocument), document.put_void());
    if (hr != E_NOINTERFACE) ThrowIfFailed(hr);
    return document;
}

Name::Name(const wchar_t* name) : name_(MakeBstr(name)) {}

ComPtr<IXMLDOMElement> CreateElement(const ComPtr<IXMLDOMDocument>& document, const wchar_t* name) {
    return CreateElement(document, Name(name));
}

ComPtr<IXMLDOMElement> CreateElement(const ComPtr<IXMLDOMDocument>& document, const Name& name) {
    ComPtr<IXMLDOMElement> element;
    ThrowIfFailed(document->createElement(name.get(), element.put()), document.get());
    return element;
}

ComPtr<IXMLDOMAttribute> CreateAttribute(const ComPtr<IXMLDOMDocument>& document, const wchar_t* name) {
    return CreateAttribute(document, Name(name));
}

ComPtr<IXMLDOMAttribute> CreateAttribute(const ComPtr<IXMLDOMDocument>& document, const Name& name) {
    ComPtr<IXMLDOMAttribute> attribute;
    ThrowIfFailed(document->createAttribute(name.get(), attribute.put()), document.get());
    return attribute;
}

ComPtr<IXMLDOMNodeList> GetElementsByTagName(const ComPtr<IXMLDOMDocument>& document, const wchar_t* name) {
    ComPtr<IXMLDOMNodeList> list;
    ThrowIfFailed(document->getElementsByTagName(MakeBstr(name).get(), list.put()), document.get());
    return list;
}

bool LoadXml(const ComPtr<IXMLDOMDocument>& document, WideView text) {
    // A document type declaration is how entity expansion ("billion laughs")
    // and external entities get in; settings never need one.
    if (DeclaresDocumentType(text)) return false;
    // Nothing is fetched or validated while parsing. Libraries that do not
    // know a setting keep their own (safe) default.
    CheckPointer(document.get())->put_resolveExternals(VARIANT_FALSE);
    document->put_validateOnParse(VARIANT_FALSE);
    if (const ComPtr<IXMLDOMDocument2> settable = document.try_query<IXMLDOMDocument2>()) {
        VARIANT prohibit;
        VariantInit(&prohibit);
        V_VT(&prohibit) = VT_BOOL;
        V_BOOL(&prohibit) = VARIANT_TRUE;
        settable->setProperty(MakeBstr(L"ProhibitDTD").get(), prohibit);
    }
    VARIANT_BOOL loaded = VARIANT_FALSE;
    ThrowIfFailed(document->loadXML(MakeBstr(text).get(), &loaded), document.get());
    return loaded == VARIANT_TRUE;
}

WideString GetNodeValue(IXMLDOMNode* node) {
    qz_support::UniqueVariant value;
    ThrowIfFailed(CheckPointer(node)->get_nodeValue(value.put()), node);
    if (V_VT(&value.get()) == VT_BSTR) return FromBstr(V_BSTR(&value.get()));
    qz_support::UniqueVariant asText;
    ThrowIfFailed(VariantChangeType(asText.put(), const_cast<VARIANT*>(&value.get()), 0, VT_BSTR));
    return FromBstr(V_BSTR(&asText.get()));
}

std::optional<WideString> GetAttribute(IXMLDOMElement* element, const wchar_t* name) {
    return GetAttribute(element, Name(name));
}

std::optional<WideString> GetAttribute(IXMLDOMElement* element, const Name& name) {
    const std::optional<AttributeText> text = GetAttributeText(element, name);
    if (!text) return std::nullopt;
    return WideString(text->view());
}

WideView AttributeText::view() const {
    const BSTR text = V_BSTR(&value_.get());
    return WideView(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

std::optional<AttributeText> GetAttributeText(IXMLDOMElement* element, const Name& name) {
    qz_support::UniqueVariant value;
    const HRESULT hr = ThrowIfFailed(CheckPointer(element)->getAttribute(name.get(), value.put()), element);
    if (hr != S_OK || V_VT(&value.get()) == VT_NULL) return std::nullopt;
    if (V_VT(&value.get()) == VT_BSTR) return AttributeText(std::move(value));
    qz_support::UniqueVariant asText;
    ThrowIfFailed(VariantChangeType(asText.put(), const_cast<VARIANT*>(&value.get()), 0, VT_BSTR));
    return AttributeText(std::move(asText));
}

void SetAttribute(IXMLDOMElement* element, const Name& name, WideView value) {
    VARIANT text;
    VariantInit(&text);
    V_VT(&text) = VT_BSTR;
    UniqueBstr owned = MakeBstr(value);
    V_BSTR(&text) = owned.get();
    ThrowIfFailed(CheckPointer(element)->setAttribute(name.get(), text), element);
}

ComPtr<IXMLDOMElement> GetDocumentElement(const ComPtr<IXMLDOMDocument>& document) {
    ComPtr<IXMLDOMElement> element;
    ThrowIfFailed(CheckPointer(document.get())->get_documentElement(element.put()), document.get());
    return element;
}

WideString GetNodeName(IXMLDOMNode* node) {
    qz_support::UniqueBstr name;
    ThrowIfFailed(CheckPointer(node)->get_nodeName(name.put()), node);
    return FromBstr(name.get());
}

void PutNodeValue(IXMLDOMNode* node, WideView value) {
    VARIANT text;
    VariantInit(&text);
    V_VT(&text) = VT_BSTR;
    UniqueBstr owned = MakeBstr(value);
    V_BSTR(&text) = owned.get();
    ThrowIfFailed(CheckPointer(node)->put_nodeValue(text), node);
}

ComPtr<IXMLDOMNode> GetFirstChild(IXMLDOMNode* node) {
    ComPtr<IXMLDOMNode> child;
    ThrowIfFailed(CheckPointer(node)->get_firstChild(child.put()), node);
    return child;
}

ComPtr<IXMLDOMNode> GetNextSibling(IXMLDOMNode* node) {
    ComPtr<IXMLDOMNode> sibling;
    ThrowIfFailed(CheckPointer(node)->get_nextSibling(sibling.put()), node);
    return sibling;
}

ComPtr<IXMLDOMNamedNodeMap> GetAttributes(IXMLDOMNode* node) {
    ComPtr<IXMLDOMNamedNodeMap> map;
    ThrowIfFailed(CheckPointer(node)->get_attributes(map.put()), node);
    return map;
}

void AppendChild(IXMLDOMNode* parent, IXMLDOMNode* child) {
    ComPtr<IXMLDOMNode> added;
    ThrowIfFailed(CheckPointer(parent)->appendChild(child, added.put()), parent);
}

ComPtr<IXMLDOMNode> GetItem(const ComPtr<IXMLDOMNodeList>& list, long index) {
    ComPtr<IXMLDOMNode> node;
    ThrowIfFailed(list->get_item(index, node.put()), list.get());
    return node;
}

ComPtr<IXMLDOMNode> GetNamedItem(const ComPtr<IXMLDOMNamedNodeMap>& map, const wchar_t* name) {
    ComPtr<IXMLDOMNode> node;
    ThrowIfFailed(map->getNamedItem(MakeBstr(name).get(), node.put()), map.get());
    return node;
}

void SetNamedItem(const ComPtr<IXMLDOMNamedNodeMap>& map, IXMLDOMNode* node) {
    ComPtr<IXMLDOMNode> previous;
    ThrowIfFailed(map->setNamedItem(node, previous.put()), map.get());
}

}  // namespace sentrel::dom

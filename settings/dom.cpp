#include "settings/dom.h"

#include "support/entry_points.h"
#include "support/unique_any.h"
#include "support/unique_variant.h"

#include <ole2.h>

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

}  // namespace

ComPtr<IXMLDOMDocument> CreateDocument() {
    qz_support::SetNextCreateCLSID(kDomDocumentClsid);
    ComPtr<IUnknown> object;
    ThrowIfFailed(CoCreateInstance(kDomDocumentClsid, nullptr, CLSCTX_ALL, IID_IUnknown, object.put_void()));
    ThrowIfFailed(OleRun(object.get()));
    ComPtr<IXMLDOMDocument> document;
    const HRESULT hr = object->QueryInterface(__uuidof(IXMLDOMDocument), document.put_void());
    if (hr != E_NOINTERFACE) ThrowIfFailed(hr);
    return document;
}

ComPtr<IXMLDOMElement> CreateElement(const ComPtr<IXMLDOMDocument>& document, const wchar_t* name) {
    ComPtr<IXMLDOMElement> element;
    ThrowIfFailed(document->createElement(MakeBstr(name).get(), element.put()), document.get());
    return element;
}

ComPtr<IXMLDOMAttribute> CreateAttribute(const ComPtr<IXMLDOMDocument>& document, const wchar_t* name) {
    ComPtr<IXMLDOMAttribute> attribute;
    ThrowIfFailed(document->createAttribute(MakeBstr(name).get(), attribute.put()), document.get());
    return attribute;
}

ComPtr<IXMLDOMNodeList> GetElementsByTagName(const ComPtr<IXMLDOMDocument>& document, const wchar_t* name) {
    ComPtr<IXMLDOMNodeList> list;
    ThrowIfFailed(document->getElementsByTagName(MakeBstr(name).get(), list.put()), document.get());
    return list;
}

bool LoadXml(const ComPtr<IXMLDOMDocument>& document, WideView text) {
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

void PutNodeValue(IXMLDOMNode* node, WideView value) {
    VARIANT text;
    VariantInit(&text);
    V_VT(&text) = VT_BSTR;
    UniqueBstr owned = MakeBstr(value);
    V_BSTR(&text) = owned.get();
    ThrowIfFailed(CheckPointer(node)->put_nodeValue(text), node);
}

ComPtr<IXMLDOMNodeList> GetChildNodes(IXMLDOMNode* node) {
    ComPtr<IXMLDOMNodeList> list;
    ThrowIfFailed(CheckPointer(node)->get_childNodes(list.put()), node);
    return list;
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

ComPtr<IEnumVARIANT> NewEnum(const ComPtr<IXMLDOMNodeList>& list) {
    ComPtr<IUnknown> unknown;
    ThrowIfFailed(list->get__newEnum(unknown.put()), list.get());
    return unknown.query<IEnumVARIANT>();
}

std::optional<ComPtr<IUnknown>> Next(const ComPtr<IEnumVARIANT>& enumerator) {
    qz_support::UniqueVariant item;
    ULONG fetched = 0;
    const HRESULT hr = ThrowIfFailed(enumerator->Next(1, item.put(), &fetched), enumerator.get());
    if (hr != S_OK || fetched == 0) return std::nullopt;
    const VARIANT& value = item.get();
    if (V_VT(&value) == VT_DISPATCH) return ComPtr<IUnknown>::Copy(V_DISPATCH(&value));
    if (V_VT(&value) == VT_UNKNOWN) return ComPtr<IUnknown>::Copy(V_UNKNOWN(&value));
    return ComPtr<IUnknown>();  // not an interface: a null node
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

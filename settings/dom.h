// A thin layer over the MSXML calls the settings document uses: one function
// per interface method, each raising a COM error when the call fails and
// E_POINTER when handed a null interface.
#pragma once

#include "settings/msxml.h"
#include "support/com_ptr.h"
#include "support/text.h"
#include "support/unique_any.h"
#include "support/unique_variant.h"

#include <optional>
#include <utility>

namespace sentrel::dom {

using qz_support::ComPtr;

// A new document from the DOM class: announced to the support library,
// created through the class object of msxml6.dll in the system folder (never
// through the registry's class entries), run, then asked for IXMLDOMDocument.
// E_NOINTERFACE gives a null document; any other failure raises.
ComPtr<IXMLDOMDocument> CreateDocument();

// A node name made into a BSTR once, for calls repeated with it: each call
// that takes the name as text makes a BSTR of its own.
class Name {
public:
    explicit Name(const wchar_t* name);
    BSTR get() const { return name_.get(); }

private:
    qz_support::UniqueBstr name_;
};

ComPtr<IXMLDOMElement> CreateElement(const ComPtr<IXMLDOMDocument>& document, const wchar_t* name);
ComPtr<IXMLDOMElement> CreateElement(const ComPtr<IXMLDOMDocument>& document, const Name& name);
ComPtr<IXMLDOMAttribute> CreateAttribute(const ComPtr<IXMLDOMDocument>& document, const wchar_t* name);
ComPtr<IXMLDOMAttribute> CreateAttribute(const ComPtr<IXMLDOMDocument>& document, const Name& name);
ComPtr<IXMLDOMNodeList> GetElementsByTagName(const ComPtr<IXMLDOMDocument>& document, const wchar_t* name);
// True when the text was well-formed and is now the document's content. A
// text that declares a document type is refused unparsed; external
// resources are never resolved.
bool LoadXml(const ComPtr<IXMLDOMDocument>& document, WideView text);


WideString GetNodeValue(IXMLDOMNode* node);
void PutNodeValue(IXMLDOMNode* node, WideView value);
// The first child and the next sibling; null when there is none. Walking a
// node's children this way takes linear time, where enumerating its child
// collection one item at a time does not under every DOM library.
ComPtr<IXMLDOMNode> GetFirstChild(IXMLDOMNode* node);
ComPtr<IXMLDOMNode> GetNextSibling(IXMLDOMNode* node);
ComPtr<IXMLDOMNamedNodeMap> GetAttributes(IXMLDOMNode* node);
// An element's attribute value as text; nothing when the element has no
// such attribute. Faster than the attribute map for one attribute.
std::optional<WideString> GetAttribute(IXMLDOMElement* element, const wchar_t* name);
std::optional<WideString> GetAttribute(IXMLDOMElement* element, const Name& name);

// The same text as the DOM gave it, in the BSTR it came in: read without a
// copy of its own.
class AttributeText {
public:
    explicit AttributeText(qz_support::UniqueVariant value) : value_(std::move(value)) {}
    WideView view() const;
    operator WideView() const { return view(); }

private:
    qz_support::UniqueVariant value_;  // VT_BSTR
};
std::optional<AttributeText> GetAttributeText(IXMLDOMElement* element, const Name& name);
// Gives the element the attribute with this text value, as creating the
// attribute, setting its value and adding it to the element's attributes
// would: in one call.
void SetAttribute(IXMLDOMElement* element, const Name& name, WideView value);
// The document's root element (null when there is none) and a node's name.
ComPtr<IXMLDOMElement> GetDocumentElement(const ComPtr<IXMLDOMDocument>& document);
WideString GetNodeName(IXMLDOMNode* node);
void AppendChild(IXMLDOMNode* parent, IXMLDOMNode* child);

ComPtr<IXMLDOMNode> GetItem(const ComPtr<IXMLDOMNodeList>& list, long index);  // null past the end

ComPtr<IXMLDOMNode> GetNamedItem(const ComPtr<IXMLDOMNamedNodeMap>& map, const wchar_t* name);  // null if absent
void SetNamedItem(const ComPtr<IXMLDOMNamedNodeMap>& map, IXMLDOMNode* node);

}  // namespace sentrel::dom

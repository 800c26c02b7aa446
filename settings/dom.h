// A thin layer over the MSXML calls the settings document uses: one function
// per interface method, each raising a COM error when the call fails and
// E_POINTER when handed a null interface.
#pragma once

#include "settings/msxml.h"
#include "support/com_ptr.h"
#include "support/text.h"

#include <optional>

namespace sentrel::dom {

using qz_support::ComPtr;

// A new document from the DOM class: announced to the support library,
// created through the class object of msxml6.dll in the system folder (never
// through the registry's class entries), run, then asked for IXMLDOMDocument.
// E_NOINTERFACE gives a null document; any other failure raises.
ComPtr<IXMLDOMDocument> CreateDocument();

ComPtr<IXMLDOMElement> CreateElement(const ComPtr<IXMLDOMDocument>& document, const wchar_t* name);
ComPtr<IXMLDOMAttribute> CreateAttribute(const ComPtr<IXMLDOMDocument>& document, const wchar_t* name);
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
// The document's root element (null when there is none) and a node's name.
ComPtr<IXMLDOMElement> GetDocumentElement(const ComPtr<IXMLDOMDocument>& document);
WideString GetNodeName(IXMLDOMNode* node);
void AppendChild(IXMLDOMNode* parent, IXMLDOMNode* child);

ComPtr<IXMLDOMNode> GetItem(const ComPtr<IXMLDOMNodeList>& list, long index);  // null past the end

ComPtr<IXMLDOMNode> GetNamedItem(const ComPtr<IXMLDOMNamedNodeMap>& map, const wchar_t* name);  // null if absent
void SetNamedItem(const ComPtr<IXMLDOMNamedNodeMap>& map, IXMLDOMNode* node);

}  // namespace sentrel::dom

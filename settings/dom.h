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
// created (context CLSCTX_ALL), run, then asked for IXMLDOMDocument.
// E_NOINTERFACE gives a null document; any other failure raises.
ComPtr<IXMLDOMDocument> CreateDocument();

ComPtr<IXMLDOMElement> CreateElement(const ComPtr<IXMLDOMDocument>& document, const wchar_t* name);
ComPtr<IXMLDOMAttribute> CreateAttribute(const ComPtr<IXMLDOMDocument>& document, const wchar_t* name);
ComPtr<IXMLDOMNodeList> GetElementsByTagName(const ComPtr<IXMLDOMDocument>& document, const wchar_t* name);
// True when the text was well-formed and is now the document's content.
bool LoadXml(const ComPtr<IXMLDOMDocument>& document, WideView text);

WideString GetNodeValue(IXMLDOMNode* node);
void PutNodeValue(IXMLDOMNode* node, WideView value);
ComPtr<IXMLDOMNodeList> GetChildNodes(IXMLDOMNode* node);
ComPtr<IXMLDOMNamedNodeMap> GetAttributes(IXMLDOMNode* node);
void AppendChild(IXMLDOMNode* parent, IXMLDOMNode* child);

ComPtr<IXMLDOMNode> GetItem(const ComPtr<IXMLDOMNodeList>& list, long index);  // null past the end
ComPtr<IEnumVARIANT> NewEnum(const ComPtr<IXMLDOMNodeList>& list);
// The next node of the enumeration; nothing at the end.
std::optional<ComPtr<IUnknown>> Next(const ComPtr<IEnumVARIANT>& enumerator);

ComPtr<IXMLDOMNode> GetNamedItem(const ComPtr<IXMLDOMNamedNodeMap>& map, const wchar_t* name);  // null if absent
void SetNamedItem(const ComPtr<IXMLDOMNamedNodeMap>& map, IXMLDOMNode* node);

}  // namespace sentrel::dom

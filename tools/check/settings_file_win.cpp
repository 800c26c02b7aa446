// The Windows build: the controller's own import text, MSXML and reader.
#include "tools/check/settings_file.h"

#include "settings/dom.h"
#include "settings/settings_document.h"
#include "settings/settings_file_text.h"

namespace sentrel::check {

SettingsFile LoadSettingsFile(const std::string& path) {
    SettingsFile file;
    const std::wstring windowsPath = ToWindowsWide(path);
    if (GetFileAttributesW(windowsPath.c_str()) == INVALID_FILE_ATTRIBUTES) return file;
    const std::optional<WideString> text = ReadSettingsFileText(windowsPath);
    if (const std::optional<Verdict> refused = RefusedUnparsed(text)) {
        file.verdict = *refused;
        return file;
    }
    const dom::ComPtr<IXMLDOMDocument> document = dom::CreateDocument();
    if (!dom::LoadXml(document, *text)) {
        file.verdict = Verdict::NotWellFormed;
        return file;
    }
    const dom::ComPtr<IXMLDOMNode> element = FindSettingsElement(document);
    if (!element) {
        file.verdict = Verdict::NoLockSettings;
        return file;
    }
    const dom::ComPtr<IXMLDOMNamedNodeMap> attributes = dom::GetAttributes(element.get());
    long count = 0;
    attributes->get_length(&count);
    for (long i = 0; i < count; ++i) {
        dom::ComPtr<IXMLDOMNode> attribute;
        if (FAILED(attributes->get_item(i, attribute.put())) || !attribute) continue;
        file.attributes.emplace_back(ToNarrow(dom::GetNodeName(attribute.get())), dom::GetNodeValue(attribute.get()));
    }
    for (dom::ComPtr<IXMLDOMNode> child = dom::GetFirstChild(element.get()); child;
         child = dom::GetNextSibling(child.get())) {
        if (const auto childElement = child.try_query<IXMLDOMElement>())
            if (const auto name = dom::GetAttribute(childElement.get(), L"name")) file.entries.push_back(ToNarrow(*name));
    }
    try {
        file.reading = ReadSettingsElement(element.get());
        file.verdict = Verdict::Loaded;
    } catch (const _com_error&) {
        file.verdict = RejectedVerdict(file);
    }
    return file;
}

}  // namespace sentrel::check

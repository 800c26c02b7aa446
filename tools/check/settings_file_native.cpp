// The native build: the import's reading rules, libxml2 for the parse and
// the controller's own reader. libxml2 is told to fetch nothing and expand
// no entities; whitespace between elements is dropped, as MSXML drops it.
#include "tools/check/settings_file.h"

#include "settings/settings_limits.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <fstream>
#include <iterator>
#include <memory>

namespace sentrel::check {
namespace {

// libxml2 hands out well-formed UTF-8.
WideString FromUtf8(const xmlChar* text) {
    if (!text) return {};
    return Utf16Of(CodePointsOfUtf8(reinterpret_cast<const char*>(text)).value_or(std::u32string()));
}

// The name as a DOM shows it: with its prefix.
std::string QualifiedName(const xmlChar* name, const xmlNs* ns) {
    std::string qualified = ns && ns->prefix ? std::string(reinterpret_cast<const char*>(ns->prefix)) + ":" : "";
    return qualified + reinterpret_cast<const char*>(name);
}

std::optional<WideString> Property(const xmlNode* node, const char* name) {
    for (const xmlAttr* attribute = node->properties; attribute; attribute = attribute->next) {
        if (QualifiedName(attribute->name, attribute->ns) != name) continue;
        xmlChar* value = xmlNodeListGetString(node->doc, attribute->children, 1);
        WideString text = value ? FromUtf8(value) : WideString();
        xmlFree(value);
        return text;
    }
    return std::nullopt;
}

bool IsBlank(const xmlNode* node) {
    if (node->type != XML_TEXT_NODE) return false;
    for (const xmlChar* p = node->content; p && *p; ++p)
        if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') return false;
    return true;
}

struct LibxmlChild {
    const xmlNode* node;
    std::optional<WideString> NameOfElement() const {
        if (node->type != XML_ELEMENT_NODE) return std::nullopt;
        return Property(node, "name");
    }
};

struct LibxmlSettingsElement {
    const xmlNode* node;
    std::optional<WideString> Attribute(const char* name) const { return Property(node, name); }
    template <typename Visit>
    void ForEachChild(Visit visit) const {
        for (const xmlNode* child = node->children; child; child = child->next)
            if (!IsBlank(child)) visit(LibxmlChild{child});
    }
    struct Rejected {};
    [[noreturn]] void Reject() const { throw Rejected{}; }
};

// The first lockSettings element in document order.
const xmlNode* FindSettingsElement(const xmlNode* node) {
    for (; node; node = node->next) {
        if (node->type != XML_ELEMENT_NODE) continue;
        if (QualifiedName(node->name, node->ns) == "lockSettings") return node;
        if (const xmlNode* found = FindSettingsElement(node->children)) return found;
    }
    return nullptr;
}

// The file's text as the import reads it: chunks of 1023 bytes, each up to
// its first NUL, in the system code page.
std::optional<WideString> ReadText(const std::string& path, bool& opened) {
    std::ifstream file(path, std::ios::binary);
    opened = static_cast<bool>(file);
    if (!opened) return WideString();
    file.seekg(0, std::ios::end);
    if (static_cast<size_t>(file.tellg()) > kMaxSettingsTextBytes) return std::nullopt;
    file.seekg(0);
    std::string bytes;
    char chunk[1023];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        const std::string_view text(chunk, static_cast<size_t>(file.gcount()));
        bytes += text.substr(0, text.find('\0'));
    }
    return ToWide(bytes);
}

}  // namespace

SettingsFile LoadSettingsFile(const std::string& path) {
    SettingsFile file;
    bool opened = false;
    const std::optional<WideString> text = ReadText(path, opened);
    if (!opened) return file;
    if (const std::optional<Verdict> refused = RefusedUnparsed(text)) {
        file.verdict = *refused;
        return file;
    }
    // The code page's characters are all of the Basic Multilingual Plane.
    const std::string utf8 = Utf8Of(CodePointsOfUtf16(*text).value_or(std::u32string()));
    const std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> document(
        xmlReadMemory(utf8.data(), static_cast<int>(utf8.size()), "settings.xml", "UTF-8",
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
        xmlFreeDoc);
    if (!document || utf8.empty()) {
        file.verdict = Verdict::NotWellFormed;
        return file;
    }
    const xmlNode* element = FindSettingsElement(xmlDocGetRootElement(document.get()));
    if (!element) {
        file.verdict = Verdict::NoLockSettings;
        return file;
    }
    for (const xmlAttr* attribute = element->properties; attribute; attribute = attribute->next) {
        const std::string name = QualifiedName(attribute->name, attribute->ns);
        file.attributes.emplace_back(name, Property(element, name.c_str()).value_or(WideString()));
    }
    const LibxmlSettingsElement settings{element};
    settings.ForEachChild([&](const LibxmlChild& child) {
        if (const auto name = child.NameOfElement()) file.entries.push_back(ToNarrow(*name));
    });
    try {
        file.reading = ReadSettingsElementWith(settings);
        file.verdict = Verdict::Loaded;
    } catch (const LibxmlSettingsElement::Rejected&) {
        file.verdict = RejectedVerdict(file);
    }
    return file;
}

}  // namespace sentrel::check

// How one lockSettings element reads, whatever XML library parsed it: the
// controller reads through MSXML, the policy checker's native build through
// libxml2; both run this code.
#pragma once

#include "settings/controller_settings.h"
#include "settings/settings_password.h"
#include "settings/site_list.h"
#include "support/ascii.h"
#include "support/text.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

// What one lockSettings element says, read completely.
struct SettingsReading {
    SiteList hosts;
    SettingsPassword password;
    WideString errorPage;
    bool blockPopups = true;
    bool reverseOperation = false;
    HostMatching hostMatching = HostMatching::Substring;
    std::optional<bool> prohibitUninstall;  // absent: taken from the uninstall entry
    std::optional<bool> active;             // absent: unchanged
};

// The attributes the reader knows.
inline constexpr const char* kSettingsAttributes[] = {"blockPopups", "reverseOperation", "prohibitUninstall",
                                                      "active",      "errorPage",        "password",
                                                      "hostMatching"};

// Whether the text holds "<!DOCTYPE" in any letter case: such a document is
// refused unparsed (entity expansion and external entities get in that way).
inline bool DeclaresDocumentType(WideView text) {
    for (size_t at = text.find(u"<!"); at != WideView::npos; at = text.find(u"<!", at + 2)) {
        if (StartsWithIgnoringAsciiCase(text.substr(at), "<!DOCTYPE")) return true;
    }
    return false;
}

// A flag is on exactly when its value is "Y" in either case.
inline bool IsYes(const WideString& value) { return value == u"Y" || value == u"y"; }

// "hostMatching": "domain" in any letter case chooses whole-host matching;
// anything else, and no value, keeps the substring rule.
inline HostMatching ReadHostMatching(const std::optional<WideString>& value) {
    const bool domain = value && value->size() == 6 && StartsWithIgnoringAsciiCase(WideView(*value), "domain");
    return domain ? HostMatching::Domain : HostMatching::Substring;
}

// `Element` offers Attribute(const char* name) -> std::optional<WideString>,
// ForEachChild(f) calling f with each child in document order, a child's
// NameOfElement() -> an optional text that converts to WideView (nothing
// when the child is not an element or has no name), and a [[noreturn]]
// Reject() for such a child. The whole element is read before the caller
// changes anything.
template <typename Element>
SettingsReading ReadSettingsElementWith(const Element& element) {
    const auto flag = [&](const char* name) -> std::optional<bool> {
        if (const std::optional<WideString> value = element.Attribute(name)) return IsYes(*value);
        return std::nullopt;
    };
    SettingsReading reading;
    reading.blockPopups = flag("blockPopups").value_or(true);
    reading.reverseOperation = flag("reverseOperation").value_or(false);
    reading.hostMatching = ReadHostMatching(element.Attribute("hostMatching"));
    reading.prohibitUninstall = flag("prohibitUninstall");
    reading.errorPage = element.Attribute("errorPage").value_or(WideString());
    reading.active = flag("active");
    if (const std::optional<WideString> stored = element.Attribute("password")) {
        std::optional<SettingsPassword> password = SettingsPassword::FromStored(ToNarrow(*stored));
        if (!password) element.Reject();  // a broken hash would lock everyone out
        reading.password = std::move(*password);
    }
    // The names are gathered in one block of text and join the list at once,
    // sorted together: a list may hold 100,000.
    std::string names, narrow;
    std::vector<size_t> ends;
    element.ForEachChild([&](const auto& child) {
        const auto name = child.NameOfElement();
        if (!name) element.Reject();
        ToNarrow(WideView(*name), narrow);
        names += narrow;
        ends.push_back(names.size());
    });
    std::vector<std::string_view> entries;
    entries.reserve(ends.size());
    for (size_t i = 0, start = 0; i < ends.size(); start = ends[i++])
        entries.push_back(std::string_view(names).substr(start, ends[i] - start));
    reading.hosts.InsertAll(entries);
    return reading;
}

// Puts a reading into the record. `active` changes only when the element
// carried it; an absent prohibitUninstall takes `uninstallEntry()`.
template <typename UninstallEntry>
void TakeReading(SettingsReading reading, ControllerSettings& settings, UninstallEntry uninstallEntry) {
    settings.hosts = std::move(reading.hosts);
    settings.password = std::move(reading.password);
    settings.errorPage = std::move(reading.errorPage);
    settings.blockPopups = reading.blockPopups;
    settings.reverseOperation = reading.reverseOperation;
    settings.hostMatching = reading.hostMatching;
    settings.prohibitUninstall = reading.prohibitUninstall ? *reading.prohibitUninstall : uninstallEntry();
    if (reading.active) settings.active = *reading.active;
}

}  // namespace sentrel

#include "controller/repair_records.h"

#include "SentrelEvents.h"
#include "support/event_log.h"

namespace sentrel {

namespace registry = qz_support::registry;

std::wstring FoundForRecord(const registry::TextValue<std::string>& read) {
    switch (read.state) {
    case registry::ValueState::Absent:
        return L"was absent";
    case registry::ValueState::Unreadable:
        return L"was not text, or longer than expected";
    case registry::ValueState::Present:
        break;
    }
    std::wstring found = L"was \"";
    for (const char c : read.text) found += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return found + L"\"";
}

void RecordBrowserRepair(const wchar_t* root, std::string_view path, std::wstring_view what) noexcept try {
    qz_support::WriteEvent(SENTREL_EVENT_BROWSER_REPAIRED,
                           {std::wstring(root) + L"\\" + std::wstring(path.begin(), path.end()), what});
} catch (...) {
}

}  // namespace sentrel

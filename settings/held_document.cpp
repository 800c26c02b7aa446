#include "settings/held_document.h"

#include <mutex>

namespace sentrel {
namespace {

struct HeldDocument {
    std::mutex lock;
    std::optional<WideString> text;
};

HeldDocument& Held() {
    static HeldDocument* held = new HeldDocument;  // released with the process
    return *held;
}

}  // namespace

void HoldFetchedDocument(std::optional<WideString> text) {
    HeldDocument& held = Held();
    std::lock_guard<std::mutex> guard(held.lock);
    held.text = std::move(text);
}

StoredDocument HeldOrStoredDocument() {
    {
        HeldDocument& held = Held();
        std::lock_guard<std::mutex> guard(held.lock);
        if (held.text) return {StoredDocumentState::Present, *held.text, L"the settings held in memory for this run"};
    }
    return ReadStoredDocumentValue();
}

}  // namespace sentrel

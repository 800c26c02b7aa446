// The controller's settings saved to and loaded from where they live: the
// settings key's document (or a fetched one held for this run), or an export
// file.
#pragma once

#include "settings/controller_settings.h"

#include <windows.h>

#include <optional>
#include <string>

namespace sentrel {

// Writes the document to `fileName`, or to the settings key when there is
// none, then writes the uninstall entry and empties recentRefused. S_OK when
// the text reached the file or the registry, else the failing call's error.
// DOM failures raise.
HRESULT SaveSettings(ControllerSettings& settings, const std::optional<std::wstring>& fileName = std::nullopt);

// What a load tells its records: where the document came from (the origin
// an import noted for it, else the key it was read from) and, when one was
// there but not applied, why.
struct SettingsLoadDetail {
    std::wstring from;
    std::wstring problem;  // empty when applied or when there was none
};

// Reads the stored document (or the fetched one held for this run, see
// held_document.h) and applies it. Returns whether a lockSettings element
// was applied; a missing or malformed document changes nothing.
// `activeLoaded` tells whether the document set `active`. `detail` is
// filled before anything raises.
bool LoadSettings(ControllerSettings& settings, bool* activeLoaded = nullptr, SettingsLoadDetail* detail = nullptr);

// The same, telling a workstation without settings from one whose settings
// cannot be used, and never raising: NoDocument when there is no stored
// document (or it is empty); Unusable when one is there but cannot be read
// or applied (the key or value unreadable, no parser, not XML, no
// lockSettings, a bad child). Only Applied changes `settings`.
enum class SettingsLoad { Applied, NoDocument, Unusable };
SettingsLoad LoadStoredSettings(ControllerSettings& settings, bool* activeLoaded = nullptr,
                                SettingsLoadDetail* detail = nullptr) noexcept;

// The errorPage of the stored document when it can be parsed at all, also
// when the document cannot be applied; empty otherwise.
WideString ErrorPageOfStoredDocument() noexcept;

}  // namespace sentrel

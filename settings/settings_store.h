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

// Reads the stored document (or the fetched one held for this run, see
// held_document.h) and applies it. Returns whether a lockSettings element
// was applied; a missing or malformed document changes nothing.
// `activeLoaded` tells whether the document set `active`.
bool LoadSettings(ControllerSettings& settings, bool* activeLoaded = nullptr);

// The same, telling a workstation without settings from one whose settings
// cannot be used, and never raising: NoDocument when there is no stored
// document (or it is empty); Unusable when one is there but cannot be read
// or applied (the key or value unreadable, no parser, not XML, no
// lockSettings, a bad child). Only Applied changes `settings`.
enum class SettingsLoad { Applied, NoDocument, Unusable };
SettingsLoad LoadStoredSettings(ControllerSettings& settings, bool* activeLoaded = nullptr) noexcept;

// The errorPage of the stored document when it can be parsed at all, also
// when the document cannot be applied; empty otherwise.
WideString ErrorPageOfStoredDocument() noexcept;

}  // namespace sentrel

// The access decision: may the browser show this address?
#pragma once

#include "settings/controller_settings.h"
#include "support/platform.h"
#include "support/text.h"

#include <optional>

namespace sentrel {

// S_OK: the address may be shown; S_FALSE: refused. Never another value:
// any failure inside refuses. A refused address (or, in allow-list mode, its
// host) is remembered in settings.recentRefused. A missing address (a null
// string at the interface) is refused without being remembered.
HRESULT IsURLOK(ControllerSettings& settings, std::optional<WideView> url) noexcept;

}  // namespace sentrel

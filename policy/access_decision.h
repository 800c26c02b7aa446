// The access decision: may the browser show this address?
#pragma once

#include "settings/controller_settings.h"
#include "support/platform.h"
#include "support/text.h"

#include <optional>
#include <string>

namespace sentrel {

// S_OK: the address may be shown; S_FALSE: refused. Never another value:
// any failure inside refuses. A refused address (or, in allow-list mode, its
// host) is remembered in settings.recentRefused. A missing address (a null
// string at the interface) is refused without being remembered.
HRESULT IsURLOK(ControllerSettings& settings, std::optional<WideView> url) noexcept;

// Why an address was allowed or refused: the same decision, with its reason.
enum class DecisionReason {
    LockOff,         // allowed: the lock is off
    LocalOrScript,   // allowed: a local, shell or script address
    Unsplittable,    // refused: the address cannot be split
    UserInformation, // refused: "@" left in the host
    HostCharacters,  // refused: the host holds a character no host name has
    NoHost,          // refused: a web address (http, https, ftp) without a host
    InvalidHost,     // refused (whole-host matching): the host has no canonical form
    BlankPage,       // allowed: about:blank
    ErrorPageHost,   // allowed: the error page's host
    EntryMatched,    // an entry occurs in (whole-host matching: covers) the host:
                     // allowed (allow list) or refused (block list)
    NoEntryMatched,  // no entry occurs in (covers) the host: refused and remembered
                     // (allow list) or allowed (block list)
};

struct Decision {
    bool allowed = false;
    DecisionReason reason = DecisionReason::Unsplittable;
    std::string host;   // with `explain`: the host text matched against the list, when split
                        // (whole-host matching: its canonical form)
    std::string entry;  // with `explain`: an entry that matched, as the list holds it
};

// Decides as IsURLOK does (and records the refusal as it does). With
// `explain`, also gives the host and names an entry that occurs in it (a walk
// of the list: for explanations, not for the browser's questions).
Decision Decide(ControllerSettings& settings, WideView url, bool explain = false);

const char* DescribeReason(DecisionReason reason);

}  // namespace sentrel

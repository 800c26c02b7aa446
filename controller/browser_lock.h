// Keeps the browser configured so that it loads the agent in every window:
// browser extensions on, the agent's helper-object key present, no class
// entry or add-on switch of the user's own for the agent, the shell's cached
// band lists discarded. Runs once at start and again whenever the
// watched keys change. Independent of the lock switch. Fails silently.
#pragma once

#include <windows.h>

namespace sentrel {

// One enforcement pass. A value or key that is already as it should be is
// not written again, so a pass never wakes the watcher that started it.
void EnforceBrowserLock();

// The registry watcher: a pass after every change of the browser's Main key,
// every key added or removed under the helper-object list or the user's
// classes, and every change under the user's add-on settings. A watched key
// that is deleted is opened (or created) again and watched on; ends when
// `stopEvent` is signalled or no key can be watched at all.
void WatchBrowserConfiguration(HANDLE stopEvent);

}  // namespace sentrel

// Keeps the browser configured so that it loads the agent in every window:
// browser extensions on, the agent's helper-object key present, the shell's
// cached band lists discarded. Runs once at start and again whenever the
// watched keys change. Independent of the lock switch. Fails silently.
#pragma once

#include <windows.h>

namespace sentrel {

// One enforcement pass. A value or key that is already as it should be is
// not written again, so a pass never wakes the watcher that started it.
void EnforceBrowserLock();

// The registry watcher: a pass after every change of a value of the
// browser's Main key and every key added or removed under the helper-object
// list; ends when a key cannot be watched or `stopEvent` is signalled.
void WatchBrowserConfiguration(HANDLE stopEvent);

}  // namespace sentrel

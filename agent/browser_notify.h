// Following the child windows of registered browser windows: a per-thread
// CBT hook sees child windows being created below a registered window and
// subclasses them; a subclassed window spreads the subclassing to its own
// children through the registered message "WBCC". Mouse and menu messages of
// the subclassed windows go to the sink registered for the browser window,
// and the opening of a popup menu (WM_INITMENUPOPUP) and the menu's commands
// (WM_COMMAND) to the menu sinks registered for it: a context menu that the
// page's window owns reports there what it offers and what was chosen.
//
// Unregistering, forgetting and destroying never raise: they run from
// destructors and at module detach.
//
// The registries are process-wide and reached from every browser thread;
// one lock serialises them, and no sink or previous window procedure is ever
// called while it is held. A sink is called only while a reference taken
// under that lock keeps it alive, so a sink whose object is being destroyed
// on another thread is never reached.
//
// Several sinks may be registered for one window (the tabs of one browser
// frame, when a tab has no window of its own).
#pragma once

#include <windows.h>

#include <cstddef>

namespace sentrel::agent {

class IMessageSink {
public:
    // `x`, `y`: the cursor position in screen coordinates. Returns whether
    // the message was handled; when not, the window's own procedure gets it.
    virtual bool OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, int x, int y) = 0;

    // A reference on the object behind the sink, taken under the registries'
    // lock before the sink is called. Fails once the object's count has
    // reached zero: it is being destroyed, and its destructor (which takes
    // the same lock in ForgetSinks before the memory goes) makes it
    // unreachable.
    virtual bool TryRetainSink() = 0;
    virtual void ReleaseSink() = 0;

protected:
    ~IMessageSink() = default;
};

class IMenuSink {
public:
    // A popup menu (not a window menu) owned by `first` is about to open.
    // Returns whether the message was handled.
    virtual bool OnMenuPopup(HWND first, HMENU menu) = 0;
    // The menu command `command` (LOWORD of `second`, the message's wParam)
    // reached `first`. Returns the command the window then gets.
    virtual UINT OnMenuCommand(HWND first, WPARAM second, UINT command) = 0;

    // As for IMessageSink: a reference taken under the registries' lock
    // before the sink is called; fails once the object is being destroyed.
    virtual bool TryRetainSink() = 0;
    virtual void ReleaseSink() = 0;

protected:
    ~IMenuSink() = default;
};

// Registers `sink` for a browser window (adding to the sinks already
// registered there); the calling thread's first registration installs its
// CBT hook.
void RegisterMessageSink(HWND browserWindow, IMessageSink* sink);
// Removes every registration of `sink`. When no window of the process
// remains registered, the CBT hooks of all threads are removed.
void UnregisterMessageSink(IMessageSink* sink) noexcept;

void RegisterMenuSink(HWND browserWindow, IMenuSink* sink);
// Removes the one registration of `sink` for `browserWindow`; returns the
// number of entries removed (0 or 1).
size_t UnregisterMenuSink(HWND browserWindow, IMenuSink* sink) noexcept;

// For a sink that is going away: unregisters it everywhere, including the
// subclassed windows that report to it, so nothing can call it afterwards.
void ForgetSinks(IMessageSink* messageSink, IMenuSink* menuSink) noexcept;

LRESULT CALLBACK CbtHookProc(int code, WPARAM wParam, LPARAM lParam);

// The subclassed windows followed now (each holds a module lock).
size_t NotifyWindowCount() noexcept;

// At module detach: every subclassed window gets its previous procedure
// back, the last subclassed first.
void DestroyAllNotifyWindows() noexcept;

// The registered messages, by name.
UINT ChildScanMessage() noexcept;  // "WBCC"
UINT ForwardedMessage() noexcept;  // "WBBL"

}  // namespace sentrel::agent

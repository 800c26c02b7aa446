#include "agent/browser_notify.h"

#include "agent/agent_module.h"
#include "agent/entry_guard.h"
#include "support/message_guard.h"

#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace sentrel::agent {
namespace {

class CNotifyWindow;

// Each subclassed window gets a window procedure of its own: one of a fixed
// pool of procedures, each bound to one slot. A slot keeps the previous
// procedure after its object is gone, so that a procedure installed after
// ours still reaches the window's own procedure through it.
constexpr size_t kSlotCount = 1024;

struct Slot {
    CNotifyWindow* owner = nullptr;
    WNDPROC previous = nullptr;
    bool unicode = false;
    // Messages being routed through the slot now: a slot in use is never
    // reclaimed under a window procedure that is still running.
    size_t busy = 0;
};

struct Registries {
    std::mutex lock;
    std::multimap<HWND, IMessageSink*> windowSinks;
    std::map<DWORD, HHOOK> threadHooks;
    std::multimap<HWND, IMenuSink*> menuSinks;
    std::vector<CNotifyWindow*> notifyWindows;
    std::array<Slot, kSlotCount> slots;
    size_t nextSlot = 0;
};

Registries& State() {
    static Registries* registries = new Registries;  // released with the process
    return *registries;
}

// A reference on a sink (IMessageSink or IMenuSink), taken under the
// registries' lock; empty when the sink was forgotten or its object is being
// destroyed.
template <typename Sink>
class SinkReference {
public:
    SinkReference() = default;
    // Call with the registries' lock held.
    static SinkReference TryTake(Sink* sink) {
        SinkReference reference;
        if (sink && sink->TryRetainSink()) reference.sink_ = sink;
        return reference;
    }
    SinkReference(SinkReference&& other) noexcept : sink_(std::exchange(other.sink_, nullptr)) {}
    SinkReference& operator=(SinkReference&& other) noexcept {
        std::swap(sink_, other.sink_);
        return *this;
    }
    SinkReference(const SinkReference&) = delete;
    SinkReference& operator=(const SinkReference&) = delete;
    ~SinkReference() {
        if (sink_) sink_->ReleaseSink();
    }
    Sink* get() const { return sink_; }

private:
    Sink* sink_ = nullptr;
};

using MessageSinkReference = SinkReference<IMessageSink>;
using MenuSinkReference = SinkReference<IMenuSink>;

LRESULT RouteSlot(size_t slot, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void ScanChildren(HWND window, HWND browserWindow, IMessageSink* sink);

// The menu messages that go to the menu sinks: a popup menu about to open
// (not a window menu) and a command chosen from a menu (not a control's
// notification, not an accelerator).
bool IsMenuMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITMENUPOPUP) return HIWORD(lParam) == 0;
    if (message == WM_COMMAND) return HIWORD(wParam) == 0 && lParam == 0;
    return false;
}

// The mouse and menu messages that go to the sink.
bool IsSinkMessage(UINT message) {
    switch (message) {
    case WM_SETCURSOR:
    case WM_CONTEXTMENU:
    case WM_INITMENUPOPUP:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        return true;
    default:
        return message == ForwardedMessage();
    }
}

template <size_t Index>
LRESULT CALLBACK SlotProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return RouteSlot(Index, window, message, wParam, lParam);
}

template <size_t... Index>
constexpr std::array<WNDPROC, sizeof...(Index)> MakeSlotProcedures(std::index_sequence<Index...>) {
    return {&SlotProcedure<Index>...};
}

constexpr std::array<WNDPROC, kSlotCount> kSlotProcedures = MakeSlotProcedures(std::make_index_sequence<kSlotCount>());

// The procedure that windows had before the subclass was installed, until
// then: DefWindowProcA.
const WNDPROC kDefaultProcedure = DefWindowProcA;

LRESULT CallPrevious(WNDPROC previous, bool unicode, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!previous) return unicode ? DefWindowProcW(window, message, wParam, lParam)
                                  : DefWindowProcA(window, message, wParam, lParam);
    return unicode ? CallWindowProcW(previous, window, message, wParam, lParam)
                   : CallWindowProcA(previous, window, message, wParam, lParam);
}

LONG_PTR SetProcedure(HWND window, bool unicode, WNDPROC procedure) {
    const auto value = reinterpret_cast<LONG_PTR>(procedure);
    return unicode ? SetWindowLongPtrW(window, GWLP_WNDPROC, value) : SetWindowLongPtrA(window, GWLP_WNDPROC, value);
}

WNDPROC CurrentProcedure(HWND window, bool unicode) {
    return reinterpret_cast<WNDPROC>(unicode ? GetWindowLongPtrW(window, GWLP_WNDPROC)
                                             : GetWindowLongPtrA(window, GWLP_WNDPROC));
}

class CNotifyWindow {
public:
    // Subclasses `window` for `sink`, registered for `browserWindow`. An
    // object that cannot attach (no slot free, or the window refused the
    // procedure) is freed at once; an attached one is owned by the window
    // and goes at its WM_NCDESTROY, or when a later slot search finds its
    // window gone.
    static void Follow(HWND window, HWND browserWindow, IMessageSink* sink) {
        std::unique_ptr<CNotifyWindow> object(new CNotifyWindow(window, browserWindow, sink));
        if (object->Subclass(window)) static_cast<void>(object.release());  // the window owns it now
    }
    CNotifyWindow(const CNotifyWindow&) = delete;
    CNotifyWindow& operator=(const CNotifyWindow&) = delete;

    ~CNotifyWindow() {
        if (!attached_) return;
        UnlockModule();
        if (window_ && IsWindow(window_)) {
            SetProcedure(window_, unicode_, previous_);
            previous_ = kDefaultProcedure;
        }
        window_ = nullptr;
        Registries& state = State();
        std::lock_guard<std::mutex> guard(state.lock);
        if (slot_ < kSlotCount) state.slots[slot_].owner = nullptr;
        std::erase(state.notifyWindows, this);
    }

    // Messages of the subclassed window. Whatever the previous procedure
    // raises is reported, and the message's result is then 0.
    LRESULT WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
        return qz_support::GuardWindowProcedure("BrowserNotify", __LINE__, ModuleInstance(), 0, [&]() -> LRESULT {
            MSG current{window, message, wParam, lParam, 0, {}};
            const MSG* saved = std::exchange(currentMessage_, &current);
            // A menu sink may replace the command that the window gets.
            WPARAM forwarded = wParam;
            const qz_support::MessageOutcome outcome = Dispatch(window, message, forwarded, lParam);
            currentMessage_ = saved;
            if (outcome.handled) return outcome.result;

            if (message != WM_NCDESTROY) return CallPrevious(previous_, unicode_, window, message, forwarded, lParam);

            // The window's last message: hand it on, give the window its own
            // procedure back when nobody subclassed it after us, and go.
            const WNDPROC noted = CurrentProcedure(window, unicode_);
            const LRESULT result = CallPrevious(previous_, unicode_, window, message, wParam, lParam);
            if (previous_ != kDefaultProcedure && CurrentProcedure(window, unicode_) == noted &&
                slot_ < kSlotCount && noted == kSlotProcedures[slot_])
                SetProcedure(window, unicode_, previous_);
            window_ = nullptr;
            delete this;
            return result;
        });
    }

    // Call with the registries' lock held.
    void ForgetSink(IMessageSink* sink) {
        if (sink_ == sink) sink_ = nullptr;
    }
    MessageSinkReference TakeSink() const {
        Registries& state = State();
        std::lock_guard<std::mutex> guard(state.lock);
        return MessageSinkReference::TryTake(sink_);
    }
    // The menu sinks registered for the browser window this window is
    // followed for, each referenced.
    std::vector<MenuSinkReference> TakeMenuSinks() const {
        std::vector<MenuSinkReference> sinks;
        Registries& state = State();
        std::lock_guard<std::mutex> guard(state.lock);
        const auto [first, last] = state.menuSinks.equal_range(browserWindow_);
        for (auto entry = first; entry != last; ++entry) {
            if (MenuSinkReference reference = MenuSinkReference::TryTake(entry->second); reference.get())
                sinks.push_back(std::move(reference));
        }
        return sinks;
    }

private:
    CNotifyWindow(HWND window, HWND browserWindow, IMessageSink* sink)
        : browserWindow_(browserWindow), sink_(sink), unicode_(IsWindowUnicode(window) != FALSE) {}

    bool Subclass(HWND window) {
        Registries& state = State();
        std::vector<CNotifyWindow*> reclaimed;
        {
            std::lock_guard<std::mutex> guard(state.lock);
            slot_ = TakeSlot(state, reclaimed);
        }
        // Objects whose windows went without their last message reaching us
        // (a later subclasser that does not hand WM_NCDESTROY on).
        for (CNotifyWindow* gone : reclaimed) delete gone;
        if (slot_ == kSlotCount) return false;

        const LONG_PTR previous = SetProcedure(window, unicode_, kSlotProcedures[slot_]);
        std::lock_guard<std::mutex> guard(state.lock);
        Slot& slot = state.slots[slot_];
        if (previous == 0) {
            slot.owner = nullptr;
            slot_ = kSlotCount;
            return false;
        }
        LockModule();
        attached_ = true;
        previous_ = reinterpret_cast<WNDPROC>(previous);
        window_ = window;
        slot.previous = previous_;
        state.notifyWindows.push_back(this);
        return true;
    }

    // Call with the lock held. First every slot whose window no longer
    // exists is taken back from its object (which goes into `reclaimed`, to
    // be freed once the lock is released); such a slot's previous procedure
    // can no longer be reached through a window. Then the next free slot,
    // round robin, so a freed slot is reused as late as possible.
    size_t TakeSlot(Registries& state, std::vector<CNotifyWindow*>& reclaimed) {
        for (size_t index = 0; index < kSlotCount; ++index) {
            Slot& slot = state.slots[index];
            CNotifyWindow* owner = slot.owner;
            if (!owner || slot.busy != 0 || !owner->window_ || IsWindow(owner->window_)) continue;
            owner->slot_ = kSlotCount;
            owner->window_ = nullptr;
            slot.owner = nullptr;
            reclaimed.push_back(owner);
        }
        for (size_t tried = 0; tried < kSlotCount; ++tried) {
            const size_t index = (state.nextSlot + tried) % kSlotCount;
            Slot& slot = state.slots[index];
            if (slot.owner) continue;
            state.nextSlot = (index + 1) % kSlotCount;
            slot.owner = this;
            slot.previous = nullptr;
            slot.unicode = unicode_;
            return index;
        }
        return kSlotCount;
    }

    qz_support::MessageOutcome Dispatch(HWND window, UINT message, WPARAM& wParam, LPARAM lParam);
    bool DeliverMenuMessage(HWND window, UINT message, WPARAM& wParam);

    HWND window_ = nullptr;
    // Only a key of the menu sink registry, never called.
    HWND browserWindow_;
    size_t slot_ = kSlotCount;
    const MSG* currentMessage_ = nullptr;
    WNDPROC previous_ = kDefaultProcedure;
    IMessageSink* sink_;
    bool unicode_;
    bool attached_ = false;
};

LRESULT RouteSlot(size_t slot, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CNotifyWindow* owner;
    WNDPROC previous;
    bool unicode;
    Registries& state = State();
    {
        std::lock_guard<std::mutex> guard(state.lock);
        Slot& entry = state.slots[slot];
        owner = entry.owner;
        previous = entry.previous;
        unicode = entry.unicode;
        if (owner) ++entry.busy;
    }
    if (!owner) return CallPrevious(previous, unicode, window, message, wParam, lParam);
    // The owner may delete itself (WM_NCDESTROY); the count is the slot's.
    struct Done {
        Registries& state;
        size_t slot;
        ~Done() {
            std::lock_guard<std::mutex> guard(state.lock);
            --state.slots[slot].busy;
        }
    } done{state, slot};
    return owner->WindowProcedure(window, message, wParam, lParam);
}

void ScanChildren(HWND window, HWND browserWindow, IMessageSink* sink) {
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongA(child, GWL_STYLE) & WS_CHILD) == 0) continue;
        if (SendMessageA(child, ChildScanMessage(), 0, 0) == 0) CNotifyWindow::Follow(child, browserWindow, sink);
    }
}

qz_support::MessageOutcome CNotifyWindow::Dispatch(HWND window, UINT message, WPARAM& wParam, LPARAM lParam) {
    return qz_support::GuardMessage(
        "BrowserNotify", __LINE__, ModuleInstance(), window, message, wParam, lParam,
        [&]() -> qz_support::MessageOutcome {
            bool handled = false;
            if (IsMenuMessage(message, wParam, lParam)) handled = DeliverMenuMessage(window, message, wParam);
            // The reference keeps the sink's object alive while it is
            // called or handed to the children.
            if (IsSinkMessage(message)) {
                POINT cursor{};
                GetCursorPos(&cursor);
                const MessageSinkReference sink = TakeSink();
                handled = (sink.get() && sink.get()->OnMessage(window, message, wParam, lParam, cursor.x, cursor.y)) ||
                          handled;
                return {handled, 0};
            }
            if (message == WM_PARENTNOTIFY || message == ChildScanMessage()) {
                const MessageSinkReference sink = TakeSink();
                if (sink.get()) ScanChildren(window, browserWindow_, sink.get());
                return message == WM_PARENTNOTIFY ? qz_support::MessageOutcome{false, 0}
                                                  : qz_support::MessageOutcome{true, 1};
            }
            return {handled, 0};
        });
}

// Every menu sink of the browser window sees the menu or the command; each
// sink gets the command that the sinks before it returned. Returns whether
// a sink handled the opening menu.
bool CNotifyWindow::DeliverMenuMessage(HWND window, UINT message, WPARAM& wParam) {
    bool handled = false;
    for (const MenuSinkReference& sink : TakeMenuSinks()) {
        if (message == WM_INITMENUPOPUP) {
            handled = sink.get()->OnMenuPopup(window, reinterpret_cast<HMENU>(wParam)) || handled;
        } else {
            const UINT command = sink.get()->OnMenuCommand(window, wParam, LOWORD(wParam));
            wParam = MAKEWPARAM(command, HIWORD(wParam));
        }
    }
    return handled;
}

}  // namespace

UINT ChildScanMessage() noexcept {
    static const UINT message = RegisterWindowMessageA("WBCC");
    return message;
}

UINT ForwardedMessage() noexcept {
    static const UINT message = RegisterWindowMessageA("WBBL");
    return message;
}

void RegisterMessageSink(HWND browserWindow, IMessageSink* sink) {
    Registries& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.windowSinks.emplace(browserWindow, sink);
    const DWORD thread = GetCurrentThreadId();
    if (state.threadHooks.count(thread) == 0) {
        LockModule();
        state.threadHooks[thread] = SetWindowsHookExA(WH_CBT, CbtHookProc, nullptr, thread);
    }
}

void UnregisterMessageSink(IMessageSink* sink) noexcept {
    // Taken over whole, so that nothing is allocated here.
    std::map<DWORD, HHOOK> removed;
    {
        Registries& state = State();
        std::lock_guard<std::mutex> guard(state.lock);
        for (auto entry = state.windowSinks.begin(); entry != state.windowSinks.end();) {
            if (entry->second != sink) {
                ++entry;
                continue;
            }
            entry = state.windowSinks.erase(entry);
            if (state.windowSinks.empty()) removed.swap(state.threadHooks);
        }
    }
    for (const auto& [thread, hook] : removed) {
        if (hook) UnhookWindowsHookEx(hook);
        UnlockModule();
    }
}

void RegisterMenuSink(HWND browserWindow, IMenuSink* sink) {
    Registries& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.menuSinks.emplace(browserWindow, sink);
}

size_t UnregisterMenuSink(HWND browserWindow, IMenuSink* sink) noexcept {
    Registries& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    const auto [first, last] = state.menuSinks.equal_range(browserWindow);
    for (auto entry = first; entry != last; ++entry) {
        if (entry->second != sink) continue;
        state.menuSinks.erase(entry);
        return 1;
    }
    return 0;
}

void ForgetSinks(IMessageSink* messageSink, IMenuSink* menuSink) noexcept {
    UnregisterMessageSink(messageSink);
    Registries& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    std::erase_if(state.menuSinks, [&](const auto& entry) { return entry.second == menuSink; });
    for (CNotifyWindow* window : state.notifyWindows) window->ForgetSink(messageSink);
}

LRESULT CALLBACK CbtHookProc(int code, WPARAM wParam, LPARAM lParam) {
    HHOOK hook = nullptr;
    GuardCallback("BrowserNotify", __LINE__, [&] {
        Registries& state = State();
        std::lock_guard<std::mutex> guard(state.lock);
        const auto found = state.threadHooks.find(GetCurrentThreadId());
        if (found != state.threadHooks.end()) hook = found->second;
    });
    const LRESULT result = CallNextHookEx(hook, code, wParam, lParam);
    if (code != HCBT_CREATEWND) return result;

    // After a failure the hook's result is 0: the window is created.
    return GuardCallback("BrowserNotify", __LINE__, LRESULT{0}, [&]() -> LRESULT {
        const auto created = reinterpret_cast<HWND>(wParam);
        if ((GetWindowLongA(created, GWL_STYLE) & WS_CHILD) == 0) return result;
        const auto* creation = reinterpret_cast<const CBT_CREATEWNDA*>(lParam);
        if (!creation || !creation->lpcs) return result;
        const HWND parent = creation->lpcs->hwndParent;

        // Referenced, so that no sink's object can go while its new window
        // is being subclassed.
        std::vector<std::pair<HWND, MessageSinkReference>> sinks;
        {
            Registries& state = State();
            std::lock_guard<std::mutex> guard(state.lock);
            for (const auto& [window, sink] : state.windowSinks) {
                if (window != parent && !IsChild(window, parent)) continue;
                if (MessageSinkReference reference = MessageSinkReference::TryTake(sink); reference.get())
                    sinks.emplace_back(window, std::move(reference));
            }
        }
        for (const auto& [window, sink] : sinks) CNotifyWindow::Follow(created, window, sink.get());
        return result;
    });
}

size_t NotifyWindowCount() noexcept {
    Registries& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.notifyWindows.size();
}

void DestroyAllNotifyWindows() noexcept {
    for (;;) {
        CNotifyWindow* last;
        {
            Registries& state = State();
            std::lock_guard<std::mutex> guard(state.lock);
            if (state.notifyWindows.empty()) return;
            last = state.notifyWindows.back();
        }
        delete last;
    }
}

}  // namespace sentrel::agent

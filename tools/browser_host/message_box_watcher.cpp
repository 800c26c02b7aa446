#include "tools/browser_host/message_box_watcher.h"

#include <utility>

namespace sentrel::host {
namespace {

constexpr int kMessageTextId = 0xFFFF;
constexpr int kIconId = 1088;  // the box's icon control, present only with an icon style

struct Search {
    DWORD process;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectBoxes(HWND window, LPARAM parameter) {
    auto& search = *reinterpret_cast<Search*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[16] = {};
    wchar_t caption[64] = {};
    GetClassNameA(window, className, sizeof className);
    GetWindowTextW(window, caption, 64);
    if (process == search.process && lstrcmpA(className, "#32770") == 0 && lstrcmpW(caption, L"Sentrel") == 0 &&
        IsWindowVisible(window))
        search.found.push_back(window);
    return TRUE;
}

}  // namespace

MessageBoxWatcher::MessageBoxWatcher() : thread_([this] { Watch(); }) {}

MessageBoxWatcher::~MessageBoxWatcher() {
    stop_ = true;
    thread_.join();
}

std::vector<SeenMessageBox> MessageBoxWatcher::Take() {
    std::lock_guard<std::mutex> guard(lock_);
    return std::exchange(seen_, {});
}

void MessageBoxWatcher::Watch() {
    std::vector<HWND> closing;
    while (!stop_) {
        Search search{GetCurrentProcessId(), {}};
        EnumWindows(CollectBoxes, reinterpret_cast<LPARAM>(&search));
        for (HWND box : search.found) {
            bool known = false;
            for (HWND earlier : closing) known = known || earlier == box;
            if (known) continue;
            SeenMessageBox seen{};
            wchar_t text[1024] = {};
            GetDlgItemTextW(box, kMessageTextId, text, 1024);
            seen.text = text;
            seen.caption = L"Sentrel";
            seen.owner = GetWindow(box, GW_OWNER);
            seen.stopIcon = GetDlgItem(box, kIconId) != nullptr;
            {
                std::lock_guard<std::mutex> guard(lock_);
                seen_.push_back(seen);
            }
            closing.push_back(box);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
        std::erase_if(closing, [](HWND box) { return !IsWindow(box); });
        Sleep(20);
    }
}

}  // namespace sentrel::host

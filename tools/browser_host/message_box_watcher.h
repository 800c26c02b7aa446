// Plays the user in front of the agent's message box: every message box
// captioned "Sentrel" that this process shows is read and closed with OK.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sentrel::host {

struct SeenMessageBox {
    std::wstring text;
    std::wstring caption;
    HWND owner;
    bool stopIcon;
};

class MessageBoxWatcher {
public:
    MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;
    ~MessageBoxWatcher();

    // The boxes closed so far; Take() also forgets them.
    std::vector<SeenMessageBox> Take();

private:
    void Watch();

    std::atomic<bool> stop_{false};
    std::mutex lock_;
    std::vector<SeenMessageBox> seen_;
    std::thread thread_;
};

}  // namespace sentrel::host

// The test browser host: plays the browser for the agent. It runs a browsing
// session from a script, one command a line, and prints what happened.
//
//   open <window class>         a browser window (IEFrame, CabinetWClass, ...)
//   html <frame name>...        the window shows an HTML page with these frames
//   folder <title>...           ... or a shell folder, shown folder first, then its parents
//   location <url>              the address shown, without navigating
//   navigate <url>              a top-level navigation
//   frame <name> <url>          a navigation inside a frame
//   keys shift|ctrl|none        the keys held down
//   click                       a left click on the page
//   wait <ms>                   time passes (timers fire)
//   popup                       the page opens a new window
//   link <url>                  the page shows a link to <url> under the cursor
//   menu newwindow              a right click on the link and "Open in New
//                               Window" chosen from its menu
//   quit                        the window closes
//   settings <document>         stores a settings document for the controller,
//                               and the running controller reloads it
//   say <text>                  prints the text
//   # ...                       a comment
//
// Usage: test_browser_host <script file>
#include "support/text.h"
#include "tools/browser_host/host_documents.h"
#include "tools/browser_host/host_session.h"
#include "tools/browser_host/link_menu.h"
#include "tools/browser_host/message_box_watcher.h"
#include "tools/client/controller_client.h"

#include <objbase.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace {

using namespace sentrel::host;

std::string Narrow(const std::wstring& text) {
    return sentrel::ToNarrow(sentrel::AsWideView(text));
}

std::wstring Wide(const std::string& text) {
    const sentrel::WideString wide = sentrel::ToWide(text);
    return std::wstring(wide.begin(), wide.end());
}

class Session {
public:
    bool Run(std::istream& script) {
        std::string line;
        while (std::getline(script, line)) {
            while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
            if (line.empty() || line[0] == '#') continue;
            if (!Execute(line)) {
                std::printf("cannot run: %s\n", line.c_str());
                return false;
            }
            std::fflush(stdout);
        }
        window_.reset();
        return true;
    }

private:
    bool Execute(const std::string& line) {
        std::istringstream words(line);
        std::string command, argument;
        words >> command;
        std::getline(words >> std::ws, argument);

        if (command == "say") {
            std::printf("%s\n", argument.c_str());
            return true;
        }
        if (command == "settings") {
            if (!sentrel::client::StoreSettingsDocument(argument)) return false;
            if (!sentrel::client::ControllerProcesses().empty()) sentrel::client::ReloadRunningController();
            return true;
        }
        if (command == "open") {
            window_.reset();
            window_ = std::make_unique<BrowserWindow>(argument);
            std::printf("open %s: %zu helper object(s) created", argument.c_str(), window_->Helpers().size());
            for (HRESULT result : window_->SetSiteResults()) std::printf(", SetSite 0x%08lX", static_cast<unsigned long>(result));
            std::printf(", %zu listening to the window's events\n", window_->Browser().SinkCount());
            return true;
        }
        if (!window_) return false;
        HostBrowser& browser = window_->Browser();
        if (command == "html") {
            auto document = HtmlDocument::Create();
            std::istringstream names(argument);
            for (std::string name; names >> name;) document->AddElement(Wide(name));
            document_ = document;
            browser.SetDocument(qz_support::ComPtr<IDispatch>::Copy(document.get()));
            return true;
        }
        if (command == "folder") {
            std::vector<std::wstring> titles;
            std::istringstream names(argument);
            for (std::string name; names >> name;) titles.push_back(Wide(name));
            const auto view = HostFolderView::Create(titles);
            browser.SetDocument(qz_support::ComPtr<IDispatch>::Copy(view.get()));
            return true;
        }
        if (command == "location") {
            browser.SetLocation(Wide(argument));
            return true;
        }
        if (command == "navigate") {
            const size_t before = browser.Navigate2Calls().size();
            const EventOutcome outcome = browser.Navigate(Wide(argument));
            std::printf("navigate %s: %s\n", argument.c_str(), outcome.cancelled ? "CANCELLED" : "allowed");
            ReportAgentActions(before);
            return true;
        }
        if (command == "frame") {
            std::istringstream parts(argument);
            std::string name, url;
            parts >> name >> url;
            const size_t before = browser.Navigate2Calls().size();
            const size_t replacedBefore = document_ ? document_->Replaced().size() : 0;
            const EventOutcome outcome = browser.NavigateFrame(Wide(name), Wide(url));
            std::printf("frame %s -> %s: %s\n", name.c_str(), url.c_str(), outcome.cancelled ? "CANCELLED" : "allowed");
            if (document_) {
                const auto& replaced = document_->Replaced();
                for (size_t i = replacedBefore; i < replaced.size(); ++i)
                    std::printf("  frame element %s replaced by: %s\n", Narrow(replaced[i].name).c_str(),
                                Narrow(replaced[i].outerHtml).c_str());
            }
            ReportAgentActions(before);
            return true;
        }
        if (command == "keys") {
            SetKeys(argument == "shift", argument == "ctrl");
            return true;
        }
        if (command == "click") {
            const HWND page = window_->Page();
            SendMessageA(page, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
            SendMessageA(page, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
            std::printf("click on the page\n");
            return true;
        }
        if (command == "wait") {
            PumpMessages(static_cast<DWORD>(std::stoul(argument)));
            return true;
        }
        if (command == "popup") {
            const EventOutcome outcome = browser.NewWindow();
            std::printf("popup: %s\n", outcome.cancelled ? "REFUSED" : "opened");
            return true;
        }
        if (command == "link") {
            window_->SetLink(Wide(argument));
            return true;
        }
        if (command == "menu" && argument == "newwindow") {
            const size_t opened = browser.OpenedWindows().size();
            const HWND page = window_->Page();
            RightClick(page);
            TypeLetter(page, L'n');  // read by the menu once it is open
            PumpMessages(0);
            if (browser.OpenedWindows().size() > opened) {
                std::printf("link menu, Open in New Window: %s opened\n", Narrow(browser.OpenedWindows().back()).c_str());
            } else {
                std::printf("link menu, Open in New Window: REFUSED\n");
            }
            return true;
        }
        if (command == "quit") {
            window_->Quit();
            std::printf("quit: OnQuit sent, %zu event connection(s) closed, %zu left\n",
                        window_->Browser().UnadviseCount(), window_->Browser().SinkCount());
            window_.reset();
            return true;
        }
        return false;
    }

    void ReportAgentActions(size_t navigate2Before) {
        const auto& calls = window_->Browser().Navigate2Calls();
        for (size_t i = navigate2Before; i < calls.size(); ++i)
            std::printf("  the agent sent the window to %s\n", Narrow(calls[i]).c_str());
        for (const SeenMessageBox& box : boxes_.Take())
            std::printf("  message box \"%s\": %s\n", Narrow(box.caption).c_str(), Narrow(box.text).c_str());
    }

    MessageBoxWatcher boxes_;
    std::unique_ptr<BrowserWindow> window_;
    qz_support::ComPtr<HtmlDocument> document_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: test_browser_host <script file>\n");
        return 2;
    }
    std::ifstream script(argv[1]);
    if (!script) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    if (FAILED(CoInitialize(nullptr))) return 3;
    const bool completed = Session().Run(script);
    CoUninitialize();
    return completed ? 0 : 1;
}

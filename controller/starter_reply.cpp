#include "controller/starter_reply.h"

#include "support/unique_any.h"

#include <string>

namespace sentrel {
namespace {

std::string WithCrlf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

bool WriteAll(HANDLE handle, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        if (!WriteFile(handle, text.data() + done, static_cast<DWORD>(text.size() - done), &written, nullptr) ||
            written == 0)
            return false;
        done += written;
    }
    return true;
}

bool UsableHandle(HANDLE handle) { return handle && handle != INVALID_HANDLE_VALUE; }

// Whether this process's window station is shown to a user: a service's or
// the system's hidden one is not, and a box there would wait for ever.
bool OnVisibleDesktop() {
    USEROBJECTFLAGS flags{};
    return GetUserObjectInformationA(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, nullptr) &&
           (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace

void ReplyToStarter(std::string_view text, StarterStream stream, UINT boxIcon) {
    const std::string lines = WithCrlf(text);
    const DWORD which = stream == StarterStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE;
    if (const HANDLE given = GetStdHandle(which); UsableHandle(given) && WriteAll(given, lines)) return;
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        bool written = false;
        {
            const qz_support::UniqueFile console(CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                             OPEN_EXISTING, 0, nullptr));
            written = console && WriteAll(console.get(), lines);
        }
        FreeConsole();
        if (written) return;
    }
    if (OnVisibleDesktop()) MessageBoxA(nullptr, lines.c_str(), "Sentrel", MB_OK | boxIcon);
}

}  // namespace sentrel

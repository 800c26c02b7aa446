#include "controller/caller_output.h"

#include "support/unique_any.h"

#include <windows.h>

namespace sentrel {
namespace {

bool WriteAll(HANDLE out, std::string_view text) {
    if (!out || out == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    return WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

}  // namespace

bool WriteToCaller(std::string_view text) {
    if (WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), text)) return true;
    // Started from a command prompt without a redirection: the prompt's
    // console, opened by name since a GUI program's standard handles do not
    // follow the attachment.
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return false;
    bool written = false;
    {
        const qz_support::UniqueFile console(CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                         nullptr, OPEN_EXISTING, 0, nullptr));
        written = WriteAll(console.get(), text);
    }
    FreeConsole();
    return written;
}

}  // namespace sentrel

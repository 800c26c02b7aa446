// Writes records for the event log test (event_log_test.cpp), which reads
// them back from Wine's debug output: from several threads at once, past one
// id's budget, through ReportError and ShowError, after the writer thread
// has ended for want of work, and from a library unloaded by its program
// while its record is still on the way. The last record says what this
// program saw of the library.
#include "support/entry_points.h"
#include "support/event_log.h"

#include <string>
#include <thread>
#include <vector>

namespace {

using qz_support::WriteEvent;

constexpr DWORD kInformation = 0x40000000;
constexpr DWORD kWarning = 0x80000000;
constexpr int kThreads = 4;

void WriteFromThreads() {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < qz_support::kMaxRecordsPerMinute; ++i)
                WriteEvent(kInformation | (2000 + t), {std::to_wstring(t), std::to_wstring(i)});
        });
    }
    for (std::thread& thread : threads) thread.join();
}

void Flood() {
    for (int i = 0; i < qz_support::kMaxRecordsPerMinute + 10; ++i)
        WriteEvent(kWarning | 2100, {std::to_wstring(i)});
}

void ReportThroughTheGuards() {
    qz_support::CCallStackEntry frame("tests/wine/event_log_writer.cpp", 42, nullptr);
    qz_support::ReportError(E_OUTOFMEMORY);
    qz_support::SetErrorDisplay([](const std::wstring&) {});
    qz_support::ShowError(_com_error(E_ACCESSDENIED), 30, true);
}

// The library writes a record and is freed at once: the writer keeps it
// loaded until the record is written and the writer has ended.
std::wstring WriteFromALibraryThatIsFreed(const wchar_t* libraryPath) {
    const HMODULE library = LoadLibraryW(libraryPath);
    if (!library) return L"library not loaded";
    using Write = void (*)();
    const auto write = reinterpret_cast<Write>(reinterpret_cast<void*>(GetProcAddress(library, "WriteLibraryRecord")));
    if (!write) return L"no WriteLibraryRecord";
    write();
    FreeLibrary(library);
    const bool keptWhileWriting = GetModuleHandleW(libraryPath) != nullptr;
    bool unloaded = false;
    for (int i = 0; i < 100 && !unloaded; ++i) {
        Sleep(100);
        unloaded = GetModuleHandleW(libraryPath) == nullptr;
    }
    return std::wstring(L"kept while writing: ") + (keptWhileWriting ? L"yes" : L"no") +
           L", unloaded after: " + (unloaded ? L"yes" : L"no");
}

}  // namespace

int main(int argc, char** argv) {
    WriteFromThreads();
    Flood();
    ReportThroughTheGuards();
    // The writer thread ends after two idle seconds; the next record starts another.
    Sleep(3000);
    WriteEvent(kInformation | 2200, {L"after the writer went idle"});
    const std::string libraryPath = argc > 1 ? argv[1] : "";
    const std::wstring library = libraryPath.empty()
                                     ? L"no library named"
                                     : WriteFromALibraryThatIsFreed(std::wstring(libraryPath.begin(), libraryPath.end()).c_str());
    WriteEvent(kInformation | 2999, {library});
    return qz_support::FlushEvents(5000) ? 0 : 1;
}

#include "settings/settings_sync.h"

#include "settings/registry_store.h"
#include "settings/settings_file_text.h"
#include "settings/settings_import.h"
#include "settings/settings_limits.h"
#include "settings/settings_records.h"
#include "settings/source_paths.h"
#include "support/machine_policy.h"
#include "support/registry.h"
#include "support/text.h"
#include "support/unique_any.h"
#include "support/entry_points.h"

#include <objbase.h>

#include <cstdlib>
#include <optional>

namespace sentrel {
namespace {

constexpr DWORD kReadBufferBytes = 2048;
constexpr DWORD kMinimumSyncIntervalMs = 100;

// A Win32 or WinINet error in words for a record: "error 12029: <the
// system's text>", the text where the system has one.
std::wstring ErrorInWords(DWORD code) {
    const HMODULE internet = GetModuleHandleW(L"wininet.dll");
    DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    if (internet && code >= INTERNET_ERROR_BASE && code <= INTERNET_ERROR_LAST) flags |= FORMAT_MESSAGE_FROM_HMODULE;
    wchar_t* buffer = nullptr;
    FormatMessageW(flags, internet, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const qz_support::UniqueLocalText owner(buffer);
    std::wstring text = buffer ? buffer : L"";
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    return L"error " + std::to_wstring(code) + (text.empty() ? L"" : L": " + text);
}

std::wstring Failure(std::wstring_view what, DWORD code) {
    return std::wstring(what) + L" (" + ErrorInWords(code) + L")";
}

// A unique name in the temporary folder with the prefix "int" and the given
// extension. The system makes the unique part by creating an empty file,
// the reservation: while it exists no other pass gets the same part, so it
// stays until the download under the name has gone. Without an extension
// the reservation is the download's file itself.
struct TemporaryName {
    std::string reservation;
    std::string name;
};

std::optional<TemporaryName> ReserveTemporaryName(const std::string& extension) {
    char folder[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder) return std::nullopt;
    char unique[MAX_PATH] = {};
    if (GetTempFileNameA(folder, "int", 0, unique) == 0) return std::nullopt;
    TemporaryName reserved{unique, unique};
    if (extension.empty()) return reserved;
    const size_t dot = reserved.name.rfind('.');
    if (dot != std::string::npos && reserved.name.find('\\', dot) == std::string::npos) reserved.name.resize(dot);
    reserved.name += extension;
    return reserved;
}

// The response's HTTP status; nothing for schemes without one.
std::optional<DWORD> HttpStatus(HINTERNET request) {
    DWORD status = 0, size = sizeof status, index = 0;
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, &index))
        return std::nullopt;
    return status;
}

// The length the server announced; nothing when it announced none.
std::optional<ULONGLONG> AnnouncedLength(HINTERNET request) {
    char text[32] = {};
    DWORD size = sizeof text, index = 0;
    if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, &index)) return std::nullopt;
    char* end = nullptr;
    const unsigned long long length = strtoull(text, &end, 10);
    if (end == text) return std::nullopt;
    return length;
}

// Copies the body to the file through a fixed buffer. Nothing when the
// whole body was copied; otherwise why not: a read or a write failed, the
// body ended before the announced length, or it grew beyond what an import
// takes (the rest is not read).
std::optional<std::wstring> CopyBody(HINTERNET request, HANDLE file) {
    const std::optional<ULONGLONG> announced = AnnouncedLength(request);
    ULONGLONG copied = 0;
    char buffer[kReadBufferBytes];
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(request, buffer, sizeof buffer, &read)) return Failure(L"the transfer failed", GetLastError());
        if (read == 0) break;
        if (copied + read > kMaxSettingsTextBytes) return L"the body grew larger than a settings document can be";
        DWORD written = 0;
        if (!WriteFile(file, buffer, read, &written, nullptr) || written != read)
            return Failure(L"the temporary file could not be written", GetLastError());
        copied += read;
    }
    if (announced && copied != *announced)
        return L"the transfer ended after " + std::to_wstring(copied) + L" of the " + std::to_wstring(*announced) +
               L" bytes announced";
    return std::nullopt;
}

// The file from its start, read through the handle that wrote it: opened
// without sharing, so no other program has written to it in between.
bool ReadBack(HANDLE file, std::string& body) {
    LARGE_INTEGER size{};
    if (!SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN) || !GetFileSizeEx(file, &size) ||
        size.QuadPart > static_cast<LONGLONG>(kMaxSettingsTextBytes))
        return false;
    body.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    return ReadFile(file, body.data(), static_cast<DWORD>(body.size()), &read, nullptr) && read == body.size();
}

void WaitOrStop(HANDLE stopEvent, DWORD timeoutMs) { WaitForSingleObject(stopEvent, timeoutMs); }

bool StopRequested(HANDLE stopEvent) { return WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0; }

}  // namespace

void TempFileList::DeleteAll() {
    // Last in, first out: a download goes before the reservation of its name.
    for (auto file = files_.rbegin(); file != files_.rend(); ++file) DeleteFileA(file->c_str());
    files_.clear();
}

std::optional<std::string> DownloadToTempFile(const std::string& url, TempFileList& temporaries, std::wstring* why) {
    std::wstring ignored;
    std::wstring& failure = why ? *why : ignored;
    const qz_support::UniqueHinternet internet(InternetOpenA("QZ", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!internet) {
        failure = Failure(L"the internet library could not be opened", GetLastError());
        return std::nullopt;
    }
    const qz_support::UniqueHinternet request(InternetOpenUrlA(
        internet.get(), url.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NEED_FILE, 0));
    if (!request) {
        failure = Failure(L"the address could not be opened", GetLastError());
        return std::nullopt;
    }
    // An error page is a body too; only a success status carries settings.
    if (const std::optional<DWORD> status = HttpStatus(request.get()); status && (*status < 200 || *status > 299)) {
        failure = L"the server answered with HTTP status " + std::to_wstring(*status);
        return std::nullopt;
    }
    // A body announced as larger than an import takes is not fetched.
    if (const std::optional<ULONGLONG> announced = AnnouncedLength(request.get());
        announced && *announced > kMaxSettingsTextBytes) {
        failure = L"the server announced " + std::to_wstring(*announced) +
                  L" bytes, more than a settings document can be";
        return std::nullopt;
    }

    const std::optional<TemporaryName> reserved = ReserveTemporaryName(UrlFileExtension(url));
    if (!reserved) {
        failure = Failure(L"no temporary file name could be made", GetLastError());
        return std::nullopt;
    }
    std::optional<std::wstring> incomplete;
    std::string body;
    {
        qz_support::UniqueFile file(CreateFileA(reserved->name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        // Only a complete body is held in memory, never one being cut off at the limit.
        if (!file) {
            incomplete = Failure(L"the temporary file could not be created", GetLastError());
        } else {
            incomplete = CopyBody(request.get(), file.get());
            if (!incomplete && !ReadBack(file.get(), body))
                incomplete = L"the download could not be read back from its temporary file";
        }
    }
    if (incomplete) {
        failure = std::move(*incomplete);
        // The partial file goes at once, then its reservation.
        DeleteFileA(reserved->name.c_str());
        DeleteFileA(reserved->reservation.c_str());
        return std::nullopt;
    }
    if (reserved->reservation != reserved->name) temporaries.Add(reserved->reservation);
    temporaries.Add(reserved->name);
    return body;
}

std::optional<WideString> FetchSettingsText(const std::string& source, TempFileList& temporaries, std::wstring* why) {
    std::wstring ignored;
    std::wstring& failure = why ? *why : ignored;
    if (KindOfSource(source) == SourceKind::Url) {
        const std::optional<std::string> body = DownloadToTempFile(source, temporaries, &failure);
        if (!body) return std::nullopt;
        return SettingsTextOfBytes(*body);
    }
    SetLastError(ERROR_SUCCESS);
    std::optional<WideString> text = ReadSettingsFileText(ToWindowsWide(source));
    const DWORD error = GetLastError();
    if (!text) {
        failure = L"the file is larger than a settings document can be";
    } else if (text->empty()) {
        failure = error == ERROR_SUCCESS ? L"the file is empty" : Failure(L"the file could not be read", error);
        text.reset();
    }
    return text;
}

SyncOutcome SyncPass(TempFileList& temporaries, SyncTrigger trigger, LastPassMark* mark) {
    LastPassMark ignored = LastPassMark::None;
    LastPassMark& told = mark ? *mark : ignored;
    told = LastPassMark::Failed;
    const ConfiguredSource configured = ReadConfiguredSettingsSource();
    const std::string& source = configured.text;
    if (source.empty()) {
        told = LastPassMark::NoSource;
        return SyncOutcome::NoSource;
    }
    const bool machineOnly = MachinePolicyOn(kMachineSettingsOnlyPolicy);
    // The user maps drive letters (subst, net use): under the policy they
    // would choose the file that the machine's settings come from.
    if (machineOnly && KindOfSource(source) == SourceKind::DrivePath) {
        RecordSyncFailed(source, L"under the machine policy MachineSettingsOnly a source on a drive letter is not read",
                         trigger);
        told = LastPassMark::DriveLetterRefused;
        return SyncOutcome::DriveLetterRefused;
    }
    std::wstring why;
    const std::optional<WideString> text = FetchSettingsText(source, temporaries, &why);
    // Under "MachineSettingsOnly" a standard user cannot store what was
    // fetched; it is applied for this run all the same, so central settings
    // keep reaching the workstation. "Last Sync" records only what was stored.
    if (!text) {
        RecordSyncFailed(source, why, trigger);
        return SyncOutcome::Failed;
    }
    // The user's policy configures what the user's own settings key could:
    // its document goes there, as it did while that policy made the key.
    const ImportStore store =
        configured.origin == ValueOrigin::UserPolicy ? ImportStore::UserSettingsKey : ImportStore::SettingsKey;
    const std::wstring origin = SourceInRecords(source);
    const ImportOutcome imported = ImportSettingsText(*text, machineOnly, origin, store);
    if (!Imported(imported)) {
        RecordDocumentRefused(origin, imported);
        return SyncOutcome::Failed;
    }
    if (imported == ImportOutcome::Stored) WriteLastSync();
    told = imported == ImportOutcome::Stored ? LastPassMark::Stored : LastPassMark::Held;
    return SyncOutcome::Imported;
}

SyncOutcome ReloadSettingsFromSource(const std::function<void()>& loadSettings, HWND markedWindow) {
    TempFileList temporaries;
    LastPassMark mark = LastPassMark::None;
    const SyncOutcome outcome = SyncPass(temporaries, SyncTrigger::Menu, &mark);
    MarkLastPass(markedWindow, mark);
    if (outcome == SyncOutcome::Imported) {
        loadSettings();
    } else if (outcome == SyncOutcome::Failed) {
        MessageBoxA(GetActiveWindow(), kRetrievalFailure, "Sentrel", MB_OK);
    } else if (outcome == SyncOutcome::DriveLetterRefused) {
        const std::string text = std::string(kRetrievalFailure) + "\n\n" + kDriveLetterRefusal;
        MessageBoxA(GetActiveWindow(), text.c_str(), "Sentrel", MB_OK);
    }
    return outcome;
}

DWORD SyncIntervalMs() {
    // Never the user's own hive: any user could make every workstation poll
    // the source ten times a second.
    const auto opened = qz_support::registry::OpenKey(HKEY_LOCAL_MACHINE, kSettingsKeyPath, KEY_QUERY_VALUE);
    if (!opened) return kSyncIntervalMs;
    const auto read = qz_support::registry::ReadDword(opened.key.get(), kSyncIntervalValue);
    if (read.state != qz_support::registry::ValueState::Present || read.type != REG_DWORD || read.value == 0)
        return kSyncIntervalMs;
    return read.value < kMinimumSyncIntervalMs ? kMinimumSyncIntervalMs : read.value;
}

void SyncWorker(HWND window, HANDLE stopEvent) {
    if (FAILED(CoInitialize(nullptr))) return;
    const UINT reloadSettings = RegisterWindowMessageA("ReloadSettings");
    const DWORD interval = SyncIntervalMs();
    bool found = false;
    while (!StopRequested(stopEvent)) {
        TempFileList temporaries;
        SyncOutcome outcome = SyncOutcome::Failed;
        LastPassMark mark = LastPassMark::Failed;
        // A pass that raises (a DOM failure, no memory) is reported and fails
        // like any other; the next one comes an hour later.
        qz_support::RunGuarded(__FILE__, __LINE__, [&] { outcome = SyncPass(temporaries, SyncTrigger::Worker, &mark); });
        MarkLastPass(window, mark);
        // Once a source has been seen the worker keeps going; a later pass
        // without one imports nothing.
        if (outcome != SyncOutcome::NoSource) found = true;
        if (!found) break;
        if (outcome == SyncOutcome::Imported) SendMessageA(window, reloadSettings, 0, 0);
        WaitOrStop(stopEvent, interval);
    }
    CoUninitialize();
}

}  // namespace sentrel

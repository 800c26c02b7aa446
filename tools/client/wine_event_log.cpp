#include "tools/client/wine_event_log.h"

#include "tools/client/controller_client.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace sentrel::client {
namespace {

// One line of Wine's debug output: the thread that wrote it, its class and
// channel, the function and what follows.
struct DebugLine {
    std::string thread;
    std::string klass;
    std::string channel;
    std::string function;
    std::string rest;
};

// "0174:fixme:advapi:ReportEventW (...)", with a process id in front when
// Wine prints one.
bool SplitDebugLine(std::string_view line, DebugLine& out) {
    for (const char* klass : {"fixme", "err", "warn", "trace"}) {
        const std::string marker = std::string(":") + klass + ":";
        const size_t at = line.find(marker);
        if (at == std::string_view::npos || at == 0) continue;
        const std::string_view before = line.substr(0, at);
        const size_t threadStart = before.find_last_of(':');
        const size_t channelStart = at + marker.size();
        const size_t functionStart = line.find(':', channelStart);
        if (functionStart == std::string_view::npos) return false;
        const size_t restStart = line.find(' ', functionStart);
        out.thread = std::string(before.substr(threadStart == std::string_view::npos ? 0 : threadStart + 1));
        out.klass = klass;
        out.channel = std::string(line.substr(channelStart, functionStart - channelStart));
        out.function = std::string(line.substr(functionStart + 1, restStart - functionStart - 1));
        out.rest = restStart == std::string_view::npos ? "" : std::string(line.substr(restStart + 1));
        return true;
    }
    return false;
}

// The string of Wine's debugstr_w: L"..." with \n \r \t \" \\ and \xxxx
// (four hex digits) for everything outside printable ASCII; "..." after
// the closing quote when Wine cut it.
std::wstring UnescapeDebugString(std::string_view text, bool& cut) {
    cut = false;
    if (text.size() < 3 || text.substr(0, 2) != "L\"") return std::wstring(text.begin(), text.end());
    std::string_view body = text.substr(2);
    if (body.size() >= 4 && body.substr(body.size() - 4) == "\"...") {
        cut = true;
        body.remove_suffix(4);
    } else if (!body.empty() && body.back() == '"') {
        body.remove_suffix(1);
    }
    std::wstring out;
    for (size_t i = 0; i < body.size(); ++i) {
        if (body[i] != '\\' || i + 1 >= body.size()) {
            out += static_cast<wchar_t>(static_cast<unsigned char>(body[i]));
            continue;
        }
        const char next = body[++i];
        switch (next) {
        case 'n': out += L'\n'; break;
        case 'r': out += L'\r'; break;
        case 't': out += L'\t'; break;
        case '"': out += L'"'; break;
        case '\\': out += L'\\'; break;
        default:
            if (i + 4 <= body.size()) {
                out += static_cast<wchar_t>(std::stoul(std::string(body.substr(i, 4)), nullptr, 16));
                i += 3;
            }
        }
    }
    return out;
}

// For the shell: 'text', each ' written as '\''.
std::wstring Quoted(std::wstring_view text) {
    std::wstring quoted = L"'";
    for (const wchar_t c : text) quoted += c == L'\'' ? std::wstring(L"'\\''") : std::wstring(1, c);
    return quoted + L"'";
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// A Windows path as the Unix side names it.
std::wstring UnixPathOf(const std::wstring& windowsPath) {
    using UnixFileName = char*(CDECL*)(const wchar_t*);
    const auto unixFileName = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixFileName) return {};
    char* path = unixFileName(windowsPath.c_str());
    if (!path) return {};
    const std::wstring unixPath = Wide(path);
    HeapFree(GetProcessHeap(), 0, path);
    return unixPath;
}

}  // namespace

std::vector<EventRecord> ParseEventRecords(std::string_view debugOutput) {
    std::vector<EventRecord> records;
    std::vector<bool> complete;
    std::map<std::string, std::pair<size_t, size_t>> pending;  // thread: record, strings still to come
    std::istringstream lines{std::string(debugOutput)};
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        DebugLine parsed;
        if (!SplitDebugLine(line, parsed) || parsed.function != "ReportEventW") continue;
        if (parsed.klass == "fixme" && parsed.channel == "advapi") {
            // (source,type,category,id,sid,count,size,strings,data): stub
            unsigned handle = 0, type = 0, category = 0, count = 0;
            unsigned long id = 0;
            char sid[32] = {};
            if (std::sscanf(parsed.rest.c_str(), "(%x,0x%x,0x%x,0x%lx,%31[^,],0x%x", &handle, &type, &category, &id,
                            sid, &count) != 6)
                continue;
            EventRecord record;
            record.type = static_cast<WORD>(type);
            record.messageId = static_cast<DWORD>(id);
            records.push_back(std::move(record));
            complete.push_back(count == 0);
            if (count > 0) pending[parsed.thread] = {records.size() - 1, count};
        } else if (parsed.channel == "eventlog") {
            const auto found = pending.find(parsed.thread);
            if (found == pending.end()) continue;
            EventRecord& record = records[found->second.first];
            bool cut = false;
            record.inserts.push_back(UnescapeDebugString(parsed.rest, cut));
            record.cut = record.cut || cut;
            if (--found->second.second == 0) {
                complete[found->second.first] = true;
                pending.erase(found);
            }
        }
    }
    std::vector<EventRecord> done;
    for (size_t i = 0; i < records.size(); ++i) {
        if (complete[i]) done.push_back(std::move(records[i]));
    }
    return done;
}

WineDebugLog::WineDebugLog() {
    static std::atomic<int> next{0};
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    path_ = std::wstring(folder) + L"wine-records-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(next++) + L".log";
    DeleteFileW(path_.c_str());
}

WineDebugLog::~WineDebugLog() { DeleteFileW(path_.c_str()); }

bool WineDebugLog::Start(const std::wstring& programPath, const std::wstring& arguments) const {
    const std::wstring log = UnixPathOf(path_);
    if (log.empty()) return false;
    // The shell gets none of Wine's own variables: the prefix, the
    // architecture and the display are handed on by name.
    std::wstring script = L"exec env";
    for (const char* name : {"WINEPREFIX", "WINEARCH", "DISPLAY"}) {
        const std::string value = Env(name);
        if (!value.empty()) script += L" " + Wide(name) + L"=" + Quoted(Wide(value));
    }
    script += L" WINEDEBUG=" + Quoted(Wide(kRecordChannels)) + L" " + Quoted(Wide(Env("WINELOADER"))) + L" " +
              Quoted(programPath) + (arguments.empty() ? L"" : L" " + arguments) +
              L" </dev/null >/dev/null 2>>" + Quoted(log);
    return LaunchDetached(L"Z:\\bin\\sh -c \"" + script + L"\"");
}

std::vector<EventRecord> WineDebugLog::Records() const {
    std::ifstream file(std::filesystem::path(path_), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return ParseEventRecords(text.str());
}

bool StartControllerRecording(const WineDebugLog& log, DWORD timeoutMs) {
    if (!log.Start(ControllerProgram())) return false;
    return WaitUntil([] { return ControllerWindow() != nullptr; }, timeoutMs);
}

}  // namespace sentrel::client

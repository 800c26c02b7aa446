// sentrel-check: what a settings document will do, before it reaches the
// workstations. Built from the controller's own reader and access decision.
//
//   sentrel-check [--json] DOCUMENT [ADDRESS...]   allowed or refused, and why
//                                                  (addresses from standard input
//                                                  when none are given)
//   sentrel-check --lint [--json] DOCUMENT         whether the controller takes the
//                                                  document, and common mistakes
//   sentrel-check --hash-password                  the stored form of the password
//                                                  read from standard input
//   sentrel-check --version                        the product's version
//   sentrel-check --machine [--json]               Sentrel on this workstation
//                                                  (Windows build): exit status 0
//                                                  when the lock is in force, 1
//                                                  when not, 2 when it cannot tell
//   sentrel-check --read-log [--json] LOG [DOCUMENT]
//                                                  the agent's log, one record a line,
//                                                  and with a document what it
//                                                  decides for each address and why
//
// Exit status: 0 when it ran (and the document loads), 1 when the controller
// would reject the document, 2 for bad usage or an unreadable document or log.
#include "policy/access_decision.h"
#include "support/canonical_host.h"
#include "policy/url_normalization.h"
#include "settings/password_encoding.h"
#include "support/ascii.h"
#include "tools/check/json_text.h"
#include "tools/check/machine_state.h"
#include "support/log_records.h"
#include "tools/check/settings_file.h"

#include "sentrel_version.h"

#ifdef _WIN32
#include <objbase.h>
#endif

#include <cstdio>
#include <exception>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace sentrel::check {
namespace {

const char* ReasonCode(DecisionReason reason) {
    switch (reason) {
    case DecisionReason::LockOff: return "lock-off";
    case DecisionReason::LocalOrScript: return "local-or-script";
    case DecisionReason::Unsplittable: return "unsplittable";
    case DecisionReason::UserInformation: return "user-information";
    case DecisionReason::HostCharacters: return "host-characters";
    case DecisionReason::NoHost: return "no-host";
    case DecisionReason::InvalidHost: return "invalid-host";
    case DecisionReason::BlankPage: return "blank-page";
    case DecisionReason::ErrorPageHost: return "error-page-host";
    case DecisionReason::EntryMatched: return "entry-matched";
    case DecisionReason::NoEntryMatched: return "no-entry-matched";
    }
    return "";
}

struct Finding {
    const char* severity;  // "error", "warning", "note"
    std::string message;
};

std::string Lowered(std::string text) {
    for (char& c : text) c = AsciiLower(c);
    return text;
}

// A name such as "corp.example": dotted, of letters, digits and hyphens,
// and not an IPv4 address (whose last label is a number). Such entries are
// meant as host names, which whole-host matching takes them for.
bool IsDomainName(const std::string& entry) {
    if (entry.find('.') == std::string::npos) return false;
    for (const char c : entry) {
        const bool allowed = IsAsciiAlphanumeric(c) || c == '-' || c == '.';
        if (!allowed) return false;
    }
    std::string last = entry.substr(entry.find_last_of('.', entry.size() - 2) + 1);
    if (!last.empty() && last.back() == '.') last.pop_back();
    const std::string lowered = Lowered(last);
    const bool hex = lowered.size() > 2 && lowered.rfind("0x", 0) == 0 &&
                     lowered.find_first_not_of("0123456789abcdef", 2) == std::string::npos;
    const bool decimal = lowered.find_first_not_of("0123456789") == std::string::npos;
    return !hex && !decimal;
}

// What the document's password form means for whoever can read it.
std::optional<Finding> PasswordFinding(const SettingsPassword& password) {
    switch (password.StoredAs()) {
    case SettingsPassword::Form::None:
        return Finding{"note", "no password: the lock switch, the settings and Exit are open to anyone"};
    case SettingsPassword::Form::Reversible:
        return Finding{"warning", "the password is in the old reversible form: anyone who reads this document "
                                  "reads the password; store the form that sentrel-check --hash-password prints"};
    case SettingsPassword::Form::Hashed:
        return Finding{"note", "the password is hashed (PBKDF2-HMAC-SHA-256, " +
                                   std::to_string(password.Iterations()) + " rounds)"};
    }
    return std::nullopt;
}

std::vector<Finding> Lint(const SettingsFile& file) {
    std::vector<Finding> findings;
    if (file.verdict != Verdict::Loaded) {
        findings.push_back({"error", std::string("the controller rejects the whole document: ") +
                                         DescribeVerdict(file.verdict) + "; it keeps the settings it has"});
        return findings;
    }
    const SettingsReading& reading = file.reading;
    std::set<std::string> known(std::begin(kSettingsAttributes), std::end(kSettingsAttributes));
    for (const auto& [name, value] : file.attributes) {
        if (!known.count(name)) {
            findings.push_back({"warning", "unknown attribute \"" + name + "\" is ignored (a misspelling?)"});
            continue;
        }
        const std::string text = ToNarrow(value);
        if (name == "hostMatching") {
            if (Lowered(text) != "domain" && Lowered(text) != "substring")
                findings.push_back({"warning", "hostMatching=\"" + text + "\" reads as \"substring\": only \"domain\" "
                                               "chooses whole-host matching"});
            continue;
        }
        if (name != "errorPage" && name != "password" && !IsYes(value) && text != "N" && text != "n")
            findings.push_back({"warning", name + "=\"" + text + "\" reads as \"N\": only \"Y\" switches it on"});
    }
    if (!reading.active)
        findings.push_back({"note", "no \"active\": the controller keeps its lock as it is (off at its first start); "
                                    "the addresses are checked with the lock off"});
    if (const std::optional<Finding> password = PasswordFinding(reading.password)) findings.push_back(*password);
    if (!reading.errorPage.empty()) {
        URLParts parts;
        const WideString normalized = NormalizeURL(reading.errorPage);
        if (normalized.empty() || !CrackURL(normalized, parts)) {
            findings.push_back({"warning", "the error page cannot be split: it exempts no host"});
        } else if (parts.Host().empty()) {
            findings.push_back({"warning", "the error page has no host (a local file?): every address with an empty "
                                           "host is exempt from the list"});
        }
    }
    std::set<std::string> seen;
    for (const std::string& entry : file.entries) {
        const std::string quoted = "\"" + entry + "\"";
        if (!seen.insert(entry).second) findings.push_back({"note", "entry " + quoted + " is listed more than once"});
    }
    // Whole-host matching brings entries into the canonical form of hosts:
    // letter case no longer counts, a port after a colon is compared as a
    // port, and an entry covers only its own host and the hosts below it.
    const bool wholeHosts = reading.hostMatching == HostMatching::Domain;
    std::string hostNameExample;  // the first allow-list entry meant as a host name
    for (const std::string_view view : reading.hosts) {
        const std::string entry(view);
        const std::string quoted = "\"" + entry + "\"";
        if (entry.empty()) {
            findings.push_back(
                {"warning", wholeHosts ? "the empty entry covers every host: it matches every address"
                                       : "the empty entry occurs in every host: it matches every address"});
            continue;
        }
        if (entry.find('/') != std::string::npos) {
            findings.push_back({"warning", "entry " + quoted + " holds a scheme or a path: " +
                                               (wholeHosts ? "it names no host" : "it never occurs in a host")});
            continue;
        }
        if (wholeHosts) {
            if (!CanonicalEntry(entry))
                findings.push_back({"warning", "entry " + quoted + " names no host (it has no canonical form): it "
                                               "covers nothing"});
            continue;
        }
        if (entry.find(':') != std::string::npos) {
            findings.push_back({"warning", "entry " + quoted + " holds a port after a colon: it never matches (the "
                                           "host text carries the port as \"%3A\")"});
            continue;
        }
        bool upper = false;
        for (const char c : entry) upper = upper || IsAsciiUpper(c);
        if (upper)
            findings.push_back({"warning", "entry " + quoted + " has capital letters: browsers send host names in "
                                           "lower case, and letter case counts"});
        if (reading.reverseOperation) continue;
        // Host names get one suggestion for the whole list, not a note each.
        if (IsDomainName(entry)) {
            if (hostNameExample.empty()) hostNameExample = entry;
        } else {
            findings.push_back({"note", "allow-list entry " + quoted + " also lets through unrelated hosts that "
                                        "contain it, such as \"" + entry + ".attacker.test\""});
        }
    }
    if (!hostNameExample.empty()) {
        const std::string name = Lowered(hostNameExample);
        findings.push_back({"note", "allow-list entries such as \"" + hostNameExample + "\" also let through "
                                    "unrelated hosts that contain them, such as \"" + hostNameExample +
                                    ".attacker.test\"; hostMatching=\"domain\" makes entries match whole host names: "
                                    "\"" + name + "\" then covers \"" + name + "\" and \"www." + name +
                                    "\", no longer \"" + name + ".attacker.test\""});
    }
    return findings;
}

// A controller that starts with this document: the lock as it says, off
// (the record's start value) when it says nothing.
ControllerSettings SettingsOf(const SettingsReading& reading) {
    ControllerSettings settings;
    TakeReading(reading, settings, [] { return false; });
    return settings;
}

std::string Explain(const Decision& decision, const ControllerSettings& settings) {
    // Whole-host matching compares the canonical host with whole entries.
    const char* matched = settings.hostMatching == HostMatching::Domain ? " covers" : " occurs in";
    std::string why = DescribeReason(decision.reason);
    if (decision.reason == DecisionReason::EntryMatched)
        why = "the entry \"" + decision.entry + "\"" + matched + " the host \"" + decision.host + "\"" +
              (settings.reverseOperation ? " (block list)" : " (allow list)");
    if (decision.reason == DecisionReason::NoEntryMatched) {
        why = std::string("no entry") + matched + " the host \"" + decision.host + "\"";
        why += settings.reverseOperation ? " (block list)" : " (allow list); recorded in recentRefused";
    }
    if (decision.reason == DecisionReason::ErrorPageHost) why += " \"" + decision.host + "\"";
    if (decision.reason == DecisionReason::InvalidHost && !decision.host.empty())
        why = "the host \"" + decision.host + "\" has no canonical form: it is not a valid host name";
    return why;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: sentrel-check [--json] DOCUMENT [ADDRESS...]\n"
                 "       sentrel-check --lint [--json] DOCUMENT\n"
                 "       sentrel-check --hash-password   (the password on standard input)\n"
                 "       sentrel-check --version\n"
                 "       sentrel-check --machine [--json]\n"

                 "       sentrel-check --read-log [--json] LOG [DOCUMENT]\n"
                 "\n"
                 "--read-log splits the agent's log into its records (\"<answer>, <address>\" one\n"
                 "after the other, with nothing between them). A record is taken to begin at \"0, \",\n"
                 "\"1, \" or \"-<ten digits>, \" followed by what begins an address (a scheme or a\n"
                 "drive and ':', \"\\\\\", \"::\", or a bare word); an address that itself holds such\n"
                 "text (\"?q=1, http://x/\") reads as two records. Control characters are shown\n"
                 "as \\xNN.\n");
    return 2;
}

// A logged address shown on one line: control characters as \xNN, so that
// what a user navigated to cannot move the cursor or rewrite the screen.
std::string Shown(std::string_view address) {
    std::string shown;
    for (const char c : address) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            shown += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            shown += escaped;
        }
    }
    return shown;
}

// What the controller answered, as the log holds it.
std::string LoggedAnswer(int32_t answer) {
    if (answer == 0) return "allowed";
    if (answer == 1) return "REFUSED";
    char code[40];
    std::snprintf(code, sizeof code, "no answer (0x%08X)", static_cast<unsigned>(answer));
    return code;
}

const char* LoggedKind(int32_t answer) {
    return answer == 0 ? "allowed" : answer == 1 ? "refused" : "failed";
}

// The agent's log record by record; with a document, what it decides for
// each address now and why. The log is read in pieces, so a log of any size
// (a user may append anything to it) is read in bounded memory.
int ReadLog(const std::string& logPath, const std::string* documentPath, bool json) {
    std::optional<ControllerSettings> settings;
    if (documentPath) {
        const SettingsFile file = LoadSettingsFile(*documentPath);
        if (file.verdict == Verdict::Unreadable) {
            std::fprintf(stderr, "sentrel-check: cannot read %s\n", documentPath->c_str());
            return 2;
        }
        if (file.verdict != Verdict::Loaded) {
            std::fprintf(stderr, "sentrel-check: %s: the controller rejects it (%s)\n", documentPath->c_str(),
                         DescribeVerdict(file.verdict));
            return 1;
        }
        settings = SettingsOf(file.reading);
    }
    FILE* log = std::fopen(logPath.c_str(), "rb");
    if (!log) {
        std::fprintf(stderr, "sentrel-check: cannot read %s\n", logPath.c_str());
        return 2;
    }
    bool first = true;
    const auto print = [&](const LogRecord& record) {
        const bool whole = record.addressBytes == record.address.size();
        std::optional<Decision> decision;
        if (settings && record.isRecord && whole) decision = Decide(*settings, ToWide(record.address), true);
        if (json) {
            std::printf("%s{\"offset\": %llu, \"record\": %s, ", first ? "" : ", ",
                        static_cast<unsigned long long>(record.offset), record.isRecord ? "true" : "false");
            if (record.isRecord)
                std::printf("\"answer\": %ld, \"logged\": \"%s\", ", static_cast<long>(record.answer),
                            LoggedKind(record.answer));
            std::printf("\"address\": %s, \"address_bytes\": %llu, \"decision\": ", Json(record.address).c_str(),
                        static_cast<unsigned long long>(record.addressBytes));
            if (decision) {
                std::printf("{\"allowed\": %s, \"reason\": \"%s\", \"host\": %s, \"entry\": %s, \"why\": %s}}",
                            decision->allowed ? "true" : "false", ReasonCode(decision->reason),
                            Json(decision->host).c_str(), Json(decision->entry).c_str(),
                            Json(Explain(*decision, *settings)).c_str());
            } else {
                std::printf("null}");
            }
        } else {
            std::string line = record.isRecord ? LoggedAnswer(record.answer) : "?";
            line += "  " + Shown(record.address);
            if (!whole)
                line += " ... (" + std::to_string(record.addressBytes) + " bytes, the first " +
                        std::to_string(record.address.size()) + " shown)";
            if (!record.isRecord) {
                line += "  (not a record: the log does not begin with one)";
            } else if (decision) {
                line += std::string("  (") + (decision->allowed ? "allowed" : "REFUSED") + ": " +
                        Explain(*decision, *settings) + ")";
            } else if (settings) {
                line += "  (too long to judge here)";
            }
            std::printf("%s\n", line.c_str());
        }
        first = false;
    };
    if (json) {
        std::printf("{\"log\": %s, \"document\": %s, \"records\": [", Json(logPath).c_str(),
                    documentPath ? Json(*documentPath).c_str() : "null");
    }
    LogRecordSplitter splitter(print);
    char buffer[65536];
    for (size_t read; (read = std::fread(buffer, 1, sizeof buffer, log)) > 0;)
        splitter.Feed(std::string_view(buffer, read));
    const bool failed = std::ferror(log) != 0;
    std::fclose(log);
    splitter.Finish();
    if (json) std::printf("]}\n");
    if (failed) {
        std::fprintf(stderr, "sentrel-check: reading %s failed\n", logPath.c_str());
        return 2;
    }
    return 0;
}

// The first line of standard input (without its line end), hashed into the
// value for a document's "password".
int HashPassword() {
    std::string typed;
    std::getline(std::cin, typed);
    if (!typed.empty() && typed.back() == '\r') typed.pop_back();
    if (typed.empty()) {
        std::fprintf(stderr, "sentrel-check: no password on standard input\n");
        return 2;
    }
    if (typed.size() > kMaxStoredPasswordBytes) {
        std::fprintf(stderr, "sentrel-check: a password has at most %zu bytes\n", kMaxStoredPasswordBytes);
        return 2;
    }
    try {
        std::printf("%s\n", SettingsPassword::Choose(typed).StoredForm().c_str());
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "sentrel-check: %s\n", failure.what());
        return 2;
    }
    return 0;
}

int Run(int argc, char** argv) {
    bool json = false, lint = false, machine = false, readLog = false;
    std::vector<std::string> operands;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--json") {
            json = true;
        } else if (argument == "--lint") {
            lint = true;
        } else if (argument == "--machine") {
            machine = true;
        } else if (argument == "--read-log") {
            readLog = true;
        } else if (argument == "--hash-password" && argc == 2) {
            return HashPassword();
        } else if (argument == "--version" && argc == 2) {
            std::printf("sentrel-check %s\n", SENTREL_VERSION_TEXT);
            return 0;
        } else if (argument.rfind("--", 0) == 0) {
            return Usage();
        } else {
            operands.push_back(argument);
        }
    }
    if (machine) return operands.empty() && !lint ? ReportMachineState(json) : Usage();
    if (operands.empty() || (lint && operands.size() != 1)) return Usage();
    if (readLog) {
        if (lint || operands.size() > 2) return Usage();
        return ReadLog(operands[0], operands.size() == 2 ? &operands[1] : nullptr, json);
    }
    const std::string& path = operands.front();
    const SettingsFile file = LoadSettingsFile(path);
    if (file.verdict == Verdict::Unreadable) {
        std::fprintf(stderr, "sentrel-check: cannot read %s\n", path.c_str());
        return 2;
    }
    const bool loads = file.verdict == Verdict::Loaded;

    if (lint) {
        const std::vector<Finding> findings = Lint(file);
        if (json) {
            std::printf("{\"document\": %s, \"loads\": %s, \"findings\": [", Json(path).c_str(), loads ? "true" : "false");
            for (size_t i = 0; i < findings.size(); ++i)
                std::printf("%s{\"severity\": \"%s\", \"message\": %s}", i ? ", " : "", findings[i].severity,
                            Json(findings[i].message).c_str());
            std::printf("]}\n");
        } else {
            std::printf("%s: %s\n", path.c_str(), loads ? "the controller loads it" : "the controller rejects it");
            for (const Finding& finding : findings)
                std::printf("  %s: %s\n", finding.severity, finding.message.c_str());
        }
        return loads ? 0 : 1;
    }

    if (!loads) {
        if (json) {
            std::printf("{\"document\": %s, \"loads\": false, \"why\": %s, \"decisions\": []}\n", Json(path).c_str(),
                        Json(DescribeVerdict(file.verdict)).c_str());
        } else {
            std::printf("%s: the controller rejects it (%s) and keeps the settings it has\n", path.c_str(),
                        DescribeVerdict(file.verdict));
        }
        return 1;
    }
    std::vector<std::string> addresses(operands.begin() + 1, operands.end());
    if (addresses.empty()) {
        for (std::string line; std::getline(std::cin, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty()) addresses.push_back(line);
        }
    }
    ControllerSettings settings = SettingsOf(file.reading);
    if (json) std::printf("{\"document\": %s, \"loads\": true, \"decisions\": [", Json(path).c_str());
    for (size_t i = 0; i < addresses.size(); ++i) {
        const Decision decision = Decide(settings, ToWide(addresses[i]), true);
        if (json) {
            std::printf("%s{\"address\": %s, \"allowed\": %s, \"reason\": \"%s\", \"host\": %s, \"entry\": %s, "
                        "\"recorded\": %s}",
                        i ? ", " : "", Json(addresses[i]).c_str(), decision.allowed ? "true" : "false",
                        ReasonCode(decision.reason), Json(decision.host).c_str(), Json(decision.entry).c_str(),
                        !decision.allowed && decision.reason == DecisionReason::NoEntryMatched ? "true" : "false");
        } else {
            std::printf("%s  %s  (%s)\n", decision.allowed ? "allowed" : "REFUSED", addresses[i].c_str(),
                        Explain(decision, settings).c_str());
        }
    }
    if (json) std::printf("]}\n");
    return 0;
}

}  // namespace

const char* DescribeVerdict(Verdict verdict) {
    switch (verdict) {
    case Verdict::Unreadable: return "the file cannot be read";
    case Verdict::TooLarge: return "the file is larger than a settings document can be";
    case Verdict::DocumentType: return "it declares a document type";
    case Verdict::NotWellFormed: return "it is not well-formed XML";
    case Verdict::NoLockSettings: return "it has no lockSettings element";
    case Verdict::BadChild: return "a child of lockSettings is not an element with a \"name\"";
    case Verdict::BadPassword: return "its password begins as the hashed form but is not a well-made one";
    case Verdict::Loaded: return "";
    }
    return "";
}

}  // namespace sentrel::check

int main(int argc, char** argv) {
#ifdef _WIN32
    if (FAILED(CoInitialize(nullptr))) return 2;
#endif
    const int status = sentrel::check::Run(argc, argv);
#ifdef _WIN32
    CoUninitialize();
#endif
    return status;
}

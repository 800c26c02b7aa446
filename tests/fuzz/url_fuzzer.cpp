// Feeds arbitrary bytes to the normalisation and the decision. The first
// byte picks the modes, the text up to the first "\0\0" is a NUL-separated
// site list, the rest is the address as UTF-16 (pairs of bytes).
#include "policy/access_decision.h"
#include "policy/url_normalization.h"
#include "controller/command_line.h"
#include "settings/password_encoding.h"
#include "support/canonical_host.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t modes = data[0];
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);

    // The other parsers of outside text: command lines and stored passwords.
    (void)sentrel::ScanCommandLine(rest);
    if (sentrel::DecodePassword(rest).size() > sentrel::kMaxEncodedPasswordChars / 2) __builtin_trap();

    sentrel::ControllerSettings settings;
    settings.active = (modes & 1) != 0;
    settings.reverseOperation = (modes & 2) != 0;
    const size_t listEnd = rest.find(std::string_view("\0\0", 2));
    if (listEnd != std::string_view::npos) {
        std::string_view list = rest.substr(0, listEnd);
        rest.remove_prefix(listEnd + 2);
        while (true) {
            const size_t end = list.find('\0');
            settings.hosts.Insert(std::string(list.substr(0, end)));
            if (end == std::string_view::npos) break;
            list.remove_prefix(end + 1);
        }
    }

    std::u16string address;
    for (size_t i = 0; i + 1 < rest.size(); i += 2)
        address.push_back(static_cast<char16_t>(std::uint8_t(rest[i]) | (std::uint8_t(rest[i + 1]) << 8)));
    if (modes & 4) settings.errorPage = address.substr(0, address.size() / 2);

    sentrel::URLParts parts;
    if (sentrel::CrackURL(address, parts)) {
        // Every component ends inside its own buffer.
        if (parts.Host().size() >= sentrel::URLParts::kHostCapacity) __builtin_trap();
        if (parts.Path().size() >= sentrel::URLParts::kPathCapacity) __builtin_trap();
        (void)sentrel::RebuildURL(parts);
    }
    const std::u16string normalized = sentrel::NormalizeURL(address);
    const HRESULT answer = sentrel::IsURLOK(settings, sentrel::WideView(address));
    if (answer != S_OK && answer != S_FALSE) __builtin_trap();
    if (settings.recentRefused.size() > sentrel::ControllerSettings::kRecentRefusedLimit) __builtin_trap();
    // The index must agree with the plain walk.
    if (sentrel::CrackURL(address, parts)) {
        bool linear = false;
        for (const std::string_view entry : settings.hosts) linear = linear || parts.Host().find(entry) != std::string_view::npos;
        if (linear != settings.hosts.AnyEntryOccursIn(parts.Host())) __builtin_trap();
    }

    // Whole-host matching: the same two answers only, a canonical form that
    // is its own canonical form, and the index agreeing with a plain walk.
    settings.hostMatching = sentrel::HostMatching::Domain;
    const HRESULT wholeHostAnswer = sentrel::IsURLOK(settings, sentrel::WideView(address));
    if (wholeHostAnswer != S_OK && wholeHostAnswer != S_FALSE) __builtin_trap();
    if (sentrel::CrackURL(address, parts)) {
        if (const std::optional<std::string> canonical = sentrel::CanonicalHost(parts.Host())) {
            if (sentrel::CanonicalHost(*canonical) != canonical) __builtin_trap();
            const sentrel::NameAndPort host = sentrel::SplitCanonicalHost(*canonical);
            bool covered = false;
            for (const std::string_view entry : settings.hosts) {
                if (entry.empty()) covered = true;
                const std::optional<std::string> named = sentrel::CanonicalEntry(entry);
                if (!named) continue;
                const sentrel::NameAndPort split = sentrel::SplitCanonicalHost(*named);
                if (!split.port.empty() && split.port != host.port) continue;
                const bool below = !sentrel::IsAddressLiteral(host.name) && host.name.size() > split.name.size() &&
                                   host.name.ends_with(split.name) &&
                                   host.name[host.name.size() - split.name.size() - 1] == '.';
                covered = covered || host.name == split.name || below;
            }
            if (covered != settings.hosts.EntryCovering(*canonical).has_value()) __builtin_trap();
        }
    }
    return 0;
}

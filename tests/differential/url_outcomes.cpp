// Prints, for every generated address, what the decision makes of it and how
// the address splits, one line each, so that the output of the native build
// and of the Windows build can be compared line by line:
//   index <TAB> kind <TAB> decision <TAB> split
// decision: "local", "unsplittable" or "host=<host>" and the host's
// canonical form for whole-host matching ("-" for none), then the answers
// with an allow list and with a block list; split: the six components.
#include "policy/url_platform.h"
#include "policy/access_decision.h"
#include "policy/url_normalization.h"
#include "support/canonical_host.h"
#include "tests/differential/address_generator.h"

#include <cstdio>
#include <optional>
#include <string>

namespace {

using namespace sentrel;

std::string Escaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F || c == '\\' || c == '|') {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02X", byte);
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

const char* Answer(HRESULT hr) {
    return hr == S_OK ? "allow" : hr == S_FALSE ? "refuse" : "error";
}

}  // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
    // The Windows build this run is compared with is 64-bit.
    if (argc > 1 && std::string(argv[1]) == "--wine64") ImitateWine64Shell(true);
#else
    (void)argc;
    (void)argv;
#endif
    constexpr unsigned kSeed = 2026;
    constexpr size_t kCount = 21000;
    ControllerSettings allowList;
    allowList.active = true;
    allowList.hosts.Insert("allowed.test");
    ControllerSettings blockList;
    blockList.active = true;
    blockList.reverseOperation = true;
    blockList.hosts.Insert("evil.test");

    const auto addresses = differential::GenerateAddresses(kSeed, kCount);
    for (size_t i = 0; i < addresses.size(); ++i) {
        const WideView address = UpToFirstNul(addresses[i].address);
        std::string decision;
        std::string split = "-";
        URLParts parts;
        if (IsLocalOrScriptURL(ToNarrow(address))) {
            decision = "local";
        } else if (!CrackURL(address, parts)) {
            decision = "unsplittable";
        } else {
            const std::optional<std::string> canonical = CanonicalHost(parts.Host());
            decision = "host=" + Escaped(parts.Host()) + " canonical=" + (canonical ? Escaped(*canonical) : "-");
            split = Escaped(parts.Scheme()) + "|" + Escaped(parts.Host()) + "|" + Escaped(parts.userName) + "|" +
                    Escaped(parts.password) + "|" + Escaped(parts.Path()) + "|" + Escaped(parts.extra);
        }
        decision += std::string(" ") + Answer(IsURLOK(allowList, address)) + " " + Answer(IsURLOK(blockList, address));
        std::printf("%zu\t%s\t%s\t%s\n", i, addresses[i].kind.c_str(), decision.c_str(), split.c_str());
        allowList.recentRefused.clear();
        blockList.recentRefused.clear();
    }
    return 0;
}

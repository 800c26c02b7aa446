#include "support/canonical_host.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace sentrel {
namespace {

// Names of plain ASCII are made canonical without decoding; each row holds
// them to what the full way gives: case, dots, label and name lengths, the
// characters a label may hold, and names whose last label makes an address.
TEST(CanonicalHost, Table) {
    const std::string label63(63, 'a');
    const std::string name253 = label63 + "." + label63 + "." + label63 + "." + std::string(61, 'd');
    const struct {
        std::string host;
        std::optional<std::string> canonical;
    } cases[] = {
        {"Corp.Example", "corp.example"},
        {"corp.example.", "corp.example"},
        {"corp.example..", std::nullopt},
        {".", std::nullopt},
        {".corp", std::nullopt},
        {"a..b", std::nullopt},
        {"under_score-x.TEST", "under_score-x.test"},
        {label63 + ".test", label63 + ".test"},
        {label63 + "a.test", std::nullopt},
        {name253, name253},
        {name253 + "d", std::nullopt},
        {name253 + ".", name253},
        {"exa mple.test", std::nullopt},
        {"a+b.test", std::nullopt},
        {"WWW.Example.com%3A080", "www.example.com%3A80"},
        {"www.example.com%3A", "www.example.com"},
        {"1.2.3.4", "1.2.3.4"},
        {"10.1.2.3.", "10.1.2.3"},
        {"0X7F.1", "127.0.0.1"},
        {"A.1", std::nullopt},
        {"abc.0x10", std::nullopt},
        {"1.test", "1.test"},
        {"b%C3%BCcher.TEST", "xn--bcher-kva.test"},
        {"c%6Frp.example", "corp.example"},
    };
    for (const auto& c : cases) EXPECT_EQ(CanonicalHost(c.host), c.canonical) << c.host;
}

}  // namespace
}  // namespace sentrel

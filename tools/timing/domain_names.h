// Generated domain-like host names ("kelomarivu-shop.co.uk"), 10 to 30
// characters, the same for a given count on every run: the site lists of
// the benchmarks and timing harnesses.
#pragma once

#include <random>
#include <string>
#include <vector>

namespace sentrel::timing {

inline std::vector<std::string> DomainNames(size_t count) {
    static const char* const kSyllables[] = {"ka", "lo", "ma", "ri", "vu", "ne", "to", "sa", "pi", "de",
                                             "mon", "tar", "lin", "gor", "bel", "sun", "fi", "zo", "qua", "ex"};
    static const char* const kWords[] = {"shop", "news", "mail", "cloud", "bank", "games", "media", "tech"};
    static const char* const kDomains[] = {".com", ".net", ".org", ".de", ".co.uk", ".io", ".info", ".fr"};
    std::mt19937 random(2026);
    std::vector<std::string> names;
    names.reserve(count);
    while (names.size() < count) {
        std::string name;
        const int syllables = 2 + static_cast<int>(random() % 7);
        for (int i = 0; i < syllables; ++i) name += kSyllables[random() % 20];
        if (random() % 3 == 0) name += std::string("-") + kWords[random() % 8];
        name += kDomains[random() % 8];
        if (name.size() >= 10 && name.size() <= 30) names.push_back(std::move(name));
    }
    return names;
}

}  // namespace sentrel::timing

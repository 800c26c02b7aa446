// The access decision and the site list at scale. Lists of generated
// domain-like host names (10 to 30 characters); the asked host matches no
// entry, so a linear walk would visit the whole list. Reports the decision
// time, the index's build time and the bytes the list and its index hold
// per entry.
#include "policy/access_decision.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

namespace {

// Names such as "kelomarivu-shop.co.uk": syllables, sometimes a hyphen and a
// word, and a top-level domain; 10 to 30 characters.
std::vector<std::string> DomainNames(size_t count) {
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

sentrel::ControllerSettings SettingsWithEntries(size_t count) {
    sentrel::ControllerSettings settings;
    settings.active = true;
    for (std::string& name : DomainNames(count)) settings.hosts.Insert(std::move(name));
    return settings;
}

void DecideWithListSize(benchmark::State& state) {
    sentrel::ControllerSettings settings = SettingsWithEntries(static_cast<size_t>(state.range(0)));
    const std::u16string url = u"http://www.unlisted-host.test/some/page.htm?q=1";
    sentrel::IsURLOK(settings, sentrel::WideView(url));  // builds the index outside the timing
    for (auto _ : state) {
        settings.recentRefused.clear();
        benchmark::DoNotOptimize(sentrel::IsURLOK(settings, sentrel::WideView(url)));
    }
    if (!settings.hosts.empty())
        state.counters["bytes_per_entry"] =
            static_cast<double>(settings.hosts.MemoryBytes()) / static_cast<double>(settings.hosts.size());
}

void BuildIndex(benchmark::State& state) {
    const std::vector<std::string> names = DomainNames(static_cast<size_t>(state.range(0)));
    sentrel::SiteList list;
    for (const std::string& name : names) list.Insert(name);
    for (auto _ : state) {
        sentrel::SiteList copy = list;
        copy.Insert("a-fresh-entry.test");  // a change: the next match rebuilds the index
        benchmark::DoNotOptimize(copy.AnyEntryOccursIn("unlisted.test"));
    }
}

}  // namespace

BENCHMARK(DecideWithListSize)->Arg(0)->Arg(1000)->Arg(100000);
BENCHMARK(BuildIndex)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

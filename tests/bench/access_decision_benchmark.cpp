// The access decision and the site list at scale. Lists of generated
// domain-like host names (10 to 30 characters); the asked host matches no
// entry, so a linear walk would visit the whole list. Reports the decision
// time, the index's build time and the bytes the list and its index hold
// per entry.
#include "policy/access_decision.h"
#include "tools/timing/domain_names.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

sentrel::ControllerSettings SettingsWithEntries(size_t count) {
    sentrel::ControllerSettings settings;
    settings.active = true;
    for (std::string& name : sentrel::timing::DomainNames(count)) settings.hosts.Insert(std::move(name));
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
    const std::vector<std::string> names = sentrel::timing::DomainNames(static_cast<size_t>(state.range(0)));
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

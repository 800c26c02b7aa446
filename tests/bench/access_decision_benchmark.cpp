// Decision time for allow lists of 0, 1,000 and 100,000 entries. The host
// matches no entry, so a linear walk would visit the whole list.
#include "policy/access_decision.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

sentrel::ControllerSettings SettingsWithEntries(int count) {
    sentrel::ControllerSettings settings;
    settings.active = true;
    for (int i = 0; i < count; ++i) settings.hosts.Insert("site" + std::to_string(i) + ".example");
    return settings;
}

void DecideWithListSize(benchmark::State& state) {
    sentrel::ControllerSettings settings = SettingsWithEntries(static_cast<int>(state.range(0)));
    const std::u16string url = u"http://www.unlisted-host.test/some/page.htm?q=1";
    sentrel::IsURLOK(settings, sentrel::WideView(url));  // builds the index outside the timing
    for (auto _ : state) {
        settings.recentRefused.clear();
        benchmark::DoNotOptimize(sentrel::IsURLOK(settings, sentrel::WideView(url)));
    }
}

}  // namespace

BENCHMARK(DecideWithListSize)->Arg(0)->Arg(1000)->Arg(100000);
BENCHMARK_MAIN();

// The access decision and the site list at scale. Lists of generated
// domain-like host names (10 to 30 characters); the asked host matches no
// entry, so a linear walk would visit the whole list. Reports the decision
// time under both matching rules, the index's build time and the bytes the
// list and its index hold per entry, and ends with the cost of a decision
// at 100,000 entries as a ratio to the empty list's under the same rule.
#include "policy/access_decision.h"
#include "tools/timing/domain_names.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

sentrel::ControllerSettings SettingsWithEntries(size_t count,
                                                sentrel::HostMatching matching = sentrel::HostMatching::Substring) {
    sentrel::ControllerSettings settings;
    settings.active = true;
    settings.hostMatching = matching;
    for (std::string& name : sentrel::timing::DomainNames(count)) settings.hosts.Insert(std::move(name));
    return settings;
}

// One address asked again and again of a list of state.range(0) entries.
void DecideWith(benchmark::State& state, sentrel::HostMatching matching, const std::u16string& url) {
    sentrel::ControllerSettings settings = SettingsWithEntries(static_cast<size_t>(state.range(0)), matching);
    sentrel::IsURLOK(settings, sentrel::WideView(url));  // builds the index outside the timing
    for (auto _ : state) {
        settings.recentRefused.clear();
        benchmark::DoNotOptimize(sentrel::IsURLOK(settings, sentrel::WideView(url)));
    }
    if (!settings.hosts.empty())
        state.counters["bytes_per_entry"] =
            static_cast<double>(settings.hosts.MemoryBytes()) / static_cast<double>(settings.hosts.size());
}

void DecideWithListSize(benchmark::State& state) {
    DecideWith(state, sentrel::HostMatching::Substring, u"http://www.unlisted-host.test/some/page.htm?q=1");
}

// Four labels, so four probes of the whole-host index, none of them found.
void DecideWholeHostsWithListSize(benchmark::State& state) {
    DecideWith(state, sentrel::HostMatching::Domain, u"http://www.unlisted-host.co.uk/some/page.htm?q=1");
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


// Keeps each benchmark's time (the median where repetitions are reported)
// for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.aggregate_name.empty() || run.aggregate_name == "median")
                times[run.run_name.str()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace

BENCHMARK(DecideWithListSize)->Arg(0)->Arg(1000)->Arg(100000);
BENCHMARK(DecideWholeHostsWithListSize)->Arg(0)->Arg(100000);
BENCHMARK(BuildIndex)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto ratio = [&](const char* name, const char* rule) {
        const std::string base = std::string(name) + "/0", large = std::string(name) + "/100000";
        if (!reporter.times.count(base) || !reporter.times.count(large) || reporter.times[base] <= 0) return;
        std::printf("decision at 100,000 entries against the empty list (%s): %.2fx\n", rule,
                    reporter.times[large] / reporter.times[base]);
    };
    ratio("DecideWithListSize", "substring rule");
    ratio("DecideWholeHostsWithListSize", "whole-host matching, at most 1.2x");
    return 0;
}

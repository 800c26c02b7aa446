// The access decision and the site list at scale. Lists of generated
// domain-like host names (10 to 30 characters); the asked host matches no
// entry, so a linear walk would visit the whole list. Reports the decision
// time under both matching rules, the index's build time and the bytes the
// list and its index hold per entry, and ends with the figures against their
// targets: a decision at 100,000 entries as a ratio to the empty list's under
// the same rule (at most 1.2), the index's build for 100,000 entries (at most
// 50 ms) and the bytes per entry at 100,000 entries (at most 100).
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


// Keeps each benchmark's time in milliseconds and its bytes per entry (the
// median where repetitions are reported) for the figures printed at the end.
class FigureReporter : public benchmark::ConsoleReporter {
public:
    FigureReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (!run.aggregate_name.empty() && run.aggregate_name != "median") continue;
            const double unitsPerMillisecond = benchmark::GetTimeUnitMultiplier(run.time_unit) / 1e3;
            milliseconds[run.run_name.str()] = run.GetAdjustedRealTime() / unitsPerMillisecond;
            const auto bytes = run.counters.find("bytes_per_entry");
            if (bytes != run.counters.end()) bytesPerEntry[run.run_name.str()] = bytes->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> milliseconds;
    std::map<std::string, double> bytesPerEntry;
};

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

}  // namespace

BENCHMARK(DecideWithListSize)->Arg(0)->Arg(1000)->Arg(100000);
BENCHMARK(DecideWholeHostsWithListSize)->Arg(0)->Arg(100000);
BENCHMARK(BuildIndex)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    FigureReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto decision = [&](const char* name, const char* rule) {
        const std::string base = std::string(name) + "/0", large = std::string(name) + "/100000";
        if (reporter.milliseconds.count(base) && reporter.milliseconds.count(large) && reporter.milliseconds[base] > 0) {
            const double ratio = reporter.milliseconds[large] / reporter.milliseconds[base];
            std::printf("decision at 100,000 entries against the empty list (%s): %.2fx (target at most 1.2x: %s)\n",
                        rule, ratio, Verdict(ratio <= 1.2));
        }
        if (reporter.bytesPerEntry.count(large)) {
            const double bytes = reporter.bytesPerEntry[large];
            std::printf("list and index at 100,000 entries (%s): %.1f bytes per entry (target at most 100: %s)\n", rule,
                        bytes, Verdict(bytes <= 100));
        }
    };
    decision("DecideWithListSize", "substring rule");
    decision("DecideWholeHostsWithListSize", "whole-host matching");
    if (reporter.milliseconds.count("BuildIndex/100000")) {
        const double build = reporter.milliseconds["BuildIndex/100000"];
        std::printf("index built anew after a change, 100,000 entries: %.1f ms (target at most 50 ms: %s)\n", build,
                    Verdict(build <= 50));
    }
    return 0;
}

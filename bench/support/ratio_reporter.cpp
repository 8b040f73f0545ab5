#include "support/ratio_reporter.h"

#include <cstdio>

namespace qel::bench {

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
  benchmark::ConsoleReporter::ReportRuns(runs);
  for (const Run& run : runs) {
    if (run.iterations == 0) continue;
    const double seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
    nanoseconds_[run.benchmark_name()] = seconds * 1e9;
    for (const auto& [name, counter] : run.counters) {
      counters_[run.benchmark_name()][name] = counter.value;
    }
  }
}

double RatioReporter::Nanoseconds(const std::string& name) const {
  const auto found = nanoseconds_.find(name);
  return found == nanoseconds_.end() ? 0.0 : found->second;
}

void RatioReporter::PrintRatio(const std::string& label, const std::string& measured,
                               const std::string& baseline, double target) const {
  const double base = Nanoseconds(baseline);
  const double value = Nanoseconds(measured);
  if (base <= 0.0 || value <= 0.0) return;
  std::printf("%-58s %10.1f us / %8.1f us = %5.2f  (target <= %.2f)\n", label.c_str(), value / 1e3,
              base / 1e3, value / base, target);
}

double RatioReporter::Counter(const std::string& name, const std::string& counter) const {
  const auto run = counters_.find(name);
  if (run == counters_.end()) return 0.0;
  const auto value = run->second.find(counter);
  return value == run->second.end() ? 0.0 : value->second;
}

void RatioReporter::PrintCounterRatio(const std::string& label, const std::string& benchmark,
                                      const std::string& counter, const std::string& baseline,
                                      const std::string& baselineCounter, double target) const {
  const double base = Counter(baseline, baselineCounter);
  const double value = Counter(benchmark, counter);
  if (base <= 0.0 || value <= 0.0) return;
  std::printf("%-58s %10.1f us / %8.1f us = %5.2f  (target <= %.2f)\n", label.c_str(), value / 1e3,
              base / 1e3, value / base, target);
}

bool RunWith(RatioReporter& reporter, int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return false;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return true;
}

}  // namespace qel::bench

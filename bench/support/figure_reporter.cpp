#include "support/figure_reporter.h"

namespace qel::bench {

void FigureReporter::ReportRuns(const std::vector<Run>& runs) {
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

double FigureReporter::Nanoseconds(const std::string& name) const {
  const auto found = nanoseconds_.find(name);
  return found == nanoseconds_.end() ? 0.0 : found->second;
}

double FigureReporter::Counter(const std::string& name, const std::string& counter) const {
  const auto run = counters_.find(name);
  if (run == counters_.end()) return 0.0;
  const auto value = run->second.find(counter);
  return value == run->second.end() ? 0.0 : value->second;
}

bool RunWith(FigureReporter& reporter, int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return false;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return true;
}

}  // namespace qel::bench

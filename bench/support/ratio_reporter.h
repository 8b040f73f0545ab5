// A console reporter that also keeps every benchmark's mean real time, so
// that a program can print ratios against a baseline measured in the same
// run once all benchmarks have run.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>

namespace qel::bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override;

  // Mean real time per iteration in nanoseconds, by benchmark name; 0 when
  // the benchmark did not run.
  double Nanoseconds(const std::string& name) const;
  // A user counter's value; 0 when absent.
  double Counter(const std::string& name, const std::string& counter) const;
  // Prints "label: measured / baseline = ratio (target <= target)".
  void PrintRatio(const std::string& label, const std::string& measured,
                  const std::string& baseline, double target) const;
  // Prints a user counter of one benchmark divided by the same-named
  // counter of the baseline (both in nanoseconds).
  void PrintCounterRatio(const std::string& label, const std::string& benchmark,
                         const std::string& counter, const std::string& baseline,
                         const std::string& baselineCounter, double target) const;

 private:
  std::map<std::string, double> nanoseconds_;
  std::map<std::string, std::map<std::string, double>> counters_;
};

// Runs every benchmark with the reporter; false when arguments were wrong.
bool RunWith(RatioReporter& reporter, int argc, char** argv);

}  // namespace qel::bench

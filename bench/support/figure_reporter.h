// A console reporter that also keeps every benchmark's mean real time and
// user counters, so that a program can print its figures once all
// benchmarks have run. (Ratios are not taken from these: see
// paired_ratio.h.)
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>

namespace qel::bench {

class FigureReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override;

  // Mean real time per iteration in nanoseconds, by benchmark name; 0 when
  // the benchmark did not run.
  double Nanoseconds(const std::string& name) const;
  // A user counter's value; 0 when absent.
  double Counter(const std::string& name, const std::string& counter) const;

 private:
  std::map<std::string, double> nanoseconds_;
  std::map<std::string, std::map<std::string, double>> counters_;
};

// Runs every benchmark with the reporter; false when arguments were wrong.
bool RunWith(FigureReporter& reporter, int argc, char** argv);

}  // namespace qel::bench

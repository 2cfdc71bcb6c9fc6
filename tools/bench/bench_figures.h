// The benchmark's figures: each a named series of values over the rounds, printed as its median
// with its smallest and largest value, and the comparisons that make them from the passes.
#pragma once

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bench_passes.h"

namespace ferry::bench {

// The values of one figure over the rounds.
class Samples {
 public:
  void add(double value) { values_.push_back(value); }
  double median() const {
    std::vector<double> sorted = values_;
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
  }
  double low() const { return *std::min_element(values_.begin(), values_.end()); }
  double high() const { return *std::max_element(values_.begin(), values_.end()); }

 private:
  std::vector<double> values_;
};

// Every figure by its printed name, in the order of the first value given.
class Figures {
 public:
  void add(const std::string& name, const char* unit, double value) {
    if (!samples_.count(name)) order_.push_back({name, unit});
    samples_[name].add(value);
  }
  void print() const {
    for (const auto& [name, unit] : order_) {
      const Samples& s = samples_.at(name);
      std::printf("  %-56s %10.3f %-6s [%.3f .. %.3f]\n", name.c_str(), s.median(), unit, s.low(),
                  s.high());
    }
  }
  double median(const std::string& name) const {
    auto found = samples_.find(name);
    return found == samples_.end() ? 0 : found->second.median();
  }

 private:
  std::vector<std::pair<std::string, const char*>> order_;
  std::map<std::string, Samples> samples_;
};

// The agent's pass and its direct partner, in the round's order; their figures under `name`.
void compare(Figures& figures, const std::string& name, bool agentFirst,
             const std::function<Pass()>& agentPass, const std::function<Pass()>& directPass);

// The remote pipe alone, `bytes` in messages of `messageSize`: its figures.
void addPipeFloor(Figures& figures, Bench& bench, size_t messageSize, uint64_t bytes);

// The remote paths against the floor of the pipe alone (medians), after the figures.
void printAgainstPipeAlone(const Figures& figures);

}  // namespace ferry::bench

#include "bench_figures.h"

#include "bench_base.h"
#include "remote_stream.h"

namespace ferry::bench {

void compare(Figures& figures, const std::string& name, bool agentFirst,
             const std::function<Pass()>& agentPass, const std::function<Pass()>& directPass) {
  Pass agent;
  Pass direct;
  if (agentFirst) {
    agent = agentPass();
    direct = directPass();
  } else {
    direct = directPass();
    agent = agentPass();
  }
  const double agentRate = agent.stream > 0 ? mib(agent.bytes) / agent.stream : 0;
  const double directRate = direct.stream > 0 ? mib(direct.bytes) / direct.stream : 0;
  figures.add(name + ": agent streaming", "MiB/s", agentRate);
  figures.add(name + ": direct streaming", "MiB/s", directRate);
  figures.add(name + ": ratio agent / direct", "", directRate > 0 ? agentRate / directRate : 0);
  if (agent.calls > 0 && direct.calls > 0) {
    figures.add(name + ": per data call, agent", "us", agent.stream / agent.calls * 1e6);
    figures.add(name + ": per data call, direct", "us", direct.stream / direct.calls * 1e6);
  }
  if (agent.files > 0) {
    figures.add(name + ": per file beyond direct", "ms",
                (agent.perFile / agent.files - direct.perFile / direct.files) * 1e3);
  }
  if (agent.locationEvents > 0) {
    figures.add(name + ": per change or end of location", "ms",
                agent.locations / agent.locationEvents * 1e3);
  }
  figures.add(name + ": fixed waits (start check, run end)", "s", agent.fixed);
  if (agent.bytes != direct.bytes) {
    std::printf("note: %s moved %llu bytes through the agent, %llu directly\n", name.c_str(),
                static_cast<unsigned long long>(agent.bytes),
                static_cast<unsigned long long>(direct.bytes));
  }
}

void addPipeFloor(Figures& figures, Bench& bench, size_t messageSize, uint64_t bytes) {
  const Pass floor = bench.pipeAlone(messageSize, bytes);
  const std::string name =
      "remote pipe alone, " + std::to_string(messageSize / 1024) + " KiB messages";
  figures.add(name, "MiB/s", floor.stream > 0 ? mib(floor.bytes) / floor.stream : 0);
  figures.add(name + ", per message", "us", floor.stream / floor.calls * 1e6);
}

void printAgainstPipeAlone(const Figures& figures) {
  // Under Wine every message of a named pipe passes through the wine server: the remote paths
  // are measured against that floor too.
  for (const auto& [path, floor] :
       {std::pair<std::string, std::string>{"remote backup", "remote pipe alone, 64 KiB messages"},
        {"remote restore", "remote pipe alone, 32 KiB messages"}}) {
    const double alone = figures.median(floor);
    if (alone > 0) {
      std::printf("  %-56s %10.3f\n", (path + ": agent / pipe alone (medians)").c_str(),
                  figures.median(path + ": agent streaming") / alone);
    }
  }
}

}  // namespace ferry::bench

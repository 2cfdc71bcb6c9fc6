// ferrybench.exe: how fast the agent moves a database's data, against plain reads and writes of
// the same files in the same run. Not a test: it prints figures and judges nothing.
//
// It creates a simulated installation (code FN) with one database of two data locations
// (--size-mib, default 1024, split into four files) and copies the testbed agent with its
// companions and the extractor into a folder of its own. Each round then runs four comparisons,
// the agent's pass and the direct pass in turn, the agent first in odd rounds and second in even
// ones, so that neither profits from what the other left in the host's cache:
//   backup through DSARead               against reading the files directly
//   restore through DSAWrite             against writing the files directly
//   remote backup through the remote pipe  against reading the files directly
//   remote restore through the remote pipe against writing the files directly
// The direct passes use the agent's buffer size (1 MiB, sector aligned) and the agent's flags.
// Each agent pass is split into the streaming time (the calls or messages that carry data), the
// work per file (headers, file ends), the change of location and the fixed waits (the start
// check of the utility, the end of its run); each figure is printed as the median of the rounds
// with its smallest and largest value. Two floors are measured beside them: the remote pipe alone
// (the agent's message sizes between two threads, which under Wine pass through the wine server)
// and an extractor's bare start and end (what a change of location cannot avoid: the utility
// starts the next location's extractor as a new process).
//
// Afterwards it runs itself twice with --memory-probe, on a small and a large database, and
// prints the peak memory of each probe: one backup and one restore of each kind.
//
// Both kinds of pass read files that were just written, so reads are served from the host's
// cache under Wine; the figures compare the agent's path against a plain read or write, not
// disk speed. Writes go into the host's cache and are flushed at each file's end (both passes
// flush); the host may slow a writer down to its disk's speed while it writes back, in either
// pass, so the restore figures vary more than the others. Everything it made is removed at the end,
// also after a failure.
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "aligned_buffer.h"
#include "bench_base.h"
#include "bench_figures.h"
#include "bench_passes.h"
#include "bench_setup.h"
#include "process_information.h"
#include "remote_stream.h"
#include "unique_handle.h"

namespace ferry::bench {
namespace {

constexpr char kProbeResult[] = "C:\\ferrybench-probe.txt";

struct Memory {
  double workingSet = 0;
  double pagefile = 0;
};

Memory peakMemory() {
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory)) return {};
  return {mib(memory.PeakWorkingSetSize), mib(memory.PeakPagefileUsage)};
}

void runComparisons(const std::string& bin, uint64_t sizeMib, int rounds,
                    const std::string& keepTrace) {
  Cleanup cleanup;
  cleanup.keepTrace = keepTrace;
  // Tracing costs a file open and a registry read per line: its figures are not the agent's.
  if (!keepTrace.empty()) setAgentTracing(true);
  std::printf("creating installation %s with database %s: %llu MiB in 4 files, 2 locations\n",
              kCode, kDatabase, static_cast<unsigned long long>(sizeMib));
  std::fflush(stdout);
  const double madeAt = now();
  prepare(bin, sizeMib);
  std::printf("  made in %.1f s; %d rounds, the agent first in odd rounds\n", now() - madeAt,
              rounds);
  std::fflush(stdout);
  ctl::AgentLibrary library = loadAgent();
  AlignedBuffer buffer = allocateBuffer();
  Bench bench(library.entryPoints(), buffer.data());
  Figures figures;
  const double startedAt = now();
  for (int round = 1; round <= rounds; ++round) {
    const bool agentFirst = round % 2 == 1;
    compare(
        figures, "backup", agentFirst, [&] { return bench.backup(false); },
        [&] { return bench.directRead(); });
    compare(
        figures, "restore", agentFirst, [&] { return bench.restore(false); },
        [&] { return bench.directWrite(); });
    compare(
        figures, "remote backup", agentFirst, [&] { return bench.backup(true); },
        [&] { return bench.directRead(); });
    compare(
        figures, "remote restore", agentFirst, [&] { return bench.restore(true); },
        [&] { return bench.directWrite(); });
    for (size_t messageSize : {remote::kBackupMessageSize, remote::kRestoreMessageSize}) {
      // The cost per message does not change with the amount: at most 1 GiB of it.
      addPipeFloor(figures, bench, messageSize, std::min<uint64_t>(sizeMib, 1024) << 20);
    }
    figures.add("an extractor's start and end (no work)", "ms", extractorStartAndEnd());
    std::printf("  round %d done (%.1f s)\n", round, now() - startedAt);
    std::fflush(stdout);
  }
  buffer = AlignedBuffer();
  std::printf("figures: median [smallest .. largest] of %d rounds\n", rounds);
  figures.print();
  printAgainstPipeAlone(figures);
  std::printf("cleaning up\n");
  std::fflush(stdout);
}

// One backup and one restore of each kind; the peak memory goes to the probe's result file.
void runMemoryProbe(const std::string& bin, uint64_t sizeMib) {
  Memory peak;
  {
    Cleanup cleanup;
    prepare(bin, sizeMib);
    ctl::AgentLibrary library = loadAgent();
    AlignedBuffer buffer = allocateBuffer();
    Bench bench(library.entryPoints(), buffer.data());
    bench.backup(false);
    bench.restore(false);
    bench.backup(true);
    bench.restore(true);
    buffer = AlignedBuffer();
    peak = peakMemory();
  }
  if (UniqueStdioFile out{std::fopen(kProbeResult, "w")}) {
    std::fprintf(out.get(), "%.3f %.3f\n", peak.workingSet, peak.pagefile);
  }
}

// Runs this program with --memory-probe on a database of `sizeMib`: the probe's peak memory.
Memory probeMemory(const std::string& program, uint64_t sizeMib) {
  DeleteFileA(kProbeResult);
  std::string command = "\"" + program + "\" --memory-probe --size-mib " + std::to_string(sizeMib);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  UniqueProcessInformation process;
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, process.put())) {
    throw Failure{"cannot start the memory probe: error " + std::to_string(GetLastError())};
  }
  constexpr DWORD kProbeWaitMs = 30 * 60 * 1000;
  if (WaitForSingleObject(process.process(), kProbeWaitMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.process(), 1);
    throw Failure{"the memory probe did not end within 30 minutes"};
  }
  Memory memory;
  bool read = false;
  if (UniqueStdioFile in{std::fopen(kProbeResult, "r")}) {
    read = std::fscanf(in.get(), "%lf %lf", &memory.workingSet, &memory.pagefile) == 2;
  }
  DeleteFileA(kProbeResult);
  if (!read) throw Failure{"the memory probe of " + std::to_string(sizeMib) + " MiB failed"};
  return memory;
}

}  // namespace
}  // namespace ferry::bench

int main(int argc, char** argv) {
  using namespace ferry::bench;
  // --quick first: the sizes given after it win.
  bool quick = false;
  for (int i = 1; i < argc; ++i) quick = quick || std::strcmp(argv[i], "--quick") == 0;
  uint64_t sizeMib = quick ? 64 : 1024;
  int rounds = 3;
  bool probe = false;
  std::string keepTrace;
  uint64_t smallMib = 64;
  uint64_t largeMib = quick ? 256 : 4096;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--size-mib") == 0 && i + 1 < argc) {
      sizeMib = std::strtoull(argv[++i], nullptr, 10);
    } else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      rounds = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--quick") == 0) {
      continue;
    } else if (std::strcmp(argv[i], "--keep-trace") == 0 && i + 1 < argc) {
      keepTrace = argv[++i];
    } else if (std::strcmp(argv[i], "--memory-probe") == 0) {
      probe = true;
    } else if (std::strcmp(argv[i], "--memory-sizes") == 0 && i + 2 < argc) {
      smallMib = std::strtoull(argv[++i], nullptr, 10);
      largeMib = std::strtoull(argv[++i], nullptr, 10);
    } else {
      std::fprintf(
          stderr,
          "usage: ferrybench [--quick] [--size-mib N] [--rounds R] [--memory-sizes SMALL LARGE]\n"
          "                  [--keep-trace FILE]   (the agent traces; its trace kept)\n"
          "  defaults: 1024 MiB, 3 rounds, 64 and 4096 MiB (--quick: 64 MiB, 64 and\n"
          "  256 MiB); sizes at least 4 MiB, at least 1 round\n");
      return 2;
    }
  }
  if (sizeMib < 4 || smallMib < 4 || largeMib < 4 || rounds < 1) {
    std::fprintf(stderr, "ferrybench: sizes must be at least 4 MiB and rounds at least 1\n");
    return 2;
  }
  char programPath[MAX_PATH * 2] = {};
  GetModuleFileNameA(nullptr, programPath, sizeof programPath);
  const std::string bin = folderOf(programPath);
  try {
    if (probe) {
      runMemoryProbe(bin, sizeMib);
      return 0;
    }
    runComparisons(bin, sizeMib, rounds, keepTrace);
    std::printf("peak memory of one backup and one restore of each kind:\n");
    std::fflush(stdout);
    const Memory small = probeMemory(programPath, smallMib);
    const Memory large = probeMemory(programPath, largeMib);
    std::printf("  %5llu MiB database: peak working set %7.1f MiB, peak pagefile %7.1f MiB\n",
                static_cast<unsigned long long>(smallMib), small.workingSet, small.pagefile);
    std::printf("  %5llu MiB database: peak working set %7.1f MiB, peak pagefile %7.1f MiB\n",
                static_cast<unsigned long long>(largeMib), large.workingSet, large.pagefile);
    std::printf("  growth: working set %+.1f MiB, pagefile %+.1f MiB\n",
                large.workingSet - small.workingSet, large.pagefile - small.pagefile);
  } catch (const Failure& failure) {
    std::fprintf(stderr, "ferrybench: %s\n", failure.text.c_str());
    return 1;
  }
  return 0;
}

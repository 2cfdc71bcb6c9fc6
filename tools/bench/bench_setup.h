// The benchmark's setup: the simulated installation with its database, the agent folder, the
// agent loaded from it, and the clean-up of everything it made.
#pragma once

#include <cstdint>
#include <string>

#include "agent_library.h"
#include "aligned_buffer.h"

namespace ferry::bench {

// Turns the agent's tracing of the bench's instance on or off ("debug" in its settings key).
void setAgentTracing(bool on);

// Everything the benchmark made, removed whatever happened; the machine-wide II_SYSTEM and the
// current folder put back.
struct Cleanup {
  Cleanup();
  ~Cleanup();
  Cleanup(const Cleanup&) = delete;
  Cleanup& operator=(const Cleanup&) = delete;

  std::string savedMachineRoot;
  bool hadMachineRoot = false;
  std::string savedDirectory;
  std::string keepTrace;  // where the agent's trace goes before its folder is removed
};

// The installation, its database of `sizeMib` in four files over two locations, and the agent
// folder with the agent from `bin`.
void prepare(const std::string& bin, uint64_t sizeMib);

// The agent of the agent folder, with the backup and restore entry points.
ctl::AgentLibrary loadAgent();

// The agent's buffer size, page-aligned as the direct passes' unbuffered reads need.
AlignedBuffer allocateBuffer();

}  // namespace ferry::bench

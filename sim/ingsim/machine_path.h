// Entries of the machine environment's Path value
// (HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment). Every change is a
// read-modify-write of one machine-wide value, and tests create installations in parallel, so
// changes hold the named mutex kMachinePathMutex; the value keeps its registry type.
#pragma once

#include <string>

namespace ingsim {

inline constexpr const char* kMachinePathMutex = "Global\\ingsim_machine_path";
inline constexpr const char* kEnvironmentKey =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

// Adds `folder` at the end unless an equal entry (case-insensitive) is present.
std::string addMachinePathEntry(const std::string& folder);
// Removes every entry equal to `folder`, nothing else.
std::string removeMachinePathEntry(const std::string& folder);
// The value as stored ("" when absent).
std::string machinePath();
// True when the value holds an entry equal to `folder`.
bool machinePathHas(const std::string& folder);

}  // namespace ingsim

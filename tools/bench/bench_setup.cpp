#include "bench_setup.h"

#include <utility>

#include "bench_base.h"
#include "ingsim/installation.h"
#include "ingsim/win_util.h"
#include "registry_root.h"
#include "unique_handle.h"

namespace ferry::bench {
namespace {

// The agent's settings key of the bench's instance: "debug" 1 turns its tracing on.
std::string agentSettingsKey() {
  return std::string(ferry::kProductRegistryRoot) + "\\DSAgent\\CurrentVersion\\agent\\ferryman@" +
         kCode;
}

}  // namespace

void setAgentTracing(bool on) {
  const std::string name = agentSettingsKey();
  if (!on) {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, name.c_str());
    return;
  }
  ferry::UniqueKey key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_WRITE, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
    throw Failure{"cannot create the key " + name};
  }
  const DWORD debug = 1;
  RegSetValueExA(key.get(), "debug", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&debug),
                 sizeof debug);
}

Cleanup::Cleanup() {
  char value[1024] = {};
  DWORD size = sizeof value;
  hadMachineRoot = RegGetValueA(HKEY_LOCAL_MACHINE,
                                "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
                                "II_SYSTEM", RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS;
  savedMachineRoot = hadMachineRoot ? value : "";
  GetCurrentDirectoryA(sizeof value, value);
  savedDirectory = value;
}

Cleanup::~Cleanup() {
  SetCurrentDirectoryA(savedDirectory.c_str());
  if (!keepTrace.empty()) {
    CopyFileA((std::string(kAgentFolder) + "\\ferryman.trc").c_str(), keepTrace.c_str(), FALSE);
    setAgentTracing(false);
  }
  ingsim::removeInstallation(kCode);
  ingsim::removeAccount(kAccount);
  ingsim::removeTree(kRoot);
  ingsim::removeTree(kSecondArea);
  ingsim::removeTree(kAgentFolder);
  ingsim::removeTree(kWorkFolder);
  // Connecting points the machine-wide II_SYSTEM at the installation: put it back.
  ferry::UniqueKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", 0,
                    KEY_WRITE, key.put()) == ERROR_SUCCESS) {
    if (hadMachineRoot) {
      RegSetValueExA(key.get(), "II_SYSTEM", 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(savedMachineRoot.c_str()),
                     static_cast<DWORD>(savedMachineRoot.size() + 1));
    } else {
      RegDeleteValueA(key.get(), "II_SYSTEM");
    }
  }
}

void prepare(const std::string& bin, uint64_t sizeMib) {
  ingsim::removeInstallation(kCode);  // leftovers of an interrupted run
  ingsim::removeTree(kWorkFolder);
  if (std::string e = ingsim::makeDirectories(kAgentFolder); !e.empty()) throw Failure{e};
  // Whatever a utility writes relative to the current drive lands in the work folder's drive.
  SetCurrentDirectoryA(kWorkFolder);
  // The agent with its companions and the extractor, as an installed agent folder holds them.
  const std::string testbed = bin + "\\testbed\\";
  const std::pair<std::string, const char*> copies[] = {
      {testbed + "ferryman.dll", "ferryman.dll"},   {testbed + "sounder26.dll", "sounder26.dll"},
      {testbed + "sounder30.dll", "sounder30.dll"}, {testbed + "ferryres.dll", "ferryres.dll"},
      {testbed + "basetool.dll", "basetool.dll"},   {bin + "\\siphon.exe", "siphon.exe"}};
  for (const auto& [from, name] : copies) {
    const std::string to = std::string(kAgentFolder) + "\\" + name;
    if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) {
      throw Failure{"cannot copy " + from + ": error " + std::to_string(GetLastError())};
    }
  }
  ingsim::InstallationOptions options;
  options.root = kRoot;
  options.code = kCode;
  options.overwrite = true;
  options.addToMachinePath = false;
  if (std::string e = ingsim::createInstallation(options); !e.empty()) throw Failure{e};
  const uint64_t fileSize = (sizeMib << 20) / 4;
  ingsim::DatabaseOptions db;
  db.name = kDatabase;
  db.locations = {{"", {{"aaaaaaab.t00", fileSize}, {"aaaaaaac.t00", fileSize}}},
                  {kSecondArea, {{"aaaaaaad.t00", fileSize}, {"aaaaaaae.t00", fileSize}}}};
  if (std::string e = ingsim::addDatabase(kCode, db); !e.empty()) throw Failure{e};
  if (std::string e = ingsim::addAccount({kAccount, kPassword, ""}); !e.empty()) throw Failure{e};
}

ctl::AgentLibrary loadAgent() {
  ctl::AgentLibrary library;
  if (std::string e = library.load(std::string(kAgentFolder) + "\\ferryman.dll"); !e.empty()) {
    throw Failure{e};
  }
  for (auto set : {ctl::EntryPointSet::kBackup, ctl::EntryPointSet::kRestore}) {
    if (std::string e = library.requireEntryPoints(set); !e.empty()) throw Failure{e};
  }
  return library;
}

AlignedBuffer allocateBuffer() {
  AlignedBuffer buffer(kBufferSize);
  if (!buffer.valid()) throw Failure{"VirtualAlloc failed"};
  return buffer;
}

}  // namespace ferry::bench

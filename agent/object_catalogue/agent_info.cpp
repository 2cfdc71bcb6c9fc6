// DSAGetAgentInfo: who the agent is — vendor, build number, version and date of the library.
#define FERRYMAN_BUILD
#include <windows.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "connection/connection_table.h"
#include "core/object_catalogue.h"
#include "ferryman.h"
#include "library/agent_state.h"
#include "logs/settings.h"
#include "logs/trace.h"
#include "unique_handle.h"

namespace ferry::agent {
namespace {

// The path of this library, wherever the host loaded it from; "" when unknown.
std::string ownModulePath() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&ownModulePath), &self)) {
    return "";
  }
  char path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameA(self, path, sizeof path);
  if (length == 0 || length >= sizeof path) return "";
  return path;
}

std::string agentVersion(ConnectionRecord* ci, const std::string& path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  std::unique_ptr<char[]> data(size != 0 ? new (std::nothrow) char[size]() : nullptr);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  if (data && GetFileVersionInfoA(path.c_str(), 0, size, data.get()) &&
      VerQueryValueA(data.get(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize) &&
      fixed != nullptr && fixedSize >= sizeof *fixed) {
    return agentVersionText(fixed->dwProductVersionMS);
  }
  trace(ci, "DSAGetAgentInfo(): Error to find file version. EC=%d",
        static_cast<int>(GetLastError()));
  return kFallbackVersion;
}

std::string agentDate(ConnectionRecord* ci, const std::string& path) {
  WIN32_FIND_DATAA entry = {};
  UniqueFind find(FindFirstFileA(path.c_str(), &entry));
  if (!find) {
    trace(ci, "DSAGetAgentInfo(): Error to find file creation date. EC=%d",
          static_cast<int>(GetLastError()));
    return kFallbackDate;
  }
  SYSTEMTIME time = {};
  if (!FileTimeToSystemTime(&entry.ftCreationTime, &time)) {
    trace(ci, "DSAGetAgentInfo(): Error to find file creation date... EC=%d",
          static_cast<int>(GetLastError()));
    return kFallbackDate;
  }
  return agentDateText(time.wMonth, time.wDay, time.wYear);
}

}  // namespace
}  // namespace ferry::agent

extern "C" DSA_RESULT DSAGetAgentInfo(uint32_t connectionId, void* info, uint32_t* infoSize) {
  using namespace ferry::agent;
  ConnectionRecord* ci = nullptr;
  {
    // Only the lookup is serialised: the rest reads the registry and this library's file.
    AgentLockGuard lock;
    ci = findConnection(static_cast<int>(connectionId));
  }
  if (ci == nullptr) return DSA_ERROR_NOT_CONNECTED;
  traceStartBanner(ci, "DSAGetAgentInfo");
  if (info == nullptr || infoSize == nullptr || *infoSize < sizeof(AgentInfoRecord)) {
    trace(ci, "DSAGetAgentInfo(): Insufficient input buffer size. Internal error.");
    traceEndBanner(ci, "DSAGetAgentInfo");
    return DSA_ERROR_NOT_SUPPORTED;
  }
  *infoSize = sizeof(AgentInfoRecord);
  char build[257] = {};
  if (getBuildNumber(build, 256) == 0) {
    trace(ci, "DSAGetAgentInfo(): Error to get agent build number.");
    build[0] = kUnknownBuild[0];
    build[1] = '\0';
  }
  std::string path = ownModulePath();
  std::string version = agentVersion(ci, path);
  std::string date = agentDate(ci, path);
  AgentInfoRecord record;
  fillAgentInfoRecord(&record, build, version.c_str(), date.c_str());
  std::memcpy(info, &record, sizeof record);
  trace(ci, "DSAGetAgentInfo(): Vendor name\t\t[%s]", record.vendorName);
  trace(ci, "DSAGetAgentInfo(): Agent build\t\t[%s]", record.ag_build);
  trace(ci, "DSAGetAgentInfo(): Vendor version\t\t[%s]", record.vendorVersion);
  trace(ci, "DSAGetAgentInfo(): Agent version\t\t[%s]", record.ag_ver);
  trace(ci, "DSAGetAgentInfo(): Agent date\t\t[%s]", record.ag_date);
  traceEndBanner(ci, "DSAGetAgentInfo");
  return DSA_OK;
}

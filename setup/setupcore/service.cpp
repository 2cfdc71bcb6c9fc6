#include "service.h"

namespace ferry::setup {

CService::CService(std::string name, std::string machine)
    : name_(std::move(name)), machine_(std::move(machine)) {}

DWORD CService::openManager(DWORD access, UniqueService* manager) const {
  std::string target =
      machine_.empty() || machine_.rfind("\\\\", 0) == 0 ? machine_ : "\\\\" + machine_;
  manager->reset(OpenSCManagerA(target.empty() ? nullptr : target.c_str(), nullptr, access));
  return *manager ? ERROR_SUCCESS : GetLastError();
}

DWORD CService::openService(DWORD access, UniqueService* service) const {
  UniqueService manager;
  DWORD rc = openManager(SC_MANAGER_CONNECT, &manager);
  if (rc != ERROR_SUCCESS) return rc;
  service->reset(OpenServiceA(manager.get(), name_.c_str(), access));
  return *service ? ERROR_SUCCESS : GetLastError();
}

DWORD CService::waitWhile(SC_HANDLE service, DWORD pending, DWORD timeoutMs, DWORD* state) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(service, &status)) return GetLastError();
    *state = status.dwCurrentState;
    if (status.dwCurrentState != pending) return ERROR_SUCCESS;
    if (GetTickCount64() >= deadline) return ERROR_SERVICE_REQUEST_TIMEOUT;
    Sleep(100);
  }
}

DWORD CService::state(DWORD* error) const {
  UniqueService service;
  *error = openService(SERVICE_QUERY_STATUS, &service);
  if (*error != ERROR_SUCCESS) return 0;
  SERVICE_STATUS status = {};
  if (!QueryServiceStatus(service.get(), &status)) {
    *error = GetLastError();
    return 0;
  }
  return status.dwCurrentState;
}

bool CService::exists() const {
  DWORD error = 0;
  state(&error);
  return error == ERROR_SUCCESS;
}

DWORD CService::start(DWORD timeoutMs) const {
  UniqueService service;
  DWORD rc = openService(SERVICE_START | SERVICE_QUERY_STATUS, &service);
  if (rc != ERROR_SUCCESS) return rc;
  if (!StartServiceA(service.get(), 0, nullptr)) {
    rc = GetLastError();
    if (rc != ERROR_SERVICE_ALREADY_RUNNING) return rc;
  }
  DWORD current = 0;
  rc = waitWhile(service.get(), SERVICE_START_PENDING, timeoutMs, &current);
  if (rc != ERROR_SUCCESS) return rc;
  return current == SERVICE_RUNNING ? ERROR_SUCCESS : ERROR_SERVICE_NOT_ACTIVE;
}

DWORD CService::stop(DWORD timeoutMs) const {
  UniqueService service;
  DWORD rc = openService(SERVICE_STOP | SERVICE_QUERY_STATUS, &service);
  if (rc == ERROR_SERVICE_DOES_NOT_EXIST) return ERROR_SUCCESS;
  if (rc != ERROR_SUCCESS) return rc;
  SERVICE_STATUS status = {};
  if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
    rc = GetLastError();
    if (rc == ERROR_SERVICE_NOT_ACTIVE) return ERROR_SUCCESS;
    if (rc != ERROR_SERVICE_CANNOT_ACCEPT_CTRL) return rc;
    // Still starting or already stopping: wait for it as for any stop.
  }
  DWORD current = 0;
  rc = waitWhile(service.get(), SERVICE_STOP_PENDING, timeoutMs, &current);
  if (rc == ERROR_SUCCESS && current == SERVICE_START_PENDING) {
    rc = waitWhile(service.get(), SERVICE_START_PENDING, timeoutMs, &current);
    if (rc == ERROR_SUCCESS && current == SERVICE_RUNNING) {
      ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
      rc = waitWhile(service.get(), SERVICE_STOP_PENDING, timeoutMs, &current);
    }
  }
  if (rc != ERROR_SUCCESS) return rc;
  return current == SERVICE_STOPPED ? ERROR_SUCCESS : ERROR_SERVICE_REQUEST_TIMEOUT;
}

DWORD CService::create(const std::string& program, const std::string& displayName) const {
  UniqueService manager;
  DWORD rc = openManager(SC_MANAGER_CREATE_SERVICE, &manager);
  if (rc != ERROR_SUCCESS) return rc;
  const std::string command = "\"" + program + "\"";
  UniqueService service(CreateServiceA(manager.get(), name_.c_str(), displayName.c_str(),
                                       SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, command.c_str(),
                                       /*loadOrderGroup=*/nullptr, /*tagId=*/nullptr,
                                       /*dependencies=*/nullptr, /*account=*/nullptr,
                                       /*password=*/nullptr));
  return service ? ERROR_SUCCESS : GetLastError();
}

DWORD CService::remove(DWORD timeoutMs) const {
  DWORD rc = stop(timeoutMs);
  if (rc != ERROR_SUCCESS) return rc;
  UniqueService service;
  rc = openService(DELETE, &service);
  if (rc == ERROR_SERVICE_DOES_NOT_EXIST) return ERROR_SUCCESS;
  if (rc != ERROR_SUCCESS) return rc;
  if (!DeleteService(service.get())) {
    rc = GetLastError();
    return rc == ERROR_SERVICE_MARKED_FOR_DELETE ? ERROR_SUCCESS : rc;
  }
  return ERROR_SUCCESS;
}

DWORD CService::setDisplay(const std::string& displayName, const std::string& description) const {
  UniqueService service;
  DWORD rc = openService(SERVICE_CHANGE_CONFIG, &service);
  if (rc != ERROR_SUCCESS) return rc;
  if (!ChangeServiceConfigA(service.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                            nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            displayName.c_str())) {
    return GetLastError();
  }
  SERVICE_DESCRIPTIONA text = {const_cast<char*>(description.c_str())};
  if (!ChangeServiceConfig2A(service.get(), SERVICE_CONFIG_DESCRIPTION, &text)) {
    return GetLastError();
  }
  return ERROR_SUCCESS;
}

}  // namespace ferry::setup

// The privileges SetAllPrivilege enables, in order, with the text it reports for each failure.
//
// Conventions: platform-free; the names are the system's privilege names.
#pragma once

#include <array>

namespace ferry::agent {

struct PrivilegeEntry {
  const char* name;
  const char* failureText;
};

inline constexpr std::array<PrivilegeEntry, 18> kAllPrivileges = {{
    {"SeBackupPrivilege", "EnablePrivilege SE_BACKUP_NAME Failed"},
    {"SeRestorePrivilege", "EnablePrivilege SE_RESTORE_NAME Failed"},
    {"SeLoadDriverPrivilege", "EnablePrivilege SE_LOAD_DRIVER_NAME Failed"},
    {"SeShutdownPrivilege", "EnablePrivilege SE_SHUTDOWN_NAME Failed"},
    {"SeCreatePermanentPrivilege", "EnablePrivilege SE_CREATE_PERMANENT_NAME Failed"},
    {"SeCreateTokenPrivilege", "EnablePrivilege SE_CREATE_TOKEN_NAME Failed"},
    {"SeSecurityPrivilege", "EnablePrivilege SE_SECURITY_NAME Failed"},
    {"SeTakeOwnershipPrivilege", "EnablePrivilege SE_TAKE_OWNERSHIP_NAME Failed"},
    {"SeLockMemoryPrivilege", "EnablePrivilege SE_LOCK_MEMORY_NAME Failed"},
    {"SeProfileSingleProcessPrivilege", "EnablePrivilege SE_PROF_SINGLE_PROCESS_NAME Failed"},
    {"SeSystemEnvironmentPrivilege", "EnablePrivilege SE_SYSTEM_ENVIRONMENT_NAME Failed"},
    {"SeAuditPrivilege", "EnablePrivilege SE_AUDIT_NAME Failed"},
    {"SeChangeNotifyPrivilege", "EnablePrivilege SE_CHANGE_NOTIFY_NAME Failed"},
    {"SeTcbPrivilege", "EnablePrivilege SE_TCB_NAME Failed"},
    {"SeDebugPrivilege", "EnablePrivilege SE_DEBUG_NAME Failed"},
    {"SeIncreaseBasePriorityPrivilege", "EnablePrivilege SE_INC_BASE_PRIORITY_NAME Failed"},
    {"SeIncreaseQuotaPrivilege", "EnablePrivilege SE_INCREASE_QUOTA_NAME Failed"},
    // The last text has always been spelled with a lower-case "failed"; log readers match it.
    {"SeAssignPrimaryTokenPrivilege", "EnablePrivilege SE_ASSIGNPRIMARYTOKEN_NAME failed"},
}};

}  // namespace ferry::agent

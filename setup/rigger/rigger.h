/* rigger.dll: the Ingres database agent's setup module, as the installer package and the
 * product's master setup call it.
 *
 * Conventions:
 * - C linkage, __stdcall, exported by name (rigger.def).
 * - Custom actions take the installer handle and return ERROR_SUCCESS, or
 *   ERROR_INSTALL_USEREXIT when a check refuses (the reason is in the property "ERRORMSG", in
 *   the installer log and in the setup log).
 * - Master-setup entry points exchange data through RiggerSetupInfo, a caller-owned record of
 *   fixed-size NUL-terminated ANSI fields; a text that does not fit its field is refused, never
 *   cut. Results are as each function states; nothing crosses the boundary as an exception.
 * - Passwords given in the record are never written to any log.
 * - Dialogs are shown only where a function says so; nothing is shown when the installer runs
 *   silently (UILevel 2) or a silent profile is read.
 */
#ifndef RIGGER_H
#define RIGGER_H

#include <windows.h>

#include <msi.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define RIGGER_MACHINE_SIZE 64
#define RIGGER_TEXT_SIZE 256
#define RIGGER_PATH_SIZE 260
#define RIGGER_CODE_SIZE 16

/* Message ids of the string table that callers may meet as results. */
#define RIGGER_MESSAGE_NO_INGRES 1167u
#define RIGGER_MESSAGE_NO_UPGRADE 1247u
#define RIGGER_MESSAGE_SETUP_RUNNING 1636u
#define RIGGER_MESSAGE_UNINSTALL_RUNNING 1640u
#define RIGGER_MESSAGE_CONFIRM_UPGRADE 1821u
#define RIGGER_UPGRADE_FAILED 4113u
#define RIGGER_CONFIG_BACK 12323u

typedef struct RiggerSetupInfo {
  char machine[RIGGER_MACHINE_SIZE];       /* target machine; empty: this one */
  char user[RIGGER_TEXT_SIZE];             /* account for the target's ADMIN$ share */
  char password[RIGGER_TEXT_SIZE];         /* its password */
  char setupFolder[RIGGER_PATH_SIZE];      /* folder of setup.inf and tally.dll */
  char profilePath[RIGGER_PATH_SIZE];      /* silent profile; empty: none */
  uint32_t readProfile;                    /* 1: /r, take the answers from the profile */
  uint32_t writeProfile;                   /* 1: /w, record the answers in the profile */
  uint32_t setupType;                      /* 2: fresh installation */
  uint32_t prodSubType;                    /* out: from setup.inf */
  char installFolder[RIGGER_PATH_SIZE];    /* out: the agent folder */
  uint32_t agentFolderFound;               /* out: 1 when an installed agent named it */
  char installationCode[RIGGER_CODE_SIZE]; /* the agent key an account call is about */
  char accountName[RIGGER_TEXT_SIZE];      /* in/out: that installation's account */
  char accountPassword[RIGGER_TEXT_SIZE];  /* in/out: its password */
} RiggerSetupInfo;

typedef struct RiggerProductInfo {
  uint32_t prodSubType;               /* out */
  char productName[RIGGER_TEXT_SIZE]; /* out */
} RiggerProductInfo;

/* Installer custom actions. */
UINT __stdcall AllowInstall(MSIHANDLE hInstall);
UINT __stdcall PreInstall(MSIHANDLE hInstall);
UINT __stdcall PostInstall(MSIHANDLE hInstall);
UINT __stdcall AllowModify(MSIHANDLE hInstall);
UINT __stdcall AllowUninstall(MSIHANDLE hInstall);
UINT __stdcall PreUninstall(MSIHANDLE hInstall);

/* Posts window message 1124 to every top-level window; 0. */
int __stdcall CloseSetupWindows(void);
/* Start or stop "DbaRpcService" on this machine, waiting at most 30 s: 0 or a system error. */
DWORD __stdcall StartComponent(void);
DWORD __stdcall StopComponent(void);

/* May the agent go onto info->machine? 1 yes (info->installFolder, info->prodSubType and
 * info->agentFolderFound filled), 0 no (the reason in `reason`, cut to reasonSize). */
int __stdcall CheckInstallInfo(RiggerSetupInfo* info, char* reason, uint32_t reasonSize);
/* Agent folder dialog for the configuration profile in `folder`: 1 done or failed, 2
 * cancelled, 0 the machine's ADMIN$ share could not be connected. */
int __stdcall CreateSilentConfigIni(const char* machine, const char* user, const char* password,
                                    HWND parentWindow, const char* folder, RiggerSetupInfo* info);
/* Removes the agent found on this machine before an upgrade; 0 or 4113. `quiet` 0 asks first. */
DWORD __stdcall BeforeUpgrade(int quiet);
/* Rewrites "Dll", "Version", "BuildNumber" and "ProdSubType" of every agent key for the files
 * beside rigger.dll and puts back the settings BeforeUpgrade saved; 0 or a system error. */
DWORD __stdcall AfterUpgrade(void);
/* Registers the agent on info->machine: one agent key per Ingres installation, the accounts
 * from the silent profile (info->readProfile) or the account property sheet. 0; 1636 another
 * setup runs; 1223 cancelled; 1167 no Ingres; else a system error. */
DWORD __stdcall Install(RiggerSetupInfo* info, HWND parentWindow);
/* Removes the registration from info->machine. 0; 1640 another setup runs; a system error. */
DWORD __stdcall Uninstall(RiggerSetupInfo* info);
/* Exported as "GetProductInfo" (the name Windows' own sysinfoapi.h takes in C and C++): the
 * product name for the sub-type of setup.inf beside rigger.dll; 1. */
int __stdcall RiggerGetProductInfo(RiggerProductInfo* info);
/* 1. */
int __stdcall GetPostConfigInfo(void);
/* info->installFolder: the agent folder of `machine` (the default one, with
 * info->agentFolderFound 0, when no agent is installed); 1. */
int __stdcall AllowInstallation(const char* machine, RiggerSetupInfo* info);
/* Writes one agent key on `machine` ("" this one): the per-installation layout for a code,
 * the single-installation layout for an empty or null code. 1 written, 0 failed. */
int __stdcall CreateDBAgentSubKeys(const char* machine, const char* code, const char* accountName,
                                   const char* password, const char* agentFolder,
                                   uint32_t prodSubType);
/* The account of the agent key of info->installationCode on info->machine, deciphered, into
 * info->accountName and info->accountPassword: 1, or 0 with both emptied. */
int __stdcall GetExistDBAgentSysInformation(RiggerSetupInfo* info);
/* The account dialog for info->installationCode on `machine`; `flag` 1 starts from the
 * record's account. 1 OK (the account in the record), 0 cancelled. */
int __stdcall ServerAccountDlg(HWND parent, const char* machine, int flag, RiggerSetupInfo* info);
/* Runs the agent's configuration program when `machine` has an agent already or the setup type
 * is 2: 1 done, 2 not done (the wizard's Back), 0 it could not be started (the system's text in
 * errorText). 1 when there is nothing to configure. */
int __stdcall CreateConfigProfile(const char* machine, char* errorText, uint32_t errorTextSize,
                                  RiggerSetupInfo* info, const char* icfFile,
                                  const char* infFolder);

#ifdef __cplusplus
}
#endif

#endif /* RIGGER_H */

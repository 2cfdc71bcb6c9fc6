// Resource ids of rigger.dll: its string table and its dialogs.
#pragma once

// Texts callers meet as results (the numbers are part of the master setup's contract).
#define IDS_NO_INGRES 1167
#define IDS_NO_UPGRADE 1247
#define IDS_SETUP_RUNNING 1636
#define IDS_UNINSTALL_RUNNING 1640
#define IDS_CONFIRM_UPGRADE 1821

// Product names.
#define IDS_PRODUCT_NAME 2000  // product sub-type n: 2000 + n, when the table has it
#define IDS_PRODUCT_SHORT_NAME 2100
#define IDS_PRODUCT_INIT_NAME 2101
#define IDS_PRODUCT_SUFFIX 2102

// The agent's RPC service.
#define IDS_SERVICE_DISPLAY_NAME 2200
#define IDS_SERVICE_DESCRIPTION 2201

// Refusals and notices.
#define IDS_NEWER_INSTALLED 2300
#define IDS_NO_PROFILE 2301
#define IDS_BAD_FOLDER 2302
#define IDS_UNINSTALL_NOTICE 2303
#define IDS_UPGRADE_PROGRESS 2304
#define IDS_ACCOUNT_PROMPT 2305
#define IDS_ACCOUNT_REQUIRED 2306
#define IDS_SHEET_TITLE 2307

// Dialogs and their controls.
#define IDD_ACCOUNT 100
#define IDD_ACCOUNT_PAGE 101
#define IDD_AGENT_FOLDER 102
#define IDD_NOTICE 103
#define IDD_PROGRESS 104
#define IDC_PROMPT 1001
#define IDC_ACCOUNT_NAME 1002
#define IDC_ACCOUNT_PASSWORD 1003
#define IDC_FOLDER 1004
#define IDC_NOTICE_TEXT 1005
#define IDC_PROGRESS_BAR 1006

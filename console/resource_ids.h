// Resource ids of lookout.dll, shared by its .rc file and its code (and by the tests, which read
// the same resources). Plain defines: windres reads this file too.
#pragma once

// String table (Japanese).
#define IDS_PROVIDER 3         // provider (About); default value of the snap-in's class key
#define IDS_ROOT_NAME 6        // root node; NameString of the console registration
#define IDS_ABOUT_CLASS 9      // default value of the About class key
#define IDS_TOOLS_FOLDER 49    // tools folder node
#define IDS_DESCRIPTION 50     // description (About)
#define IDS_AGENTS_FOLDER 52   // agents folder node
#define IDS_AGENTS_MENU_1 59   // agents Start-menu folder, edition 1
#define IDS_AGENTS_MENU_2 60   // agents Start-menu folder, edition 2
#define IDS_TOOLS_MENU_1 61    // tools Start-menu folder, edition 1
#define IDS_TOOLS_MENU_2 62    // tools Start-menu folder, edition 2
#define IDS_COLUMN_NAME 63     // first result column
#define IDS_COLUMN_DETAILS 64  // second result column

// Static-folder images of the About answers.
#define IDB_STATIC_OPEN 111   // 16 x 16
#define IDB_STATIC_SMALL 112  // 16 x 16
#define IDB_STATIC_LARGE 113  // 32 x 32
// The scope-pane image strips: 16 x 16 and 32 x 32 images, index 5 the tools folder (and the
// root), index 10 the agents folder, index 0 the open folder.
#define IDB_SCOPE_SMALL 120
#define IDB_SCOPE_LARGE 121
#define IDI_SNAPIN 132  // 32 x 32, the snap-in image

// The strips hold this many images; the nodes use indexes 0, 5 and 10.
#define LOOKOUT_STRIP_IMAGES 11

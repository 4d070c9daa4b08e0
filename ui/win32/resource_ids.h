// Resource ids of the Windows program, shared by pradex.rc and the code (plain defines, so that
// the resource compiler's preprocessor can read them too).
#pragma once

#define PRADEX_IDD_MAIN 30004
#define PRADEX_IDD_ABOUT 100
#define PRADEX_IDB_BANNER 30003
// Icon 30001 (48 x 48) is the window's small icon and the About box's; 30000 (32 x 32) the big one.
#define PRADEX_IDI_BIG 30000
#define PRADEX_IDI_SMALL 30001

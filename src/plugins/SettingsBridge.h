// The settings table through which a plug-in reads and changes the settings
// of its pipe entry: nine entries, codes 14000 + n. Reads work during every
// call into the plug-in; changes only while its ZV_Settings runs. IDs count
// up to their first 255 bytes and are converted from the ANSI code page.
#pragma once

namespace zv {

// Fills the process-wide table; once, before any plug-in is loaded.
void InitSettingsBridge();

}  // namespace zv

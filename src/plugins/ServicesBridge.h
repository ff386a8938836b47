// The services table: the system's version and the window that owns our
// dialogs and boxes at the moment, so that a plug-in's own windows can be
// owned by it too.
#pragma once

namespace zv {

// Fills the process-wide table; once, before any plug-in is loaded.
void InitServicesBridge();

}  // namespace zv

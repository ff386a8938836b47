// The two stream tables through which a stage's plug-in reads its input and
// writes its output during ZV_TransformA: the same thirteen entries, one
// table acting on the current pipe entry's input stream ("IStream.",
// codes 12000 + n), the other on its output stream ("OStream.", 13000 + n).
// Each entry forwards to the stream with its arguments unchanged; texts and
// buffers of the plug-in are copied or checked first, out-values stored
// after the stream has let go of its lock.
#pragma once

namespace zv {

// Fills both process-wide tables; once, before any plug-in is loaded.
void InitStreamBridge();

}  // namespace zv

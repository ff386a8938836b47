// The root records a plug-in receives and the small tables without a unit of
// their own: the transform record's three callbacks (progress, status, the
// output name asked of the user), the API root's error setter and the
// resources table through which a plug-in gives back the texts and blocks
// handed to it. None of these entries reports a failure: each answers its
// failure result.
#pragma once

namespace zv {

// FsInit calls both once, before any plug-in is loaded, in this order.
// The stream tables, then the transform record's callbacks.
void InitTransformBridge();
// The resources, settings and services tables, then the API root record.
void InitPluginAPI();

}  // namespace zv

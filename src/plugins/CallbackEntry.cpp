#include "plugins/CallbackEntry.h"

#include "platform/TextConv.h"
#include "platform/ZvError.h"

namespace zv {

void ReportEntryException(TLoadedPlugin& entry, const TEntryName& name) noexcept {
  try {
    if (entry.PluginFile)
      entry.PluginFile->ReportException(CurrentExceptionMessage(), name.Code, std::wstring(name.Prefix) + name.Name);
  } catch (...) {
    // No memory for the report's texts: the failure result still tells the plug-in.
  }
}

void RaiseFault(const TSehFault& fault) { throw EZvError(SehFaultMessage(fault)); }

std::string CopyPluginText(const char* text, size_t maxBytes) {
  std::string copy;
  TSehFault fault;
  if (!SehCopyText(text, maxBytes, copy, fault)) RaiseFault(fault);
  return copy;
}

std::wstring CopyPluginChars(const char* text, size_t maxChars) {
  std::wstring wide = AnsiToWide(CopyPluginText(text, maxChars * AnsiMaxCharSize()));
  if (wide.size() > maxChars) wide.resize(maxChars);
  return wide;
}

}  // namespace zv

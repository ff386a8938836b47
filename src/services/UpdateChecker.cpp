#include "services/UpdateChecker.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "config/SettingsManager.h"
#include "frontend/TCUtilities.h"
#include "platform/Dialogs.h"
#include "platform/TextConv.h"
#include "plugins/PluginFile.h"
#include "plugins/ZentavoPlugin.h"
#include "services/ErrorEntry.h"
#include "services/HttpTransport.h"
#include "services/ServiceManager.h"
#include "services/ZentavoUpdates.h"

namespace zv {

namespace {

// Passes the result waits for the owner window to become active.
constexpr int MaxOwnerWaitPasses = 5000;

// Blanks and control characters, as the service's lines may carry them.
std::wstring Trim(const std::wstring& text) {
  size_t first = 0, last = text.size();
  while (first < last && text[first] <= L' ') ++first;
  while (last > first && text[last - 1] <= L' ') --last;
  return text.substr(first, last - first);
}

std::vector<std::wstring> NonEmptyLines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find_first_of(L"\r\n", start), text.size());
    if (end > start) lines.push_back(text.substr(start, end - start));
    start = end + (text.compare(end, 2, L"\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

// An error reported on the worker thread, kept for the user-interface thread.
struct TCollectedError {
  std::wstring Message;
  TErrorStruct Error;
};

// Takes the errors reported on this thread while it lives.
class TErrorCollector final : public IErrorEntry {
public:
  explicit TErrorCollector(std::vector<TCollectedError>& errors) : FErrors(errors), FSaved(ThreadErrorEntry) {
    ThreadErrorEntry = this;
  }
  ~TErrorCollector() override { ThreadErrorEntry = FSaved; }
  TErrorCollector(const TErrorCollector&) = delete;
  TErrorCollector& operator=(const TErrorCollector&) = delete;
  void ReportError(TPluginFile*, const std::wstring& message, const TErrorStruct& error) override {
    FErrors.push_back({message, error});
  }

private:
  std::vector<TCollectedError>& FErrors;
  IErrorEntry* FSaved;
};

bool IsEligible(uint32_t id, uint32_t version) {
  return id >= MinReportablePluginID && version >= MinReportablePluginVersion;
}

// Dispatches this thread's messages until its active window is the owner
// window, at most MaxOwnerWaitPasses passes of one dispatch round and 1 ms
// of sleep: a result is shown over the window the user works in, or not at
// all. A WM_QUIT met on the way belongs to the thread's own loop and is
// posted again.
bool WaitForActiveOwnerWindow() {
  std::optional<int> quit;
  bool active = false;
  for (int pass = 0; pass < MaxOwnerWaitPasses && !(active = ::GetActiveWindow() == ParentWindow.load()); ++pass) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quit = static_cast<int>(msg.wParam);
      } else {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      }
    }
    ::Sleep(1);
  }
  if (quit) ::PostQuitMessage(*quit);
  return active;
}

}  // namespace

bool ParseVersionURL(const std::wstring& line, uint32_t& version, std::wstring& url) {
  const size_t comma = line.find(L',');
  uint32_t parsed = 0;
  if (comma == std::wstring::npos || !TryBaseToInt(Trim(line.substr(0, comma)), 10, parsed)) return false;
  version = parsed;
  url = Trim(line.substr(comma + 1));
  return true;
}

std::wstring DecodeAnswer(const std::string& body) {
  const auto starts = [&](const char* bom) { return body.compare(0, std::strlen(bom), bom) == 0; };
  if (starts("\xEF\xBB\xBF")) return MultiByteToWide(std::string_view(body).substr(3), CP_UTF8);
  const bool littleEndian = starts("\xFF\xFE");
  if (!littleEndian && !starts("\xFE\xFF")) return AnsiToWide(body);
  std::wstring text((body.size() - 2) / 2, L'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    const auto first = static_cast<unsigned char>(body[2 + 2 * i]), second = static_cast<unsigned char>(body[3 + 2 * i]);
    text[i] = littleEndian ? wchar_t(first | second << 8) : wchar_t(first << 8 | second);
  }
  return text;
}

// The worker's data; the thread and the checker share it.
struct TUpdateChecker::TCheck {
  explicit TCheck(const std::vector<TInstalledPluginInfo>& plugins) : Plugins(plugins) {}

  void Execute(HANDLE cancel);
  std::vector<TPluginUpdate> BuildUpdateList(HANDLE cancel);
  void ReadAnswer(const std::wstring& text, const std::vector<TPluginUpdate>& probed);

  const std::vector<TInstalledPluginInfo> Plugins;
  bool Success = false;
  TZVQUpdate ZentavoUpdate;
  std::vector<TPluginUpdate> Updates;
  std::vector<TCollectedError> ProbeErrors;
};

void TUpdateChecker::TCheck::Execute(HANDLE cancel) {
  Success = false;
  try {
    if (auto fault = ServiceJobFaultHook.load()) fault();
    const std::vector<TPluginUpdate> probed = BuildUpdateList(cancel);
    if (!probed.empty()) {
      std::wstring ids;
      for (const TPluginUpdate& plugin : probed) ids += (ids.empty() ? L"" : L",") + IntToBase(plugin.ID, 10);
      ReadAnswer(DecodeAnswer(RequestService({{L"Service", L"CheckUpdate"}, {L"IDList", ids}}, cancel)), probed);
    }
    Success = true;
  } catch (...) {
    // Whatever failed (the network, the answer, memory) fails the check; the
    // completion is posted all the same.
    Success = false;
  }
}

std::vector<TPluginUpdate> TUpdateChecker::TCheck::BuildUpdateList(HANDLE cancel) {
  const TErrorCollector collector(ProbeErrors);
  std::vector<TPluginUpdate> probed;
  for (const TInstalledPluginInfo& plugin : Plugins) {
    if (::WaitForSingleObject(cancel, 0) == WAIT_OBJECT_0) throw EZvError(L"Cancelled.");
    // Loaded and freed here, on this thread; a library loaded elsewhere in
    // the process is probed through a private copy.
    TPluginFile probe(plugin.Path, nullptr);
    if (!probe.ResolveExports() || !probe.HasGetPluginID() || !probe.HasGetPluginVersion()) continue;
    const uint32_t id = probe.GetPluginID();
    const uint32_t version = probe.GetPluginVersion();
    if (!IsEligible(id, version)) continue;
    bool known = false;
    for (TPluginUpdate& entry : probed) {
      if (entry.ID != id) continue;
      known = true;
      entry.Version = std::max(entry.Version, version);
    }
    if (!known) probed.push_back({plugin.Name, id, version, 0, L""});
  }
  return probed;
}

void TUpdateChecker::TCheck::ReadAnswer(const std::wstring& text, const std::vector<TPluginUpdate>& probed) {
  const std::vector<std::wstring> lines = NonEmptyLines(text);
  // A first line that does not offer the system makes the answer empty.
  if (lines.empty() || !ParseVersionURL(lines[0], ZentavoUpdate.Version, ZentavoUpdate.URL)) return;
  for (size_t i = 1; i < lines.size(); ++i) {
    const size_t colon = lines[i].find(L':');
    uint32_t id = 0;
    if (colon == std::wstring::npos || !TryBaseToInt(Trim(lines[i].substr(0, colon)), 10, id)) continue;
    const auto entry = std::find_if(probed.begin(), probed.end(), [&](const TPluginUpdate& p) { return p.ID == id; });
    if (entry == probed.end()) continue;
    // The first offer for a plug-in wins: repeated lines, which anyone on the
    // plain-HTTP path could send by the thousand, add no further line of
    // windows to the dialog.
    if (std::any_of(Updates.begin(), Updates.end(), [&](const TPluginUpdate& u) { return u.ID == id; })) continue;
    TPluginUpdate update = *entry;
    if (ParseVersionURL(Trim(lines[i].substr(colon + 1)), update.NewVersion, update.URL)) Updates.push_back(update);
  }
}

// ---- the checker ----

TUpdateChecker::TUpdateChecker(HWND notifyWnd, const std::vector<TInstalledPluginInfo>& plugins)
    : FCheck(std::make_shared<TCheck>(plugins)),
      FThread(notifyWnd, WM_CHECKUPDATE_DONE, [check = FCheck](HANDLE released) { check->Execute(released); }) {}

TUpdateChecker::~TUpdateChecker() = default;

bool TUpdateChecker::HasEnded() { return FThread.HasEnded(); }
bool TUpdateChecker::GetSuccess() const { return FCheck->Success; }
TZVQUpdate TUpdateChecker::GetZentavoUpdate() const { return FCheck->ZentavoUpdate; }
const std::vector<TPluginUpdate>& TUpdateChecker::GetUpdates() const { return FCheck->Updates; }

void TUpdateChecker::ShowResult(bool interactive) {
  // The probes are gone: their errors count as those of an unknown plug-in.
  for (const TCollectedError& collected : std::exchange(FCheck->ProbeErrors, {}))
    if (IErrorEntry* entry = GlobalErrorEntry) entry->ReportError(nullptr, collected.Message, collected.Error);
  if (!WaitForActiveOwnerWindow()) return;
  if (!FCheck->Success) {
    if (interactive)
      ShowMessageBoxOwned(ParentWindow, L"An error occured while checking for updates.", L"Error", MB_ICONERROR);
  } else if (FCheck->ZentavoUpdate.Version > ZentavoVersion || !FCheck->Updates.empty()) {
    ShowUpdates(FCheck->ZentavoUpdate, FCheck->Updates);
    if (TSettingsManager* settings = GlobalSettingsManager) settings->SetLastCheckUpdate(CurrentDateTime());
  } else if (interactive) {
    ShowMessageBoxOwned(ParentWindow, L"No new updates are available.", L"Information", MB_ICONINFORMATION);
  }
}

}  // namespace zv

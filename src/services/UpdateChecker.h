// The update check: on a worker thread it probes every installed plug-in for
// its ID and version, asks the product's web service which newer versions
// exist of the system and of those plug-ins, and on the user-interface thread
// tells the user what it found.
//
// Request: "Service=CheckUpdate" and "IDList=" with the IDs of the probed
// plug-ins (at least 1000000000, version at least 100) in decimal, joined by
// ",". Answer: text (UTF-8 or UTF-16 by its byte-order mark, else ANSI); its
// first non-empty line "<version>,<url>" offers the system, each further line
// "<id>:<version>,<url>" a plug-in; the first offer for a plug-in wins.
//
// Errors a probe's queries report are collected on the worker thread and
// handed to the error entry on the user-interface thread when the result is
// shown: no box is shown off that thread.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "services/ServiceThread.h"
#include "services/ServiceWorkers.h"

namespace zv {

// The system's newest version as offered by the service (0: not offered).
struct TZVQUpdate {
  uint32_t Version = 0;
  std::wstring URL;
};

// A probed plug-in and what the service offers for it.
struct TPluginUpdate {
  std::wstring Name;        // the name given at installation
  uint32_t ID = 0;          // ZV_GetPluginID
  uint32_t Version = 0;     // installed, ZV_GetPluginVersion
  uint32_t NewVersion = 0;  // offered; 0 until answered
  std::wstring URL;
};

// "<version>,<url>": the version in unsigned decimal (blanks and control
// characters around it allowed, empty = 0), the URL trimmed and free to hold
// further commas. False, and nothing given out, when the line does not parse.
bool ParseVersionURL(const std::wstring& line, uint32_t& version, std::wstring& url);

// The answer's body as text: UTF-8, UTF-16 LE or UTF-16 BE by its byte-order
// mark, else the system's ANSI code page. Invalid sequences and an odd last
// byte of UTF-16 decode harmlessly.
std::wstring DecodeAnswer(const std::string& body);

class TUpdateChecker final : public IUpdateChecker {
public:
  // Copies the plug-in list and starts the check; raises when it cannot start.
  TUpdateChecker(HWND notifyWnd, const std::vector<TInstalledPluginInfo>& plugins);
  ~TUpdateChecker() override;

  bool HasEnded() override;
  // The collected probe errors to the entry, then, once this thread's active
  // window is the owner window: the error box (interactive), the updates
  // dialog with the time of the check, or the "nothing new" box (interactive).
  void ShowResult(bool interactive) override;

  // Read after HasEnded.
  bool GetSuccess() const;
  TZVQUpdate GetZentavoUpdate() const;
  const std::vector<TPluginUpdate>& GetUpdates() const;

private:
  struct TCheck;
  std::shared_ptr<TCheck> FCheck;
  TServiceThread FThread;
};

}  // namespace zv

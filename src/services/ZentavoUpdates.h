// The updates dialog: one line per newer component ("<name> v<version> - "
// and its download page as a link), in a scroll box that the dialog grows to
// fit within its size limits.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Controls.h"
#include "platform/Form.h"
#include "services/UpdateChecker.h"

namespace zv {

class TZentavoUpdatesForm : public TForm {
public:
  explicit TZentavoUpdatesForm(HWND owner);

  // Adds a line at `top` to UpdatesPanel; gives the right edge of its link less 5.
  int AddLine(int top, const std::wstring& name, uint32_t version, const std::wstring& url);

  TStaticText* StaticText1;
  TPanel* Panel1;
  TScrollBox* UpdatesScrollBox;
  TPanel* UpdatesPanel;
  TButton* CloseBtn;

protected:
  void FormShow() override;

private:
  void UpdateLinkClick(const TLabel& sender);
};

// Versions have two implied decimals: 120 is "1.2", 123 "1.2.3", 5 "0.0.5".
std::wstring FormatVersion(uint32_t version);

// Shows the dialog modally over ParentWindow with the offered system version
// (when above ours) and every plug-in offered above its installed version;
// nothing when there is neither an offered system version above ours nor an
// entry in the list.
void ShowUpdates(const TZVQUpdate& zentavoUpdate, const std::vector<TPluginUpdate>& updates);

}  // namespace zv

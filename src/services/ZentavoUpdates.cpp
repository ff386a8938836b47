#include "services/ZentavoUpdates.h"

#include <algorithm>

#include "frontend/TCUtilities.h"
#include "plugins/ZentavoPlugin.h"

namespace zv {

namespace {

bool IsWebAddress(const std::wstring& text) {
  return _wcsnicmp(text.c_str(), L"http://", 7) == 0 || _wcsnicmp(text.c_str(), L"https://", 8) == 0;
}

}  // namespace

TZentavoUpdatesForm::TZentavoUpdatesForm(HWND owner)
    : TForm(owner, {L"Latest available updates for Zentavo", 401, 246}) {
  SetConstraints(400, 0, 800, 550);
  StaticText1 = Add<TStaticText>(TBounds{8, 8, 192, 17}, L"List of the latest available components:");
  Panel1 = Add<TPanel>(TBounds{8, 24, 385, 183}, L"", TPanelBevel::Lowered);
  Panel1->SetAnchors(akAll);
  UpdatesScrollBox = Panel1->Add<TScrollBox>(TBounds{0, 0, 385, 183}, false);
  UpdatesScrollBox->SetAlign(TAlign::Client);
  UpdatesPanel = UpdatesScrollBox->Add<TPanel>(TBounds{0, 0, 100, 100});
  CloseBtn = Add<TButton>(TBounds{318, 213, 75, 25}, L"Close");
  CloseBtn->SetCancel(true);
  CloseBtn->SetModalResult(mrClose);
  CloseBtn->SetAnchors(akRight | akBottom);
}

void TZentavoUpdatesForm::FormShow() { UpdatesScrollBox->SetFocus(); }

int TZentavoUpdatesForm::AddLine(int top, const std::wstring& name, uint32_t version, const std::wstring& url) {
  // Names and addresses come from plug-ins and the service: "&" is shown as itself.
  auto* label = UpdatesPanel->Add<TLabel>(TBounds{5, top, 0, 0}, name + L" v" + FormatVersion(version) + L" - ");
  label->SetShowAccelChar(false);
  auto* link = UpdatesPanel->Add<TLinkLabel>(TBounds{label->Left() + label->Width(), top, 0, 0}, url);
  link->SetShowAccelChar(false);
  link->OnClick = [this, link] { UpdateLinkClick(*link); };
  return link->Left() + link->Width() - 5;
}

// The address came in a plain-HTTP answer that anyone on the way could have
// forged: only a web page is opened, never a program or a share path.
void TZentavoUpdatesForm::UpdateLinkClick(const TLabel& sender) {
  const std::wstring url = sender.Caption();
  if (IsWebAddress(url)) OpenWebPage.load()(url);
}

std::wstring FormatVersion(uint32_t version) {
  std::wstring text = IntToBase(version / 100, 10) + L"." + IntToBase(version % 100 / 10, 10);
  if (version % 10 != 0) text += L"." + IntToBase(version % 10, 10);
  return text;
}

void ShowUpdates(const TZVQUpdate& zentavoUpdate, const std::vector<TPluginUpdate>& updates) {
  if (zentavoUpdate.Version <= ZentavoVersion && updates.empty()) return;
  int top = 5, widest = 0;
  TZentavoUpdatesForm form(ParentWindow);
  if (zentavoUpdate.Version > ZentavoVersion) {
    widest = std::max(widest, form.AddLine(top, L"Zentavo", zentavoUpdate.Version, zentavoUpdate.URL));
    top += 20;
  }
  for (const TPluginUpdate& update : updates) {
    if (update.NewVersion <= update.Version) continue;  // offered at the installed version or lower
    widest = std::max(widest, form.AddLine(top, update.Name, update.NewVersion, update.URL));
    top += 20;
  }
  form.UpdatesPanel->SetBounds(0, 0, widest + 10, top);
  form.SetClientWidth(widest + 30);
  if (form.UpdatesScrollBox->HasHorzScrollBar()) form.SetClientWidth(form.ClientWidth() + 20);
  form.SetClientHeight(top + 65);
  if (form.UpdatesScrollBox->HasVertScrollBar()) form.SetClientHeight(form.ClientHeight() + 20);
  ShowFormModalCentered(form, ParentWindow);
}

}  // namespace zv

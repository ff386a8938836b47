#include "frontend/ZentavoAbout.h"

#include "ResourceIds.h"
#include "frontend/TCUtilities.h"
#include "frontend/ViewOnlyU.h"
#include "platform/PngImage.h"

namespace zv {

const std::vector<std::wstring>& AboutText() {
  static const std::vector<std::wstring> lines = {
      L"Zentavo 1.0",
      L"Edition for Total Commander",
      L"Copyright \u00A9 2026",
      L"Zentavo authors",
      L"",
      L"Thanks to our translator for the English text.",
      L"",
      L"Your comments and suggestions",
      L"for further development are welcome at",
      L"zentavo@example.org",
      L"",
      L"If you like Zentavo, please support",
      L"its development with a donation",
      L"through the payment logo in the settings.",
  };
  return lines;
}

TZentavoAboutForm::TZentavoAboutForm(HWND owner) : TForm(owner, {L"Zentavo About", 364, 429}) {
  Button1 = Add<TButton>(TBounds{281, 396, 75, 25}, L"Close");
  Button1->SetDefault(true);
  Button1->SetCancel(true);
  Button1->SetModalResult(mrClose);
  Panel1 = Add<TPanel>(TBounds{8, 8, 345, 378}, L"", TPanelBevel::Lowered);
  Image1 = Panel1->Add<TImage>(TBounds{16, 16, 64, 64}, LoadPngBitmap(ThisModule(), MAKEINTRESOURCEW(IDR_PNG_ICON)));
  Image2 = Panel1->Add<TImage>(TBounds{92, 16, 234, 64}, LoadPngBitmap(ThisModule(), MAKEINTRESOURCEW(IDR_PNG_LOGO)));
  Bevel1 = Panel1->Add<TBevel>(TBounds{16, 91, 310, 3}, TBevelShape::TopLine);
  AboutTextRichEdit = Panel1->Add<TRichEdit>(TBounds{16, 104, 310, 227}, true, false);
  AboutTextRichEdit->SetRichFont(TFontDesc{L"Tahoma", -13, 0, EASTEUROPE_CHARSET});
  AboutTextRichEdit->SetBackgroundColor(::GetSysColor(COLOR_BTNFACE));
  AboutTextRichEdit->SetLines(AboutText());
  AboutTextRichEdit->SetParagraphAlignment(TAlignment::Center);
  WebSiteLinkLabel = Panel1->Add<TLinkLabel>(TBounds{96, 345, 0, 0}, ProductWebSite);
  WebSiteLinkLabel->OnClick = EventHandler(this, &TZentavoAboutForm::WebSiteLinkLabelClick);
  FormCreate();
}

void TZentavoAboutForm::FormCreate() { SetViewOnly(AboutTextRichEdit, true); }

void TZentavoAboutForm::WebSiteLinkLabelClick() { OpenWebPage.load()(ProductWebSite); }

}  // namespace zv

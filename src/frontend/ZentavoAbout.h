// The about box that the Settings dialog's "About..." button shows, centred
// over that dialog: the product's pictures, a view-only block of about text
// and a link to the product's web site.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "platform/Controls.h"
#include "platform/Form.h"

namespace zv {

class TZentavoAboutForm : public TForm {
public:
  explicit TZentavoAboutForm(HWND owner);

  TButton* Button1;
  TPanel* Panel1;
  TImage* Image1;
  TImage* Image2;
  TBevel* Bevel1;
  TRichEdit* AboutTextRichEdit;
  TLinkLabel* WebSiteLinkLabel;

private:
  void FormCreate();
  void WebSiteLinkLabelClick();
};

// The about text, line by line.
const std::vector<std::wstring>& AboutText();

}  // namespace zv

#include "frontend/ZentavoProgress.h"

namespace zv {

const UINT ProgressMessageID = ::RegisterWindowMessageW(L"ZentavoProgress");

thread_local bool IsForeignThread = false;

namespace {

constexpr TAnchors akTopRight = akTop | akRight;
constexpr TAnchors akLeftTopRight = akLeft | akTop | akRight;

// A line of file names: a lowered panel with left-aligned text, growing with the panel.
TPanel* AddLinePanel(TForm& form, const TBounds& bounds) {
  auto* panel = form.Add<TPanel>(bounds, L"", TPanelBevel::Lowered, 1, TAlignment::Left);
  panel->SetAnchors(akLeftTopRight);
  return panel;
}

}  // namespace

TZentavoProgressForm::TZentavoProgressForm(HWND owner)
    : TForm(owner, {L"Zentavo progress", 455, 106, TBorderStyle::None, 0}), FThreadId(::GetCurrentThreadId()) {
  Bevel1 = Add<TBevel>(TBounds{0, 0, 455, 3}, TBevelShape::TopLine);
  Bevel1->SetAlign(TAlign::Top);
  StaticText1 = Add<TStaticText>(TBounds{8, 33, 0, 0}, L"Processing:");
  ProcessingLabel = AddLinePanel(*this, {71, 32, 376, 18});
  StaticText2 = Add<TStaticText>(TBounds{8, 56, 0, 0}, L"Input:");
  StaticText3 = Add<TStaticText>(TBounds{8, 80, 0, 0}, L"Output:");
  InputLabel = AddLinePanel(*this, {71, 56, 376, 17});
  OutputLabel = AddLinePanel(*this, {71, 79, 376, 18});
  StaticText4 = Add<TStaticText>(TBounds{8, 9, 0, 0}, L"Status:");
  StatusLabel = Add<TStaticText>(TBounds{71, 9, 0, 0}, L"");
  StatusLabel->SetShowAccelChar(false);
  StaticText5 = Add<TStaticText>(TBounds{340, 9, 0, 0}, L"Memory usage:");
  StaticText5->SetAnchors(akTopRight);
  LoadLabel = Add<TStaticText>(TBounds{415, 9, 32, 17}, L"0%", false, TAlignment::Right);
  LoadLabel->SetAnchors(akTopRight);
  Bevel2 = Add<TBevel>(TBounds{332, 9, 2, 17}, TBevelShape::LeftLine);
  Bevel2->SetAnchors(akTopRight);
}

TZentavoProgressForm::~TZentavoProgressForm() {
  for (auto& slot : FQueue) delete slot.exchange(nullptr);
}

void TZentavoProgressForm::SetLineText(int line, const std::wstring& text) {
  // A thread that does not own the panel must not touch its controls: that
  // would wait for the panel's thread.
  if (IsForeignThread || ::GetCurrentThreadId() != FThreadId) {
    QueueText(text, line);
    return;
  }
  ShowQueuedTexts(line);
  ShowLine(line, text);
}

// When the file calls run on the panel's own thread, the window's procedure
// is the host's: the messages of texts queued by another thread (a plug-in's
// own) meet nobody of ours, so the window's thread takes them up here, at
// its next line. The line being set has a newer text than its queued one.
void TZentavoProgressForm::ShowQueuedTexts(int newerLine) {
  for (int line = 1; line <= LineCount; ++line) {
    const std::unique_ptr<std::wstring> text = TakeQueuedText(line);
    if (text && line != newerLine) ShowLine(line, *text);
  }
}

void TZentavoProgressForm::QueueText(const std::wstring& text, int line) {
  if (line < 1 || line > LineCount) return;
  auto copy = std::make_unique<std::wstring>(text);
  std::wstring* empty = nullptr;
  if (!Slot(line).compare_exchange_strong(empty, copy.get())) return;  // an earlier text still waits
  copy.release();
  HWND dock = Handle() ? ::GetParent(Handle()) : nullptr;
  // Without its message nobody would ever empty the slot: the line would freeze.
  if (!dock || !::PostMessageW(dock, ProgressMessageID, static_cast<WPARAM>(line), 0))
    delete Slot(line).exchange(nullptr);
}

std::unique_ptr<std::wstring> TZentavoProgressForm::TakeQueuedText(int line) {
  if (line < 1 || line > LineCount) return nullptr;
  return std::unique_ptr<std::wstring>(Slot(line).exchange(nullptr));
}

void TZentavoProgressForm::ShowLine(int line, const std::wstring& text) {
  switch (line) {
    case plLoad: LoadLabel->SetCaption(text); break;
    case plStatus: StatusLabel->SetCaption(text); break;
    case plProcessing: ProcessingLabel->SetCaption(text); break;
    case plInput: InputLabel->SetCaption(text); break;
    case plOutput: OutputLabel->SetCaption(text); break;
    default: break;
  }
}

}  // namespace zv

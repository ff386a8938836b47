// The progress panel: a borderless strip of five text lines that is docked
// under the client area of the host's copy-progress window while a batch runs
// (frontend/ProgressHandOver.h opens and closes it). It lives on the thread of
// that window. A line set on another thread is handed over: the text waits in
// the line's queue slot and a message to the window has the window's thread
// show it, or the window's thread takes it up when it next sets a line
// itself. While a text waits, newer texts for that line are dropped, so a
// busy file thread never floods the window's queue.
#pragma once
#include <windows.h>

#include <array>
#include <atomic>
#include <memory>
#include <string>

#include "platform/Controls.h"
#include "platform/Form.h"

namespace zv {

// The panel's lines, numbered as in the hand-over messages.
enum TProgressLine : int { plLoad = 1, plStatus = 2, plProcessing = 3, plInput = 4, plOutput = 5 };

// The window message "ZentavoProgress", registered when the library is loaded.
// Its wParam's low byte says what to do on the window's thread: create the
// panel (lParam: the opening's serial number), show a line's queued text
// (1 to 5), or destroy a panel that its batch has left.
extern const UINT ProgressMessageID;
enum : WPARAM { pmCreatePanel = 0, pmClosePanel = 6 };

// Set on the thread that opened the batch's panel when the panel's window
// belongs to another thread: its line texts are handed over.
extern thread_local bool IsForeignThread;

class TZentavoProgressForm : public TForm {
public:
  explicit TZentavoProgressForm(HWND owner);
  ~TZentavoProgressForm() override;

  // The line setters: on the panel's own thread the line changes at once; on
  // any other the text is queued (QueueText).
  void SetLoadText(const std::wstring& text) { SetLineText(plLoad, text); }
  void SetStatusText(const std::wstring& text) { SetLineText(plStatus, text); }
  void SetProcessingText(const std::wstring& text) { SetLineText(plProcessing, text); }
  void SetInputText(const std::wstring& text) { SetLineText(plInput, text); }
  void SetOutputText(const std::wstring& text) { SetLineText(plOutput, text); }
  void SetLineText(int line, const std::wstring& text);

  // The two ends of the queue. QueueText keeps a copy of the text and posts
  // one message to the window the panel is docked in, unless an earlier text
  // of the line still waits (the new one is then dropped). TakeQueuedText
  // empties the slot; null when it was empty.
  void QueueText(const std::wstring& text, int line);
  std::unique_ptr<std::wstring> TakeQueuedText(int line);
  // Writes a line's control; the panel's own thread only.
  void ShowLine(int line, const std::wstring& text);

  DWORD ThreadId() const { return FThreadId; }

  TBevel* Bevel1;
  TStaticText* StaticText1;
  TPanel* ProcessingLabel;
  TStaticText* StaticText2;
  TStaticText* StaticText3;
  TPanel* InputLabel;
  TPanel* OutputLabel;
  TStaticText* StaticText4;
  TStaticText* StatusLabel;
  TStaticText* StaticText5;
  TStaticText* LoadLabel;
  TBevel* Bevel2;

private:
  static constexpr int LineCount = 5;
  // On the panel's own thread: the texts other threads queued, but newerLine's.
  void ShowQueuedTexts(int newerLine);
  std::atomic<std::wstring*>& Slot(int line) { return FQueue[static_cast<size_t>(line - 1)]; }

  const DWORD FThreadId;
  std::array<std::atomic<std::wstring*>, LineCount> FQueue{};
};

}  // namespace zv

#include "engine/TransformManager.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "engine/CreatedDirectories.h"
#include "engine/HostProgress.h"
#include "engine/InputStream.h"
#include "engine/MixedStream.h"
#include "engine/OutputStream.h"
#include "engine/ProgressLines.h"
#include "platform/Boundary.h"
#include "platform/Dialogs.h"
#include "platform/Form.h"
#include "platform/TextConv.h"
#include "platform/ZvError.h"
#include "plugins/PluginFile.h"
#include "services/ErrorEntry.h"

namespace zv {

namespace {

constexpr wchar_t Terminating[] = L"The transformation process is terminating.";
// Longest status text taken from a plug-in, in bytes.
constexpr size_t MaxStatusBytes = 255;

void ShowError(const std::wstring& text) { ShowMessageBox(text, L"Error", MB_ICONERROR); }

// Percentages as the panel and the host see them: read unsigned, so that a
// negative value shows as 100 like anything above it.
uint32_t CappedPercent(int32_t percent) { return std::min<uint32_t>(static_cast<uint32_t>(percent), 100); }

template <typename TSetter>
void ShowLine(TSetter setter, const std::wstring& text) {
  if (IProgressLines* lines = ProgressLines) (lines->*setter)(text);
}

bool HostAborts(const std::wstring& pluginName, uint32_t percent) {
  return CallHostProgress(pluginName + L" input stream", pluginName + L" output stream", static_cast<int32_t>(percent));
}

// ---- output names ----

std::wstring FullPathOf(const std::wstring& path) {
  const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return std::wstring();
  std::wstring full(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return std::wstring();
  full.resize(length);
  return full;
}

// A device answers to its name in every folder and with any extension
// ("NUL", "con.txt", "COM1 .log"): writing there reaches no file.
bool IsDeviceName(std::wstring_view component) {
  component = component.substr(0, component.find(L'.'));
  while (!component.empty() && component.back() == L' ') component.remove_suffix(1);
  static const wchar_t* const devices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const wchar_t* device : devices)
    if (::CompareStringOrdinal(component.data(), static_cast<int>(component.size()), device, -1, TRUE) == CSTR_EQUAL)
      return true;
  return component.size() == 4 && component[3] >= L'1' && component[3] <= L'9' &&
         (::CompareStringOrdinal(component.data(), 3, L"COM", 3, TRUE) == CSTR_EQUAL ||
          ::CompareStringOrdinal(component.data(), 3, L"LPT", 3, TRUE) == CSTR_EQUAL);
}

// The output's full name as the system resolves it; empty when it must not
// be written: not strictly below its Root, a second ":" (an alternate data
// stream or a drive in mid-path), a device, or a directory. A plug-in names
// its outputs, so nothing of its choosing may lead anywhere else.
std::wstring ResolveOutputName(const TFileProperties& props) {
  std::wstring root = FullPathOf(props.Root + L"\\");
  const std::wstring name = FullPathOf(props.FullName());
  if (root.empty() || root.back() != L'\\') root += L'\\';
  if (name.size() <= root.size() ||
      ::CompareStringOrdinal(name.data(), static_cast<int>(root.size()), root.data(), static_cast<int>(root.size()),
                             TRUE) != CSTR_EQUAL)
    return std::wstring();
  const std::wstring_view below = std::wstring_view(name).substr(root.size());
  if (below.find(L':') != std::wstring_view::npos) return std::wstring();
  for (size_t start = 0; start <= below.size();) {
    const size_t end = std::min(below.find(L'\\', start), below.size());
    if (IsDeviceName(below.substr(start, end - start))) return std::wstring();
    start = end + 1;
  }
  const DWORD attributes = ::GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return std::wstring();
  return name;
}

bool IsExistingFile(const std::wstring& name) {
  const DWORD attributes = ::GetFileAttributesW(name.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring FileNamePart(const std::wstring& fullName) {
  return fullName.substr(fullName.find_last_of(L"\\:") + 1);
}

}  // namespace

// ---- lifetime ----

TTransformManager::TTransformManager(std::vector<TPluginEntry>&& entries) : FOverwriteAnswer(mrYes) {
  for (const TPluginEntry& entry : entries)
    if (!entry || !entry->PluginFile) throw EZvError(L"A pipe entry without a loaded plug-in cannot run");
  InitMemoryManagement();
  FTransforms.reserve(entries.size());
  for (TPluginEntry& entry : entries) FTransforms.push_back(std::make_unique<TTransform>(std::move(entry)));
  ActiveTransformManager = this;
}

TTransformManager::~TTransformManager() {
  ITransformProgress* self = this;
  ActiveTransformManager.compare_exchange_strong(self, nullptr);
  {
    // A plug-in thread still reporting finds no current stage from here on.
    TLockGuard lock(FLock);
    FIndex = -1;
  }
  for (std::unique_ptr<TTransform>& stage : FTransforms) stage.reset();
  FTransforms.clear();
  // Every stream of the batch, and with it every allocation, is gone now.
  DoneMemoryManagement();
}

// ---- the stream makers ----

bool TTransformManager::CreateFileInputStream(const TFileProperties& props,
                                              std::unique_ptr<TGeneralStream>& stream) noexcept {
  return GuardBoundary(false, [&] {
    stream = std::make_unique<TInputStream>(CreateFromFile, props);
    return true;
  });
}

bool TTransformManager::CreateChainedInputStream(TGeneralStream& previous,
                                                 std::unique_ptr<TGeneralStream>& stream) noexcept {
  return GuardBoundary(false, [&] {
    stream = std::make_unique<TInputStream>(CreateShared, previous);
    return true;
  });
}

bool TTransformManager::CreateOutputStream(const TFileProperties& props,
                                           std::unique_ptr<TGeneralStream>& stream) noexcept {
  return GuardBoundary(false, [&] {
    stream = std::make_unique<TOutputStream>(std::make_unique<TMixedStream>(), props);
    return true;
  });
}

// ---- running a file ----

bool TTransformManager::Run(const TFileProperties* input, const TFileProperties* output) noexcept {
  const bool ended = GuardBoundary(
      false,
      [&] {
        FOutcome = TRunOutcome();
        return DoRun(input, output);
      },
      [] { ShowError(CurrentExceptionMessage()); });
  if (!ended) GuardBoundary([this] { EndStoppedRun(); });
  FOutcome.Parked = FirstWaitingStage(0) >= 0;
  return ended;
}

// What a stopped run left part way is of no use to the next file: a stage
// with more output would hand the rest of this file down under the next
// file's name, and the streams of a failed call keep this file's source open.
// Such stages end as at the batch's end; a stage waiting for more input keeps
// what it holds of the files before, which ended normally.
void TTransformManager::EndStoppedRun() {
  for (std::unique_ptr<TTransform>& stage : FTransforms)
    if (stage->GetLastResult() != ZVR_WAITMOREINPUT) stage->End();
}

bool TTransformManager::DoRun(const TFileProperties* input, const TFileProperties* output) {
  const bool fileRun = input != nullptr;
  if (fileRun != (output != nullptr) || (fileRun && FTransforms.empty())) return false;
  FIndex = FTransforms.empty() ? -1 : 0;
  std::unique_ptr<TGeneralStream> pending;
  while (FIndex >= 0) {
    const TStep step = RunStage(input, output, pending);
    if (step == TStep::Stop) return false;
    if (step == TStep::Backtrack) Backtrack(fileRun);
  }
  return true;
}

// One turn: the stage at FIndex (or the waiting stage it leads to) gets its
// streams and its call, and its result steers.
TTransformManager::TStep TTransformManager::RunStage(const TFileProperties* input, const TFileProperties* output,
                                                     std::unique_ptr<TGeneralStream>& pending) {
  const bool fileRun = input != nullptr;
  const int32_t turn = FIndex;
  ShowLine(&IProgressLines::SetStatusText, fileRun ? L"Transforming" : L"Post processing");

  // A stage with more output keeps its input (which may be none) and is
  // called again even without one: it still has outputs to give.
  const bool moreOutput = FTransforms[turn]->GetLastResult() == ZVR_MOREOUTPUT;
  std::unique_ptr<TGeneralStream> madeInput;
  if (moreOutput) {
    // Never with data handed down (the stage's outputs are all taken before
    // anything reaches it again, and a stopped run ends it); should it come
    // all the same, the caller must not take it for written.
    if (pending) FOutcome.Unwritten.push_back(pending->GetFullName());
    pending.reset();
  } else if (!NewInput(turn, input, pending, madeInput)) {
    ShowError(L"Failed to create the input stream. " + std::wstring(Terminating));
    return TStep::Stop;
  }
  TGeneralStream* in = moreOutput ? FTransforms[turn]->GetInputStream() : madeInput.get();

  // Without one, the first stage from here on that waits for more input
  // gets its end-of-data call.
  const int32_t index = in || moreOutput ? turn : FirstWaitingStage(turn);
  if (index < 0) {
    FIndex = turn - 1;
    return TStep::Backtrack;
  }
  FIndex = index;
  TTransform& stage = *FTransforms[index];

  std::unique_ptr<TGeneralStream> madeOutput;
  const bool waiting = stage.GetLastResult() == ZVR_WAITMOREINPUT;
  if (!waiting && !NewOutput(stage, index, fileRun ? output : nullptr, in, madeOutput)) {
    ShowError(L"Failed to create the output stream. " + std::wstring(Terminating));
    return TStep::Stop;
  }
  TGeneralStream* out = madeOutput ? madeOutput.get() : stage.GetOutputStream();

  ShowLine(&IProgressLines::SetInputText, GetInputDisplayName(in));
  ShowLine(&IProgressLines::SetOutputText, GetOutputDisplayName(out));
  SetProgress(0);
  if (!stage.Transform(in, out)) {
    ReportFailure(stage,
                  L"The following error occured while initializing the transformation of the \"" + stage.GetName() +
                      L"\" plugin: ",
                  L"An unknown error occured while initializing the transformation of the \"" + stage.GetName() +
                      L"\" plugin.  " + Terminating);
    return TStep::Stop;
  }
  madeInput.release();  // the entry holds both now
  madeOutput.release();
  ShowLine(&IProgressLines::SetOutputText, GetOutputDisplayName(stage.GetOutputStream()));
  ClearStageStatus(stage);
  SetProgress(100);
  return Steer(stage, index, pending);
}

// The input of a stage without one of its own: the source at the first
// stage of a file run, else what the stage before passed (whose data lives
// on in the new input). None is no failure.
bool TTransformManager::NewInput(int32_t index, const TFileProperties* input, std::unique_ptr<TGeneralStream>& pending,
                                 std::unique_ptr<TGeneralStream>& stream) {
  if (index == 0) return !input || (FOutcome.SourceOpened = CreateFileInputStream(*input, stream));
  if (!pending) return true;
  const bool made = CreateChainedInputStream(*pending, stream);
  pending.reset();
  return made;
}

// A new output named after the destination (first stage of a file run),
// the input (so a name travels down the pipe), or without an input after
// the output the stage passed last.
bool TTransformManager::NewOutput(const TTransform& stage, int32_t index, const TFileProperties* destination,
                                  const TGeneralStream* in, std::unique_ptr<TGeneralStream>& stream) {
  return CreateOutputStream(index == 0 && destination ? *destination
                            : in                      ? in->GetFileProperties()
                                                      : stage.GetPassedOutputProperties(),
                            stream);
}

TTransformManager::TStep TTransformManager::Steer(TTransform& stage, int32_t index,
                                                  std::unique_ptr<TGeneralStream>& pending) {
  switch (stage.GetLastResult()) {
    case ZVR_OK:
      stage.FreeInputStream();
      pending = stage.DetachOutputStream();
      break;
    case ZVR_ANOTHERINPUT:
      stage.FreeInputStream();
      stage.FreeOutputStream();
      FIndex = index - 1;
      return TStep::Backtrack;
    case ZVR_USEINPUT:
      pending = stage.DetachInputStream();
      pending->SetFileProperties(stage.GetOutputStream()->GetFileProperties());
      stage.FreeOutputStream();
      break;
    case ZVR_WAITMOREINPUT:
      stage.FreeInputStream();
      FIndex = index - 1;
      return TStep::Backtrack;
    case ZVR_MOREOUTPUT:
      pending = stage.DetachOutputStream();
      break;
    case ZVR_NOOUTPUT:
      stage.FreeInputStream();
      stage.FreeOutputStream();
      break;
    case ZVR_CANCEL:
      return TStep::Stop;
    default:  // ZVR_ERROR, and whatever else could arrive: never a fall-through
      ReportFailure(stage,
                    L"The \"" + stage.GetName() + L"\" plugin has cancelled the transformation because of the "
                                                  L"following error: ",
                    L"The \"" + stage.GetName() + L"\" plugin has cancelled the transformation due to an unknown "
                                                  L"error. " + Terminating);
      return TStep::Stop;
  }
  FIndex = index + 1;
  if (FIndex < StageCount()) return TStep::Next;
  // The data left the last stage.
  FIndex = StageCount() - 1;
  if (pending && SaveOutput(std::move(pending)) == TStep::Stop) return TStep::Stop;
  return TStep::Backtrack;
}

// Down from FIndex to the nearest stage with more output. The last pass
// goes on above a stage that ended its data while a later one still waits.
bool TTransformManager::Backtrack(bool fileRun) {
  const int32_t from = FIndex;
  int32_t index = from;
  while (index >= 0 && FTransforms[index]->GetLastResult() != ZVR_MOREOUTPUT) --index;
  if (index < 0 && !fileRun && from >= 0 && from < StageCount() - 1 && FirstWaitingStage(from + 1) >= 0)
    index = from + 1;
  FIndex = index;
  return index >= 0;
}

int32_t TTransformManager::FirstWaitingStage(int32_t from) const {
  for (int32_t i = std::max(from, 0); i < StageCount(); ++i)
    if (FTransforms[i]->GetLastResult() == ZVR_WAITMOREINPUT) return i;
  return -1;
}

// A plug-in's own error reaches the error entry with its record, so that it
// can be reported online; without a text the user gets a box.
void TTransformManager::ReportFailure(const TTransform& stage, const std::wstring& withText,
                                      const std::wstring& withoutText) {
  const TErrorStruct& error = stage.GetLastError();
  if (error.Text.empty()) {
    ShowError(withoutText);
    return;
  }
  if (IErrorEntry* entry = GlobalErrorEntry) {
    const std::wstring message = withText + L"\"" + error.Text + L"\". " + Terminating;
    entry->ReportError(stage.GetEntry()->PluginFile.get(), message, error);
  }
}

// ---- saving ----

TTransformManager::TStep TTransformManager::SaveOutput(std::unique_ptr<TGeneralStream> stream) {
  const std::wstring fullName = stream->GetFullName();
  const TFileProperties props = stream->GetFileProperties();
  const std::wstring resolved = ResolveOutputName(props);
  const bool exists = !resolved.empty() && IsExistingFile(resolved);
  if (exists && (FOverwriteAnswer == mrYes || FOverwriteAnswer == mrNo) && !AskOverwrite(fullName))
    return TStep::Stop;
  if (exists && (FOverwriteAnswer == mrNo || FOverwriteAnswer == mrNoToAll)) {
    FOutcome.Unwritten.push_back(resolved);
    return TStep::Next;
  }
  for (;;) {
    int32_t result = srFailed;
    if (!resolved.empty()) {
      ShowLine(&IProgressLines::SetStatusText, L"Writing output");
      result = stream->SaveToFile();
    }
    if (result == srSaved) break;
    // Neither an abort nor a failure leaves a partial file behind: Retry
    // writes it anew, and after Abort or Ignore no short file stands under
    // the output's name.
    if (result == srAborted) return TStep::Stop;
    const int answer =
        ShowMessageBox(L"Failed to save the \"" + fullName + L"\" file.", L"Error", MB_ABORTRETRYIGNORE | MB_ICONERROR);
    if (answer == IDRETRY) continue;
    if (answer != IDIGNORE) return TStep::Stop;
    FOutcome.Unwritten.push_back(resolved.empty() ? fullName : resolved);
    return TStep::Next;
  }
  FOutcome.Saved.push_back(resolved);
  RemoveCreatedDirectoryEntry(props);
  return TStep::Next;
}

// The answer becomes the remembered one. Cancel, or a box that could not be
// shown, answers false: it stops this run only, and the next existing file
// is asked again.
bool TTransformManager::AskOverwrite(const std::wstring& fullName) {
  const int answer =
      ShowConfirmationBox(L"The \"" + FileNamePart(fullName) + L"\" file already exists. Shall I overwrite it?");
  const bool goOn = answer == mrYes || answer == mrNo || answer == mrNoToAll || answer == mrYesToAll;
  FOverwriteAnswer = goOn ? answer : mrYes;
  return goOn;
}

// ---- progress ----

TTransform* TTransformManager::CurrentStage() const {
  const int32_t index = FIndex;
  return index >= 0 && index < StageCount() ? FTransforms[index].get() : nullptr;
}

void TTransformManager::ClearStageStatus(TTransform& stage) {
  TLockGuard lock(FLock);
  stage.SetStatus(std::wstring());
}

// Under the lock for the whole call, the host's callback included: a
// plug-in may report from threads of its own, and the host expects one
// report at a time.
bool TTransformManager::SetProgress(int32_t percent) {
  TLockGuard lock(FLock);
  TTransform* stage = CurrentStage();
  if (!stage) return false;
  const uint32_t p = CappedPercent(percent);
  const std::wstring name = stage->GetName();
  if (IProgressLines* lines = ProgressLines) {
    lines->SetProcessingText(name + L" [" + std::to_wstring(p) + L"%]" + stage->GetStatus());
    lines->SetLoadText(std::to_wstring(GetMemoryUsagePercent()) + L"%");
  }
  stage->SetProgress(static_cast<int32_t>(p));
  return HostAborts(name, p);
}

void TTransformManager::SetStatus(const char* text) {
  TLockGuard lock(FLock);
  TTransform* stage = CurrentStage();
  if (!stage) return;
  const std::wstring status =
      text ? L" (" + AnsiToWide(std::string_view(text, ::strnlen(text, MaxStatusBytes))) + L")" : std::wstring();
  ShowLine(&IProgressLines::SetProcessingText,
           stage->GetName() + L" [" + std::to_wstring(stage->GetProgress()) + L"%]" + status);
  stage->SetStatus(status);
}

// Without the lock: only the saving in Run calls it, on Run's thread.
bool TTransformManager::SetWriteProgress(int32_t percent) {
  TTransform* stage = CurrentStage();
  if (!stage) return false;
  const uint32_t p = CappedPercent(percent);
  ShowLine(&IProgressLines::SetStatusText, L"Writing output [" + std::to_wstring(p) + L"%]");
  return HostAborts(stage->GetName(), p);
}

}  // namespace zv

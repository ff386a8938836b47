// A stand-in for the file manager. Per host: a new folder with a copy of the
// built library, the test plug-ins and a Zentavo.cfg that installs them
// (update checks off, a temporary folder of its own, optionally a stored
// pipe); a main window of the class FsInit looks for; LoadLibrary, the 16
// exports by name, FsSetDefaultParams, FsInit with a recording progress
// callback (log and request callbacks fail the test when called). Its
// threads run with x87 exceptions unmasked, as some file managers do.
//
// Operate plays one operation: FsStatusInfo start while a driver answers the
// Processor dialog; the file calls on a worker thread while this thread owns
// a foreground copy-progress window and pumps; then the window hides and the
// operation ends, or the other way round (the end then on the worker).
// It cannot play the host's own confirmations, its copying of directories,
// or several operations at once.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "support/HostFloatingPoint.h"
#include "support/TestFiles.h"

namespace zvtest {


enum : int { opList = 1, opGet = 3, opPut = 5, opRenMov = 7, fsOk = 0, fsUserAbort = 5, copyMove = 4 };

// File contents: a pattern of a size, and whether a file holds exactly it.
using TBytes = std::vector<unsigned char>;
inline TBytes Bytes(size_t size, unsigned char seed) {
  TBytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(seed + i * 7);
  return bytes;
}
inline bool Holds(const std::wstring& path, const TBytes& bytes) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) && ReadFileBytes(path) == bytes;
}

// A stage of the stored pipe: a test plug-in ("passthru", "merge", ...) and
// its settings lines ("Results=string:7").
struct TStage {
  std::string Fixture;
  std::vector<std::wstring> Settings;
};
using TPipe = std::vector<TStage>;

class TTestHost {
public:
  // interfaceHigh/Low: the version FsSetDefaultParams reports; init: whether FsInit is called.
  explicit TTestHost(TPipe storedPipe = {}, int interfaceHigh = 2, int interfaceLow = 0, bool init = true);
  ~TTestHost();

  // "\C: (test)\dir\file" for C:\dir\file; View: a file below Work.
  static std::string HostPath(const std::wstring& realPath);
  std::string View(const std::wstring& name = L"") const { return HostPath(Work / name); }
  std::string Local(const std::wstring& name) const;

  // FsStatusInfo start, the Processor dialog answered with the button.
  void Start(int operation, const std::wstring& remoteDir, const std::wstring& answer = L"Start");
  struct TOperation {
    int Operation;
    std::wstring RemoteDir;             // a real directory
    std::function<void()> Files{};      // the file calls, on the worker thread
    std::wstring Answer = L"Start";     // the Processor dialog's button
    bool EndBeforeHide = false;         // the end on the worker thread too
    std::vector<int> BoxAnswers{};      // the boxes on the worker thread (overwrite questions too)
  };
  void Operate(const TOperation& operation);

  // FreeLibrary, afterFree, then: no window of ours, the library and every
  // test plug-in unloaded (our workers hold a reference on the library, so
  // none runs on), no temporary file left.
  void Unload(const std::function<void()>& afterFree = {});

  // Calls an export by its plain name (BOOL unless told), as the host does.
  template <typename TResult = BOOL, typename... TArgs>
  TResult Fs(const char* name, TArgs... args) {
    return reinterpret_cast<TResult(WINAPI*)(TArgs...)>(reinterpret_cast<void*>(::GetProcAddress(Library, name)))(args...);
  }

  HWND MainWindow = nullptr;
  HMODULE Library = nullptr;
  TTempDir Folder, Work;         // the library with its .cfg; the test's files
  bool ProcessorCentred = false;  // the last Processor dialog lay centred over MainWindow
  bool PanelDocked = false;       // the last operation's panel showed in the copy window
  std::vector<std::wstring> Boxes;  // "caption: text" of the boxes during the file calls

  struct TProgressCall {
    int PluginNr, Percent;
  };
  static std::vector<TProgressCall> Progress;
  static bool AbortProgress;  // the callback then answers 1 for 0 < percent < 100
  static std::function<void()> OnProgress;  // runs in every progress call, on the caller's thread

private:
  const TX87ControlWord FFloatingPoint;  // from before loading the library until after freeing it
  std::wstring FLibraryPath;
  std::vector<std::wstring> FFixturePaths;
  bool FUnloaded = false;
};

bool CentredOver(HWND window, HWND over);

}  // namespace zvtest

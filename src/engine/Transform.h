// One stage of a running Transform Pipe: a pipe entry for the life of one
// pipe runner. It brackets the plug-in's ZV_TransformA calls with
// ZV_InitTransform and ZV_DoneTransform, remembers the last result, owns the
// streams parked in the entry between calls, keeps the stage's progress and
// status for the panel, and unloads the entry when it is freed.
//
// States, by the last result: fresh (-1); in the middle of a transformation
// (ZVR_WAITMOREINPUT or ZVR_MOREOUTPUT: initialised, streams parked, no
// ZV_DoneTransform yet); ended (any other result: ZV_DoneTransform sent when
// due). A stage is used by its runner on the thread that runs the file; its
// progress and status are read and written under the runner's lock.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "engine/GeneralStream.h"
#include "plugins/ErrorStruct.h"
#include "plugins/PluginManager.h"

namespace zv {

class TTransform {
public:
  // Takes the entry, which is unloaded when the stage is freed; the entry's
  // stream fields are cleared (whatever they held is not the stage's).
  explicit TTransform(TPluginEntry entry);
  // Ends the stage (see End), then unloads the entry.
  ~TTransform();
  TTransform(const TTransform&) = delete;
  TTransform& operator=(const TTransform&) = delete;

  std::wstring GetName() const;
  TLoadedPlugin* GetEntry() const { return FEntry.get(); }
  // -1 before the first call, after a refused initialisation and after the
  // stage was ended.
  int32_t GetLastResult() const { return FLastResult; }
  // The error the plug-in's last call left (its ZV_InitTransform when that
  // refused, else its ZV_TransformA), kept before ZV_DoneTransform, which
  // starts with a cleared error, can wipe it.
  const TErrorStruct& GetLastError() const { return FLastError; }

  // The entry's streams, left in place.
  TGeneralStream* GetInputStream() const;
  TGeneralStream* GetOutputStream() const;
  void FreeInputStream();
  void FreeOutputStream();
  // The caller owns the stream now; null when the field was empty.
  std::unique_ptr<TGeneralStream> DetachInputStream();
  std::unique_ptr<TGeneralStream> DetachOutputStream();
  // The name of the last output detached: a stage called again for more
  // output without an input names its next output after it.
  const TFileProperties& GetPassedOutputProperties() const { return FPassedOutput; }

  void SetProgress(int32_t percent) { FProgress = percent; }
  int32_t GetProgress() const { return FProgress; }
  // The suffix shown after the percent: empty or " (" + text + ")".
  void SetStatus(const std::wstring& status) { FStatus = status; }
  const std::wstring& GetStatus() const { return FStatus; }

  // The bracket: ZV_InitTransform before the first call of a transformation
  // (whatever it answers, ZV_DoneTransform is then due), ZV_DoneTransform
  // after every call that ends one; never ZV_DoneTransform without the
  // plug-in's ZV_InitTransform.
  bool InitTransform();
  void DoneTransform();
  // Frees the streams the entry holds and ends a transformation left in the
  // middle with ZV_DoneTransform: the stage is fresh again. A run that
  // stopped ends its stages this way, so that the next file starts anew.
  void End();
  // One call of the plug-in. False only when ZV_InitTransform refused: the
  // streams then stay with the caller. Otherwise the entry owns both streams
  // (a stream it still held from a stopped call and that is not one of them
  // is freed) and GetLastResult tells the answer.
  bool Transform(TGeneralStream* input, TGeneralStream* output);

private:
  bool InMiddleOfTransformation() const;
  void KeepLastError();

  bool FInitialized = false;
  int32_t FLastResult = -1;
  TPluginEntry FEntry;
  int32_t FProgress = 0;
  std::wstring FStatus;
  TErrorStruct FLastError;
  TFileProperties FPassedOutput;
};

}  // namespace zv

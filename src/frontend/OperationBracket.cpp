#include "frontend/OperationBracket.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/CreatedDirectories.h"
#include "engine/TransformManager.h"
#include "frontend/BatchState.h"
#include "frontend/HostInterface.h"
#include "frontend/HostPaths.h"
#include "frontend/ProgressHandOver.h"
#include "frontend/TCUtilities.h"
#include "frontend/ZentavoProcessor.h"
#include "platform/Boundary.h"
#include "platform/FileSystem.h"
#include "platform/Form.h"
#include "platform/TextConv.h"

namespace zv {

namespace {

// A moved file whose data a stage held after its run: it may go only once
// the last pass has written everything.
struct TParkedSource {
  std::wstring Path;
  TFileIdentity Identity;
};

// The running batch. It exists exactly while TransformActive is set.
struct TBatch {
  std::unique_ptr<TTransformManager> Runner;
  int NestedStarts = 0;  // transforming starts that arrived while it ran, not ended yet
  std::vector<TParkedSource> Parked;
  // Since the first parked source: every output saved (a later one may have
  // been written over a parked source) and whether any was left unwritten.
  std::vector<TFileIdentity> SavedSinceParking;
  bool UnwrittenSinceParking = false;
};
std::unique_ptr<TBatch> Batch;

std::vector<TFileIdentity> IdentitiesOf(const std::vector<std::wstring>& paths) {
  std::vector<TFileIdentity> identities;
  for (const std::wstring& path : paths)
    if (const auto identity = FileIdentityOf(path)) identities.push_back(*identity);
  return identities;
}

bool Contains(const std::vector<TFileIdentity>& identities, const TFileIdentity& identity) {
  return std::find(identities.begin(), identities.end(), identity) != identities.end();
}

// The source is still the file it was when its run began (the run did not
// replace it) and no output of the runs since was saved over it.
bool StillTheSource(const std::wstring& path, const TFileIdentity& identity, const std::vector<TFileIdentity>& saved) {
  return FileIdentityOf(path) == identity && !Contains(saved, identity);
}

// After a move's run that ended normally: the source goes, is kept for the
// end of the batch, or stays.
void SettleMovedSource(TBatch& batch, const std::wstring& source, const std::optional<TFileIdentity>& identity) {
  const TRunOutcome& outcome = batch.Runner->LastOutcome();
  const std::vector<TFileIdentity> saved = IdentitiesOf(outcome.Saved);
  if (!batch.Parked.empty()) {
    batch.SavedSinceParking.insert(batch.SavedSinceParking.end(), saved.begin(), saved.end());
    batch.UnwrittenSinceParking = batch.UnwrittenSinceParking || !outcome.Unwritten.empty();
  }
  // A run that never read its source (a stage still giving the outputs of
  // an earlier file filled it) leaves it for the user; one we cannot tell
  // apart from the outputs stays too.
  if (!outcome.SourceOpened || !identity || !outcome.Unwritten.empty() || !StillTheSource(source, *identity, saved))
    return;
  if (outcome.Parked)
    batch.Parked.push_back({source, *identity});
  else
    ::DeleteFileW(source.c_str());
}

// After a run that stopped: a stage that held data for the sources parked so
// far may have been ended with it, so they all stay. Sources parked later
// are settled afresh.
void KeepParkedSources(TBatch& batch) {
  batch.Parked.clear();
  batch.SavedSinceParking.clear();
  batch.UnwrittenSinceParking = false;
}

// After the last pass: the parked sources go when it wrote everything.
void SettleParkedSources(TBatch& batch, bool passEnded) {
  if (batch.Parked.empty() || !passEnded) return;
  const TRunOutcome& outcome = batch.Runner->LastOutcome();
  if (batch.UnwrittenSinceParking || !outcome.Unwritten.empty() || outcome.Parked) return;
  std::vector<TFileIdentity> saved = batch.SavedSinceParking;
  const std::vector<TFileIdentity> savedByPass = IdentitiesOf(outcome.Saved);
  saved.insert(saved.end(), savedByPass.begin(), savedByPass.end());
  for (const TParkedSource& source : batch.Parked)
    if (StillTheSource(source.Path, source.Identity, saved)) ::DeleteFileW(source.Path.c_str());
}

void StartBatch(const char* remoteDir, int operation) {
  const int answer = GuardBoundary(static_cast<int>(mrNone), [] {
    return ShowModalCentered<TZentavoProcessorForm>(ParentWindow);
  });
  // Start made the runner; whatever else ended the dialog, none may stay behind.
  std::unique_ptr<TTransformManager> runner(ActiveRunner());
  if (answer != mrOk || !runner) return;
  Batch = std::make_unique<TBatch>();
  Batch->Runner = std::move(runner);
  if (IsGetOperation(operation)) CreatedDirectories.emplace();
  CurrentRemoteDir = GetRealPath(AnsiZToWide(remoteDir));
  LastFileTransformed = false;
  TransformActive = true;
}

// The frame the three file calls share; moveSource: the file to delete after
// a move, empty for a copy.
int RunFile(const TFileProperties& input, const TFileProperties& output, const std::wstring& moveSource) {
  TBatch& batch = *Batch;
  const std::optional<TFileIdentity> identity =
      moveSource.empty() ? std::nullopt : FileIdentityOf(moveSource);
  if (!batch.Runner->Run(&input, &output)) {
    KeepParkedSources(batch);
    return FS_FILE_USERABORT;
  }
  LastFileTransformed = true;
  if (!moveSource.empty()) SettleMovedSource(batch, moveSource, identity);
  return FS_FILE_OK;
}

// Opens the batch's panel at its first file; false when no batch runs.
bool BeginFile() {
  if (!TransformActive || !Batch) return false;
  ShowProgressForm();
  LastFileTransformed = false;
  return true;
}

}  // namespace

void StartOperation(const char* remoteDir, int operation) {
  if (IsTransformingOperation(operation)) {
    if (TransformActive && Batch)
      ++Batch->NestedStarts;
    else if (!IsVirtualPathA(remoteDir))
      StartBatch(remoteDir, operation);
  }
  CurrentOperation = operation;
}

void EndOperation(int operation) {
  if (!IsTransformingOperation(operation) || !TransformActive || !Batch) return;
  if (Batch->NestedStarts > 0) {
    --Batch->NestedStarts;
    return;
  }
  std::unique_ptr<TBatch> batch = std::move(Batch);
  if (LastFileTransformed) SettleParkedSources(*batch, batch->Runner->Run(nullptr, nullptr));
  batch->Runner.reset();
  if (IsGetOperation(operation)) RemoveCreatedDirectories();
  CreatedDirectories.reset();
  HideProgressForm();
  TransformActive = false;
}

int TransformGetFile(const char* remoteName, const char* localName, int copyFlags) {
  if (!BeginFile()) return FS_FILE_USERABORT;
  const std::string remote = GetRealPathA(remoteName);
  TFileProperties input, output;
  if (!BuildRemoteFilePropertiesA(remote.c_str(), input) ||
      !BuildLocalFilePropertiesA(remote.c_str(), localName, output))
    return FS_FILE_USERABORT;
  AddCreatedDirectory(output);
  return RunFile(input, output, copyFlags & FS_COPYFLAGS_MOVE ? AnsiToWide(remote) : std::wstring());
}

int TransformPutFile(const char* localName, const char* remoteName, int copyFlags) {
  if (!BeginFile()) return FS_FILE_USERABORT;
  const std::string remote = GetRealPathA(remoteName);
  TFileProperties input, output;
  if (!BuildLocalFilePropertiesA(remote.c_str(), localName, input) ||
      !BuildRemoteFilePropertiesA(remote.c_str(), output))
    return FS_FILE_USERABORT;
  return RunFile(input, output, copyFlags & FS_COPYFLAGS_MOVE ? AnsiZToWide(localName) : std::wstring());
}

int TransformRenMovFile(const char* oldName, const char* newName, bool move) {
  if (!BeginFile()) return FS_FILE_USERABORT;
  const std::string oldPath = GetRealPathA(oldName), newPath = GetRealPathA(newName);
  if (oldPath.starts_with('\\') || newPath.starts_with('\\')) return FS_FILE_USERABORT;
  TFileProperties input, output;
  const bool fromView = LiesBelowRemoteDir(AnsiToWide(oldPath));
  const bool built =
      fromView ? BuildRemoteFilePropertiesA(oldPath.c_str(), input) &&
                     BuildLocalFilePropertiesA(oldPath.c_str(), newPath.c_str(), output)
               : BuildLocalFilePropertiesA(newPath.c_str(), oldPath.c_str(), input) &&
                     BuildRemoteFilePropertiesA(newPath.c_str(), output);
  if (!built) return FS_FILE_USERABORT;
  return RunFile(input, output, move ? AnsiToWide(oldPath) : std::wstring());
}

void AbandonOperation() {
  Batch.reset();
  CreatedDirectories.reset();
  TransformActive = false;
}

}  // namespace zv

// The pipe runner: one stage per entry of the Transform Pipe, and the data
// moved through them. Run takes one file (a source and a destination record),
// gives each stage an input and an output stream, calls its plug-in and
// steers by the result: forward with the output, back to a stage that has
// more output, or stop. What leaves the last stage is saved after the
// overwrite question. Run without records is the batch's last pass, in which
// every stage still waiting for input gets a call without one, so that it can
// flush what it holds.
//
// One runner exists per batch: made by the Processor dialog's Start and
// freed at the batch's end, it is ActiveTransformManager from construction to
// destruction; the exports reach it through ActiveRunner(). Run runs on the
// host's file thread; a plug-in reaches SetProgress and SetStatus from its
// calls (or from threads of its own), serialised by the runner's lock.
//
// Messages go to the error entry when a plug-in left an error text, else to
// an "Error" box of the default owner (ParentWindow). No exception leaves Run.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/GeneralStream.h"
#include "engine/Transform.h"
#include "engine/TransformProgress.h"
#include "platform/Lock.h"

namespace zv {

// What the last Run did with its data, for a caller that must decide whether
// a move may delete the source: only when Run answered true, the source was
// opened, nothing is Unwritten, nothing is Parked and no Saved name is the
// source file itself. A Parked source can go after the batch's last pass
// answered true with nothing Unwritten or Parked. A run that stopped may
// have destroyed data that waiting stages held for earlier files.
struct TRunOutcome {
  // The source file was opened for reading. After a run that ended normally
  // the first stage is then done with it: a stage with more output is
  // always called again before a run ends.
  bool SourceOpened = false;
  std::vector<std::wstring> Saved;       // outputs written, by their full names as the system resolves them
  std::vector<std::wstring> Unwritten;   // outputs not written: overwrite declined, save ignored, name refused
  bool Parked = false;                   // a waiting stage still holds data after the run
};

class TTransformManager final : public ITransformProgress {
public:
  // Sets up the batch's memory budget, then one stage per entry in list
  // order; the stages take the entries and unload them when freed. Then
  // becomes ActiveTransformManager. Raises EZvError for an entry without a
  // loaded plug-in, before anything is made or taken.
  explicit TTransformManager(std::vector<TPluginEntry>&& entries);
  // Stops being ActiveTransformManager, frees the stages in pipe order (each
  // ends a transformation left in the middle and unloads its entry), then
  // the memory budget.
  ~TTransformManager() override;
  TTransformManager(const TTransformManager&) = delete;
  TTransformManager& operator=(const TTransformManager&) = delete;

  // A file run with both records, the last pass with neither. True when the
  // run ended normally; false when it stopped (the message already shown,
  // the user's cancel or abort, a plug-in's cancel) or was refused (one
  // record without the other, a file run without stages). A stopped run
  // ends every stage but those waiting for more input, so that a later run
  // starts from its own source; Cancel in the overwrite question is not
  // remembered beyond it.
  bool Run(const TFileProperties* input, const TFileProperties* output) noexcept;
  const TRunOutcome& LastOutcome() const { return FOutcome; }

  // The progress entry points (see ITransformProgress). Nothing is shown or
  // asked while no stage is current.
  bool SetProgress(int32_t percent) override;
  void SetStatus(const char* text) override;
  bool SetWriteProgress(int32_t percent) override;

  // The stages in pipe order.
  int32_t StageCount() const { return static_cast<int32_t>(FTransforms.size()); }
  const TTransform& Stage(int32_t index) const { return *FTransforms[index]; }

private:
  enum class TStep { Next, Backtrack, Stop };

  bool DoRun(const TFileProperties* input, const TFileProperties* output);
  void EndStoppedRun();
  TStep RunStage(const TFileProperties* input, const TFileProperties* output,
                 std::unique_ptr<TGeneralStream>& pending);
  bool NewInput(int32_t index, const TFileProperties* input, std::unique_ptr<TGeneralStream>& pending,
                std::unique_ptr<TGeneralStream>& stream);
  static bool NewOutput(const TTransform& stage, int32_t index, const TFileProperties* destination,
                        const TGeneralStream* in, std::unique_ptr<TGeneralStream>& stream);
  TStep Steer(TTransform& stage, int32_t index, std::unique_ptr<TGeneralStream>& pending);
  bool Backtrack(bool fileRun);
  TStep SaveOutput(std::unique_ptr<TGeneralStream> stream);
  bool AskOverwrite(const std::wstring& fullName);
  void ReportFailure(const TTransform& stage, const std::wstring& withText, const std::wstring& withoutText);
  int32_t FirstWaitingStage(int32_t from) const;
  TTransform* CurrentStage() const;
  void ClearStageStatus(TTransform& stage);

  static bool CreateFileInputStream(const TFileProperties& props, std::unique_ptr<TGeneralStream>& stream) noexcept;
  static bool CreateChainedInputStream(TGeneralStream& previous, std::unique_ptr<TGeneralStream>& stream) noexcept;
  static bool CreateOutputStream(const TFileProperties& props, std::unique_ptr<TGeneralStream>& stream) noexcept;

  TCriticalSection FLock;  // first: it outlives everything that takes it
  std::vector<std::unique_ptr<TTransform>> FTransforms;
  std::atomic<int32_t> FIndex{-1};  // read by plug-in threads through the progress entry points
  int32_t FOverwriteAnswer;
  TRunOutcome FOutcome;
};

// The batch's runner: the typed view of ActiveTransformManager (the one
// variable behind both names); null outside a batch.
inline TTransformManager* ActiveRunner() {
  return dynamic_cast<TTransformManager*>(ActiveTransformManager.load());
}

}  // namespace zv

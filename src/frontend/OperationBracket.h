// The operation bracket: how a copy, move or rename of the host becomes a
// batch. Its start shows the Processor dialog, where the user assembles the
// Transform Pipe; Start there makes the batch's runner. Each file call then
// runs one file through the pipe, and the end makes the last pass, in which
// the stages flush what they hold, frees the runner (which unloads the
// plug-ins), removes the local directories a get left empty and closes the
// progress panel.
//
// A move deletes a source only when nothing of it can be lost: the run
// ended normally after reading that source itself, no output was left
// unwritten (an overwrite declined, a failed save ignored), no saved output
// is the source file itself, and no stage still holds its data. A source
// whose data a stage holds goes at the end, after a last pass that wrote
// everything, unless a later file's run stopped meanwhile (a stop may end
// the stage that held it). Otherwise the source stays, and the file still
// counts as done.
//
// Threads: the host makes a batch's calls one after the other (start, files,
// end), the file calls possibly on another thread than the start and end.
#pragma once

namespace zv {

// FsStatusInfo. A transforming start while a batch runs shows no dialog and
// only counts: its end is then the one that balances it, and the batch ends
// with the end of the outermost start.
void StartOperation(const char* remoteDir, int operation);
void EndOperation(int operation);

// The three file calls: FS_FILE_OK, or FS_FILE_USERABORT for every failure
// (no batch, a path outside the batch's directory, a run that stopped).
int TransformGetFile(const char* remoteName, const char* localName, int copyFlags);
int TransformPutFile(const char* localName, const char* remoteName, int copyFlags);
int TransformRenMovFile(const char* oldName, const char* newName, bool move);

// At unload: a batch the host never ended is torn down without its last pass.
void AbandonOperation();

}  // namespace zv

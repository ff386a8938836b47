#include "engine/Transform.h"

#include <utility>

#include "plugins/PluginFile.h"

namespace zv {

namespace {

// The results that ask for more input and so make no sense without one.
const wchar_t* NullInputResultName(uint32_t result) {
  switch (result) {
    case ZVR_ANOTHERINPUT: return L"ZVR_ANOTHERINPUT";
    case ZVR_WAITMOREINPUT: return L"ZVR_WAITMOREINPUT";
    // Passing on an input that does not exist: the next stage would get none.
    case ZVR_USEINPUT: return L"ZVR_USEINPUT";
    default: return nullptr;
  }
}

// Frees what the field holds unless it is the stream about to take its place.
void Replace(TGeneralStream*& field, TGeneralStream* stream) {
  if (field != stream) delete field;
  field = stream;
}

}  // namespace

TTransform::TTransform(TPluginEntry entry) : FEntry(std::move(entry)) {
  FEntry->InputStream = nullptr;
  FEntry->OutputStream = nullptr;
}

TTransform::~TTransform() {
  End();
  FEntry.reset();  // unloaded through the registry of installed plug-ins
}

void TTransform::End() {
  FreeInputStream();
  FreeOutputStream();
  const bool inMiddle = InMiddleOfTransformation();
  FLastResult = -1;
  if (inMiddle) DoneTransform();
}

std::wstring TTransform::GetName() const { return FEntry->Name; }

bool TTransform::InMiddleOfTransformation() const {
  return FLastResult == ZVR_WAITMOREINPUT || FLastResult == ZVR_MOREOUTPUT;
}

TGeneralStream* TTransform::GetInputStream() const { return FEntry->InputStream; }
TGeneralStream* TTransform::GetOutputStream() const { return FEntry->OutputStream; }

void TTransform::FreeInputStream() { DetachInputStream(); }
void TTransform::FreeOutputStream() { DetachOutputStream(); }

std::unique_ptr<TGeneralStream> TTransform::DetachInputStream() {
  return std::unique_ptr<TGeneralStream>(std::exchange(FEntry->InputStream, nullptr));
}

std::unique_ptr<TGeneralStream> TTransform::DetachOutputStream() {
  std::unique_ptr<TGeneralStream> stream(std::exchange(FEntry->OutputStream, nullptr));
  if (stream) FPassedOutput = stream->GetFileProperties();
  return stream;
}

bool TTransform::InitTransform() {
  if (InMiddleOfTransformation() || !FEntry->PluginFile->HasInitTransform()) return true;
  FInitialized = true;  // whatever it answers: the plug-in may have begun to set up
  return FEntry->PluginFile->InitTransform();
}

void TTransform::DoneTransform() {
  if (!FInitialized || InMiddleOfTransformation() || !FEntry->PluginFile->HasDoneTransform()) return;
  FEntry->PluginFile->DoneTransform();
  FInitialized = false;
}

void TTransform::KeepLastError() { FLastError = FEntry->PluginFile->GetLastError(); }

bool TTransform::Transform(TGeneralStream* input, TGeneralStream* output) {
  if (!InitTransform()) {
    FLastResult = -1;
    KeepLastError();
    return false;
  }
  Replace(FEntry->InputStream, input);
  Replace(FEntry->OutputStream, output);
  TPluginFile& file = *FEntry->PluginFile;
  FLastResult = static_cast<int32_t>(file.Transform());
  if (const wchar_t* resultName = input ? nullptr : NullInputResultName(FLastResult)) {
    file.SetLastError(ecInvalidNullInputResult,
                      L"The \"" + GetName() +
                          L"\" plugin returned with an invalid value after the transformation had been processed. "
                          L"(The ZV_Transform function returns \"" + resultName +
                          L"\" value when the input stream is NULL)",
                      std::wstring());
    FLastResult = ZVR_ERROR;
  }
  KeepLastError();
  DoneTransform();
  return true;
}

}  // namespace zv

// The named streams a plug-in reads and writes during a transformation: a
// file-property record (where the data would be stored and under which name)
// over data that several stream objects may share.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Lock.h"
#include "platform/Stream.h"
#include "plugins/ZentavoPlugin.h"

namespace zv {

// Where a file lies. Root has no trailing backslash; Path has neither leading
// nor trailing backslash and may be empty; Extension has no dot.
struct TFileProperties {
  std::wstring Root;
  std::wstring Path;
  std::wstring Name;
  std::wstring Extension;

  // Root, or Root\Path.
  std::wstring Directory() const;
  // Directory\Name.Extension; the dot stays when Extension is empty.
  std::wstring FullName() const;
};

// 1-based position of the rightmost occurrence of subStr in s (case-sensitive);
// 0 when absent or when either text is empty.
size_t LastPos(std::wstring_view subStr, std::wstring_view s);

// The data that stream objects share (a stage's output read as the next
// stage's input), with its lock and its holders. The lock guards the data and
// the names of every stream object over it. Reference counting is not atomic:
// the streams of one pipe run live on one thread.
struct TSharedStreamData {
  TCriticalSection Lock;          // declared first: freed after the stream
  std::unique_ptr<TStream> Stream;
  int32_t RefCount = 1;
};

// Constructor selectors, named after the ways a stream comes into being.
struct TCreateFromFile { explicit TCreateFromFile() = default; };
struct TCreateShared { explicit TCreateShared() = default; };
inline constexpr TCreateFromFile CreateFromFile{};
inline constexpr TCreateShared CreateShared{};

// Seek's move types as a plug-in passes them.
enum : int32_t { smFromBeginning = 0, smFromCurrent = 1, smFromEnd = 2 };

// SaveToFile's results.
enum : int32_t { srFailed = 0, srSaved = 1, srAborted = 2 };

// Bytes copied per step when saving, through one buffer.
inline constexpr int32_t SaveChunkSize = 262144;

// Longest text (in ANSI bytes) taken from a plug-in; the rest is ignored.
inline constexpr size_t MaxPluginTextLength = 260;

class TGeneralStream {
public:
  // The file at the full name of props, opened for reading and shared with
  // nobody while open. Raises the file stream's exception when it cannot be opened.
  TGeneralStream(TCreateFromFile, const TFileProperties& props);
  // Takes ownership of stream (which must not be null).
  TGeneralStream(std::unique_ptr<TStream> stream, const TFileProperties& props);
  // Shares other's data under a copy of its name and rewinds the data to 0, so
  // a new reader starts at the beginning of what was written.
  TGeneralStream(TCreateShared, TGeneralStream& other);
  virtual ~TGeneralStream();
  TGeneralStream(const TGeneralStream&) = delete;
  TGeneralStream& operator=(const TGeneralStream&) = delete;

  // Names. Directory, full name and the record itself are not locked.
  std::wstring GetDirectory() const { return FFileProperties.Directory(); }
  std::wstring GetFullName() const { return FFileProperties.FullName(); }
  TFileProperties GetFileProperties() const { return FFileProperties; }
  void SetFileProperties(const TFileProperties& props) { FFileProperties = props; }
  // Name and extension from a file name typed by the user.
  void SetFileName(const std::wstring& text);

  // Path, Name and Extension as ANSI copies kept for the running plug-in;
  // null when no plug-in is running or the copy cannot be made.
  const char* GetPathA();
  const char* GetNameA();
  const char* GetExtensionA();

  // The operations a plug-in reaches through its stream callbacks. Texts are
  // null-terminated ANSI and may be null.
  virtual bool SetPathA(const char* text);
  virtual bool SetNameA(const char* text);
  virtual bool SetExtensionA(const char* text);
  virtual bool GetSize(int64_t* size);
  virtual bool SetSize(int64_t size);
  virtual bool GetPosition(int64_t* position);
  virtual bool Seek(int64_t offset, int32_t moveType);
  // Bytes read or written; -1 for a null buffer or a negative count.
  virtual int32_t Read(void* buffer, int32_t count);
  virtual int32_t Write(const void* buffer, int32_t count);

  bool IsEndOfStream();
  // Writes the whole data to the file at the full name: srSaved, srFailed or
  // srAborted. A file it made is removed again unless it was saved whole.
  int32_t SaveToFile();
  // Hands an error of the running plug-in to the error entry.
  void ReportError(uint32_t code, const std::wstring& message);

private:
  int32_t WriteChunkTo(TFileStream& file, char* buffer);

  TSharedStreamData* FData;
  TFileProperties FFileProperties;
};

}  // namespace zv

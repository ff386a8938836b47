// The stream base shared by the engine's streams, and a file stream over a
// Win32 handle. Reads and writes report byte counts; the file stream raises
// EZvOSError when the system call itself fails.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>

#include "platform/WinHandle.h"

namespace zv {

enum TSeekOrigin : uint16_t { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream {
public:
  virtual ~TStream() = default;

  virtual int64_t GetSize();
  virtual void SetSize(int64_t newSize) = 0;
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

  // The 32-bit forms: offset and size sign-extended, result cut to 32 bits.
  void SetSize32(int32_t newSize) { SetSize(static_cast<int64_t>(newSize)); }
  int32_t Seek32(int32_t offset, uint16_t origin) {
    return static_cast<int32_t>(Seek(static_cast<int64_t>(offset), static_cast<TSeekOrigin>(origin)));
  }

  // Moves up to count bytes from the current position into target, through
  // buffer (count bytes of room). Bytes moved; 0 at the end; -1 when reading
  // failed. A failed or short write to target raises.
  virtual int32_t WriteChunkTo(TStream& target, void* buffer, int32_t count);

  int64_t GetPosition() { return Seek(0, soCurrent); }
  void SetPosition(int64_t position) { Seek(position, soBeginning); }
};

// Opening modes of TFileStream.
enum class TFileMode {
  Create,     // create or empty, read and write
  OpenRead,   // existing file, read only
  OpenWrite,  // existing file, read and write
};

class TFileStream : public TStream {
public:
  // Raises EZvOSError when the file cannot be opened. shareMode as CreateFileW.
  TFileStream(const std::wstring& fileName, TFileMode mode, DWORD shareMode = 0,
              DWORD flagsAndAttributes = FILE_ATTRIBUTE_NORMAL);

  int64_t GetSize() override;
  void SetSize(int64_t newSize) override;  // raises on failure
  int32_t Read(void* buffer, int32_t count) override;         // raises on failure
  int32_t Write(const void* buffer, int32_t count) override;  // raises on failure
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;  // -1 on failure

  const std::wstring& FileName() const { return FFileName; }
  HANDLE Handle() const { return FHandle.Get(); }

private:
  std::wstring FFileName;
  TScopedFile FHandle;
};

}  // namespace zv

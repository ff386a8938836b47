// The settings store over one UTF-16 configuration file (Zentavo.cfg or a
// plug-in's own .cfg). The whole file lives in memory; typed values are kept
// as "number:", "string:" or "data:" text; the file is written back by Flush,
// by the first operation on a file that did not exist, and by the destructor.
//
// Two kinds of text are never written: names and values that would read back
// as other lines (a line break in a section, name or text value; "=" in a
// name; a name that starts with ";" or "["): the writes answer false. And a
// file that begins with the UTF-8 byte-order mark is a user's own, read as
// UTF-16 like any file but never overwritten: every change and Flush raise,
// so that the settings manager turns to the registry, and the file stays
// byte for byte.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "config/IniDocument.h"
#include "config/SettingsTypes.h"

namespace zv {

class TConfigFileSettings {
public:
  // Raises EZvError with an empty message when the file exists but cannot be
  // opened for reading and writing without sharing. A missing file gives a
  // store that creates the file at its first operation.
  explicit TConfigFileSettings(const std::wstring& fileName);
  // Writes the file when it holds changes; a failure is ignored.
  ~TConfigFileSettings();
  TConfigFileSettings(const TConfigFileSettings&) = delete;
  TConfigFileSettings& operator=(const TConfigFileSettings&) = delete;

  // Holders may sit on different threads (a plug-in file is borrowed by the
  // settings manager on the file thread while the registry of installed
  // plug-ins opens and closes it on the user-interface thread).
  void AddRef() { FRefCount.fetch_add(1); }
  // True when the last holder let go; the caller then frees the store.
  bool Release() { return FRefCount.fetch_sub(1) == 1; }
  // Writes the whole file now; raises when it cannot be written.
  void Flush();

  // The eleven store operations. Each first creates the file when it did not
  // exist, and raises when that fails; otherwise only content is consulted.
  int32_t ReadNumber(const std::wstring& key, const std::wstring& name, int32_t defaultValue);
  std::wstring ReadString(const std::wstring& key, const std::wstring& name, const std::wstring& defaultValue);
  // Null buffer: the block's size. Else decodes the block into the buffer when
  // it fits in capacity bytes and returns its size; a larger block (written
  // since the caller asked its size) answers -1 and leaves the buffer alone.
  int32_t ReadData(const std::wstring& key, const std::wstring& name, void* buffer, int32_t capacity);
  bool WriteNumber(const std::wstring& key, const std::wstring& name, int32_t value);
  bool WriteString(const std::wstring& key, const std::wstring& name, const std::wstring& value);
  bool WriteData(const std::wstring& key, const std::wstring& name, const void* buffer, int32_t size);
  bool DeleteValue(const std::wstring& key, const std::wstring& name);
  TSettingValueType GetValueType(const std::wstring& key, const std::wstring& name);
  TStringList GetValueNames(const std::wstring& key);
  TStringList GetKeyNames(const std::wstring& key);
  void DeleteKey(const std::wstring& key);

  const std::wstring& FileName() const { return FFileName; }

private:
  void ApplyNewFileRule();
  void RefuseForeignFile() const;
  // The new-file rule, then the refusal of a foreign file, before any change.
  void BeginChange();
  const std::wstring* FindValue(const std::wstring& key, const std::wstring& name) const;
  void SetValue(const std::wstring& key, const std::wstring& name, const std::wstring& text);
  void WriteDocument() const;

  std::atomic<int32_t> FRefCount{1};
  bool FModified = false;
  bool FNewFile = false;
  bool FForeign = false;  // a UTF-8 file: never written
  TIniDocument FIni;
  std::wstring FFileName;
};

}  // namespace zv

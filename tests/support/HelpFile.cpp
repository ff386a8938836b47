#include "support/HelpFile.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include "frontend/TCUtilities.h"
#include "platform/Module.h"
#include "platform/TextConv.h"
#include "support/TestFiles.h"

namespace zvtest {

namespace {

// Little-endian reads that fail on a short file instead of reading past it.
class TBytes {
public:
  explicit TBytes(std::vector<unsigned char> bytes) : FBytes(std::move(bytes)) {}

  uint64_t Number(uint64_t at, int size) const {
    Need(at, size);
    uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | FBytes[at + i];
    return value;
  }
  std::string Text(uint64_t at, uint64_t size) const {
    Need(at, size);
    return std::string(FBytes.begin() + at, FBytes.begin() + at + size);
  }
  // The directory's variable-length number: 7 bits a byte, high bit set on all but the last.
  uint64_t EncodedNumber(uint64_t& at) const {
    uint64_t value = 0;
    for (int i = 0; i < 9; ++i) {
      const uint64_t byte = Number(at++, 1);
      value = value << 7 | (byte & 0x7F);
      if (!(byte & 0x80)) return value;
    }
    throw std::runtime_error("a directory number runs on");
  }

private:
  void Need(uint64_t at, uint64_t size) const {
    if (at > FBytes.size() || size > FBytes.size() - at) throw std::runtime_error("the file ends inside its own records");
  }
  std::vector<unsigned char> FBytes;
};

struct TEntry {
  std::string Name;
  uint64_t Section, Offset, Length;
};

std::vector<TEntry> ReadListing(const TBytes& file, uint64_t directory) {
  if (file.Text(directory, 4) != "ITSP") throw std::runtime_error("no ITSP directory");
  const uint64_t chunks = directory + file.Number(directory + 0x08, 4);
  const uint64_t chunkSize = file.Number(directory + 0x10, 4);
  const uint64_t chunkCount = file.Number(directory + 0x2C, 4);
  std::vector<TEntry> entries;
  int64_t chunk = static_cast<int32_t>(file.Number(directory + 0x20, 4));
  for (uint64_t visited = 0; chunk >= 0; ++visited) {
    if (visited >= chunkCount || static_cast<uint64_t>(chunk) >= chunkCount) throw std::runtime_error("bad chunk chain");
    const uint64_t start = chunks + static_cast<uint64_t>(chunk) * chunkSize;
    if (file.Text(start, 4) != "PMGL") throw std::runtime_error("no PMGL listing chunk");
    const uint64_t end = start + chunkSize - file.Number(start + 0x04, 4);
    for (uint64_t at = start + 0x14; at < end;) {
      const uint64_t length = file.EncodedNumber(at);
      TEntry entry{file.Text(at, length), 0, 0, 0};
      at += length;
      entry.Section = file.EncodedNumber(at);
      entry.Offset = file.EncodedNumber(at);
      entry.Length = file.EncodedNumber(at);
      entries.push_back(std::move(entry));
    }
    chunk = static_cast<int32_t>(file.Number(start + 0x10, 4));
  }
  return entries;
}

// A text record of the system file (0 the contents file, 2 the default
// topic), which is stored uncompressed; "" when the record is missing.
std::string SystemText(const TBytes& file, uint64_t content, const std::vector<TEntry>& entries, uint64_t wanted) {
  const auto system = std::find_if(entries.begin(), entries.end(), [](const TEntry& e) { return e.Name == "/#SYSTEM"; });
  if (system == entries.end() || system->Section != 0) throw std::runtime_error("no uncompressed #SYSTEM");
  const uint64_t end = content + system->Offset + system->Length;
  for (uint64_t at = content + system->Offset + 4; at + 4 <= end;) {
    const uint64_t code = file.Number(at, 2), length = file.Number(at + 2, 2);
    if (code == wanted) {
      const std::string text = file.Text(at + 4, length);
      return text.substr(0, text.find('\0'));
    }
    at += 4 + length;
  }
  return "";
}

}  // namespace

TChmDirectory ReadChmDirectory(const std::wstring& path) {
  if (!FileExists(path)) throw std::runtime_error("no file " + zv::WideToAnsi(path));
  const TBytes file(ReadFileBytes(path));
  if (file.Text(0, 4) != "ITSF") throw std::runtime_error("no ITSF header");
  const uint64_t version = file.Number(0x04, 4);
  const uint64_t directory = file.Number(0x48, 8);
  const uint64_t content = version >= 3 ? file.Number(0x58, 8) : directory + file.Number(0x50, 8);
  const std::vector<TEntry> entries = ReadListing(file, directory);
  TChmDirectory result;
  for (const TEntry& entry : entries) result.Names.push_back(entry.Name);
  result.ContentsFile = SystemText(file, content, entries, 0);
  result.DefaultTopic = SystemText(file, content, entries, 2);
  return result;
}

std::wstring BuiltHelpFile() { return zv::GetModuleDir() + L"\\..\\" + zv::HelpFileName; }

testing::AssertionResult BuiltHelpHolds(const std::wstring& topic) {
  const std::string name = zv::WideToAnsi(L"/" + topic);
  try {
    const std::vector<std::string> names = ReadChmDirectory(BuiltHelpFile()).Names;
    if (std::find(names.begin(), names.end(), name) != names.end()) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "the help file has no " << name;
  } catch (const std::exception& e) {
    return testing::AssertionFailure() << e.what();
  }
}

}  // namespace zvtest

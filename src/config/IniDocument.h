// A whole INI file in memory: sections and lines in file order for writing
// and listing, plus hashed case-insensitive indexes so lookups stay fast in
// large files. Where a hand-edited file holds twins, the last section of a
// name and, in it, the last line of a name are the ones found.
#pragma once
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zv {

// The key under which names are compared without regard to case.
std::wstring FoldName(std::wstring_view name);
// ASCII letters A to Z lowered, nothing else touched.
std::wstring AsciiLower(std::wstring_view text);

struct TIniLine {
  bool HasName = false;  // false: a line without "=", kept verbatim in Value
  std::wstring Name;
  std::wstring Value;
};

class TIniSection {
public:
  explicit TIniSection(std::wstring name) : FName(std::move(name)) {}
  TIniSection(const TIniSection&) = delete;
  TIniSection& operator=(const TIniSection&) = delete;

  const std::wstring& Name() const { return FName; }
  const std::list<TIniLine>& Lines() const { return FLines; }

  // The value of the last line of that name, or null.
  const std::wstring* Find(std::wstring_view name) const;
  // Replaces the value of the line found, in place, or appends a new line.
  void Set(const std::wstring& name, const std::wstring& value);
  // Removes the line found; false when there is none.
  bool Remove(std::wstring_view name);
  void AppendPair(std::wstring name, std::wstring value);
  void AppendVerbatim(std::wstring text);

private:
  using TLineRef = std::list<TIniLine>::iterator;
  std::wstring FName;
  std::list<TIniLine> FLines;
  std::unordered_map<std::wstring, std::vector<TLineRef>> FIndex;  // file order per name
};

class TIniDocument {
public:
  TIniDocument() = default;
  TIniDocument(const TIniDocument&) = delete;
  TIniDocument& operator=(const TIniDocument&) = delete;

  // Replaces the content by the text read by the INI reading rules.
  void Load(std::wstring_view text);
  // The whole document as written: sections, lines, an empty line after each, CR LF.
  std::wstring Save() const;

  const std::list<TIniSection>& Sections() const { return FSections; }
  const TIniSection* FindSection(std::wstring_view name) const;
  TIniSection* FindSection(std::wstring_view name) {
    return const_cast<TIniSection*>(static_cast<const TIniDocument*>(this)->FindSection(name));
  }
  // The section found, or a new one appended at the end.
  TIniSection& ProvideSection(const std::wstring& name);

  // Erases every section the predicate selects.
  template <typename TPred>
  void EraseSections(TPred selects) {
    const size_t before = FSections.size();
    FSections.remove_if(selects);
    if (FSections.size() != before) RebuildIndex();
  }

private:
  using TSectionRef = std::list<TIniSection>::iterator;
  TIniSection& AppendSection(std::wstring name);
  void RebuildIndex();

  std::list<TIniSection> FSections;
  std::unordered_map<std::wstring, std::vector<TSectionRef>> FIndex;  // file order per name
};

}  // namespace zv

#include "config/IniDocument.h"

#include <windows.h>

namespace zv {

std::wstring FoldName(std::wstring_view name) {
  std::wstring folded(name);
  bool ascii = true;
  for (wchar_t& c : folded) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - (L'a' - L'A'));
    else if (c >= 0x80) ascii = false;
  }
  // Other letters follow the platform's case mapping; ASCII is done already so
  // no locale can map it differently.
  if (!ascii) ::CharUpperBuffW(folded.data(), static_cast<DWORD>(folded.size()));
  return folded;
}

std::wstring AsciiLower(std::wstring_view text) {
  std::wstring lowered(text);
  for (wchar_t& c : lowered)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + (L'a' - L'A'));
  return lowered;
}

// ---- TIniSection

const std::wstring* TIniSection::Find(std::wstring_view name) const {
  const auto it = FIndex.find(FoldName(name));
  if (it == FIndex.end() || it->second.empty()) return nullptr;
  return &it->second.back()->Value;
}

void TIniSection::Set(const std::wstring& name, const std::wstring& value) {
  auto& refs = FIndex[FoldName(name)];
  if (!refs.empty()) {
    // The whole line is replaced, so it takes the writer's spelling of the name.
    refs.back()->Name = name;
    refs.back()->Value = value;
    return;
  }
  FLines.push_back(TIniLine{true, name, value});
  refs.push_back(std::prev(FLines.end()));
}

bool TIniSection::Remove(std::wstring_view name) {
  const auto it = FIndex.find(FoldName(name));
  if (it == FIndex.end() || it->second.empty()) return false;
  FLines.erase(it->second.back());
  it->second.pop_back();
  if (it->second.empty()) FIndex.erase(it);
  return true;
}

void TIniSection::AppendPair(std::wstring name, std::wstring value) {
  std::wstring key = FoldName(name);
  FLines.push_back(TIniLine{true, std::move(name), std::move(value)});
  FIndex[std::move(key)].push_back(std::prev(FLines.end()));
}

void TIniSection::AppendVerbatim(std::wstring text) {
  FLines.push_back(TIniLine{false, {}, std::move(text)});
}

// ---- TIniDocument

namespace {
// Blanks and control characters, as trimmed from every line read.
bool IsBlank(wchar_t c) { return c <= L' '; }

std::wstring_view Trim(std::wstring_view s) {
  size_t first = 0, last = s.size();
  while (first < last && IsBlank(s[first])) ++first;
  while (last > first && IsBlank(s[last - 1])) --last;
  return s.substr(first, last - first);
}

std::wstring_view TrimRight(std::wstring_view s) {
  size_t last = s.size();
  while (last > 0 && IsBlank(s[last - 1])) --last;
  return s.substr(0, last);
}

std::wstring_view TrimLeft(std::wstring_view s) {
  size_t first = 0;
  while (first < s.size() && IsBlank(s[first])) ++first;
  return s.substr(first);
}
}  // namespace

void TIniDocument::Load(std::wstring_view text) {
  FSections.clear();
  FIndex.clear();
  TIniSection* current = nullptr;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = pos;
    while (end < text.size() && text[end] != L'\r' && text[end] != L'\n') ++end;
    const std::wstring_view line = Trim(text.substr(pos, end - pos));
    // CR LF is one break; a lone CR or LF is one too.
    pos = end + ((end + 1 < text.size() && text[end] == L'\r' && text[end + 1] == L'\n') ? 2 : 1);

    if (line.empty() || line.front() == L';') continue;
    if (line.size() >= 2 && line.front() == L'[' && line.back() == L']') {
      current = &AppendSection(std::wstring(Trim(line.substr(1, line.size() - 2))));
      continue;
    }
    if (!current) continue;  // lines before the first section belong nowhere
    const size_t equals = line.find(L'=');
    if (equals == std::wstring_view::npos) {
      current->AppendVerbatim(std::wstring(line));
    } else {
      current->AppendPair(std::wstring(TrimRight(line.substr(0, equals))),
                          std::wstring(TrimLeft(line.substr(equals + 1))));
    }
  }
}

std::wstring TIniDocument::Save() const {
  std::wstring out;
  for (const TIniSection& section : FSections) {
    out += L'[';
    out += section.Name();
    out += L"]\r\n";
    for (const TIniLine& line : section.Lines()) {
      if (line.HasName) {
        out += line.Name;
        out += L'=';
      }
      out += line.Value;
      out += L"\r\n";
    }
    out += L"\r\n";
  }
  return out;
}

const TIniSection* TIniDocument::FindSection(std::wstring_view name) const {
  const auto it = FIndex.find(FoldName(name));
  if (it == FIndex.end() || it->second.empty()) return nullptr;
  return &*it->second.back();
}

TIniSection& TIniDocument::ProvideSection(const std::wstring& name) {
  const auto it = FIndex.find(FoldName(name));
  if (it != FIndex.end() && !it->second.empty()) return *it->second.back();
  return AppendSection(name);
}

TIniSection& TIniDocument::AppendSection(std::wstring name) {
  std::wstring key = FoldName(name);
  FSections.emplace_back(std::move(name));
  const TSectionRef ref = std::prev(FSections.end());
  FIndex[std::move(key)].push_back(ref);
  return *ref;
}

void TIniDocument::RebuildIndex() {
  FIndex.clear();
  for (auto it = FSections.begin(); it != FSections.end(); ++it) FIndex[FoldName(it->Name())].push_back(it);
}

}  // namespace zv

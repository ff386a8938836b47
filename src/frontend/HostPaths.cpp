#include "frontend/HostPaths.h"

#include <windows.h>

#include <algorithm>

#include "config/IniDocument.h"
#include "engine/CreatedDirectories.h"
#include "engine/GeneralStream.h"
#include "frontend/BatchState.h"
#include "platform/TextConv.h"

namespace zv {

namespace {

// Every component is a name: no empty one (doubled, leading or trailing "\"),
// no "." and no "..". Such a relative path stays inside its directory.
bool IsPlainRelativePath(std::wstring_view path) {
  for (;;) {
    const size_t end = path.find(L'\\');
    const std::wstring_view component = path.substr(0, end);
    if (component.empty() || component == L"." || component == L"..") return false;
    if (end == std::wstring_view::npos) return true;
    path.remove_prefix(end + 1);
  }
}

// A counterpart's root names a directory: not empty or backslashes alone, not
// a bare server "\\server" and not a bare device prefix "\\?\" or "\\.\".
bool IsUsableRoot(std::wstring_view root) {
  if (root.find_first_not_of(L'\\') == std::wstring_view::npos) return false;
  if (root.substr(0, 2) != L"\\\\") return true;
  std::wstring_view rest = root.substr(2);
  if (rest.substr(0, 2) == L"?\\" || rest.substr(0, 2) == L".\\") {
    rest.remove_prefix(2);
    if (AsciiLower(rest.substr(0, 4)) != L"unc\\") return !rest.empty();
    rest.remove_prefix(4);
  }
  // "server\share" at least.
  const size_t slash = rest.find(L'\\');
  return slash != 0 && slash != std::wstring_view::npos && slash + 1 < rest.size();
}

// The part of a real path below CurrentRemoteDir, or false.
bool RelativeToRemoteDir(std::wstring_view path, std::wstring_view& relative) {
  const std::wstring_view dir = CurrentRemoteDir;
  if (dir.empty() || path.size() <= dir.size() + 1 || path[dir.size()] != L'\\' ||
      AsciiLower(path.substr(0, dir.size())) != AsciiLower(dir))
    return false;
  relative = path.substr(dir.size() + 1);
  return IsPlainRelativePath(relative);
}

// Path, Name and Extension of a record from "<path>\<name>.<extension>".
void SplitInto(std::wstring_view rest, TFileProperties& props) {
  if (const size_t p = LastPos(L"\\", rest); p > 0) {
    props.Path = rest.substr(0, p - 1);
    rest.remove_prefix(p);
  } else {
    props.Path.clear();
  }
  if (const size_t q = LastPos(L".", rest); q > 0) {
    props.Name = rest.substr(0, q - 1);
    props.Extension = rest.substr(q);
  } else {
    props.Name = rest;
    props.Extension.clear();
  }
}

}  // namespace

std::wstring GetRealPath(const std::wstring& hostPath) {
  if (hostPath.size() < 2) return L"\\";
  if (hostPath.size() < 3 || hostPath[2] != L':') return hostPath;
  std::wstring path = hostPath.substr(1);
  const size_t slash = path.find(L'\\');
  if (slash == std::wstring::npos) return path.substr(0, 2);
  if (slash > 2) path.erase(2, slash - 2);  // the " (<text>)" after "<L>:"
  if (path.back() == L'\\') path.pop_back();
  return path;
}

bool IsVirtualPath(const std::wstring& hostPath) { return GetRealPath(hostPath)[0] == L'\\'; }

bool IsRealPath(const std::wstring& hostPath) {
  const std::wstring path = GetRealPath(hostPath);
  return path[0] != L'\\' && path.size() >= 3;
}

bool LiesBelowRemoteDir(std::wstring_view path) {
  std::wstring_view relative;
  return RelativeToRemoteDir(path, relative);
}

bool BuildRemoteFileProperties(const std::wstring& path, TFileProperties& props) {
  std::wstring_view relative;
  if (!RelativeToRemoteDir(path, relative)) return false;
  props.Root = CurrentRemoteDir;
  SplitInto(relative, props);
  return true;
}

bool BuildLocalFileProperties(const std::wstring& remotePath, const std::wstring& otherPath, TFileProperties& props) {
  std::wstring_view relative;
  if (!RelativeToRemoteDir(remotePath, relative)) return false;
  const size_t depth = 1 + static_cast<size_t>(std::count(relative.begin(), relative.end(), L'\\'));
  // The depth-th backslash from the end of otherPath separates Root from the rest.
  size_t split = otherPath.size();
  for (size_t met = 0; met < depth; ++met) {
    split = split == 0 ? std::wstring::npos : otherPath.rfind(L'\\', split - 1);
    if (split == std::wstring::npos) return false;
  }
  const std::wstring_view other = otherPath;
  const std::wstring_view root = other.substr(0, split), rest = other.substr(split + 1);
  if (!IsUsableRoot(root) || !IsPlainRelativePath(rest)) return false;
  props.Root = root;
  SplitInto(rest, props);
  return true;
}

void RemoveDirectoryChain(const std::wstring& root, const std::wstring& subDir) {
  // An empty subDir would name root itself, an empty root the current drive's
  // root; "." or ".." would climb out of root.
  if (root.empty() || subDir.empty() || !IsPlainRelativePath(subDir)) return;
  std::wstring_view dir = subDir;
  for (;;) {
    ::RemoveDirectoryW((root + L"\\" + std::wstring(dir)).c_str());
    const size_t p = LastPos(L"\\", dir);
    if (p == 0) return;
    dir = dir.substr(0, p - 1);
  }
}

void RemoveCreatedDirectories() {
  if (!CreatedDirectories) return;
  for (const std::wstring& entry : *CreatedDirectories) {
    const size_t bar = entry.find(L'|');
    if (bar != std::wstring::npos) RemoveDirectoryChain(entry.substr(0, bar), entry.substr(bar + 1));
  }
}

std::string GetRealPathA(const char* hostPath) { return WideToAnsi(GetRealPath(AnsiZToWide(hostPath))); }
bool IsVirtualPathA(const char* hostPath) { return IsVirtualPath(AnsiZToWide(hostPath)); }
bool IsRealPathA(const char* hostPath) { return IsRealPath(AnsiZToWide(hostPath)); }

bool BuildRemoteFilePropertiesA(const char* path, TFileProperties& props) {
  return BuildRemoteFileProperties(AnsiZToWide(path), props);
}

bool BuildLocalFilePropertiesA(const char* remotePath, const char* otherPath, TFileProperties& props) {
  return BuildLocalFileProperties(AnsiZToWide(remotePath), AnsiZToWide(otherPath), props);
}

}  // namespace zv

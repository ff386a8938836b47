// Between the host's paths and the real file system. Host paths look like
// "\C: (System)\Dir\File.txt" (a drive entry of the virtual root and the path
// below it); the real path is "C:\Dir\File.txt". The builders turn a real path
// of a batch into the file record that the engine carries, relative to the
// batch's directory CurrentRemoteDir.
//
// Each ...A function converts its ANSI arguments (the system's ANSI code page)
// to UTF-16, calls the function of the same name and converts a text result back.
#pragma once
#include <string>
#include <string_view>

namespace zv {

struct TFileProperties;

// "\" for the root and for texts shorter than two characters; an action entry
// (or anything else whose third character is not ":") unchanged; "<L>:" for a
// drive entry; "<L>:\<rest>" below one, without one trailing "\". Never empty.
std::wstring GetRealPath(const std::wstring& hostPath);
// The root and the action entries.
bool IsVirtualPath(const std::wstring& hostPath);
// A path below a drive entry (a drive entry itself is neither virtual nor real).
bool IsRealPath(const std::wstring& hostPath);

// Whether a real path lies below CurrentRemoteDir: it begins with that
// directory (ASCII letters folded) and a "\", and every component after it is
// a name (not empty, "." or ".."), so it cannot lead out of the directory.
bool LiesBelowRemoteDir(std::wstring_view path);

// The record of a file below CurrentRemoteDir: Root is CurrentRemoteDir as
// stored. False, with the record untouched, when the file does not lie below it.
bool BuildRemoteFileProperties(const std::wstring& path, TFileProperties& props);
// The record of the counterpart on the other side of a copy: as many trailing
// components of otherPath as remotePath has below CurrentRemoteDir give Path,
// Name and Extension, what precedes them gives Root. False, with the record
// untouched, when remotePath does not lie below CurrentRemoteDir, otherPath has
// too few components, one of them is not a name, or the Root left is no
// directory (empty, a bare "\\server" or a bare "\\?\" prefix).
bool BuildLocalFileProperties(const std::wstring& remotePath, const std::wstring& otherPath, TFileProperties& props);

// Removes root\subDir and then each parent up to, not including, root, where
// they are empty. Does nothing for an empty root or subDir, or a subDir with a
// component that is not a name.
void RemoveDirectoryChain(const std::wstring& root, const std::wstring& subDir);
// RemoveDirectoryChain for every entry of CreatedDirectories; the list stays as it is.
void RemoveCreatedDirectories();

std::string GetRealPathA(const char* hostPath);
bool IsVirtualPathA(const char* hostPath);
bool IsRealPathA(const char* hostPath);
bool BuildRemoteFilePropertiesA(const char* path, TFileProperties& props);
bool BuildLocalFilePropertiesA(const char* remotePath, const char* otherPath, TFileProperties& props);

}  // namespace zv

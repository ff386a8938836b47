// The exception type of the system. Failures inside are exceptions; every
// boundary to the host, a plug-in or a callback catches them.
#pragma once
#include <windows.h>
#include <exception>
#include <string>

namespace zv {

class EZvError : public std::exception {
public:
  explicit EZvError(std::wstring message = {}) : FMessage(std::move(message)) {}
  const std::wstring& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return "Zentavo error"; }

private:
  std::wstring FMessage;
};

// A Windows call failed; carries its error code.
class EZvOSError : public EZvError {
public:
  explicit EZvOSError(DWORD code, std::wstring message = {})
      : EZvError(std::move(message)), FCode(code) {}
  DWORD Code() const noexcept { return FCode; }

private:
  DWORD FCode;
};

// A text that should hold a number does not.
class EZvConvertError : public EZvError {
public:
  using EZvError::EZvError;
};

// Raises EZvOSError for GetLastError() with the system's message text.
[[noreturn]] void RaiseLastOSError();
[[noreturn]] void RaiseOSError(DWORD code);

// The message of the exception being handled, for reports; call it only
// inside a catch block. Our own exceptions give their message, others their
// what() text.
std::wstring CurrentExceptionMessage();

}  // namespace zv

// Calls into foreign code (plug-in exports and callbacks, plug-in memory)
// under a structured exception frame of our own. The compiler gives us no
// __try: C++ exceptions here unwind by tables that stop at foreign frames, so
// a processor fault or a raised exception inside a plug-in would end the host.
// The guard links a real EXCEPTION_REGISTRATION record into the thread's fs:0
// chain around one plain call and catches every exception that reaches it:
// access violations, divisions by zero, stack overflows, and every code
// raised with RaiseException (foreign C++ and Delphi exceptions included).
//
// On a fault the handler only records what happened, then unwinds the frames
// between the fault and the guard (so their own exception frames and
// termination handlers run) and resumes in the guard, which returns false.
// The report is built afterwards, in ordinary code, from the record.
//
// Rules for callers:
// - No C++ object with a destructor may live between the guard and the code
//   that may fault: the unwind knows nothing of C++ and runs no destructors,
//   so a lock, string or buffer owned by such a frame would leak or stay
//   held. Call the foreign function (or a plain function that touches foreign
//   memory) directly through the guard; keep C++ objects outside it.
// - The called function must not throw a C++ exception.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <type_traits>

namespace zv {

// What the guard saw of an exception: filled by its handler, read afterwards.
struct TSehFault {
  DWORD Code = 0;
  DWORD Flags = 0;
  const void* Address = nullptr;
  DWORD ParameterCount = 0;
  ULONG_PTR Parameters[EXCEPTION_MAXIMUM_PARAMETERS] = {};
};

// Calls fn with the given 32-bit arguments pushed right to left, whether fn
// removes them itself (stdcall) or leaves them (cdecl): the stack pointer is
// put back from the guard's frame after every call. True when fn returned;
// result then holds its 32-bit result (EAX). False when an exception left fn:
// fault describes it, and ESP, EBP, EBX, ESI, EDI, the x87 control word and
// MXCSR are as before the call, the x87 register stack is empty, and after a
// stack overflow the stack's guard page is armed again. Nests: fn may itself
// use the guard. The x87 control word and MXCSR are put back after a normal
// return too, so a plug-in cannot leave our floating-point settings changed,
// and the x87 exceptions it left pending are cleared first: a normal return
// is no fault, and no flag of the plug-in's may raise in the caller's code.
bool SehCall(const void* fn, std::initializer_list<uint32_t> args, uint32_t& result, TSehFault& fault) noexcept;

// An argument as the guard passes it: pointers and integers of up to 32 bits.
template <typename T>
uint32_t SehArg(T value) noexcept {
  static_assert(sizeof(T) <= sizeof(uint32_t), "the guard passes 32-bit arguments");
  if constexpr (std::is_pointer_v<T>) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(value));
  } else {
    return static_cast<uint32_t>(value);
  }
}

// Copies a zero-terminated text from foreign memory into out: at most
// maxBytes bytes, stopping before the zero. False when reading faulted
// (fault tells why; out is then empty). A null text gives the empty text.
bool SehCopyText(const char* text, size_t maxBytes, std::string& out, TSehFault& fault);
// Copies size bytes where either side may be foreign memory; false when
// that faulted.
bool SehCopyBytes(void* to, const void* from, size_t size, TSehFault& fault) noexcept;

// True when the whole range is committed memory that may be read (or
// written, with forWriting) without a fault: no guard page, no page without
// access. For buffers that code under a lock of ours will touch, since a
// fault there would leave the lock held. Another thread of the owner may
// still free the memory afterwards; nothing can rule that out.
bool IsAccessibleRange(const void* address, size_t size, bool forWriting) noexcept;

// Our floating-point settings for the length of a callback from foreign
// code: the x87 control word of FNINIT (every exception masked, 64-bit
// precision, round to nearest) and the SSE default (every exception masked,
// round to nearest, denormals kept). A plug-in's runtime may have unmasked
// exceptions or changed rounding, which would make our arithmetic fault or
// round otherwise. Our code starts without the x87 flags the caller left
// pending, and the caller's whole x87 environment (those flags included) and
// MXCSR come back at the end, so the flags our code raised never reach it.
class TDefaultFloatingPoint {
public:
  TDefaultFloatingPoint() noexcept;
  ~TDefaultFloatingPoint();
  TDefaultFloatingPoint(const TDefaultFloatingPoint&) = delete;
  TDefaultFloatingPoint& operator=(const TDefaultFloatingPoint&) = delete;

private:
  uint8_t FEnvironment[28];  // FNSTENV's 32-bit protected-mode layout
  uint32_t FMxcsr = 0;
};

// The exception's message for reports: its name and code, the address and
// the module that holds it, and for an access violation what was accessed,
// for example: Access violation (exception code C0000005) at address
// 6A1C1234 in module "Packer.zvx". Read of address 00000001.
std::wstring SehFaultMessage(const TSehFault& fault);

}  // namespace zv

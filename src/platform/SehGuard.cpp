#include "platform/SehGuard.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace zv {

namespace {

// The guard's exception registration record, on the guard's own stack. The
// first two fields are the system's EXCEPTION_REGISTRATION; the rest is ours.
// The assembly below addresses the record at EBP - 32.
struct TSehFrame {
  TSehFrame* Next;
  void* Handler;
  TSehFault* Fault;
  uint32_t ControlWord;  // x87 control word in the low 16 bits
  uint32_t Mxcsr;
};
static_assert(sizeof(TSehFrame) == 20);

}  // namespace

extern "C" {
// Set once at start-up: MXCSR exists only with SSE.
int zv_SehHasSse = ::IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE) ? 1 : 0;
// Called through a pointer so the assembly needs no decorated import name.
void* zv_SehRtlUnwind = reinterpret_cast<void*>(&::RtlUnwind);

int zv_SehInvoke(const void* fn, const uint32_t* args, uint32_t count, uint32_t* result, TSehFault* fault);

// The handler's only work in C++: copy the record. It runs on whatever stack
// the fault left (a few KiB after a stack overflow), so it stays tiny.
void zv_SehRecord(TSehFrame* frame, const EXCEPTION_RECORD* record) noexcept {
  TSehFault& fault = *frame->Fault;
  fault.Code = record->ExceptionCode;
  fault.Flags = record->ExceptionFlags;
  fault.Address = record->ExceptionAddress;
  fault.ParameterCount = std::min<DWORD>(record->NumberParameters, EXCEPTION_MAXIMUM_PARAMETERS);
  for (DWORD i = 0; i < fault.ParameterCount; ++i) fault.Parameters[i] = record->ExceptionInformation[i];
}
}

// zv_SehInvoke (fn, args, count, result, fault), cdecl: links the record into
// fs:0, copies the arguments onto a 16-byte aligned stack, calls fn, and
// leaves through one tail that takes ESP from EBP (never from the callee),
// restores the control words, unlinks the record and pops the saved
// registers. Answers 0 after a normal return (EAX stored in *result), 1 after
// a fault. A plug-in may return normally with x87 exceptions pending that it
// raised under a masked control word of its own: they are cleared (fnclex,
// which does not wait) before the caller's control word is loaded, since a
// word that unmasks them would raise them at the next waiting instruction,
// the fldcw itself or our next arithmetic. MXCSR comes back whole, flags
// included: SSE raises only at the faulting instruction.
//
// zv_SehHandler (record, frame, context, dispatcher), cdecl, called by the
// system's dispatcher: passes unwinding calls on; otherwise records the
// exception, unwinds every frame above ours with RtlUnwind (their handlers
// see the unwind), takes EBP back from the record's place and enters the
// tail, which clears the x87 stack first.
__asm__(R"(
    .intel_syntax noprefix
    .text
    .p2align 4
    .globl _zv_SehInvoke
_zv_SehInvoke:
    push ebp
    mov ebp, esp
    push ebx
    push esi
    push edi
    sub esp, 20
    mov eax, dword ptr [ebp+24]
    mov dword ptr [ebp-24], eax
    fnstcw word ptr [ebp-20]
    cmp dword ptr [_zv_SehHasSse], 0
    je .Lzv_saved
    stmxcsr dword ptr [ebp-16]
.Lzv_saved:
    mov dword ptr [ebp-28], offset _zv_SehHandler
    mov eax, dword ptr fs:[0]
    mov dword ptr [ebp-32], eax
    lea eax, [ebp-32]
    mov dword ptr fs:[0], eax
    mov ecx, dword ptr [ebp+16]
    lea eax, [ecx*4]
    sub esp, eax
    and esp, -16
    mov esi, dword ptr [ebp+12]
    xor edx, edx
.Lzv_copy:
    cmp edx, ecx
    jae .Lzv_call
    mov eax, dword ptr [esi+edx*4]
    mov dword ptr [esp+edx*4], eax
    inc edx
    jmp .Lzv_copy
.Lzv_call:
    call dword ptr [ebp+8]
    mov ecx, dword ptr [ebp+20]
    mov dword ptr [ecx], eax
    xor eax, eax
    fnclex
    fldcw word ptr [ebp-20]
    jmp .Lzv_tail
.Lzv_resume:
    fninit
    fldcw word ptr [ebp-20]
    mov eax, 1
.Lzv_tail:
    cmp dword ptr [_zv_SehHasSse], 0
    je .Lzv_unlink
    ldmxcsr dword ptr [ebp-16]
.Lzv_unlink:
    mov ecx, dword ptr [ebp-32]
    mov dword ptr fs:[0], ecx
    lea esp, [ebp-12]
    pop edi
    pop esi
    pop ebx
    pop ebp
    ret

    .p2align 4
_zv_SehHandler:
    mov eax, dword ptr [esp+4]
    test dword ptr [eax+4], 6
    jnz .Lzv_search
    push eax
    push dword ptr [esp+12]
    call _zv_SehRecord
    add esp, 8
    push 0
    push dword ptr [esp+8]
    push offset .Lzv_unwound
    push dword ptr [esp+20]
    call dword ptr [_zv_SehRtlUnwind]
.Lzv_unwound:
    mov eax, dword ptr [esp+8]
    lea ebp, [eax+32]
    jmp .Lzv_resume
.Lzv_search:
    mov eax, 1
    ret
    .att_syntax prefix
)");

namespace {

// After a stack overflow the stack has no guard page left, and a second
// overflow would end the process without any handler running. Arms the page
// just above the reserve at the stack's end again, as the system had it,
// unless too little stack is left above it.
void RearmStackGuard() noexcept {
  SYSTEM_INFO info;
  ::GetSystemInfo(&info);
  const uintptr_t page = info.dwPageSize;
  MEMORY_BASIC_INFORMATION region;
  const auto here = reinterpret_cast<uintptr_t>(&region);
  if (!::VirtualQuery(&region, &region, sizeof(region))) return;
  const auto base = reinterpret_cast<uintptr_t>(region.AllocationBase);

  // The lowest committed page of the stack; a guard page there means armed.
  uintptr_t lowest = base;
  for (;;) {
    if (!::VirtualQuery(reinterpret_cast<void*>(lowest), &region, sizeof(region))) return;
    if (region.State == MEM_COMMIT) break;
    lowest = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    if (lowest >= here) return;
  }
  if (region.Protect & PAGE_GUARD) return;
  const uintptr_t guard = std::max(lowest, base + 2 * page) & ~(page - 1);
  if (guard + 2 * page > (here & ~(page - 1))) return;
  DWORD old;
  ::VirtualProtect(reinterpret_cast<void*>(guard), page, PAGE_READWRITE | PAGE_GUARD, &old);
}

// Plain functions run through the guard, so that nothing needs cleaning up
// when foreign memory faults.
size_t TextLength(const char* text, size_t maxBytes) { return ::strnlen(text, maxBytes); }
void CopyBytes(void* to, const void* from, size_t size) { std::memcpy(to, from, size); }

struct TExceptionName {
  DWORD Code;
  const wchar_t* Name;
};

constexpr TExceptionName kExceptionNames[] = {
    {EXCEPTION_ACCESS_VIOLATION, L"Access violation"},
    {EXCEPTION_IN_PAGE_ERROR, L"In-page error"},
    {EXCEPTION_INT_DIVIDE_BY_ZERO, L"Integer divide by zero"},
    {EXCEPTION_INT_OVERFLOW, L"Integer overflow"},
    {EXCEPTION_STACK_OVERFLOW, L"Stack overflow"},
    {EXCEPTION_FLT_DIVIDE_BY_ZERO, L"Floating-point divide by zero"},
    {EXCEPTION_FLT_INVALID_OPERATION, L"Invalid floating-point operation"},
    {EXCEPTION_FLT_OVERFLOW, L"Floating-point overflow"},
    {EXCEPTION_FLT_UNDERFLOW, L"Floating-point underflow"},
    {EXCEPTION_FLT_INEXACT_RESULT, L"Inexact floating-point result"},
    {EXCEPTION_FLT_DENORMAL_OPERAND, L"Denormal floating-point operand"},
    {EXCEPTION_FLT_STACK_CHECK, L"Floating-point stack check"},
    {EXCEPTION_ILLEGAL_INSTRUCTION, L"Illegal instruction"},
    {EXCEPTION_PRIV_INSTRUCTION, L"Privileged instruction"},
    {EXCEPTION_ARRAY_BOUNDS_EXCEEDED, L"Array bounds exceeded"},
    {EXCEPTION_DATATYPE_MISALIGNMENT, L"Datatype misalignment"},
    {EXCEPTION_BREAKPOINT, L"Breakpoint"},
    {EXCEPTION_SINGLE_STEP, L"Single step"},
    {EXCEPTION_GUARD_PAGE, L"Guard page violation"},
    {EXCEPTION_INVALID_HANDLE, L"Invalid handle"},
    {EXCEPTION_NONCONTINUABLE_EXCEPTION, L"Noncontinuable exception"},
    {EXCEPTION_INVALID_DISPOSITION, L"Invalid disposition"},
    {0xE06D7363, L"C++ exception (Microsoft Visual C++)"},
    {0x20474343, L"C++ exception (GCC)"},
    {0x0EEDFADE, L"Delphi exception"},
};

std::wstring Hex8(uintptr_t value) {
  wchar_t text[16];
  std::swprintf(text, 16, L"%08lX", static_cast<unsigned long>(value));
  return text;
}

// The file name (without folder) of the module holding the address; empty
// when no module does.
std::wstring ModuleNameAt(const void* address) {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module))
    return {};
  wchar_t path[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(module, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  const std::wstring name(path, n);
  return name.substr(name.find_last_of(L"\\/") + 1);
}

}  // namespace

bool SehCall(const void* fn, std::initializer_list<uint32_t> args, uint32_t& result, TSehFault& fault) noexcept {
  fault = TSehFault{};
  if (zv_SehInvoke(fn, args.begin(), static_cast<uint32_t>(args.size()), &result, &fault) == 0) return true;
  if (fault.Code == EXCEPTION_STACK_OVERFLOW) RearmStackGuard();
  return false;
}

bool SehCopyText(const char* text, size_t maxBytes, std::string& out, TSehFault& fault) {
  out.clear();
  if (!text) return true;
  uint32_t length = 0;
  if (!SehCall(reinterpret_cast<const void*>(&TextLength), {SehArg(text), SehArg(maxBytes)}, length, fault))
    return false;
  out.resize(length);
  if (SehCopyBytes(out.data(), text, length, fault)) return true;
  out.clear();
  return false;
}

bool SehCopyBytes(void* to, const void* from, size_t size, TSehFault& fault) noexcept {
  uint32_t ignored;
  return SehCall(reinterpret_cast<const void*>(&CopyBytes), {SehArg(to), SehArg(from), SehArg(size)}, ignored, fault);
}

bool IsAccessibleRange(const void* address, size_t size, bool forWriting) noexcept {
  const auto start = reinterpret_cast<uintptr_t>(address);
  if (size == 0) return true;
  if (!address || start + size < start) return false;
  const DWORD allowed = forWriting
                            ? PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY
                            : PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                                  PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  for (uintptr_t at = start; at < start + size;) {
    MEMORY_BASIC_INFORMATION region;
    if (!::VirtualQuery(reinterpret_cast<const void*>(at), &region, sizeof(region))) return false;
    if (region.State != MEM_COMMIT || (region.Protect & PAGE_GUARD) || !(region.Protect & allowed)) return false;
    const uintptr_t end = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    if (end <= at) return false;
    at = end;
  }
  return true;
}

TDefaultFloatingPoint::TDefaultFloatingPoint() noexcept {
  // FNSTENV also masks every x87 exception, so nothing traps before FLDCW.
  // The flags the caller left pending are its own: saved with its
  // environment, cleared for our code, so that no word loaded meanwhile (a
  // host's callback may load its own) raises them.
  const uint16_t controlWord = 0x037F;
  __asm__ volatile("fnstenv %0\n\tfnclex\n\tfldcw %1" : "=m"(FEnvironment) : "m"(controlWord));
  if (zv_SehHasSse) {
    const uint32_t mxcsr = 0x1F80;
    __asm__ volatile("stmxcsr %0\n\tldmxcsr %1" : "=m"(FMxcsr) : "m"(mxcsr));
  }
}

TDefaultFloatingPoint::~TDefaultFloatingPoint() {
  __asm__ volatile("fldenv %0" : : "m"(FEnvironment));
  if (zv_SehHasSse) __asm__ volatile("ldmxcsr %0" : : "m"(FMxcsr));
}

std::wstring SehFaultMessage(const TSehFault& fault) {
  const auto known = std::find_if(std::begin(kExceptionNames), std::end(kExceptionNames),
                                  [&](const TExceptionName& e) { return e.Code == fault.Code; });
  std::wstring message = known != std::end(kExceptionNames) ? known->Name : L"Exception";
  message += L" (exception code " + Hex8(fault.Code) + L") at address " +
             Hex8(reinterpret_cast<uintptr_t>(fault.Address));
  if (const std::wstring module = ModuleNameAt(fault.Address); !module.empty())
    message += L" in module \"" + module + L"\"";
  message += L".";
  if ((fault.Code == EXCEPTION_ACCESS_VIOLATION || fault.Code == EXCEPTION_IN_PAGE_ERROR) &&
      fault.ParameterCount >= 2) {
    const wchar_t* access = fault.Parameters[0] == 1 ? L"Write" : fault.Parameters[0] == 8 ? L"Execution" : L"Read";
    message += std::wstring(L" ") + access + L" of address " + Hex8(fault.Parameters[1]) + L".";
  }
  return message;
}

}  // namespace zv

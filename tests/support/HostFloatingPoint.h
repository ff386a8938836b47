// The floating-point state of a file manager built with some language
// runtimes: x87 invalid operation, zero divide and overflow unmasked (control
// word 0x1332). A test thread that plays such a host runs under it, so that a
// flag a plug-in leaves pending faults in our code as it would there; tests
// that run fully masked never see that.
#pragma once
#include <cstdint>

namespace zvtest {

inline constexpr uint16_t HostControlWord = 0x1332;
// The same word as fnstcw gives it back: bit 6 is reserved and reads as set.
inline constexpr uint16_t HostControlWordRead = HostControlWord | 0x40;

// The no-wait forms: reading the state never raises a pending exception.
inline uint16_t X87ControlWord() {
  uint16_t word;
  __asm__ volatile("fnstcw %0" : "=m"(word));
  return word;
}
// The exception flags of the status word (invalid operation .. precision).
inline uint16_t X87PendingFlags() {
  uint16_t word;
  __asm__ volatile("fnstsw %0" : "=m"(word));
  return word & 0x3F;
}
inline uint32_t Mxcsr() {
  uint32_t value;
  __asm__ volatile("stmxcsr %0" : "=m"(value));
  return value;
}
inline void LoadMxcsr(uint32_t value) { __asm__ volatile("ldmxcsr %0" : : "m"(value)); }

// What a plug-in that masks exceptions around its own arithmetic leaves:
// 0.0/0.0 under a masked control word, then the control word it found put
// back. The invalid-operation flag stays pending (unmasked under the host's
// word: the next waiting x87 instruction raises it); MXCSR gets its flag too.
inline void LeaveInvalidPending() {
  uint16_t found;
  const uint16_t masked = 0x037F;
  __asm__ volatile("fnstcw %0\n\tfldcw %1\n\tfldz\n\tfldz\n\tfdivrp\n\tfstp %%st(0)\n\tfldcw %0"
                   : "=m"(found)
                   : "m"(masked));
  LoadMxcsr(Mxcsr() | 1);
}

// The calling thread runs under the word for the object's life. Pending
// flags are cleared before each load, so that loading cannot raise them.
class TX87ControlWord {
public:
  explicit TX87ControlWord(uint16_t word = HostControlWord) : FSaved(X87ControlWord()) { Load(word); }
  ~TX87ControlWord() { Load(FSaved); }
  TX87ControlWord(const TX87ControlWord&) = delete;
  TX87ControlWord& operator=(const TX87ControlWord&) = delete;

  static void Load(uint16_t word) { __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(word)); }

private:
  const uint16_t FSaved;
};

}  // namespace zvtest

// The stack protector's guard value and failure routine for the Windows
// builds (-fstack-protector-strong). The compiler's own runtime would seed
// the guard through CryptAcquireContext in a constructor, before main: a
// crypto provider loaded before the DLL search is confined to the system
// directory, and imports that are not KnownDLLs on every system. This one
// uses kernel32 only, mixing what differs between runs and processes.
#include <windows.h>

#include <stdint.h>

extern "C" {

uintptr_t __stack_chk_guard = 0;  // NOLINT: the name the compiler uses

// Runs before any constructor of the program's own. Not itself guarded: the
// guard changes under its feet.
__attribute__((constructor(101), no_stack_protector)) static void SeedStackGuard() {
  LARGE_INTEGER counter;
  FILETIME now;
  QueryPerformanceCounter(&counter);
  GetSystemTimeAsFileTime(&now);
  uint64_t seed = static_cast<uint64_t>(counter.QuadPart);
  seed ^= (static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime) * 0x9E3779B97F4A7C15ull;
  seed ^= static_cast<uint64_t>(GetCurrentProcessId()) << 32 | GetCurrentThreadId();
  seed ^= static_cast<uint64_t>(GetTickCount64()) << 16;
  seed ^= reinterpret_cast<uintptr_t>(&counter);  // where the stack lies (ASLR)
  seed ^= seed >> 29;
  seed *= 0xBF58476D1CE4E5B9ull;
  seed ^= seed >> 32;
  uintptr_t guard = static_cast<uintptr_t>(seed);
  __stack_chk_guard = guard != 0 ? guard : static_cast<uintptr_t>(0x2B992DDFA23249D6ull);
}

// A guarded function found its guard overwritten. Nothing more runs on that
// stack: the process ends at once with the status Windows uses for this.
[[noreturn]] void __stack_chk_fail() {  // NOLINT: the name the compiler uses
  TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
  __builtin_trap();
}

}  // extern "C"

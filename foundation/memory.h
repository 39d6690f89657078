#pragma once
// Heap blocks with one out-of-memory policy. A null pointer is the only failure
// signal of the plain calls; the "OrAbort" call and the array growth, used where
// a caller has no failure path, end the program with "Out of memory. Program
// abort." and a non-zero exit code (the console's exit code is the command's
// result, so running out of memory must never read as success).

#include <cstddef>
#include <cstdint>
#include <string>

namespace foundation {

// Exit code of a program that ran out of memory.
constexpr int kOutOfMemoryExitCode = 3;
// Language string of the out-of-memory message.
constexpr int kStringOutOfMemory = 30810;

void* MemAlloc(size_t size);
void* MemAllocZero(size_t size);
// Size 0 gives null without allocating; otherwise a zero-filled block. On
// failure AbortOutOfMemory, so it never returns null for a non-zero size.
void* MemAllocZeroOrAbort(size_t size);
// A block of newSize; min(keep, newSize) bytes come over from the old block,
// which is then freed. Null on failure, the old block untouched.
void* MemRealloc(void* old, size_t keep, size_t newSize);
void MemFree(void* block);
// Heap copy of a terminated wide string, freed with MemFree; null for null or
// when out of memory.
char16_t* DupStringW(const char16_t* text);
// Lower-cases in place (locale-independent table of platform/text.h).
void StrLowerW(char16_t* text);
void StrLowerW(std::u16string& text);

// Shows "Out of memory. Program abort." (foundation/out_of_memory_services.h:
// the stop-icon box unless a test installs another) and ends the process
// with kOutOfMemoryExitCode.
[[noreturn]] void AbortOutOfMemory();
// Ends the process at once (no destructors, no atexit handlers).
[[noreturn]] void ExitProgram(int exitCode);

// Makes C++ allocations (operator new) follow the same policy: out of memory
// ends the program through AbortOutOfMemory instead of throwing.
void InstallOutOfMemoryPolicy();

// Allocation-failure injection for tests: after `successes` more successful
// allocations, every MemAlloc* call (and every AllocationShouldFail check made by
// the record constructors) fails until ClearAllocationFailure. Thread-safe.
void FailAllocationsAfter(int64_t successes);
void ClearAllocationFailure();
// True when the injector says this allocation is to fail (consumes one step).
bool AllocationShouldFail();

}  // namespace foundation

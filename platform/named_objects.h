#pragma once
// Kernel objects shared between processes by name, for the program, its
// console front end, the drive helper and the shell extension:
//  - a named mutex is a lock file in the per-user runtime folder held with
//    flock (released by the system when its holder dies; the next owner is
//    told the mutex was abandoned);
//  - named events and file mappings are POSIX shared-memory objects, mode
//    0600, named "/qv-<uid>-<token>-<name>" (the token is random, kept in the
//    runtime folder, so each runtime folder has objects of its own), holding
//    an event's futex word or the mapping's bytes; an object goes when the
//    last process holding it closes it;
//  - named pipes "\\.\pipe\NAME" are FIFOs in the runtime folder.
// "Global\" and "Local\" name the same per-user namespace. Every call reports
// failure by its return value and the last error.

#include "platform/file.h"
#include "platform/sync.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

class NamedMutex {
public:
    // Creates or opens. *alreadyExisted (and last error kErrorAlreadyExists)
    // when another handle had it open; initialOwner is honoured only for a new
    // mutex, as the program's first system did.
    static std::unique_ptr<NamedMutex> Create(std::u16string_view name, bool initialOwner,
                                              bool* alreadyExisted = nullptr);
    // Opens one another handle holds; null with kErrorFileNotFound otherwise.
    static std::unique_ptr<NamedMutex> Open(std::u16string_view name);
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // kWaitObject0, kWaitAbandoned (the previous owner ended without releasing;
    // the caller owns it now), kWaitTimeout, or kWaitFailed. Recursive for the
    // owning thread; other threads using the same object wait their turn.
    uint32_t Wait(uint32_t timeoutMs);
    // False with kErrorNotOwner when the calling thread does not own it.
    bool Release();

private:
    struct State;
    NamedMutex();
    std::unique_ptr<State> state_;
};

class NamedEvent {
public:
    static std::unique_ptr<NamedEvent> Create(std::u16string_view name, EventReset reset, bool initiallySet,
                                              bool* alreadyExisted = nullptr);
    // Null with kErrorFileNotFound when no such event exists.
    static std::unique_ptr<NamedEvent> Open(std::u16string_view name);
    ~NamedEvent();
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;

    bool Set();
    bool Reset();
    // kWaitObject0, kWaitTimeout or kWaitFailed.
    uint32_t Wait(uint32_t timeoutMs);

private:
    NamedEvent() = default;
    struct Object;
    std::unique_ptr<Object> object_;
};

class SharedMapping {
public:
    // A mapping of size bytes, zero-filled when new; an existing one keeps its
    // own size. An empty name gives a mapping shared only with forked children.
    // Null with kErrorDiskFull when the memory for it cannot be reserved.
    static std::unique_ptr<SharedMapping> Create(std::u16string_view name, uint64_t size,
                                                 bool* alreadyExisted = nullptr);
    static std::unique_ptr<SharedMapping> Open(std::u16string_view name);
    ~SharedMapping();
    SharedMapping(const SharedMapping&) = delete;
    SharedMapping& operator=(const SharedMapping&) = delete;

    void* Data() const { return data_; }
    uint64_t Size() const { return size_; }

private:
    struct Object;
    SharedMapping() = default;
    std::unique_ptr<Object> object_;
    void* data_ = nullptr;
    uint64_t size_ = 0;
};

// Where the event or mapping of this name lives in /dev/shm, to name it in a
// message (another user's object there is refused, never used).
bool SharedObjectPath(std::u16string_view name, std::string& path);

// The FIFO path for "\\.\pipe\NAME" (or a bare NAME) in the runtime folder.
bool NamedPipePath(std::u16string_view name, std::string& path);
// Makes the FIFO (mode 0600); kErrorAlreadyExists when it is there.
bool CreateNamedPipe(std::u16string_view name);
bool DeleteNamedPipe(std::u16string_view name);
// Opens one end. Reading waits until the other end has written (or closed);
// writing waits until a reader is there; kErrorWaitTimeout after timeoutMs,
// kErrorFileNotFound when the pipe does not exist. Writing to a pipe whose
// reader has gone fails with kErrorBrokenPipe rather than a signal.
FileHandle OpenNamedPipe(std::u16string_view name, FileAccess access, uint32_t timeoutMs);

}  // namespace platform

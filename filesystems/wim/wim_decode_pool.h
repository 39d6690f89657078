#pragma once
// The threads that decode a WIM's chunks: made once for the process, the first
// time a resource is decoded on more than one thread, and shared by every
// extraction and drive reading at once. Starting threads per resource cost
// more than small files take to decode.

#include <functional>

namespace filesystems::wim {

class DecodePool {
public:
    // The process's pool, one thread per core.
    static DecodePool& Shared();

    // Runs task on one of the pool's threads, as soon as one is free.
    void Submit(std::function<void()> task);

    DecodePool(const DecodePool&) = delete;
    DecodePool& operator=(const DecodePool&) = delete;

private:
    DecodePool();
    struct State;
    State* state_;
};

}  // namespace filesystems::wim

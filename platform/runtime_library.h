#pragma once
// A shared library loaded while the program runs rather than at its start, and
// the typed binding of its entry points: the one way the program takes up an
// optional library (FFmpeg, the music encoders). Every entry a caller needs is
// bound when the library loads, so a missing function shows as "the library
// could not be loaded", never as a failure in the middle of a job.

#include <string>
#include <utility>
#include <vector>

namespace platform {

class RuntimeLibrary {
public:
    RuntimeLibrary() = default;
    // A library stays loaded until Close(): threads and objects it made may
    // outlive the owner, and at exit its code must still be mapped for the
    // handlers that run then.
    ~RuntimeLibrary() = default;
    RuntimeLibrary(const RuntimeLibrary&) = delete;
    RuntimeLibrary& operator=(const RuntimeLibrary&) = delete;
    RuntimeLibrary(RuntimeLibrary&& other) noexcept : handles_(std::move(other.handles_)), error_(std::move(other.error_)) {
        other.handles_.clear();
    }
    RuntimeLibrary& operator=(RuntimeLibrary&& other) noexcept {
        if (this != &other) {
            Close();
            handles_ = std::move(other.handles_);
            error_ = std::move(other.error_);
            other.handles_.clear();
        }
        return *this;
    }

    // Loads the first of the candidates that loads (a path, or a bare name for
    // the system's search) and adds it after the parts loaded before, so a
    // library can be taken up with the ones it needs. False, with Error()
    // saying why, when none of them loads.
    bool Load(const std::vector<std::string>& candidates);
    // Unloads every part.
    void Close();
    bool IsOpen() const { return !handles_.empty(); }
    const std::string& Error() const { return error_; }

    // The named entry, looked up in the parts in the order they were loaded;
    // null when none has it.
    void* Symbol(const char* name) const;
    // Sets entry to the named function; false (and entry null) when it is
    // missing, which is recorded in Error().
    template <typename F>
    bool Bind(F& entry, const char* name) {
        entry = reinterpret_cast<F>(Symbol(name));
        if (!entry) error_ = std::string("missing entry ") + name;
        return entry != nullptr;
    }

private:
    std::vector<void*> handles_;
    std::string error_;
};

}  // namespace platform

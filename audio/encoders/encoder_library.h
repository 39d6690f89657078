#pragma once
// Run-time loading of an encoder library: from the install folder first, then
// by its name through the system's search; its entry points by name.

#include <dlfcn.h>

#include <mutex>
#include <string>

namespace audio::detail {

class LoadedLibrary {
public:
    // Tries install folder + name, then name. False when neither loads.
    bool Open(const std::string& name);
    void Close();
    bool IsOpen() const { return handle_ != nullptr; }
    // The entry point, or null.
    template <typename F>
    bool Resolve(F& out, const char* symbol) {
        out = reinterpret_cast<F>(::dlsym(handle_, symbol));
        return out != nullptr;
    }

private:
    void* handle_ = nullptr;
};

// One lock for every library table: loads happen once, before encoders open.
std::mutex& LibraryLock();

}  // namespace audio::detail

#include "platform/runtime_library.h"

#include <dlfcn.h>

namespace platform {

bool RuntimeLibrary::Load(const std::vector<std::string>& candidates) {
    error_.clear();
    for (const std::string& candidate : candidates) {
        if (candidate.empty()) continue;
        if (void* handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            handles_.push_back(handle);
            error_.clear();
            return true;
        }
        const char* why = ::dlerror();
        error_ = why ? why : candidate;
    }
    if (error_.empty()) error_ = "no library named";
    return false;
}

void RuntimeLibrary::Close() {
    // Last loaded first: a part may need the ones loaded before it.
    for (auto it = handles_.rbegin(); it != handles_.rend(); ++it) ::dlclose(*it);
    handles_.clear();
}

void* RuntimeLibrary::Symbol(const char* name) const {
    for (void* handle : handles_)
        if (void* symbol = ::dlsym(handle, name)) return symbol;
    return nullptr;
}

}  // namespace platform

#include "codecs/ffmpeg_library.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace codecs {
namespace {

struct Libraries {
    // Dependencies first; each by the major version the program was built with.
    void* handles[4] = {};
    bool loaded = false;
    std::string error;
};

Libraries& Loaded() {
    static Libraries libraries;
    static std::once_flag once;
    std::call_once(once, [] {
        const std::string names[4] = {
            "libavutil.so." + std::to_string(LIBAVUTIL_VERSION_MAJOR),
            "libswresample.so." + std::to_string(LIBSWRESAMPLE_VERSION_MAJOR),
            "libavcodec.so." + std::to_string(LIBAVCODEC_VERSION_MAJOR),
            "libavformat.so." + std::to_string(LIBAVFORMAT_VERSION_MAJOR),
        };
        libraries.loaded = true;
        for (int i = 0; i < 4 && libraries.loaded; ++i) {
            libraries.handles[i] = ::dlopen(names[i].c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!libraries.handles[i]) {
                const char* why = ::dlerror();
                libraries.error = why ? why : names[i];
                libraries.loaded = false;
            }
        }
        if (!libraries.loaded) return;
        // FFmpeg's own notes about odd files would reach zarn's console; the
        // probe and the decoder report failures in the program's words.
        using SetLevel = void (*)(int);
        if (auto set = reinterpret_cast<SetLevel>(::dlsym(libraries.handles[0], "av_log_set_level")))
            set(AV_LOG_QUIET);
    });
    return libraries;
}

}  // namespace

bool FfmpegAvailable() { return Loaded().loaded; }

void* FfmpegSymbol(const char* name) {
    const Libraries& libraries = Loaded();
    if (libraries.loaded) {
        for (void* handle : libraries.handles)
            if (void* symbol = ::dlsym(handle, name)) return symbol;
    }
    std::fprintf(stderr, "Cannot load %s from the FFmpeg libraries: %s\n", name,
                 libraries.loaded ? "not found" : libraries.error.c_str());
    std::abort();
}

}  // namespace codecs

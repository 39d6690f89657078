#define QV_FFMPEG_LOADER
#include "codecs/ffmpeg_library.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/runtime_library.h"

namespace codecs {
namespace {

struct Loaded {
    platform::RuntimeLibrary library;
    FfmpegEntries entries;
    bool available = false;
};

Loaded& Libraries() {
    static Loaded loaded;
    static std::once_flag once;
    std::call_once(once, [] {
        platform::RuntimeLibrary& library = loaded.library;
        // Dependencies first; each by the major version the program was built with.
        bool ok = library.Load({"libavutil.so." + std::to_string(LIBAVUTIL_VERSION_MAJOR)}) &&
                  library.Load({"libswresample.so." + std::to_string(LIBSWRESAMPLE_VERSION_MAJOR)}) &&
                  library.Load({"libavcodec.so." + std::to_string(LIBAVCODEC_VERSION_MAJOR)}) &&
                  library.Load({"libavformat.so." + std::to_string(LIBAVFORMAT_VERSION_MAJOR)});
#define QV_FFMPEG_BIND(fn) ok = ok && library.Bind(loaded.entries.fn, #fn);
        QV_FFMPEG_FUNCTIONS(QV_FFMPEG_BIND)
#undef QV_FFMPEG_BIND
        if (!ok) {
            loaded.entries = FfmpegEntries{};
            return;
        }
        loaded.available = true;
        // FFmpeg's own notes about odd files would reach zarn's console; the
        // probe and the decoder report failures in the program's words.
        loaded.entries.av_log_set_level(AV_LOG_QUIET);
    });
    return loaded;
}

}  // namespace

bool FfmpegAvailable() { return Libraries().available; }

const FfmpegEntries& Ffmpeg() {
    const Loaded& loaded = Libraries();
    if (!loaded.available) {
        std::fprintf(stderr, "Cannot use the FFmpeg libraries: %s\n", loaded.library.Error().c_str());
        std::abort();
    }
    return loaded.entries;
}

}  // namespace codecs

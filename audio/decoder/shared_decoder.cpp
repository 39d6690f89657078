#include "audio/decoder/shared_decoder.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "audio/decoder/music_decoder.h"
#include "foundation/messages.h"
#include "platform/last_error.h"

namespace audio {
namespace {

constexpr int64_t kSectorBytes = 2352;

struct SharedDecoder {
    std::mutex lock;
    MusicDecoder decoder;
    std::u16string path;
};

SharedDecoder& Shared() {
    static SharedDecoder shared;
    return shared;
}

bool OpenLocked(SharedDecoder& s, std::u16string_view path, int64_t startSector) {
    s.path.clear();
    if (!s.decoder.Open(path)) return false;
    if (startSector > 0 && !s.decoder.SeekToSample(startSector * kSamplesPerSector)) {
        s.decoder.Close();
        return false;
    }
    s.path.assign(path);
    return true;
}

int ReadLocked(SharedDecoder& s, void* buffer, uint32_t sectors, int64_t streamBytes) {
    const size_t bytes = size_t(sectors) * size_t(kSectorBytes);
    const int64_t at = s.decoder.Position() * kCdFrameBytes;
    if (!s.decoder.Read(buffer, bytes)) return 0;
    // The track ends at its counted length, which may fall inside the last
    // sector or before the last decoded sample.
    if (streamBytes >= 0 && at + int64_t(bytes) > streamBytes) {
        const int64_t keep = std::max<int64_t>(streamBytes - at, 0);
        std::memset(static_cast<uint8_t*>(buffer) + keep, 0, size_t(int64_t(bytes) - keep));
    }
    return 1;
}

}  // namespace

int OpenMusicDecoder(std::u16string_view path, int32_t kind, int64_t startSector) {
    SharedDecoder& s = Shared();
    bool ok = false;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        s.decoder.Close();
        s.path.clear();
        if (kind == kSourceFile) return 1;
        ok = kind == kSourceDecoder && startSector >= 0 && OpenLocked(s, path, startSector);
    }
    if (ok) return 1;
    // Outside the lock: the message box runs the window's event loop.
    std::u16string text(path);
    text += u"\r\n\r\nError decoding music files.";
    foundation::AppMessageBox(text, foundation::kMbOk);
    return 0;
}

void CloseMusicDecoder() {
    SharedDecoder& s = Shared();
    std::lock_guard<std::mutex> hold(s.lock);
    s.decoder.Close();
    s.path.clear();
}

int ReadDecodedBytes(void* buffer, size_t bytes) {
    SharedDecoder& s = Shared();
    std::lock_guard<std::mutex> hold(s.lock);
    if (!s.decoder.IsOpen()) {
        std::memset(buffer, 0, bytes);
        return 0;
    }
    return s.decoder.Read(buffer, bytes & ~size_t(kCdFrameBytes - 1)) ? 1 : 0;
}

int SeekMusicDecoder(int64_t sector, int32_t kind) {
    if (kind == kSourceFile) return 1;
    if (kind != kSourceDecoder || sector < 0) return 0;
    SharedDecoder& s = Shared();
    std::lock_guard<std::mutex> hold(s.lock);
    if (!s.decoder.IsOpen()) return 0;
    return s.decoder.SeekToSample(sector * kSamplesPerSector) ? 1 : 0;
}

std::u16string OpenMusicFile() {
    SharedDecoder& s = Shared();
    std::lock_guard<std::mutex> hold(s.lock);
    return s.path;
}

int ReadDecodedSectors(std::u16string_view path, int64_t fileSector, void* buffer, uint32_t sectors,
                       int64_t streamBytes) {
    if (fileSector < 0 || path.empty()) return 0;
    SharedDecoder& s = Shared();
    std::lock_guard<std::mutex> hold(s.lock);
    if (!s.decoder.IsOpen() || s.path != path) {
        if (!OpenLocked(s, path, fileSector)) return 0;
    } else if (s.decoder.Position() != fileSector * kSamplesPerSector &&
               !s.decoder.SeekToSample(fileSector * kSamplesPerSector)) {
        return 0;
    }
    return ReadLocked(s, buffer, sectors, streamBytes);
}

int ReadDecodedSectorsOn(std::u16string_view path, int64_t fileSector, void* buffer, uint32_t sectors,
                         int64_t streamBytes) {
    if (fileSector < 0 || path.empty()) return 0;
    SharedDecoder& s = Shared();
    std::lock_guard<std::mutex> hold(s.lock);
    if ((!s.decoder.IsOpen() || s.path != path) && !OpenLocked(s, path, fileSector)) return 0;
    return ReadLocked(s, buffer, sectors, streamBytes);
}

}  // namespace audio

#include "audio/decoder/music_input.h"

#include "codecs/ffmpeg_library.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/last_error.h"
#include "platform/text.h"

namespace audio {

// Plain audio formats only: no playlists (hls, concat), no image or video
// demuxers that could fetch further files.
const char* const kAudioDemuxers =
    "wav,w64,mp3,flac,ogg,aiff,asf,mov,aac,ape,wv,au,caf,mpc,mpc8,tta,ac3,eac3,dts,amr,voc,tak,shn,dsf,matroska";

namespace {

constexpr int kAvioBufferSize = 64 * 1024;

struct FileSource {
    int fd = -1;
    int64_t size = 0;
    int64_t position = 0;
    ~FileSource() {
        if (fd >= 0) close(fd);
    }
};

int ReadSource(void* opaque, uint8_t* buffer, int size) {
    auto* source = static_cast<FileSource*>(opaque);
    if (size <= 0) return 0;
    if (source->position >= source->size) return AVERROR_EOF;
    ssize_t got;
    do {
        got = pread(source->fd, buffer, size_t(size), source->position);
    } while (got < 0 && errno == EINTR);
    if (got < 0) return AVERROR(errno);
    if (got == 0) return AVERROR_EOF;
    source->position += got;
    return int(got);
}

int64_t SeekSource(void* opaque, int64_t offset, int whence) {
    auto* source = static_cast<FileSource*>(opaque);
    if (whence & AVSEEK_SIZE) return source->size;
    whence &= ~AVSEEK_FORCE;
    int64_t base = 0;
    if (whence == SEEK_CUR) base = source->position;
    else if (whence == SEEK_END) base = source->size;
    else if (whence != SEEK_SET) return AVERROR(EINVAL);
    int64_t target = 0;
    if (__builtin_add_overflow(base, offset, &target) || target < 0) return AVERROR(EINVAL);
    source->position = target;
    return target;
}

// A demuxer that wants a second resource (a playlist entry, a reference
// movie) gets none.
int RefuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) { return AVERROR(EPERM); }

void FreeCustomIo(AVIOContext* pb) {
    if (pb == nullptr) return;
    delete static_cast<FileSource*>(pb->opaque);
    av_freep(&pb->buffer);
    avio_context_free(&pb);
}

}  // namespace

void FormatContextCloser::operator()(AVFormatContext* format) const {
    if (format == nullptr) return;
    AVIOContext* pb = format->pb;
    avformat_close_input(&format);
    FreeCustomIo(pb);
}

int OpenRegularFile(std::u16string_view path) {
    std::string name;
    if (!platform::Utf16ToUtf8Strict(path, name) || name.empty() || name.find('\0') != std::string::npos) {
        platform::SetLastError(platform::kErrorInvalidName);
        return -1;
    }
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    int fd;
    do {
        fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        platform::SetLastErrorFromErrno();
        return -1;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        platform::SetLastError(platform::kErrorAccessDenied);
        return -1;
    }
    return fd;
}

FormatContextPtr OpenMusicInput(int fd, std::u16string_view nameForProbe) {
    auto source = std::make_unique<FileSource>();
    source->fd = fd;
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return nullptr;
    if (!codecs::FfmpegAvailable()) return nullptr;
    source->size = st.st_size;

    auto* buffer = static_cast<uint8_t*>(av_malloc(kAvioBufferSize));
    if (buffer == nullptr) return nullptr;
    AVIOContext* pb = avio_alloc_context(buffer, kAvioBufferSize, 0, source.get(), ReadSource, nullptr, SeekSource);
    if (pb == nullptr) {
        av_free(buffer);
        return nullptr;
    }
    source.release();
    pb->seekable = AVIO_SEEKABLE_NORMAL;

    AVFormatContext* format = avformat_alloc_context();
    if (format == nullptr) {
        FreeCustomIo(pb);
        return nullptr;
    }
    format->pb = pb;
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    format->io_open = RefuseNestedOpen;
    format->format_whitelist = av_strdup(kAudioDemuxers);
    format->protocol_whitelist = av_strdup("file");
    if (format->format_whitelist == nullptr || format->protocol_whitelist == nullptr) {
        avformat_free_context(format);
        FreeCustomIo(pb);
        return nullptr;
    }
    // The name is never opened (the context reads our descriptor); its
    // extension only helps the probe.
    const std::string name = platform::Utf16ToUtf8(nameForProbe);
    if (avformat_open_input(&format, name.c_str(), nullptr, nullptr) != 0) {
        // A failed open frees the context but leaves our own I/O to us.
        FreeCustomIo(pb);
        return nullptr;
    }
    FormatContextPtr owned(format);
    if (avformat_find_stream_info(format, nullptr) < 0) return nullptr;
    return owned;
}

}  // namespace audio

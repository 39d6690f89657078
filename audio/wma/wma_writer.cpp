#include "audio/wma/wma_writer.h"

#include "codecs/ffmpeg_library.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace audio {

struct WmaWriter::State {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    SwrContext* resampler = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    int fd = -1;                    // our duplicate of the caller's file
    bool writeFailed = false;
    bool headerWritten = false;
    bool closed = false;
    int64_t samplesSent = 0;
    std::vector<uint8_t> pending;   // a part of a frame from the last write

    ~State() {
        if (format && format->pb) {
            av_freep(&format->pb->buffer);
            avio_context_free(&format->pb);
        }
        if (fd >= 0) ::close(fd);
        avformat_free_context(format);
        avcodec_free_context(&codec);
        swr_free(&resampler);
        if (fifo) av_audio_fifo_free(fifo);
        av_frame_free(&frame);
        av_packet_free(&packet);
    }

    bool Drain() {
        for (;;) {
            const int r = avcodec_receive_packet(codec, packet);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
            if (r < 0) return false;
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(format, packet) < 0) return false;
        }
    }
    // Encodes one frame of `samples` from the FIFO (padded with silence to the frame size).
    bool SendFrame(int samples) {
        av_frame_unref(frame);
        frame->nb_samples = codec->frame_size;
        frame->format = codec->sample_fmt;
        frame->sample_rate = codec->sample_rate;
        if (av_channel_layout_copy(&frame->ch_layout, &codec->ch_layout) < 0) return false;
        if (av_frame_get_buffer(frame, 0) < 0) return false;
        av_samples_set_silence(frame->data, 0, codec->frame_size, 2, codec->sample_fmt);
        if (av_audio_fifo_read(fifo, reinterpret_cast<void**>(frame->data), samples) != samples) return false;
        frame->pts = samplesSent;
        samplesSent += codec->frame_size;
        return avcodec_send_frame(codec, frame) >= 0 && Drain();
    }
};

namespace {

constexpr int kOutputBufferBytes = 64 * 1024;

int WriteOutput(void* opaque, uint8_t* data, int size) {
    WmaWriter::State& s = *static_cast<WmaWriter::State*>(opaque);
    for (int done = 0; done < size;) {
        const ssize_t n = ::write(s.fd, data + done, size_t(size - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            s.writeFailed = true;
            return AVERROR(n < 0 ? errno : ENOSPC);
        }
        done += int(n);
    }
    return size;
}

// The ASF muxer goes back to the header to fill in the file's length.
int64_t SeekOutput(void* opaque, int64_t offset, int whence) {
    WmaWriter::State& s = *static_cast<WmaWriter::State*>(opaque);
    if (whence == AVSEEK_SIZE) {
        struct stat st {};
        return ::fstat(s.fd, &st) == 0 ? int64_t(st.st_size) : AVERROR(errno);
    }
    const off_t at = ::lseek(s.fd, off_t(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : int64_t(at);
}

}  // namespace

WmaWriter::WmaWriter() : state_(std::make_unique<State>()) {}
WmaWriter::~WmaWriter() = default;

std::unique_ptr<WmaWriter> CreateWmaWriter(int fd) {
    if (!codecs::FfmpegAvailable()) return nullptr;
    std::unique_ptr<WmaWriter> writer(new WmaWriter());
    WmaWriter::State& s = *writer->state_;
    s.fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (s.fd < 0) return nullptr;
    if (avformat_alloc_output_context2(&s.format, nullptr, "asf", nullptr) < 0 || !s.format) return nullptr;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
    if (!codec) return nullptr;
    s.codec = avcodec_alloc_context3(codec);
    if (!s.codec) return nullptr;
    s.codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
    s.codec->sample_rate = 44100;
    av_channel_layout_default(&s.codec->ch_layout, 2);
    s.codec->bit_rate = kWmaBitRate;
    s.codec->time_base = AVRational{1, 44100};
    if (s.format->oformat->flags & AVFMT_GLOBALHEADER) s.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(s.codec, codec, nullptr) < 0 || s.codec->frame_size <= 0) return nullptr;
    s.stream = avformat_new_stream(s.format, nullptr);
    if (!s.stream || avcodec_parameters_from_context(s.stream->codecpar, s.codec) < 0) return nullptr;
    s.stream->time_base = s.codec->time_base;
    AVChannelLayout stereo;
    av_channel_layout_default(&stereo, 2);
    if (swr_alloc_set_opts2(&s.resampler, &stereo, AV_SAMPLE_FMT_FLTP, 44100, &stereo, AV_SAMPLE_FMT_S16, 44100, 0,
                            nullptr) < 0 ||
        swr_init(s.resampler) < 0)
        return nullptr;
    s.fifo = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, 2, s.codec->frame_size);
    s.frame = av_frame_alloc();
    s.packet = av_packet_alloc();
    if (!s.fifo || !s.frame || !s.packet) return nullptr;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kOutputBufferBytes));
    if (!buffer) return nullptr;
    s.format->pb = avio_alloc_context(buffer, kOutputBufferBytes, 1, &s, nullptr, WriteOutput, SeekOutput);
    if (!s.format->pb) {
        av_free(buffer);
        return nullptr;
    }
    if (avformat_write_header(s.format, nullptr) < 0) return nullptr;
    s.headerWritten = true;
    return writer;
}

int WmaWriter::Write(const uint8_t* pcm, size_t bytes) {
    State& s = *state_;
    if (s.closed) return 0;
    sampleTime_ += int64_t(bytes) * 10000000 / 176400;
    s.pending.insert(s.pending.end(), pcm, pcm + bytes);
    const int samples = int(s.pending.size() / 4);
    if (samples == 0) return 1;
    uint8_t* planes[2] = {nullptr, nullptr};
    if (av_samples_alloc(planes, nullptr, 2, samples, AV_SAMPLE_FMT_FLTP, 0) < 0) return 0;
    const uint8_t* in[1] = {s.pending.data()};
    const int converted = swr_convert(s.resampler, planes, samples, in, samples);
    bool ok = converted >= 0 && av_audio_fifo_write(s.fifo, reinterpret_cast<void**>(planes), converted) == converted;
    av_freep(&planes[0]);
    s.pending.erase(s.pending.begin(), s.pending.begin() + ptrdiff_t(samples) * 4);
    while (ok && av_audio_fifo_size(s.fifo) >= s.codec->frame_size) ok = s.SendFrame(s.codec->frame_size);
    return ok ? 1 : 0;
}

bool WmaWriter::Close() {
    State& s = *state_;
    if (s.closed) return false;
    s.closed = true;
    bool ok = true;
    // The encoder takes whole frames only: the last one is padded with silence.
    if (const int left = av_audio_fifo_size(s.fifo); left > 0) ok = s.SendFrame(left);
    ok = ok && avcodec_send_frame(s.codec, nullptr) >= 0 && s.Drain();
    ok = ok && av_write_trailer(s.format) >= 0;
    avio_flush(s.format->pb);
    return ok && !s.writeFailed && s.format->pb->error >= 0;
}

}  // namespace audio

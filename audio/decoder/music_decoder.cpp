#include "audio/decoder/music_decoder.h"

#include "codecs/ffmpeg_library.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "audio/decoder/music_input.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace audio {
namespace {

constexpr int64_t kMaxSamples = kMaxMusicSeconds * kCdSampleRate;
// A damaged packet is skipped; this many in one file and the rest is taken
// as lost.
constexpr int kMaxDamagedPackets = 1000;
// Demuxer rounds that give no sound before the stream counts as ended (other
// streams' packets, headers): far more than any real file has in a row.
constexpr int kMaxIdleRounds = 1 << 20;
// Forward jumps up to this far are decoded through rather than sought.
constexpr int64_t kDecodeThroughSamples = 30 * int64_t{kCdSampleRate};
// Sought this far before the target, so that decoders needing history (the
// MP3 bit reservoir) and the resampler have settled by then.
constexpr int64_t kSeekPrerollSamples = kCdSampleRate;
constexpr size_t kMaxTagUnits = 127;

struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct ResamplerCloser {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct PacketCloser {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameCloser {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};

struct Descriptor {
    int fd = -1;
    ~Descriptor() { Reset(); }
    void Reset(int value = -1) {
        if (fd >= 0) close(fd);
        fd = value;
    }
};

std::u16string TagText(const char* utf8) {
    std::u16string text = platform::Utf8ToUtf16(utf8);
    if (text.size() > kMaxTagUnits) {
        size_t cut = kMaxTagUnits;
        // Never keep half of a surrogate pair.
        if (text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF) --cut;
        text.resize(cut);
    }
    while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.pop_back();
    return text;
}

}  // namespace

struct MusicDecoder::State {
    Descriptor file;            // kept to start again from the beginning
    std::u16string name;
    FormatContextPtr format;
    std::unique_ptr<AVCodecContext, CodecCloser> codec;
    std::unique_ptr<SwrContext, ResamplerCloser> resampler;
    std::unique_ptr<AVPacket, PacketCloser> packet;
    std::unique_ptr<AVFrame, FrameCloser> frame;
    int stream = -1;
    bool seekByDecoding = false;   // timestamps after a seek are estimates (VBR MP3)

    int resamplerFormat = -1;
    int resamplerRate = 0;
    AVChannelLayout resamplerLayout{};

    std::vector<uint8_t> pending;  // converted bytes not yet read
    size_t pendingRead = 0;
    int64_t positionBytes = 0;     // output byte of pending[pendingRead]
    bool draining = false;         // the demuxer is done; the decoder is being emptied
    bool ended = false;
    bool needTimestamp = false;    // the next frame tells where a seek landed
    bool timestampMissing = false;
    int damaged = 0;

    ~State() {
        // A layout never filled in holds nothing to free, and a decoder that
        // never opened a file has not loaded the libraries.
        if (resamplerLayout.order == AV_CHANNEL_ORDER_CUSTOM) av_channel_layout_uninit(&resamplerLayout);
    }

    AVStream* Stream() const { return format->streams[stream]; }

    bool OpenFrom(int fd) {
        CloseStreams();
        format = OpenMusicInput(fd, name);
        if (!format) return false;
        const AVCodec* decoder = nullptr;
        stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
        if (stream < 0 || decoder == nullptr) return false;
        for (unsigned i = 0; i < format->nb_streams; ++i)
            if (int(i) != stream) format->streams[i]->discard = AVDISCARD_ALL;
        codec.reset(avcodec_alloc_context3(decoder));
        if (!codec || avcodec_parameters_to_context(codec.get(), Stream()->codecpar) < 0) return false;
        codec->pkt_timebase = Stream()->time_base;
        if (avcodec_open2(codec.get(), decoder, nullptr) < 0) return false;
        packet.reset(av_packet_alloc());
        frame.reset(av_frame_alloc());
        if (!packet || !frame) return false;
        seekByDecoding = std::strcmp(format->iformat->name, "mp3") == 0;
        ResetReading();
        positionBytes = 0;
        return true;
    }

    void CloseStreams() {
        resampler.reset();
        codec.reset();
        format.reset();
        packet.reset();
        frame.reset();
        stream = -1;
        ResetReading();
    }

    void ResetReading() {
        pending.clear();
        pendingRead = 0;
        draining = ended = needTimestamp = timestampMissing = false;
        damaged = 0;
        resampler.reset();
        resamplerFormat = -1;
    }

    bool Restart() {
        if (file.fd < 0) return false;
        const int fd = fcntl(file.fd, F_DUPFD_CLOEXEC, 0);
        if (fd < 0) {
            platform::SetLastErrorFromErrno();
            return false;
        }
        return OpenFrom(fd);
    }

    bool ConfigureResampler(const AVFrame& f) {
        resampler.reset();
        const int channels = f.ch_layout.nb_channels;
        if (channels < 1 || f.sample_rate < 1) return false;
        AVChannelLayout in{};
        if (f.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) av_channel_layout_default(&in, channels);
        else if (av_channel_layout_copy(&in, &f.ch_layout) < 0) return false;
        AVChannelLayout out = AV_CHANNEL_LAYOUT_STEREO;
        SwrContext* raw = nullptr;
        const int made = swr_alloc_set_opts2(&raw, &out, AV_SAMPLE_FMT_S16, kCdSampleRate, &in,
                                             AVSampleFormat(f.format), f.sample_rate, 0, nullptr);
        resampler.reset(raw);
        av_channel_layout_uninit(&in);
        // Kept as the frame gave it, to notice when a chained stream changes.
        av_channel_layout_uninit(&resamplerLayout);
        if (made < 0 || av_channel_layout_copy(&resamplerLayout, &f.ch_layout) < 0) return false;
        if (channels == 1) {
            // A mono recording plays at its own level on both sides, as a
            // CD player would play a mono disc (FFmpeg's default is -3 dB).
            const double both[2] = {1.0, 1.0};
            if (swr_set_matrix(raw, both, 1) < 0) return false;
        }
        if (swr_init(raw) < 0) return false;
        resamplerFormat = f.format;
        resamplerRate = f.sample_rate;
        return true;
    }

    void Compact() {
        if (pendingRead == 0) return;
        pending.erase(pending.begin(), pending.begin() + ptrdiff_t(pendingRead));
        pendingRead = 0;
    }

    // Appends up to maxSamples converted samples from input (null: flush).
    bool Convert(const uint8_t** input, int inputSamples) {
        const int room = swr_get_out_samples(resampler.get(), inputSamples);
        if (room < 0) return false;
        if (room == 0) return true;
        Compact();
        const size_t used = pending.size();
        pending.resize(used + size_t(room) * kCdFrameBytes);
        uint8_t* out = pending.data() + used;
        const int got = swr_convert(resampler.get(), &out, room, input, inputSamples);
        if (got < 0) {
            pending.resize(used);
            return false;
        }
        pending.resize(used + size_t(got) * kCdFrameBytes);
        return true;
    }

    bool TakeFrame() {
        AVFrame& f = *frame;
        if (!resampler || f.format != resamplerFormat || f.sample_rate != resamplerRate ||
            av_channel_layout_compare(&f.ch_layout, &resamplerLayout) != 0) {
            if (resampler && !Convert(nullptr, 0)) return false;   // what the old layout still holds
            if (!ConfigureResampler(f)) return false;
        }
        if (needTimestamp) {
            needTimestamp = false;
            const int64_t ts = f.best_effort_timestamp;
            if (ts == AV_NOPTS_VALUE) {
                timestampMissing = true;
            } else {
                const int64_t start = Stream()->start_time == AV_NOPTS_VALUE ? 0 : Stream()->start_time;
                positionBytes = av_rescale_q(ts - start, Stream()->time_base, AVRational{1, kCdSampleRate}) *
                                kCdFrameBytes;
            }
        }
        return Convert(const_cast<const uint8_t**>(f.extended_data), f.nb_samples);
    }

    // Decodes until some sound is pending or the stream has ended; false on
    // a read failure or a resampler that cannot be set up.
    bool DecodeMore() {
        const size_t before = pending.size() - pendingRead;
        for (int round = 0; round < kMaxIdleRounds && !ended; ++round) {
            int r = avcodec_receive_frame(codec.get(), frame.get());
            if (r == 0) {
                const bool ok = TakeFrame();
                av_frame_unref(frame.get());
                if (!ok) return false;
                if (pending.size() - pendingRead > before) return true;
                continue;
            }
            if (r == AVERROR_EOF) {
                if (resampler && !Convert(nullptr, 0)) return false;
                ended = true;
                break;
            }
            if (r != AVERROR(EAGAIN)) {
                if (++damaged > kMaxDamagedPackets) StartDraining();
                continue;
            }
            if (draining) {
                ended = true;
                break;
            }
            r = av_read_frame(format.get(), packet.get());
            if (r < 0) {
                if (r != AVERROR_EOF && format->pb && format->pb->error < 0 && format->pb->error != AVERROR_EOF) {
                    platform::SetLastError(platform::kErrorReadFault);
                    return false;
                }
                // End of file, or damage the demuxer cannot get past.
                StartDraining();
                continue;
            }
            if (packet->stream_index == stream) {
                r = avcodec_send_packet(codec.get(), packet.get());
                if (r < 0 && r != AVERROR(EAGAIN) && ++damaged > kMaxDamagedPackets) StartDraining();
            }
            av_packet_unref(packet.get());
        }
        ended = ended || pending.size() - pendingRead == before;
        return true;
    }

    void StartDraining() {
        if (draining) return;
        draining = true;
        avcodec_send_packet(codec.get(), nullptr);
    }

    // Drops output up to the given byte (silence when the stream ends first).
    bool SkipTo(int64_t targetBytes) {
        while (positionBytes < targetBytes) {
            const size_t avail = pending.size() - pendingRead;
            if (avail == 0) {
                if (ended) {
                    positionBytes = targetBytes;
                    break;
                }
                if (!DecodeMore()) return false;
                continue;
            }
            const size_t n = size_t(std::min<int64_t>(int64_t(avail), targetBytes - positionBytes));
            pendingRead += n;
            positionBytes += int64_t(n);
        }
        return true;
    }
};

MusicDecoder::MusicDecoder() : state_(std::make_unique<State>()) {}
MusicDecoder::~MusicDecoder() = default;

bool MusicDecoder::Open(std::u16string_view path) {
    Close();
    const int fd = OpenRegularFile(path);
    if (fd < 0) return false;
    state_->file.Reset(fd);
    state_->name.assign(path);
    if (state_->Restart()) return true;
    Close();
    platform::SetLastError(platform::kErrorNotSupported);
    return false;
}

bool MusicDecoder::OpenHandle(platform::FileHandle file, std::u16string_view nameForProbe) {
    Close();
    const int source = file ? platform::FileDescriptor(file) : -1;
    const int fd = source >= 0 ? fcntl(source, F_DUPFD_CLOEXEC, 0) : -1;
    if (fd < 0) {
        platform::SetLastError(platform::kErrorInvalidHandle);
        return false;
    }
    state_->file.Reset(fd);
    state_->name.assign(nameForProbe);
    if (state_->Restart()) return true;
    Close();
    platform::SetLastError(platform::kErrorNotSupported);
    return false;
}

void MusicDecoder::Close() {
    state_->CloseStreams();
    state_->file.Reset();
    state_->name.clear();
    state_->positionBytes = 0;
}

bool MusicDecoder::IsOpen() const { return state_->format != nullptr; }

int64_t MusicDecoder::Position() const { return state_->positionBytes / kCdFrameBytes; }

bool MusicDecoder::AtEnd() const { return state_->ended && state_->pending.size() == state_->pendingRead; }

int64_t MusicDecoder::CountSamples() {
    State& s = *state_;
    if (!IsOpen()) return -1;
    int64_t samples = 0;
    if (s.format->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE) {
        const AVStream* st = s.Stream();
        if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
            samples = av_rescale_q(st->duration, st->time_base, AVRational{1, kCdSampleRate});
        else if (s.format->duration != AV_NOPTS_VALUE && s.format->duration > 0)
            samples = av_rescale(s.format->duration, kCdSampleRate, AV_TIME_BASE);
    }
    if (samples <= 0) {
        // Only an estimate from the bit rate (an MP3 without its frame
        // count): the true length is what decoding gives.
        if (s.positionBytes != 0 && !s.Restart()) return -1;
        int64_t bytes = 0;
        while (!s.ended && bytes <= kMaxSamples * kCdFrameBytes) {
            if (!s.DecodeMore()) return -1;
            bytes += int64_t(s.pending.size() - s.pendingRead);
            s.pending.clear();
            s.pendingRead = 0;
        }
        samples = bytes / kCdFrameBytes;
        if (!s.Restart()) return -1;
    } else if (s.positionBytes != 0 && !s.Restart()) {
        return -1;
    }
    return samples > kMaxSamples ? -1 : samples;
}

bool MusicDecoder::Read(void* buffer, size_t bytes) {
    State& s = *state_;
    auto* out = static_cast<uint8_t*>(buffer);
    if (!IsOpen()) {
        std::memset(out, 0, bytes);
        return false;
    }
    size_t left = bytes;
    while (left > 0) {
        const size_t avail = s.pending.size() - s.pendingRead;
        if (avail == 0) {
            if (s.ended) {
                std::memset(out, 0, left);
                s.positionBytes += int64_t(left);
                break;
            }
            if (!s.DecodeMore()) {
                std::memset(out, 0, left);
                return false;
            }
            continue;
        }
        const size_t n = std::min(avail, left);
        std::memcpy(out, s.pending.data() + s.pendingRead, n);
        s.pendingRead += n;
        s.positionBytes += int64_t(n);
        out += n;
        left -= n;
    }
    return true;
}

bool MusicDecoder::SeekToSample(int64_t sample) {
    State& s = *state_;
    if (!IsOpen() || sample < 0 || sample > kMaxSamples) return false;
    const int64_t here = Position();
    if (sample == here && !s.ended) return true;
    if (sample > here && sample - here <= kDecodeThroughSamples && !s.ended) return s.SkipTo(sample * kCdFrameBytes);
    const int64_t from = sample - kSeekPrerollSamples;
    if (!s.seekByDecoding && from > 0) {
        const AVStream* st = s.Stream();
        const int64_t start = st->start_time == AV_NOPTS_VALUE ? 0 : st->start_time;
        const int64_t ts = start + av_rescale_q(from, AVRational{1, kCdSampleRate}, st->time_base);
        if (avformat_seek_file(s.format.get(), s.stream, INT64_MIN, ts, ts, 0) >= 0) {
            avcodec_flush_buffers(s.codec.get());
            s.ResetReading();
            s.needTimestamp = true;
            if (!s.DecodeMore()) return false;
            // Landed where we can count from: decode up to the sample.
            if (!s.timestampMissing && s.positionBytes <= sample * kCdFrameBytes)
                return s.SkipTo(sample * kCdFrameBytes);
        }
    }
    // From the beginning: slow for a late sample, but exact.
    return s.Restart() && s.SkipTo(sample * kCdFrameBytes);
}

DecodedTags MusicDecoder::ReadTags() const {
    DecodedTags tags;
    const State& s = *state_;
    if (!IsOpen()) return tags;
    auto get = [&](std::initializer_list<const char*> keys) {
        for (const AVDictionary* dict : {static_cast<const AVDictionary*>(s.format->metadata),
                                         static_cast<const AVDictionary*>(s.Stream()->metadata)}) {
            for (const char* key : keys) {
                const AVDictionaryEntry* e = av_dict_get(dict, key, nullptr, 0);
                if (e != nullptr && e->value != nullptr && e->value[0] != '\0') return TagText(e->value);
            }
        }
        return std::u16string();
    };
    tags.title = get({"title"});
    tags.artist = get({"artist", "author"});
    tags.composer = get({"composer"});
    tags.album = get({"album"});
    tags.comment = get({"comment", "description"});
    return tags;
}

int64_t TrackBytesOfSamples(int64_t samples) {
    // Every sample counts: a length cut to whole tenths of a second would drop
    // up to 99 ms at the end of each track.
    if (samples <= 0) return 0;
    return samples * kCdFrameBytes;
}

}  // namespace audio

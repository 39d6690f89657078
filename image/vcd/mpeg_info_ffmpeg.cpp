// MPEG stream information read with FFmpeg's libavformat: the stream's
// picture format and audio from the demuxer, the playing time, and one scan
// entry per key frame (its byte position turned into Form 2 sectors).

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "codecs/ffmpeg_library.h"

#include "foundation/services.h"
#include "image/vcd/mpeg_info.h"
#include "platform/text.h"

namespace image {
namespace {

constexpr int64_t kForm2UserBytes = 2324;
constexpr size_t kMaxScanEntries = 1u << 20;   // a day of video at one key frame a frame: far beyond any disc

struct InputCloser {
    void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

class FfmpegMpegInfo final : public IMpegInfoServices {
public:
    std::shared_ptr<MpegInfo> ProbeMpegFile(std::u16string_view path) override {
        if (!codecs::FfmpegAvailable()) return nullptr;
        const std::string file = platform::Utf16ToUtf8(path);
        AVFormatContext* raw = nullptr;
        if (avformat_open_input(&raw, file.c_str(), nullptr, nullptr) != 0) return nullptr;
        std::unique_ptr<AVFormatContext, InputCloser> input(raw);
        if (avformat_find_stream_info(input.get(), nullptr) < 0) return nullptr;
        const std::string format = input->iformat && input->iformat->name ? input->iformat->name : "";
        if (format.find("mpeg") == std::string::npos) return nullptr;

        auto info = std::shared_ptr<MpegInfo>(new MpegInfo, FreeMpegTrackInfo);
        int videoIndex = -1;
        int audioStreams = 0;
        for (unsigned i = 0; i < input->nb_streams; ++i) {
            const AVStream* s = input->streams[i];
            const AVCodecParameters* p = s->codecpar;
            if (p->codec_type == AVMEDIA_TYPE_VIDEO && videoIndex < 0) {
                videoIndex = int(i);
                MpegVideoStream& v = info->video[0];
                v.present = true;
                v.horizontalSize = p->width;
                v.verticalSize = p->height;
                const AVRational rate = s->avg_frame_rate.num ? s->avg_frame_rate : s->r_frame_rate;
                v.frameRate = rate.den ? double(rate.num) / rate.den : 0;
            } else if (p->codec_type == AVMEDIA_TYPE_AUDIO) {
                ++audioStreams;
                if (audioStreams == 1) {
                    info->audioPresent = true;
                    info->audioMode = p->ch_layout.nb_channels == 1 ? 4 : 1;
                    if (p->ch_layout.nb_channels > 2) info->multichannelAudio = true;
                }
            } else if (p->codec_type == AVMEDIA_TYPE_SUBTITLE) {
                for (bool& flag : info->subtitles) {
                    if (!flag) {
                        flag = true;
                        break;
                    }
                }
            }
        }
        info->secondAudio = audioStreams > 1;
        if (input->duration > 0) info->playingSeconds = double(input->duration) / AV_TIME_BASE;

        if (videoIndex >= 0) {
            const AVRational base = input->streams[videoIndex]->time_base;
            const int64_t start = input->start_time != AV_NOPTS_VALUE ? input->start_time : 0;
            std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
            int64_t firstPts = INT64_MAX, lastPts = INT64_MIN;
            while (packet && av_read_frame(input.get(), packet.get()) >= 0) {
                if (packet->stream_index == videoIndex && packet->pts != AV_NOPTS_VALUE) {
                    firstPts = std::min(firstPts, packet->pts);
                    lastPts = std::max(lastPts, packet->pts);
                }
                if (packet->stream_index == videoIndex && (packet->flags & AV_PKT_FLAG_KEY) && packet->pos >= 0 &&
                    info->scanEntries.size() < kMaxScanEntries) {
                    MpegScanEntry e;
                    e.sector = uint32_t(packet->pos / kForm2UserBytes);
                    const int64_t pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
                    if (pts != AV_NOPTS_VALUE) {
                        e.seconds = double(pts) * base.num / base.den - double(start) / AV_TIME_BASE;
                        if (e.seconds < 0) e.seconds = 0;
                    }
                    info->scanEntries.push_back(e);
                }
                av_packet_unref(packet.get());
            }
            // The pictures' own time (the container's duration also counts
            // the audio running past the last picture and the padding).
            const double rate = info->video[0].frameRate;
            if (lastPts >= firstPts && rate > 0)
                info->playingSeconds = double(lastPts - firstPts) * base.num / base.den + 1.0 / rate;
        }
        return info;
    }
};

foundation::ServiceSlot<IMpegInfoServices, FfmpegMpegInfo>& Slot() {
    static foundation::ServiceSlot<IMpegInfoServices, FfmpegMpegInfo> slot;
    return slot;
}

}  // namespace

void FreeMpegTrackInfo(MpegInfo* info) { delete info; }

IMpegInfoServices& MpegInfoServices() { return Slot().Get(); }

IMpegInfoServices* SetMpegInfoServices(IMpegInfoServices* services) { return Slot().Install(services); }

}  // namespace image

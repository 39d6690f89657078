#include <ogg/ogg.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>

#include "audio/encoders/encoder_library.h"
#include "audio/encoders/encoders_internal.h"
#include "foundation/settings.h"
#include "platform/text.h"

namespace audio::detail {
namespace {

// libvorbisenc brings libvorbis and libogg with it: their names resolve through its handle.
constexpr char kVorbisFile[] = "libvorbisenc.so.2";
constexpr uint32_t kDefaultQuality = 0x101770;
constexpr char kEncoderTag[] = "Haldrix OGG encoder";

struct VorbisApi {
    platform::RuntimeLibrary library;
    decltype(&vorbis_info_init) infoInit = nullptr;
    decltype(&vorbis_encode_init_vbr) initVbr = nullptr;
    decltype(&vorbis_encode_init) init = nullptr;
    decltype(&vorbis_comment_init) commentInit = nullptr;
    decltype(&vorbis_comment_add_tag) addTag = nullptr;
    decltype(&vorbis_analysis_init) analysisInit = nullptr;
    decltype(&vorbis_block_init) blockInit = nullptr;
    decltype(&ogg_stream_init) streamInit = nullptr;
    decltype(&vorbis_analysis_headerout) headerOut = nullptr;
    decltype(&ogg_stream_packetin) packetIn = nullptr;
    decltype(&ogg_stream_flush) flush = nullptr;
    decltype(&vorbis_analysis_wrote) wrote = nullptr;
    decltype(&vorbis_analysis_buffer) buffer = nullptr;
    decltype(&vorbis_analysis_blockout) blockOut = nullptr;
    decltype(&vorbis_analysis) analysis = nullptr;
    decltype(&vorbis_bitrate_addblock) addBlock = nullptr;
    decltype(&vorbis_bitrate_flushpacket) flushPacket = nullptr;
    decltype(&ogg_stream_pageout) pageOut = nullptr;
    decltype(&ogg_page_eos) pageEos = nullptr;
    decltype(&ogg_stream_clear) streamClear = nullptr;
    decltype(&vorbis_block_clear) blockClear = nullptr;
    decltype(&vorbis_dsp_clear) dspClear = nullptr;
    decltype(&vorbis_comment_clear) commentClear = nullptr;
    decltype(&vorbis_info_clear) infoClear = nullptr;
};

VorbisApi& Api() {
    static VorbisApi api;
    return api;
}

class OggEncoder final : public MusicEncoder {
public:
    FILE* file = nullptr;
    vorbis_info info{};
    vorbis_dsp_state dsp{};
    vorbis_block block{};
    ogg_stream_state stream{};
    bool infoReady = false, dspReady = false, blockReady = false, streamReady = false;

    ~OggEncoder() override { Release(); }

    bool WritePage(const ogg_page& page) {
        return std::fwrite(page.header, 1, size_t(page.header_len), file) == size_t(page.header_len) &&
               std::fwrite(page.body, 1, size_t(page.body_len), file) == size_t(page.body_len);
    }
    bool Drain() {
        VorbisApi& a = Api();
        ogg_packet packet;
        ogg_page page;
        while (a.blockOut(&dsp, &block) == 1) {
            a.analysis(&block, nullptr);
            a.addBlock(&block);
            while (a.flushPacket(&dsp, &packet) == 1) {
                if (a.packetIn(&stream, &packet) != 0) return false;
                while (a.pageOut(&stream, &page) != 0) {
                    if (!WritePage(page)) return false;
                    if (a.pageEos(&page)) return true;
                }
            }
        }
        return true;
    }
    bool WriteFrames(const int16_t* frames, size_t count) override {
        constexpr size_t kStep = 4096;
        for (size_t done = 0; done < count;) {
            const size_t n = std::min(kStep, count - done);
            float** channels = Api().buffer(&dsp, int(n));
            for (size_t i = 0; i < n; ++i) {
                channels[0][i] = float(frames[2 * (done + i)]) / 32768.0f;
                channels[1][i] = float(frames[2 * (done + i) + 1]) / 32768.0f;
            }
            if (Api().wrote(&dsp, int(n)) != 0 || !Drain()) return false;
            done += n;
        }
        return true;
    }
    bool Finish() override {
        bool ok = Api().wrote(&dsp, 0) == 0 && Drain();
        ok = std::fflush(file) == 0 && ok;
        Release();
        return ok;
    }

private:
    void Release() {
        VorbisApi& a = Api();
        if (streamReady) a.streamClear(&stream);
        if (blockReady) a.blockClear(&block);
        if (dspReady) a.dspClear(&dsp);
        if (infoReady) a.infoClear(&info);
        streamReady = blockReady = dspReady = infoReady = false;
        if (file) std::fclose(file);
        file = nullptr;
    }
};

}  // namespace

bool LoadVorbis(EncoderError* error) {
    VorbisApi& a = Api();
    if (a.library.IsOpen()) return true;
    platform::RuntimeLibrary& l = a.library;
    const bool ok = l.Load(EncoderLibraryCandidates(kVorbisFile)) && l.Bind(a.infoInit, "vorbis_info_init") &&
                    l.Bind(a.initVbr, "vorbis_encode_init_vbr") && l.Bind(a.init, "vorbis_encode_init") &&
                    l.Bind(a.commentInit, "vorbis_comment_init") && l.Bind(a.addTag, "vorbis_comment_add_tag") &&
                    l.Bind(a.analysisInit, "vorbis_analysis_init") && l.Bind(a.blockInit, "vorbis_block_init") &&
                    l.Bind(a.streamInit, "ogg_stream_init") && l.Bind(a.headerOut, "vorbis_analysis_headerout") &&
                    l.Bind(a.packetIn, "ogg_stream_packetin") && l.Bind(a.flush, "ogg_stream_flush") &&
                    l.Bind(a.wrote, "vorbis_analysis_wrote") && l.Bind(a.buffer, "vorbis_analysis_buffer") &&
                    l.Bind(a.blockOut, "vorbis_analysis_blockout") && l.Bind(a.analysis, "vorbis_analysis") &&
                    l.Bind(a.addBlock, "vorbis_bitrate_addblock") &&
                    l.Bind(a.flushPacket, "vorbis_bitrate_flushpacket") &&
                    l.Bind(a.pageOut, "ogg_stream_pageout") && l.Bind(a.pageEos, "ogg_page_eos") &&
                    l.Bind(a.streamClear, "ogg_stream_clear") && l.Bind(a.blockClear, "vorbis_block_clear") &&
                    l.Bind(a.dspClear, "vorbis_dsp_clear") && l.Bind(a.commentClear, "vorbis_comment_clear") &&
                    l.Bind(a.infoClear, "vorbis_info_clear");
    if (!ok) {
        ResetVorbis();
        LoadFailed(error, kVorbisFile);
    }
    return ok;
}

void ResetVorbis() {
    VorbisApi& a = Api();
    a.library.Close();
    a = VorbisApi{};
}

std::unique_ptr<MusicEncoder> OpenOgg(int fd, const MusicTags& tags) {
    VorbisApi& a = Api();
    auto e = std::make_unique<OggEncoder>();
    e->file = StreamOverFile(fd, "wb");
    if (!e->file) return nullptr;
    a.infoInit(&e->info);
    e->infoReady = true;
    uint32_t setting = foundation::ReadSettingDwordInRange(u"OggEncodeQuality", kDefaultQuality, 0, 0xFFFFFFFFu);
    if (setting < 0x100000 || setting > 0x3001F4) setting = kDefaultQuality;
    const uint32_t mode = (setting >> 16) & 0xFF;
    const uint32_t v = setting & 0xFFFF;
    int result = 0;
    if (mode == 0x10) {
        const float q = std::clamp(float(v) * 0.0001f - 0.1f, -0.1f, 1.0f);
        result = a.initVbr(&e->info, 2, 44100, q);
    } else if (mode == 0x20) {
        const long rate = v <= 63 ? 64000 : long(std::min<uint32_t>(v, 500)) * 1000;
        result = a.init(&e->info, 2, 44100, rate, rate, rate);
    } else if (mode == 0x30) {
        result = a.init(&e->info, 2, 44100, -1, long(std::clamp<uint32_t>(v, 64, 500)) * 1000, -1);
    } else {
        result = a.initVbr(&e->info, 2, 44100, 0.5f);
    }
    if (result != 0) return nullptr;
    vorbis_comment comment;
    a.commentInit(&comment);
    a.addTag(&comment, "ENCODER", kEncoderTag);
    auto add = [&](const char* name, const std::u16string& text) {
        if (!text.empty()) a.addTag(&comment, name, platform::Utf16ToUtf8(text).c_str());
    };
    add("TITLE", tags.title);
    add("ARTIST", tags.artist);
    add("COMPOSER", tags.composer);
    add("COMMENT", tags.comment);
    add("ALBUM", tags.album);
    add("YEAR", tags.year);
    add("GENRE", tags.genre);
    bool ok = a.analysisInit(&e->dsp, &e->info) == 0;
    e->dspReady = ok;
    ok = ok && a.blockInit(&e->dsp, &e->block) == 0;
    e->blockReady = ok;
    if (ok) {
        static std::mt19937 serials(unsigned(std::time(nullptr)));
        a.streamInit(&e->stream, int(serials() & 0x7FFFFFFF));
        e->streamReady = true;
        ogg_packet header, commentPacket, codebooks;
        ok = a.headerOut(&e->dsp, &comment, &header, &commentPacket, &codebooks) == 0 &&
             a.packetIn(&e->stream, &header) == 0 && a.packetIn(&e->stream, &commentPacket) == 0 &&
             a.packetIn(&e->stream, &codebooks) == 0;
        ogg_page page;
        while (ok && a.flush(&e->stream, &page) != 0) ok = e->WritePage(page);
    }
    a.commentClear(&comment);
    if (!ok) return nullptr;
    return e;
}

}  // namespace audio::detail

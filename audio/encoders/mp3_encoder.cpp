#include "audio/encoders/mp3_encoder.h"

#include <lame/lame.h>

#include <cstdio>
#include <vector>

#include "audio/encoders/encoder_library.h"
#include "audio/encoders/encoders_internal.h"
#include "foundation/settings.h"
#include "platform/text.h"

namespace audio {

std::span<const LameFormatRow> LameFormatTable() {
    static constexpr LameFormatRow kRows[] = {
        {0x10000140, u"Preset:insane", {10, 320}},       {0x10000100, u"Preset:extreme", {8, 256}},
        {0x10010100, u"Preset:fast extreme", {9, 256}},  {0x100000C0, u"Preset:standard", {6, 192}},
        {0x100100C0, u"Preset:fast standard", {7, 192}}, {0x100000A0, u"Preset:medium", {13, 160}},
        {0x100100A0, u"Preset:fast medium", {14, 160}},  {0x100200A0, u"Preset:r3mix", {4, 160}},
        {0x10000070, u"Preset:voice", {3, 112}},
        {0x20000080, u"CBR 128Kbps", {kLamePresetCbr, 128}}, {0x200000A0, u"CBR 160Kbps", {kLamePresetCbr, 160}},
        {0x200000C0, u"CBR 192Kbps", {kLamePresetCbr, 192}}, {0x200000E0, u"CBR 224Kbps", {kLamePresetCbr, 224}},
        {0x20000100, u"CBR 256Kbps", {kLamePresetCbr, 256}}, {0x20000140, u"CBR 320Kbps", {kLamePresetCbr, 320}},
        {0x30000080, u"ABR 128Kbps", {kLamePresetAbr, 128}}, {0x300000A0, u"ABR 160Kbps", {kLamePresetAbr, 160}},
        {0x300000C0, u"ABR 192Kbps", {kLamePresetAbr, 192}}, {0x300000E0, u"ABR 224Kbps", {kLamePresetAbr, 224}},
        {0x30000100, u"ABR 256Kbps", {kLamePresetAbr, 256}}, {0x30000140, u"ABR 320Kbps", {kLamePresetAbr, 320}},
    };
    return kRows;
}

LameFormat MapLameFormat(uint32_t code) {
    for (const LameFormatRow& row : LameFormatTable())
        if (row.code == code) return row.format;
    return LameFormatTable()[kLameFallbackRow].format;
}

namespace detail {
namespace {

constexpr char kLameFile[] = "libmp3lame.so.0";

struct LameApi {
    platform::RuntimeLibrary library;
    decltype(&lame_init) init = nullptr;
    decltype(&lame_close) close = nullptr;
    decltype(&lame_set_in_samplerate) setInRate = nullptr;
    decltype(&lame_set_num_channels) setChannels = nullptr;
    decltype(&lame_set_mode) setMode = nullptr;
    decltype(&lame_set_preset) setPreset = nullptr;
    decltype(&lame_set_VBR) setVbr = nullptr;
    decltype(&lame_set_VBR_mean_bitrate_kbps) setAbrMean = nullptr;
    decltype(&lame_set_VBR_min_bitrate_kbps) setAbrMin = nullptr;
    decltype(&lame_set_VBR_max_bitrate_kbps) setAbrMax = nullptr;
    decltype(&lame_set_brate) setBitrate = nullptr;
    decltype(&lame_set_copyright) setCopyright = nullptr;
    decltype(&lame_set_original) setOriginal = nullptr;
    decltype(&lame_set_bWriteVbrTag) setWriteVbrTag = nullptr;
    decltype(&lame_init_params) initParams = nullptr;
    decltype(&lame_encode_buffer_interleaved) encode = nullptr;
    decltype(&lame_encode_flush) flush = nullptr;
    decltype(&lame_mp3_tags_fid) writeTags = nullptr;
    decltype(&id3tag_init) id3Init = nullptr;
    decltype(&id3tag_add_v2) id3AddV2 = nullptr;
    decltype(&id3tag_v1_only) id3V1Only = nullptr;
    decltype(&id3tag_v2_only) id3V2Only = nullptr;
    decltype(&id3tag_set_title) id3Title = nullptr;
    decltype(&id3tag_set_artist) id3Artist = nullptr;
    decltype(&id3tag_set_album) id3Album = nullptr;
    decltype(&id3tag_set_year) id3Year = nullptr;
    decltype(&id3tag_set_comment) id3Comment = nullptr;
    decltype(&id3tag_set_genre) id3Genre = nullptr;
    decltype(&lame_set_write_id3tag_automatic) id3Automatic = nullptr;
};

LameApi& Api() {
    static LameApi api;
    return api;
}

// ID3v1 and the plain ID3v2 fields take Latin-1: other characters become '?'.
std::string Latin1(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) out += c < 0x100 ? char(c) : '?';
    return out;
}

class Mp3Encoder final : public MusicEncoder {
public:
    Mp3Encoder(lame_global_flags* flags, FILE* file) : flags_(flags), file_(file) {}
    ~Mp3Encoder() override {
        if (flags_) Api().close(flags_);
        if (file_) std::fclose(file_);
    }
    bool WriteFrames(const int16_t* frames, size_t count) override {
        constexpr size_t kStep = 8192;
        for (size_t done = 0; done < count;) {
            const size_t n = std::min(kStep, count - done);
            out_.resize(n * 5 / 4 + 7200);
            const int bytes = Api().encode(flags_, const_cast<short*>(frames + 2 * done), int(n), out_.data(),
                                           int(out_.size()));
            if (bytes < 0 || std::fwrite(out_.data(), 1, size_t(bytes), file_) != size_t(bytes)) return false;
            done += n;
        }
        return true;
    }
    bool Finish() override {
        out_.resize(7200);
        const int bytes = Api().flush(flags_, out_.data(), int(out_.size()));
        bool ok = bytes >= 0 && std::fwrite(out_.data(), 1, size_t(bytes), file_) == size_t(bytes);
        // The info tag at the start gives players the exact length.
        if (ok) Api().writeTags(flags_, file_);
        ok = ok && std::fflush(file_) == 0 && !std::ferror(file_);
        Api().close(flags_);
        flags_ = nullptr;
        ok = std::fclose(file_) == 0 && ok;
        file_ = nullptr;
        return ok;
    }

private:
    lame_global_flags* flags_;
    FILE* file_;
    std::vector<unsigned char> out_;
};

int PresetConstant(int preset) {
    switch (preset) {
    case 10: return INSANE;
    case 8: return EXTREME;
    case 9: return EXTREME_FAST;
    case 6: return STANDARD;
    case 7: return STANDARD_FAST;
    case 13: return MEDIUM;
    case 14: return MEDIUM_FAST;
    case 4: return R3MIX;
    default: return 0;
    }
}

}  // namespace

bool LoadLame(EncoderError* error) {
    LameApi& a = Api();
    if (a.library.IsOpen()) return true;
    const bool ok = a.library.Load(EncoderLibraryCandidates(kLameFile)) && a.library.Bind(a.init, "lame_init") &&
                    a.library.Bind(a.close, "lame_close") &&
                    a.library.Bind(a.setInRate, "lame_set_in_samplerate") &&
                    a.library.Bind(a.setChannels, "lame_set_num_channels") &&
                    a.library.Bind(a.setMode, "lame_set_mode") && a.library.Bind(a.setPreset, "lame_set_preset") &&
                    a.library.Bind(a.setVbr, "lame_set_VBR") &&
                    a.library.Bind(a.setAbrMean, "lame_set_VBR_mean_bitrate_kbps") &&
                    a.library.Bind(a.setAbrMin, "lame_set_VBR_min_bitrate_kbps") &&
                    a.library.Bind(a.setAbrMax, "lame_set_VBR_max_bitrate_kbps") &&
                    a.library.Bind(a.setBitrate, "lame_set_brate") &&
                    a.library.Bind(a.setCopyright, "lame_set_copyright") &&
                    a.library.Bind(a.setOriginal, "lame_set_original") &&
                    a.library.Bind(a.setWriteVbrTag, "lame_set_bWriteVbrTag") &&
                    a.library.Bind(a.initParams, "lame_init_params") &&
                    a.library.Bind(a.encode, "lame_encode_buffer_interleaved") &&
                    a.library.Bind(a.flush, "lame_encode_flush") &&
                    a.library.Bind(a.writeTags, "lame_mp3_tags_fid") && a.library.Bind(a.id3Init, "id3tag_init") &&
                    a.library.Bind(a.id3AddV2, "id3tag_add_v2") && a.library.Bind(a.id3V1Only, "id3tag_v1_only") &&
                    a.library.Bind(a.id3V2Only, "id3tag_v2_only") &&
                    a.library.Bind(a.id3Title, "id3tag_set_title") &&
                    a.library.Bind(a.id3Artist, "id3tag_set_artist") &&
                    a.library.Bind(a.id3Album, "id3tag_set_album") && a.library.Bind(a.id3Year, "id3tag_set_year") &&
                    a.library.Bind(a.id3Comment, "id3tag_set_comment") &&
                    a.library.Bind(a.id3Genre, "id3tag_set_genre") &&
                    a.library.Bind(a.id3Automatic, "lame_set_write_id3tag_automatic");
    if (!ok) {
        ResetLame();
        LoadFailed(error, kLameFile);
    }
    return ok;
}

void ResetLame() {
    LameApi& a = Api();
    a.library.Close();
    a = LameApi{};
}

std::unique_ptr<MusicEncoder> OpenMp3(int fd, const MusicTags& tags) {
    LameApi& a = Api();
    const LameFormat format = MapLameFormat(foundation::ReadSettingDwordInRange(u"LameEncodeFormat", 0, 0, 0xFFFFFFFFu));
    const uint32_t mode = foundation::ReadSettingDwordInRange(u"LameEncodeMode", 0, 0, 3);
    const bool v1 = foundation::ReadSettingDwordInRange(u"LameID3V1", 1, 0, 1) != 0;
    const bool v2 = foundation::ReadSettingDwordInRange(u"LameID3V2", 1, 0, 1) != 0;
    // Read and write: the info tag is written over the file's first frame.
    FILE* file = StreamOverFile(fd, "wb+");
    if (!file) return nullptr;
    lame_global_flags* flags = a.init();
    auto encoder = std::make_unique<Mp3Encoder>(flags, file);
    if (!flags) return nullptr;
    a.setInRate(flags, 44100);
    a.setChannels(flags, 2);   // always two input channels; mono output downmixes
    static const MPEG_mode modes[] = {STEREO, JOINT_STEREO, DUAL_CHANNEL, MONO};
    a.setMode(flags, modes[mode]);
    if (format.preset == kLamePresetAbr) {
        a.setVbr(flags, vbr_abr);
        a.setAbrMean(flags, format.bitrate);
        a.setAbrMin(flags, 32);
        a.setAbrMax(flags, 320);
    } else if (const int preset = PresetConstant(format.preset); preset != 0) {
        a.setPreset(flags, preset);
    } else {
        // CBR, and the voice preset LAME no longer has: CBR at its rate.
        a.setVbr(flags, vbr_off);
        a.setBitrate(flags, format.bitrate);
    }
    a.setCopyright(flags, int(foundation::ReadSettingDwordInRange(u"LameCopyright", 0, 0, 1)));
    a.setOriginal(flags, int(foundation::ReadSettingDwordInRange(u"LameOriginal", 0, 0, 1)));
    a.setWriteVbrTag(flags, 1);
    // Tags are set before the parameters are fixed, so the ID3v2 tag leads the file.
    if (v1 || v2) {
        a.id3Init(flags);
        if (v1 && v2) a.id3AddV2(flags);
        else if (v1) a.id3V1Only(flags);
        else a.id3V2Only(flags);
        auto set = [&](auto setter, const std::u16string& text) {
            if (!text.empty()) setter(flags, Latin1(text).c_str());
        };
        set(a.id3Title, tags.title);
        set(a.id3Artist, tags.artist);
        set(a.id3Comment, tags.comment);
        set(a.id3Album, tags.album);
        set(a.id3Year, tags.year);
        if (!tags.genre.empty()) a.id3Genre(flags, Latin1(tags.genre).c_str());
    } else {
        a.id3Automatic(flags, 0);
    }
    if (a.initParams(flags) < 0) return nullptr;
    return encoder;
}

}  // namespace detail
}  // namespace audio

#pragma once
// What the burn tests share: image documents over files made by the peer
// tools, a face that records every burn-log call, and a music decoder that
// serves PCM the peer tools decoded.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "image/document/image_context.h"
#include "image/sectors/audio_services.h"
#include "image/sectors/format_table.h"
#include "image/sheets/track_list.h"
#include "optical/burn/burn_log.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/fake_services.h"
#include "tests/support/test_support.h"

namespace burntest {

using Bytes = std::vector<uint8_t>;

// An ISO of about `kilobytes` of random data, made by xorriso.
inline std::string MakeIso(const qvtest::TempDir& dir, const std::string& name, int kilobytes) {
    const std::string src = dir / (name + ".src");
    qvtest::RunOk("mkdir -p " + qvtest::ShellQuote(src) + " && head -c " + std::to_string(kilobytes * 1024) +
                  " /dev/urandom > " + qvtest::ShellQuote(src + "/data.bin"));
    const std::string iso = dir / (name + ".iso");
    qvtest::RunOk("xorriso -as mkisofs -quiet -V BURNTEST -o " + qvtest::ShellQuote(iso) + " " +
                  qvtest::ShellQuote(src) + " 2>&1");
    return iso;
}

// An ISO document as the burn engine gets it.
inline std::unique_ptr<image::ImageContext> OpenIso(const std::string& path, int32_t endSector = -1) {
    auto ctx = std::make_unique<image::ImageContext>();
    ctx->imagePath = platform::Utf8ToUtf16(path);
    ctx->imageHandle.reset(
        platform::FileOpenUtf8(path, platform::FileAccess::Read, platform::FileDisposition::OpenExisting));
    EXPECT_TRUE(ctx->imageHandle != nullptr) << path;
    ctx->formatCode = image::format_code::kIso;
    if (const image::ImageFormatRow* row = image::GetImageFormatRow(ctx->formatCode)) {
        ctx->sectorSize = row->sectorSize;
        ctx->userDataOffset = row->userDataOffset;
        ctx->dataOffset = row->dataOffset;
    }
    ctx->endSector = endSector >= 0 ? endSector : int32_t(qvtest::ReadFileBytes(path).size() / 2048);
    return ctx;
}

// Every call the burn log makes to its face, in order.
class RecordingFace final : public optical::IBurnLogServices {
public:
    struct Call {
        char kind;   // 'A' add, 'R' replace
        bool warning;
        std::u16string text;
    };
    void AddEvent(bool warning, std::u16string_view text) override { Push('A', warning, text); }
    void ReplaceLastEvent(bool warning, std::u16string_view text) override { Push('R', warning, text); }
    void SetProgress(int percent) override {
        std::lock_guard lock(mutex_);
        progress.push_back(percent);
    }
    std::vector<Call> Calls() {
        std::lock_guard lock(mutex_);
        return calls;
    }
    bool Has(std::u16string_view text) {
        for (const Call& c : Calls())
            if (c.text.find(text) != std::u16string::npos) return true;
        return false;
    }
    std::vector<int> progress;

private:
    void Push(char kind, bool warning, std::u16string_view text) {
        std::lock_guard lock(mutex_);
        calls.push_back({kind, warning, std::u16string(text)});
    }
    std::mutex mutex_;
    std::vector<Call> calls;
};

struct ScopedFace {
    RecordingFace face;
    foundation::ScopedServices<optical::SetBurnLogServices> installed{&face};
};

// A music decoder over raw PCM files that sox wrote: the track file "x.flac"
// decodes to "x.flac.raw". Reads by file sector (and sequential reads from
// the opened start), zeros after the end; after failAfter sectors served, a
// read fails. `calls` records the player stops and decoder opens in order.
class PcmDecoder final : public qvtest::NullAudioServices {
public:
    void StopPlayerForReading() override { calls.push_back("stop player"); }
    int OpenMusicDecoder(std::u16string_view path, int32_t, int64_t startSector) override {
        calls.push_back("open decoder");
        CloseMusicDecoder();
        file_ = std::fopen((platform::Utf16ToUtf8(path) + ".raw").c_str(), "rb");
        if (!file_) return 0;
        std::fseek(file_, long(startSector * 2352), SEEK_SET);
        ++opens;
        served_ = 0;
        return 1;
    }
    void CloseMusicDecoder() override {
        if (file_) std::fclose(file_);
        file_ = nullptr;
    }
    int ReadTrackData(image::TrackList*, int32_t, void* buffer, uint32_t sectors) override {
        if (!file_ || (failAfter >= 0 && served_ + sectors > uint64_t(failAfter))) return 0;
        const size_t want = size_t(sectors) * 2352;
        const size_t got = std::fread(buffer, 1, want, file_);
        std::fill(static_cast<uint8_t*>(buffer) + got, static_cast<uint8_t*>(buffer) + want, 0);
        served_ += sectors;
        return 1;
    }
    int ReadTrackSectors(const image::TrackList* list, int32_t position, int64_t fileSector, void* buffer,
                         uint32_t sectors) override {
        if (!list || position < 0 || position >= list->trackCount || fileSector < 0) return 0;
        if (failAfter >= 0 && served_ + sectors > uint64_t(failAfter)) return 0;
        const std::string path = platform::Utf16ToUtf8(list->tracks[size_t(position)].fileName) + ".raw";
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) return 0;
        const size_t want = size_t(sectors) * 2352;
        size_t got = 0;
        if (std::fseek(f, long(fileSector * 2352), SEEK_SET) == 0) got = std::fread(buffer, 1, want, f);
        std::fclose(f);
        std::fill(static_cast<uint8_t*>(buffer) + got, static_cast<uint8_t*>(buffer) + want, 0);
        served_ += sectors;
        return 1;
    }
    ~PcmDecoder() override { CloseMusicDecoder(); }
    int opens = 0;
    int64_t failAfter = -1;
    std::vector<std::string> calls;

private:
    std::FILE* file_ = nullptr;
    uint64_t served_ = 0;
};

// Tone tracks made by sox and flac, with their PCM as sox decodes the FLAC.
inline std::string MakeFlacTone(const qvtest::TempDir& dir, const std::string& name, const std::string& seconds,
                                int frequency) {
    const std::string wav = dir / (name + ".wav");
    const std::string flac = dir / (name + ".flac");
    qvtest::RunOk("sox -n -r 44100 -c 2 -b 16 " + qvtest::ShellQuote(wav) + " synth " + seconds + " sine " +
                  std::to_string(frequency) + " 2>&1");
    qvtest::RunOk("flac -s -f -o " + qvtest::ShellQuote(flac) + " " + qvtest::ShellQuote(wav) + " 2>&1");
    qvtest::RunOk("sox " + qvtest::ShellQuote(flac) + " -t raw " + qvtest::ShellQuote(flac + ".raw") + " 2>&1");
    return flac;
}

// Two decoded FLAC tones (440 Hz, then 660 Hz) as an audio CD document: the
// first with a 150-sector pregap before sector 0 (silence, never read), the
// second with a 75-sector one. pcm1/pcm2 are what sox decodes.
struct TwoToneDisc {
    qvtest::TempDir dir;
    PcmDecoder decoder;
    foundation::ScopedServices<image::SetAudioServices> audio{&decoder};
    image::ImageContext ctx;
    std::vector<uint8_t> pcm1, pcm2;
    int32_t length1 = 0, length2 = 0;

    TwoToneDisc(const std::string& seconds1, const std::string& seconds2) {
        const std::string t1 = MakeFlacTone(dir, "t1", seconds1, 440);
        const std::string t2 = MakeFlacTone(dir, "t2", seconds2, 660);
        pcm1 = qvtest::ReadFileBytes(t1 + ".raw");
        pcm2 = qvtest::ReadFileBytes(t2 + ".raw");
        length1 = int32_t((pcm1.size() + 2351) / 2352);
        length2 = int32_t((pcm2.size() + 2351) / 2352);
        image::TrackListPtr list = image::NewTrackList();
        list->trackCount = 2;
        list->firstTrackNumber = 1;
        const std::string files[2] = {t1, t2};
        const int32_t pregaps[2] = {150, 75}, starts[2] = {0, length1 + 75}, lengths[2] = {length1, length2};
        for (size_t i = 0; i < 2; ++i) {
            image::TrackEntry& t = list->tracks[i];
            t.mode = image::track_mode::kAudio;
            t.audioSourceKind = image::kAudioSourceDecoder;
            t.fileName = platform::Utf8ToUtf16(files[i]);
            t.pregap = pregaps[i];
            t.startSector = starts[i];
            t.length = lengths[i];
        }
        ctx.trackList = list.release();
        ctx.formatCode = image::format_code::kAudioCd;
    }
};

}  // namespace burntest

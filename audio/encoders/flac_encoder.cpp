#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <vector>

#include "audio/encoders/encoder_library.h"
#include "audio/encoders/encoders_internal.h"
#include "foundation/settings.h"
#include "platform/text.h"

namespace audio::detail {
namespace {

constexpr char kFlacFile[] = "libFLAC.so.12";
constexpr unsigned kPaddingBytes = 1234;
constexpr size_t kBlockFrames = 588;

struct FlacApi {
    platform::RuntimeLibrary library;
    decltype(&FLAC__stream_encoder_new) newEncoder = nullptr;
    decltype(&FLAC__stream_encoder_delete) deleteEncoder = nullptr;
    decltype(&FLAC__stream_encoder_set_verify) setVerify = nullptr;
    decltype(&FLAC__stream_encoder_set_compression_level) setLevel = nullptr;
    decltype(&FLAC__stream_encoder_set_channels) setChannels = nullptr;
    decltype(&FLAC__stream_encoder_set_bits_per_sample) setBits = nullptr;
    decltype(&FLAC__stream_encoder_set_sample_rate) setRate = nullptr;
    decltype(&FLAC__stream_encoder_set_total_samples_estimate) setTotal = nullptr;
    decltype(&FLAC__stream_encoder_set_metadata) setMetadata = nullptr;
    decltype(&FLAC__stream_encoder_init_FILE) initStream = nullptr;
    decltype(&FLAC__stream_encoder_process_interleaved) process = nullptr;
    decltype(&FLAC__stream_encoder_finish) finish = nullptr;
    decltype(&FLAC__metadata_object_new) newObject = nullptr;
    decltype(&FLAC__metadata_object_delete) deleteObject = nullptr;
    decltype(&FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair) makeEntry = nullptr;
    decltype(&FLAC__metadata_object_vorbiscomment_append_comment) appendComment = nullptr;
};

FlacApi& Api() {
    static FlacApi api;
    return api;
}

class FlacEncoder final : public MusicEncoder {
public:
    ~FlacEncoder() override { Release(); }
    FLAC__StreamEncoder* encoder = nullptr;
    FLAC__StreamMetadata* comment = nullptr;
    FLAC__StreamMetadata* padding = nullptr;

    bool WriteFrames(const int16_t* frames, size_t count) override {
        int32_t wide[2 * kBlockFrames];
        for (size_t done = 0; done < count;) {
            const size_t n = std::min(kBlockFrames, count - done);
            for (size_t i = 0; i < 2 * n; ++i) wide[i] = frames[2 * done + i];
            if (!Api().process(encoder, wide, unsigned(n))) return false;
            done += n;
        }
        return true;
    }
    bool Finish() override {
        // A verify mismatch or a failed last write shows only here.
        const bool ok = encoder && Api().finish(encoder);
        Release();
        return ok;
    }

private:
    void Release() {
        if (encoder) {
            Api().finish(encoder);
            Api().deleteEncoder(encoder);
        }
        if (comment) Api().deleteObject(comment);
        if (padding) Api().deleteObject(padding);
        encoder = nullptr;
        comment = padding = nullptr;
    }
};

bool AddComment(FLAC__StreamMetadata* block, const char* name, const std::u16string& text) {
    if (text.empty()) return true;
    FLAC__StreamMetadata_VorbisComment_Entry entry;
    const std::string value = platform::Utf16ToUtf8(text);
    if (!Api().makeEntry(&entry, name, value.c_str())) return false;
    return Api().appendComment(block, entry, false);
}

}  // namespace

bool LoadFlac(EncoderError* error) {
    FlacApi& a = Api();
    if (a.library.IsOpen()) return true;
    const bool ok = a.library.Load(EncoderLibraryCandidates(kFlacFile)) && a.library.Bind(a.newEncoder, "FLAC__stream_encoder_new") &&
                    a.library.Bind(a.deleteEncoder, "FLAC__stream_encoder_delete") &&
                    a.library.Bind(a.setVerify, "FLAC__stream_encoder_set_verify") &&
                    a.library.Bind(a.setLevel, "FLAC__stream_encoder_set_compression_level") &&
                    a.library.Bind(a.setChannels, "FLAC__stream_encoder_set_channels") &&
                    a.library.Bind(a.setBits, "FLAC__stream_encoder_set_bits_per_sample") &&
                    a.library.Bind(a.setRate, "FLAC__stream_encoder_set_sample_rate") &&
                    a.library.Bind(a.setTotal, "FLAC__stream_encoder_set_total_samples_estimate") &&
                    a.library.Bind(a.setMetadata, "FLAC__stream_encoder_set_metadata") &&
                    a.library.Bind(a.initStream, "FLAC__stream_encoder_init_FILE") &&
                    a.library.Bind(a.process, "FLAC__stream_encoder_process_interleaved") &&
                    a.library.Bind(a.finish, "FLAC__stream_encoder_finish") &&
                    a.library.Bind(a.newObject, "FLAC__metadata_object_new") &&
                    a.library.Bind(a.deleteObject, "FLAC__metadata_object_delete") &&
                    a.library.Bind(a.makeEntry, "FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair") &&
                    a.library.Bind(a.appendComment, "FLAC__metadata_object_vorbiscomment_append_comment");
    if (!ok) {
        ResetFlac();
        LoadFailed(error, kFlacFile);
    }
    return ok;
}

void ResetFlac() {
    FlacApi& a = Api();
    a.library.Close();
    a = FlacApi{};
}

std::unique_ptr<MusicEncoder> OpenFlac(int fd, uint64_t totalBytes, const MusicTags& tags) {
    FlacApi& a = Api();
    auto e = std::make_unique<FlacEncoder>();
    e->encoder = a.newEncoder();
    if (!e->encoder) return nullptr;
    const unsigned level = foundation::ReadSettingDwordInRange(u"FlacCompressionLevel", 5, 0, 8);
    if (!a.setVerify(e->encoder, true) || !a.setLevel(e->encoder, level) || !a.setChannels(e->encoder, 2) ||
        !a.setBits(e->encoder, 16) || !a.setRate(e->encoder, 44100) || !a.setTotal(e->encoder, totalBytes / 4))
        return nullptr;
    e->comment = a.newObject(FLAC__METADATA_TYPE_VORBIS_COMMENT);
    e->padding = a.newObject(FLAC__METADATA_TYPE_PADDING);
    if (!e->comment || !e->padding) return nullptr;
    e->padding->length = kPaddingBytes;
    if (!AddComment(e->comment, "TITLE", tags.title) || !AddComment(e->comment, "ARTIST", tags.artist) ||
        !AddComment(e->comment, "COMPOSER", tags.composer) || !AddComment(e->comment, "COMMENT", tags.comment) ||
        !AddComment(e->comment, "ALBUM", tags.album) || !AddComment(e->comment, "YEAR", tags.year) ||
        !AddComment(e->comment, "GENRE", tags.genre))
        return nullptr;
    FLAC__StreamMetadata* blocks[] = {e->comment, e->padding};
    if (!a.setMetadata(e->encoder, blocks, 2)) return nullptr;
    // The library owns the stream from here and closes it when it finishes;
    // read and write, as it goes back to fill in the stream's header.
    FILE* stream = StreamOverFile(fd, "w+b");
    if (!stream) return nullptr;
    if (a.initStream(e->encoder, stream, nullptr, nullptr) != FLAC__STREAM_ENCODER_INIT_STATUS_OK) return nullptr;
    return e;
}

}  // namespace audio::detail

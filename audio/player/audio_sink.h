#pragma once
// Where the player's PCM goes: CD audio (44,100 Hz, 2 channels, 16-bit
// little-endian) handed over in buffers of at most one period (8 sectors,
// 4,704 frames), with a notice for each buffer the device has finished. The
// output thread keeps four buffers queued and refills one per notice.
//
// QV_AUDIO_SINK picks the sink: unset or empty = the ALSA device "default";
// "alsa:NAME" = the ALSA device NAME; "null" = discard at real-time pace;
// "file:PATH" = write raw s16le to PATH as fast as it is read.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace audio {

constexpr uint32_t kPlayRate = 44100;
constexpr uint32_t kPlayFrameBytes = 4;            // 2 channels x 16 bits
constexpr uint32_t kPeriodFrames = 4704;           // 8 sectors of 588 frames
constexpr uint32_t kPeriodCount = 4;               // buffers queued at once

class AudioSink {
public:
    virtual ~AudioSink() = default;
    // Readies the device for CD audio; false when it is missing or refuses.
    virtual bool Open() = 0;
    // Queues one buffer of whole frames, at most one period; false on failure.
    virtual bool Write(const uint8_t* data, size_t bytes) = 0;
    // Waits until a queued buffer has been played or wakeFd turns readable
    // (wakeFd is not read here); returns the buffers finished since the last
    // call, 0 when woken, -1 when the device failed.
    virtual int Wait(int wakeFd) = 0;
    // Buffers written and not yet reported finished by Wait.
    virtual size_t Queued() const = 0;
    // No more buffers follow: what is queued plays out, Wait reports it.
    virtual void StartDrain() = 0;
    // Discards what is queued (a stop).
    virtual void Drop() = 0;
};

enum class SinkKind { Alsa, Null, File, Unknown };

struct SinkChoice {
    SinkKind kind = SinkKind::Alsa;
    std::string name;   // ALSA device name or file path
};

// Reads a QV_AUDIO_SINK value; null means unset.
SinkChoice ParseSinkChoice(const char* value);
SinkChoice SinkChoiceFromEnvironment();

// The sink a choice names; null for an unknown choice. Nothing is opened yet.
std::unique_ptr<AudioSink> MakeAudioSink(const SinkChoice& choice);
std::unique_ptr<AudioSink> MakeNullSink();
std::unique_ptr<AudioSink> MakeFileSink(const std::string& path);
std::unique_ptr<AudioSink> MakeAlsaSink(const std::string& device);

// Keeps alsa-lib from printing its own complaints to stderr (a machine without
// a sound card would otherwise see a line per failed open).
void SilenceAlsaMessages();

}  // namespace audio

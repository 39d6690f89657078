#pragma once
// Writing CD audio (44,100 Hz, stereo, 16-bit PCM) into a Windows Media Audio
// file: FFmpeg's WMA version 2 encoder in an ASF file. Whole codec frames are
// encoded as they fill; the last one is padded with silence. The writer writes
// into the caller's open file; a failed finish (trailer or flush) is a failure.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace audio {

constexpr int64_t kWmaBitRate = 128000;

class WmaWriter {
public:
    ~WmaWriter();
    WmaWriter(const WmaWriter&) = delete;
    WmaWriter& operator=(const WmaWriter&) = delete;

    // 1 written, 0 failed. A trailing part of a frame waits for the next call.
    int Write(const uint8_t* pcm, size_t bytes);
    // Drains the encoder, writes the trailer and closes the file: true when
    // all of it succeeded. Called once.
    bool Close();
    // Time of the next sample in 100-nanosecond units (bytes x 10,000,000 / 176,400 per write).
    int64_t SampleTime() const { return sampleTime_; }

    struct State;

private:
    friend std::unique_ptr<WmaWriter> CreateWmaWriter(int fd);
    WmaWriter();
    std::unique_ptr<State> state_;
    int64_t sampleTime_ = 0;
};

// The writer with writing begun into the open, empty file fd (the caller keeps
// owning it and keeps it open until Close); null when FFmpeg cannot make the file.
std::unique_ptr<WmaWriter> CreateWmaWriter(int fd);

}  // namespace audio

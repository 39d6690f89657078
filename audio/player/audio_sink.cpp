// The sinks without a sound card: the null sink keeps real-time pace so the
// player behaves as with a device; the file sink captures the stream unpaced.

#include "audio/player/audio_sink.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <string_view>

namespace audio {
namespace {

using Clock = std::chrono::steady_clock;

// Waits for wakeFd for at most timeoutMs (-1 = no limit).
void PollWake(int wakeFd, int timeoutMs) {
    pollfd fd{wakeFd, POLLIN, 0};
    while (::poll(&fd, wakeFd >= 0 ? 1 : 0, timeoutMs) < 0 && errno == EINTR) {
    }
}

class NullSink final : public AudioSink {
public:
    bool Open() override { return true; }
    bool Write(const uint8_t*, size_t bytes) override {
        const auto now = Clock::now();
        const Clock::time_point from = due_.empty() || due_.back() < now ? now : due_.back();
        const auto length = std::chrono::microseconds(int64_t(bytes / kPlayFrameBytes) * 1000000 / kPlayRate);
        due_.push_back(from + length);
        return true;
    }
    int Wait(int wakeFd) override {
        if (due_.empty()) {
            PollWake(wakeFd, 1000);
            return 0;
        }
        auto now = Clock::now();
        if (due_.front() > now) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(due_.front() - now).count();
            PollWake(wakeFd, int(left));
            now = Clock::now();
        }
        int done = 0;
        while (!due_.empty() && due_.front() <= now) {
            due_.pop_front();
            ++done;
        }
        return done;
    }
    size_t Queued() const override { return due_.size(); }
    void StartDrain() override {}
    void Drop() override { due_.clear(); }

private:
    std::deque<Clock::time_point> due_;
};

class FileSink final : public AudioSink {
public:
    explicit FileSink(std::string path) : path_(std::move(path)) {}
    ~FileSink() override {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Open() override {
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        return fd_ >= 0;
    }
    bool Write(const uint8_t* data, size_t bytes) override {
        while (bytes > 0) {
            const ssize_t n = ::write(fd_, data, bytes);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            data += n;
            bytes -= size_t(n);
        }
        ++queued_;
        return true;
    }
    int Wait(int wakeFd) override {
        if (queued_ == 0) {
            PollWake(wakeFd, 1000);
            return 0;
        }
        const int done = int(queued_);
        queued_ = 0;
        return done;
    }
    size_t Queued() const override { return queued_; }
    void StartDrain() override {}
    void Drop() override { queued_ = 0; }

private:
    std::string path_;
    int fd_ = -1;
    size_t queued_ = 0;
};

}  // namespace

SinkChoice ParseSinkChoice(const char* value) {
    const std::string_view text = value == nullptr ? std::string_view{} : std::string_view{value};
    if (text.empty()) return {SinkKind::Alsa, "default"};
    if (text == "null") return {SinkKind::Null, {}};
    if (text.starts_with("alsa:") && text.size() > 5) return {SinkKind::Alsa, std::string(text.substr(5))};
    if (text.starts_with("file:") && text.size() > 5) return {SinkKind::File, std::string(text.substr(5))};
    return {SinkKind::Unknown, std::string(text)};
}

SinkChoice SinkChoiceFromEnvironment() { return ParseSinkChoice(std::getenv("QV_AUDIO_SINK")); }

std::unique_ptr<AudioSink> MakeNullSink() { return std::make_unique<NullSink>(); }
std::unique_ptr<AudioSink> MakeFileSink(const std::string& path) { return std::make_unique<FileSink>(path); }

std::unique_ptr<AudioSink> MakeAudioSink(const SinkChoice& choice) {
    switch (choice.kind) {
        case SinkKind::Alsa: return MakeAlsaSink(choice.name);
        case SinkKind::Null: return MakeNullSink();
        case SinkKind::File: return MakeFileSink(choice.name);
        case SinkKind::Unknown: break;
    }
    return nullptr;
}

}  // namespace audio

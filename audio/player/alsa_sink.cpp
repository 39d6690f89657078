// The ALSA sink: a non-blocking PCM of four 4,704-frame periods. A finished
// buffer is seen as room in the device's ring; the thread polls the PCM's
// descriptors together with its own wake-up descriptor, so no timer runs.

#include <alsa/asoundlib.h>
#include <poll.h>

#include <cerrno>
#include <deque>
#include <mutex>
#include <vector>

#include "audio/player/audio_sink.h"

namespace audio {
namespace {

void QuietAlsaHandler(const char*, int, const char*, int, const char*, ...) {}

struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};

class AlsaSink final : public AudioSink {
public:
    explicit AlsaSink(std::string device) : device_(std::move(device)) {}

    bool Open() override {
        SilenceAlsaMessages();
        snd_pcm_t* raw = nullptr;
        if (snd_pcm_open(&raw, device_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return false;
        pcm_.reset(raw);
        snd_pcm_hw_params_t* hw = nullptr;
        snd_pcm_hw_params_alloca(&hw);
        snd_pcm_uframes_t period = kPeriodFrames;
        unsigned periods = kPeriodCount;
        int dir = 0;
        if (snd_pcm_hw_params_any(raw, hw) < 0 ||
            snd_pcm_hw_params_set_access(raw, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
            snd_pcm_hw_params_set_format(raw, hw, SND_PCM_FORMAT_S16_LE) < 0 ||
            snd_pcm_hw_params_set_channels(raw, hw, 2) < 0 || snd_pcm_hw_params_set_rate(raw, hw, kPlayRate, 0) < 0 ||
            snd_pcm_hw_params_set_period_size_near(raw, hw, &period, &dir) < 0 ||
            snd_pcm_hw_params_set_periods_near(raw, hw, &periods, &dir) < 0 || snd_pcm_hw_params(raw, hw) < 0) {
            pcm_.reset();
            return false;
        }
        snd_pcm_uframes_t bufferFrames = 0;
        snd_pcm_hw_params_get_buffer_size(hw, &bufferFrames);
        bufferFrames_ = int64_t(bufferFrames);
        snd_pcm_sw_params_t* sw = nullptr;
        snd_pcm_sw_params_alloca(&sw);
        // Playing starts with the first whole period; the priming fills the
        // other three long before it is done.
        if (snd_pcm_sw_params_current(raw, sw) < 0 ||
            snd_pcm_sw_params_set_start_threshold(raw, sw, period) < 0 ||
            snd_pcm_sw_params_set_avail_min(raw, sw, period) < 0 || snd_pcm_sw_params(raw, sw) < 0) {
            pcm_.reset();
            return false;
        }
        const int count = snd_pcm_poll_descriptors_count(raw);
        if (count <= 0) {
            pcm_.reset();
            return false;
        }
        fds_.resize(size_t(count) + 1);
        return true;
    }

    bool Write(const uint8_t* data, size_t bytes) override {
        snd_pcm_uframes_t frames = bytes / kPlayFrameBytes;
        const snd_pcm_uframes_t total = frames;
        for (int tries = 0; frames > 0 && tries < 100; ++tries) {
            const snd_pcm_sframes_t n = snd_pcm_writei(pcm_.get(), data, frames);
            if (n == -EAGAIN) {
                snd_pcm_wait(pcm_.get(), 100);
                continue;
            }
            if (n == -EPIPE) {
                // The device ran dry: what it held has been played.
                CompleteAll();
                if (snd_pcm_prepare(pcm_.get()) < 0) return false;
                continue;
            }
            if (n < 0) return false;
            data += size_t(n) * kPlayFrameBytes;
            frames -= snd_pcm_uframes_t(n);
        }
        if (frames > 0) return false;
        buffers_.push_back(int64_t(total));
        queuedFrames_ += int64_t(total);
        return true;
    }

    int Wait(int wakeFd) override {
        if (buffers_.empty() && finished_ == 0) {
            pollfd wake{wakeFd, POLLIN, 0};
            ::poll(&wake, 1, 1000);
            return 0;
        }
        // A stream shorter than a period (or one after an underrun) would
        // otherwise never start, and the poll would report room forever.
        if (!buffers_.empty() && snd_pcm_state(pcm_.get()) == SND_PCM_STATE_PREPARED) snd_pcm_start(pcm_.get());
        if (finished_ == 0) {
            const int count = snd_pcm_poll_descriptors(pcm_.get(), fds_.data(), unsigned(fds_.size() - 1));
            fds_[size_t(count)] = {wakeFd, POLLIN, 0};
            if (::poll(fds_.data(), nfds_t(count) + 1, 1000) < 0 && errno != EINTR) return -1;
        }
        Account();
        if (failed_) return -1;
        const int done = finished_;
        finished_ = 0;
        return done;
    }

    size_t Queued() const override { return buffers_.size() + size_t(finished_); }

    void StartDrain() override {
        if (!pcm_ || buffers_.empty()) return;
        const int r = snd_pcm_drain(pcm_.get());
        if (r < 0 && r != -EAGAIN) CompleteAll();
    }

    void Drop() override {
        if (!pcm_) return;
        snd_pcm_drop(pcm_.get());
        buffers_.clear();
        queuedFrames_ = 0;
        finished_ = 0;
        snd_pcm_prepare(pcm_.get());
    }

private:
    void CompleteAll() {
        finished_ += int(buffers_.size());
        buffers_.clear();
        queuedFrames_ = 0;
    }

    // Turns the room in the device's ring into finished buffers.
    void Account() {
        const snd_pcm_state_t state = snd_pcm_state(pcm_.get());
        if (state == SND_PCM_STATE_SETUP || state == SND_PCM_STATE_XRUN) {
            // Drained, or ran dry: everything queued has been played.
            CompleteAll();
            if (state == SND_PCM_STATE_XRUN && snd_pcm_prepare(pcm_.get()) < 0) failed_ = true;
            return;
        }
        snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_.get());
        if (avail == -EPIPE) {
            CompleteAll();
            if (snd_pcm_prepare(pcm_.get()) < 0) failed_ = true;
            return;
        }
        if (avail < 0) {
            failed_ = snd_pcm_recover(pcm_.get(), int(avail), 1) < 0;
            return;
        }
        const int64_t held = bufferFrames_ - int64_t(avail);
        int64_t played = queuedFrames_ - (held > 0 ? held : 0);
        while (!buffers_.empty() && buffers_.front() <= played) {
            played -= buffers_.front();
            queuedFrames_ -= buffers_.front();
            buffers_.pop_front();
            ++finished_;
        }
    }

    std::string device_;
    std::unique_ptr<snd_pcm_t, PcmCloser> pcm_;
    std::vector<pollfd> fds_;
    std::deque<int64_t> buffers_;   // frames of each buffer still in the device
    int64_t queuedFrames_ = 0;
    int64_t bufferFrames_ = 0;
    int finished_ = 0;
    bool failed_ = false;
};

}  // namespace

void SilenceAlsaMessages() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&QuietAlsaHandler); });
}

std::unique_ptr<AudioSink> MakeAlsaSink(const std::string& device) { return std::make_unique<AlsaSink>(device); }

}  // namespace audio

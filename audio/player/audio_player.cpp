// The player's walk through its play list and the one output thread.
//
// Everything that moves a player (choosing tracks, seeking, reading, feeding
// the sink, ending) happens on the output thread; other threads only set the
// player's request atomics and post a command. The thread lives as long as
// the process, so a player that ends never takes the thread's state with it.

#include "audio/player/audio_player.h"

#include <sys/eventfd.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <deque>
#include <future>
#include <thread>

#include "foundation/settings.h"
#include "image/document/image_context.h"
#include "image/sectors/audio_services.h"
#include "image/sectors/sector_io.h"
#include "image/sheets/track_list.h"

namespace audio {
namespace {
// A pending seek holds the play-list index it was meant for above the sector.
constexpr int kSeekIndexShift = 40;
constexpr int64_t kSeekPositionMask = (int64_t(1) << kSeekIndexShift) - 1;

// The player started last, for callers that never saw its handle.
std::mutex g_lastStartedMutex;
std::weak_ptr<AudioPlayer> g_lastStarted;
}  // namespace

class OutputThread {
public:
    static OutputThread& Instance() {
        static OutputThread thread;
        return thread;
    }

    // Hands a primed player over; false when opening or priming failed.
    bool Start(const std::shared_ptr<AudioPlayer>& player) {
        std::promise<bool> primed;
        std::future<bool> result = primed.get_future();
        Post({Kind::Start, player, std::move(primed)});
        return result.get();
    }
    void Stop(const std::shared_ptr<AudioPlayer>& player) { Post({Kind::Stop, player, {}}); }
    bool OnThisThread() const { return std::this_thread::get_id() == thread_.get_id(); }

private:
    enum class Kind { Start, Stop, Quit };
    struct Command {
        Kind kind;
        std::shared_ptr<AudioPlayer> player;
        std::promise<bool> primed;
    };

    OutputThread() : wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        thread_ = std::thread([this] { Run(); });
    }
    ~OutputThread() {
        Post({Kind::Quit, nullptr, {}});
        thread_.join();
        ::close(wakeFd_);
    }

    void Post(Command command) {
        {
            std::lock_guard lock(mutex_);
            commands_.push_back(std::move(command));
        }
        const uint64_t one = 1;
        while (::write(wakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }

    void Run() {
        for (;;) {
            uint64_t count = 0;
            while (::read(wakeFd_, &count, sizeof count) < 0 && errno == EINTR) {
            }
            std::deque<Command> commands;
            {
                std::lock_guard lock(mutex_);
                commands.swap(commands_);
            }
            for (Command& command : commands) {
                switch (command.kind) {
                    case Kind::Quit:
                        if (current_) Finish(*current_, End::Quit);
                        return;
                    case Kind::Start:
                        if (current_) Finish(*current_, End::Stopped);
                        current_ = command.player;
                        if (Prime(*current_)) {
                            command.primed.set_value(true);
                        } else {
                            Finish(*current_, End::NotStarted);
                            current_.reset();
                            command.primed.set_value(false);
                        }
                        break;
                    case Kind::Stop:
                        if (current_ && command.player == current_) {
                            Finish(*current_, End::Stopped);
                            current_.reset();
                        }
                        break;
                }
            }
            if (!current_) {
                pollfd wake{wakeFd_, POLLIN, 0};
                ::poll(&wake, 1, -1);
                continue;
            }
            Serve(*current_);
        }
    }

    // One round of a playing player: wait for finished buffers and refill them.
    void Serve(AudioPlayer& player) {
        AudioSink& sink = *player.sink_;
        if (player.listEnded_ && sink.Queued() == 0) {
            Finish(player, End::PlayedOut);
            current_.reset();
            return;
        }
        const int done = sink.Wait(wakeFd_);
        if (done < 0) {
            player.errorFlag_ = true;
            Finish(player, End::Stopped);
            current_.reset();
            return;
        }
        for (int i = 0; i < done && !player.listEnded_; ++i) {
            if (!Feed(player)) {
                player.errorFlag_ = true;
                Finish(player, End::Stopped);
                current_.reset();
                return;
            }
        }
    }

    bool Prime(AudioPlayer& player) {
        if (!player.sink_ || !player.sink_->Open()) return false;
        for (size_t i = 0; i < kPlayBufferCount && !player.listEnded_; ++i)
            if (!Feed(player)) return false;
        return true;
    }

    // Reads the next buffer and queues it; at the end of the play list the
    // sink plays out what it holds. False on a read or output failure.
    bool Feed(AudioPlayer& player) {
        size_t bytes = 0;
        const int r = FillPlayBuffer(player, buffer_.data(), bytes);
        if (r < 0) return false;
        if (r > 0) {
            player.listEnded_ = true;
            player.sink_->StartDrain();
            return true;
        }
        return player.sink_->Write(buffer_.data(), bytes);
    }

    // 0 filled, 1 the play list has ended, -1 read failure.
    static int FillPlayBuffer(AudioPlayer& player, uint8_t* buffer, size_t& bytes) {
        if (!ApplySeek(player)) return -1;
        const int32_t request = player.trackRequest_.exchange(kTrackRequestNone);
        if (player.CurrentIndex() < 0 || request != kTrackRequestNone ||
            player.position_.load() >= player.trackLength_.load()) {
            const int r = AdvanceToTrackWithData(player, request == kTrackRequestPrevious);
            if (r != 0) return r;
        }
        const int64_t left = player.trackLength_.load() - player.position_.load();
        const int32_t sectors = int32_t(std::min<int64_t>(left, kSectorsPerBuffer));
        bytes = size_t(sectors) * 2352;
        const int64_t first = player.trackStart_ + player.position_.load();
        if (first < INT32_MIN || first > INT32_MAX) return -1;
        if (image::ReadRawSectors(*player.document_, int32_t(first), buffer, sectors) != sectors) return -1;
        player.position_ += sectors;
        return 0;
    }

    // Steps through the play list (backwards for a previous request) until a
    // track with sectors to play; tracks of no length are passed over, and a
    // list where no track has any ends playback. 0, 1 ended, -1 failure.
    static int AdvanceToTrackWithData(AudioPlayer& player, bool back) {
        const image::TrackList* list = player.document_->trackList;
        const bool anyData = std::any_of(player.playList_.begin(), player.playList_.end(),
                                          [&](int32_t t) { return TrackSectors(*list, t) > 0; });
        if (!anyData) {
            SetNoTrack(player);
            return 1;
        }
        // Random order could in theory keep drawing empty tracks; a bound
        // far above any real need keeps that finite.
        for (int guard = 0; guard < 100000; ++guard) {
            const int32_t index = NextIndex(player, back);
            if (index < 0) {
                SetNoTrack(player);
                return 1;
            }
            if (!SelectPlayTrack(player, index)) return -1;
            if (player.trackLength_.load() > 0) return 0;
        }
        SetNoTrack(player);
        return 1;
    }

    static int64_t TrackSectors(const image::TrackList& list, int32_t t) {
        const image::TrackEntry& e = list.tracks[size_t(t)];
        return std::max<int64_t>(0, int64_t(e.length) + std::max(e.postgap, 0) + std::max(e.pregap, 0));
    }

    static void SetNoTrack(AudioPlayer& player) {
        image::CloseMusicDecoder();
        player.currentIndex_ = -1;
        player.playingTrack_ = -1;
    }

    static int32_t NextIndex(AudioPlayer& player, bool back) {
        image::CloseMusicDecoder();
        const bool first = !player.callbacksArmed_;
        const uint32_t status = first ? player.status_
                                      : (player.readStatus_ ? player.readStatus_() : foundation::GetStatusFlags());
        const int32_t count = player.PlayListCount();
        if (count <= 0) return -1;
        if (status & kStatusRandomOrder)
            return std::uniform_int_distribution<int32_t>(0, count - 1)(player.random_);
        const bool repeat = (status & kStatusRepeat) != 0;
        const int32_t index = player.CurrentIndex();
        if (back) {
            if (index - 1 >= 0) return index - 1;
            return repeat ? count - 1 : -1;
        }
        if (index + 1 < count) return index + 1;
        return repeat ? 0 : -1;
    }

    static bool SelectPlayTrack(AudioPlayer& player, int32_t index) {
        const image::TrackList& list = *player.document_->trackList;
        const int32_t t = player.playList_[size_t(index)];
        const image::TrackEntry& e = list.tracks[size_t(t)];
        player.trackStart_ = int64_t(e.startSector) - std::max(e.pregap, 0);
        player.position_ = 0;
        player.trackLength_ = TrackSectors(list, t);
        player.currentIndex_ = index;
        player.playingTrack_ = t;
        if (player.callbacksArmed_ && player.onTrackChange_) player.onTrackChange_(player);
        player.callbacksArmed_ = true;
        if (e.audioSourceKind == image::kAudioSourceDecoder && !e.fileName.empty())
            return image::OpenMusicDecoder(e.fileName, e.audioSourceKind, image::GetTrackSourceStart(&list, t)) == 1;
        return true;
    }

    // A seek is taken at a buffer boundary so the decoder is never moved
    // while it is being read.
    static bool ApplySeek(AudioPlayer& player) {
        const int64_t pending = player.pendingSeek_.exchange(-1);
        const int32_t index = player.CurrentIndex();
        if (pending < 0 || index < 0) return true;
        // A seek meant for a track that has ended in the meantime is dropped.
        if ((pending >> kSeekIndexShift) != index) return true;
        const int64_t wanted = pending & kSeekPositionMask;
        const int64_t position = std::min(wanted, player.trackLength_.load());
        player.position_ = position;
        const image::TrackList& list = *player.document_->trackList;
        const int32_t t = player.playList_[size_t(index)];
        const image::TrackEntry& e = list.tracks[size_t(t)];
        if (e.audioSourceKind != image::kAudioSourceDecoder || e.fileName.empty()) return true;
        // Sector of the track's file: the file holds the track from its
        // stored pregap on; made-up pregap frames come before it and made-up
        // postgap frames after it, neither through the decoder.
        const int64_t fileStart = int64_t(e.index01Position) - std::max(e.pregapInFile, 0);
        int64_t p = position - std::max(e.pregap, 0) + e.index01Position;
        if (p < fileStart) p = fileStart;
        if (p >= int64_t(e.length) + std::max(e.storedPostgap, 0) + e.index01Position) return true;
        return image::OpenMusicDecoder(e.fileName, e.audioSourceKind, p) == 1;
    }

    enum class End {
        PlayedOut,    // the play list ended and the sink has played everything
        Stopped,      // a stop, a failure, or a newer player: queued buffers are dropped
        NotStarted,   // opening or priming failed: StartPlayback reports it, no callback
        Quit,         // the process is ending: nothing is called any more
    };

    // Ends a player: the end callback runs, then waiters are released.
    void Finish(AudioPlayer& player, End how) {
        if (player.sink_ && how != End::PlayedOut) player.sink_->Drop();
        player.sink_.reset();
        if (how != End::Quit) SetNoTrack(player);
        player.currentIndex_ = -1;
        player.playingTrack_ = -1;
        if (how == End::PlayedOut || how == End::Stopped) {
            const PlayerCallback& end = player.errorFlag_ ? player.onErrorEnd_ : player.onNormalEnd_;
            if (end) end(player);
        }
        {
            std::lock_guard lock(player.endMutex_);
            player.finished_ = true;
        }
        player.endSignal_.notify_all();
    }

    int wakeFd_;
    std::mutex mutex_;
    std::deque<Command> commands_;
    std::shared_ptr<AudioPlayer> current_;
    std::array<uint8_t, kPlayBufferBytes> buffer_{};
    std::thread thread_;
};

bool AudioPlayer::Finished() const {
    std::lock_guard lock(endMutex_);
    return finished_;
}

std::shared_ptr<AudioPlayer> StartPlayback(PlaybackRequest request) {
    // Started from a player's own callback, the wait for priming below would
    // wait for the very thread that is asking.
    if (request.document == nullptr || OutputThread::Instance().OnThisThread()) return nullptr;
    auto player = std::make_shared<AudioPlayer>();
    player->document_ = request.document;
    const image::TrackList* list = request.document->trackList;
    const int32_t tracks = list ? std::clamp(list->trackCount, 0, image::kMaxTracks) : 0;
    if (!request.positions.empty()) {
        for (int32_t t : request.positions) {
            if (player->playList_.size() >= size_t(kMaxPlayList)) break;
            if (t >= 0 && t < tracks) player->playList_.push_back(t);
        }
    } else {
        for (int32_t t = 0; t < tracks; ++t)
            if (list->tracks[size_t(t)].mode == image::track_mode::kAudio) player->playList_.push_back(t);
    }
    player->status_ = request.status;
    player->readStatus_ = std::move(request.readStatus);
    player->onTrackChange_ = std::move(request.onTrackChange);
    player->onNormalEnd_ = std::move(request.onNormalEnd);
    player->onErrorEnd_ = std::move(request.onErrorEnd);
    player->sink_ = request.sink ? std::move(request.sink) : MakeAudioSink(SinkChoiceFromEnvironment());
    if (!player->sink_) return nullptr;
    player->random_.seed(request.randomSeed != 0 ? request.randomSeed : std::random_device{}());
    if (!OutputThread::Instance().Start(player)) return nullptr;
    {
        std::lock_guard lock(g_lastStartedMutex);
        g_lastStarted = player;
    }
    return player;
}

void StopPlayback(const std::shared_ptr<AudioPlayer>& player) {
    if (!player || player->stopFlag_.exchange(true)) return;
    OutputThread::Instance().Stop(player);
}

void StopPlaybackAndWait(const std::shared_ptr<AudioPlayer>& player) {
    if (!player) return;
    StopPlayback(player);
    if (OutputThread::Instance().OnThisThread()) return;
    std::unique_lock lock(player->endMutex_);
    player->endSignal_.wait(lock, [&] { return player->finished_; });
}

std::shared_ptr<AudioPlayer> CurrentPlayback() {
    std::shared_ptr<AudioPlayer> player;
    {
        std::lock_guard lock(g_lastStartedMutex);
        player = g_lastStarted.lock();
    }
    return player && !player->Finished() ? player : nullptr;
}

void SeekPlayback(AudioPlayer& player, int64_t position) {
    const int32_t index = player.CurrentIndex();
    if (index < 0) return;
    player.pendingSeek_ = (int64_t(index) << kSeekIndexShift) | std::clamp<int64_t>(position, 0, kSeekPositionMask);
}

void SetTrackRequest(AudioPlayer& player, int32_t request) {
    if (request == kTrackRequestPrevious || request == kTrackRequestNext) player.trackRequest_ = request;
}

}  // namespace audio

#pragma once
// Plays the tracks of a document (an audio CD project or an image with audio
// tracks) through an AudioSink. One output thread serves every player for the
// whole life of the process: it reads the sectors (ReadRawSectors, which goes
// through the music decoder for music-file tracks), keeps four buffers of
// 8 sectors queued, and refills one whenever the sink has played one.
//
// The player is shared: the caller keeps its shared_ptr and reads the
// published state (atomics) from any thread; the output thread never touches
// the document's track list beyond reading it, so the caller's thread owns the
// list's playing-track mark and display names and updates them from the
// callbacks' notices.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <vector>

#include "audio/player/audio_sink.h"

namespace image {
struct ImageContext;
}

namespace audio {

constexpr int32_t kMaxPlayList = 99;
constexpr size_t kPlayBufferCount = 4;
constexpr int32_t kSectorsPerBuffer = 8;
constexpr size_t kPlayBufferBytes = 8 * 2352;   // 18,816

// Bits of the "Status" setting the player reads.
constexpr uint32_t kStatusRandomOrder = 0x100;
constexpr uint32_t kStatusRepeat = 0x200;

// The track request of the frame's Previous and Next commands.
constexpr int32_t kTrackRequestNone = 0;
constexpr int32_t kTrackRequestPrevious = 1;
constexpr int32_t kTrackRequestNext = 2;

class AudioPlayer;
// Called on the output thread; must not wait for the window thread (post to it).
using PlayerCallback = std::function<void(AudioPlayer&)>;

struct PlaybackRequest {
    image::ImageContext* document = nullptr;   // must outlive the player's end
    std::vector<int32_t> positions;            // track positions; empty: every audio track
    uint32_t status = 0;                       // "Status" for the first choice
    // Read again at each later track choice; null: the "Status" setting.
    std::function<uint32_t()> readStatus;
    PlayerCallback onTrackChange;   // each track after the first
    PlayerCallback onNormalEnd;
    PlayerCallback onErrorEnd;      // a read or output failure ended playback
    std::unique_ptr<AudioSink> sink;   // null: the one QV_AUDIO_SINK names
    uint32_t randomSeed = 0;           // 0: a seed from the system
};

class AudioPlayer {
public:
    // Published by the output thread.
    int32_t CurrentIndex() const { return currentIndex_.load(); }   // into the play list, -1 none
    int32_t PlayingTrack() const { return playingTrack_.load(); }   // track position, -1 none
    int64_t Position() const { return position_.load(); }           // sectors of the track read
    int64_t TrackLength() const { return trackLength_.load(); }     // sectors of the track to read
    int32_t PlayListCount() const { return int32_t(playList_.size()); }
    bool Finished() const;          // the end callback has run
    bool EndedByError() const { return errorFlag_.load(); }

private:
    friend class OutputThread;
    friend std::shared_ptr<AudioPlayer> StartPlayback(PlaybackRequest request);
    friend void StopPlayback(const std::shared_ptr<AudioPlayer>& player);
    friend void StopPlaybackAndWait(const std::shared_ptr<AudioPlayer>& player);
    friend void SeekPlayback(AudioPlayer& player, int64_t position);
    friend void SetTrackRequest(AudioPlayer& player, int32_t request);

    image::ImageContext* document_ = nullptr;
    std::vector<int32_t> playList_;
    uint32_t status_ = 0;
    std::function<uint32_t()> readStatus_;
    PlayerCallback onTrackChange_, onNormalEnd_, onErrorEnd_;
    std::unique_ptr<AudioSink> sink_;
    std::mt19937 random_;

    // Output thread only.
    int64_t trackStart_ = 0;
    bool callbacksArmed_ = false;
    bool listEnded_ = false;

    std::atomic<int32_t> currentIndex_{-1};
    std::atomic<int32_t> playingTrack_{-1};
    std::atomic<int64_t> position_{0};
    std::atomic<int64_t> trackLength_{0};
    std::atomic<int32_t> trackRequest_{kTrackRequestNone};
    std::atomic<int64_t> pendingSeek_{-1};   // play-list index << 40 | sector; -1 none
    std::atomic<bool> stopFlag_{false};
    std::atomic<bool> errorFlag_{false};

    mutable std::mutex endMutex_;
    std::condition_variable endSignal_;
    bool finished_ = false;
};

// Starts playing; null when the device cannot be opened, the first buffers
// cannot be read, the request names no document, or it comes from a player's
// callback. A player still playing is stopped first (with its end callback). An empty play list plays
// nothing and ends at once with the normal-end callback.
std::shared_ptr<AudioPlayer> StartPlayback(PlaybackRequest request);
// Asks playback to end; returns at once. A second call does nothing.
void StopPlayback(const std::shared_ptr<AudioPlayer>& player);
// Stops and returns once the end callback has run. Called on the output
// thread (from a callback) it only stops, as waiting there could never end.
void StopPlaybackAndWait(const std::shared_ptr<AudioPlayer>& player);
// The player started last, while it has not ended; null otherwise. Lets a
// reader that needs the music decoder stop playback it did not start.
std::shared_ptr<AudioPlayer> CurrentPlayback();
// Moves to a sector of the current track (0..its length); the output thread
// applies it before the next buffer, unless that track has ended by then.
void SeekPlayback(AudioPlayer& player, int64_t position);
// kTrackRequestPrevious or kTrackRequestNext: the track changes at the next buffer.
void SetTrackRequest(AudioPlayer& player, int32_t request);

}  // namespace audio

#pragma once
// The frame's player commands: play, stop, previous and next track, the two
// player options of "Status" and the master volume. The frame holds at most
// one player; its notices come from the output thread and are posted here, so
// the track list's playing mark is only ever changed on the window thread.

#include <QObject>

#include <cstdint>
#include <memory>

namespace audio {
class AudioPlayer;
}

namespace app::ui {

class PlayerCommands : public QObject {
    Q_OBJECT
public:
    // Answers the Player group of the command table while it exists.
    explicit PlayerCommands(QObject* parent);
    ~PlayerCommands() override;

    // Stops the player and returns once it has let go of the document.
    void StopPlayer();
    const std::shared_ptr<audio::AudioPlayer>& Player() const { return player_; }

    void Run(uint32_t id);
    bool Enabled(uint32_t id) const;
    bool Checked(uint32_t id) const;

private:
    void Play();
    // The chosen tracks one place up or down, still chosen afterwards.
    void MoveTracks(bool up);
    void OnTrackChanged(const audio::AudioPlayer* player);
    void OnEnded(const audio::AudioPlayer* player);

    std::shared_ptr<audio::AudioPlayer> player_;
};

}  // namespace app::ui

#pragma once
// The bar above the track list: play, stop, previous and next track, play all,
// play the selection, the track view's mode, a seek slider and the master
// volume. Its buttons are commands of the main frame, so they behave the same
// from the bar, the menus and the keys, whichever view has the focus.

#include <QToolBar>

#include <atomic>
#include <cstdint>

namespace dialogs::ui {
class CBitmapSlider;
}

namespace app::ui {

class CMainFrame;

class CPlayerBar : public QToolBar {
    Q_OBJECT

public:
    static constexpr int kSeekSliderId = 33132;
    static constexpr int kVolumeSliderId = 33142;

    explicit CPlayerBar(CMainFrame* frame, QWidget* parent = nullptr);

    dialogs::ui::CBitmapSlider* SeekSlider() const { return seek_; }
    dialogs::ui::CBitmapSlider* VolumeSlider() const { return volume_; }

    // Moves the playing track to percent of its length (the last sector at most).
    static void Seek(int percent);
    // Where percent of a track of length sectors lies: one past the share,
    // at most the length; 0 for an empty track.
    static int64_t SeekTarget(int percent, int64_t length);
    // Seeks asked of the player so far (the tests count a drag's seeks).
    static int SeekCount();
    // The timer's work: the seek slider follows the player unless the user
    // holds it.
    void Refresh();

private:
    static inline std::atomic<int> seekCount_{0};
    CMainFrame* frame_;
    dialogs::ui::CBitmapSlider* seek_ = nullptr;
    dialogs::ui::CBitmapSlider* volume_ = nullptr;
};

}  // namespace app::ui

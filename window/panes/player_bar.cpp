#include "window/panes/player_bar.h"

#include <QAction>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

#include "audio/player/audio_player.h"
#include "audio/player/mixer_volume.h"
#include "foundation/language.h"
#include "window/dialogs/app_dialog.h"
#include "window/dialogs/bitmap_slider.h"
#include "window/faces/icons.h"
#include "window/faces/menu_adapter.h"
#include "window/frame/main_frame.h"
#include "window/frame/main_toolbars.h"

namespace app::ui {

namespace {

using dialogs::ui::CBitmapSlider;

struct PlayerButton {
    uint32_t id;
    const char* icon;
    uint32_t textId;
    const char16_t* text;
};
constexpr PlayerButton kButtons[] = {
    {33134, "media-playback-start", 33134, u"Play"},
    {33135, "media-playback-stop", 33135, u"Stop"},
    {33136, "go-previous", 33136, u"Previous Track"},
    {33137, "go-next", 33137, u"Next Track"},
    {0, nullptr, 0, nullptr},
    {33139, "audio-x-generic", 33139, u"Play All"},
    {33140, "media-record", 33140, u"Play Selection"},
    {0, nullptr, 0, nullptr},
    {33146, "format-justify-fill", 33146, u"Track View"},
};
constexpr int kRefreshMilliseconds = 500;
constexpr int kSeekWidth = 220;
constexpr int kVolumeWidth = 68;

}  // namespace

CPlayerBar::CPlayerBar(CMainFrame* frame, QWidget* parent) : QToolBar(parent), frame_(frame) {
    setObjectName(QStringLiteral("CPlayerBar"));
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(16, 16));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (const PlayerButton& button : kButtons) {
        if (button.id == 0) {
            addSeparator();
            continue;
        }
        auto* action = new QAction(BarIcon(button.icon, {16, 24}),
                                   QString::fromStdU16String(foundation::GetLangString(button.textId, button.text)),
                                   this);
        action->setProperty(foundation::ui::kCommandIdProperty, button.id);
        const uint32_t id = button.id;
        connect(action, &QAction::triggered, this, [this, id] {
            if (frame_) frame_->ExecuteCommand(id);
        });
        addAction(action);
    }
    addSeparator();

    seek_ = new CBitmapSlider(Qt::Horizontal, this);
    dialogs::ui::CAppDialog::SetControlId(seek_, kSeekSliderId);
    seek_->setRange(0, 100);
    seek_->setPageStep(10);
    seek_->setFixedWidth(kSeekWidth - 8);
    seek_->setToolTip(QStringLiteral("Seek"));
    addWidget(seek_);
    // Dragging shows where the track would go; it moves there on release.
    // A release ends the track and sets the position: the position alone
    // seeks, so one drag is one seek.
    connect(seek_, &CBitmapSlider::Scrolled, this, [](int code, int position) {
        if (code == CBitmapSlider::kThumbPosition) Seek(position);
    });
    connect(seek_, &QSlider::actionTriggered, this, [this](int action) {
        if (action == QAbstractSlider::SliderMove) return;
        QTimer::singleShot(0, this, [this] { Seek(seek_->value()); });
    });
    addSeparator();

    volume_ = new CBitmapSlider(Qt::Horizontal, this);
    dialogs::ui::CAppDialog::SetControlId(volume_, kVolumeSliderId);
    volume_->setRange(0, 100);
    volume_->setPageStep(10);
    volume_->setFixedWidth(kVolumeWidth - 2);
    volume_->setToolTip(QStringLiteral("Volume"));
    const int level = audio::GetMixerVolumePercent();
    volume_->setValue(std::max(level, 0));
    volume_->setEnabled(level >= 0);
    addWidget(volume_);
    connect(volume_, &QSlider::valueChanged, this, [](int value) {
        if (value >= 0 && value <= 100) audio::SetMixerVolumePercent(value);
    });

    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &CPlayerBar::Refresh);
    timer->start(kRefreshMilliseconds);
}

int64_t CPlayerBar::SeekTarget(int percent, int64_t length) {
    if (length <= 0) return 0;
    return std::min<int64_t>(int64_t(std::clamp(percent, 0, 100)) * length / 100 + 1, length);
}

int CPlayerBar::SeekCount() { return seekCount_.load(); }

void CPlayerBar::Seek(int percent) {
    const std::shared_ptr<audio::AudioPlayer> player = audio::CurrentPlayback();
    if (!player) return;
    ++seekCount_;
    audio::SeekPlayback(*player, SeekTarget(percent, player->TrackLength()));
}

void CPlayerBar::Refresh() {
    if (seek_->Dragging() || seek_->isSliderDown()) return;
    const std::shared_ptr<audio::AudioPlayer> player = audio::CurrentPlayback();
    int percent = 0;
    if (player) {
        const int64_t length = player->TrackLength();
        if (length > 0) percent = int(std::clamp<int64_t>(player->Position() * 100 / length, 0, 100));
    }
    const bool blocked = seek_->blockSignals(true);
    seek_->setValue(percent);
    seek_->blockSignals(blocked);
}

}  // namespace app::ui

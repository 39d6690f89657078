#include "window/frame/main_toolbars.h"

#include <QAction>
#include <QCursor>
#include <QEvent>
#include <QImage>
#include <QPixmap>
#include <QLineEdit>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <array>

#include "window/frame/main_frame.h"
#include "window/models/bar_image_rules.h"
#include "window/panes/folder_navigation.h"
#include "window/panes/pane_layout.h"
#include "foundation/language.h"
#include "window/faces/icons.h"
#include "window/faces/menu_adapter.h"
#include "window/faces/qt_text.h"

namespace app::ui {

namespace {

using foundation::ui::kCommandIdProperty;
using foundation::ui::ToQString;

constexpr uint32_t kCmdNew = 32836, kCmdEncrypt = 33277, kCmdMount = 32883;
constexpr uint32_t kCmdAddress = 32812, kCmdTree = 32813, kCmdViewMenu = 32831;
constexpr uint32_t kCmdChangePassword = 33278, kCmdRemovePassword = 33279;
constexpr uint32_t kCmdNewZip = 33265, kCmdNew7z = 33266, kCmdNewMzp = 33267, kCmdNewIso = 33206, kCmdNewXdi = 33360;
constexpr uint32_t kCmdFirstMode = 32776, kCmdLastMode = 32779;

constexpr std::array<BarButton, 15> kMainButtons = {{
    {kCmdNew, "document-new"},
    {32846, "document-open"},
    {32849, "document-save"},
    {0, nullptr},
    {33211, "list-add"},
    {32861, "package-x-generic"},
    {32862, "edit-delete"},
    {kCmdEncrypt, "system-lock-screen"},
    {33282, "document-properties"},
    {0, nullptr},
    {33290, "media-record"},
    {33354, "media-optical"},
    {kCmdMount, "drive-optical"},
    {0, nullptr},
    {57670, "help-browser"},
}};
constexpr std::array<BarButton, 3> kNavigationButtons = {{{32772, "go-previous"}, {32773, "go-next"}, {32774, "go-up"}}};
constexpr std::array<BarButton, 1> kAddressButtons = {{{kCmdAddress, nullptr}}};
constexpr std::array<BarButton, 2> kViewButtons = {{{kCmdTree, "folder"}, {kCmdViewMenu, "format-justify-fill"}}};

struct Caption {
    uint32_t commandId;
    uint32_t stringId;
    std::u16string_view text;
};
constexpr std::array<Caption, 12> kCaptions = {{{32836, 10, u"New"},
                                                {32846, 20, u"Open"},
                                                {32849, 30, u"Save"},
                                                {33211, 40, u"Add"},
                                                {32861, 50, u"Extract"},
                                                {32862, 60, u"Delete"},
                                                {32883, 70, u"Mount"},
                                                {57670, 80, u"Help"},
                                                {33277, 90, u"Encrypt"},
                                                {33282, 120, u"Properties"},
                                                {33290, 172, u"Burn"},
                                                {33354, 174, u"Copy"}}};

}  // namespace

QIcon BarIcon(const char* name, std::initializer_list<int> sides) {
    QIcon source = name ? foundation::ui::BuiltInIcon(QString::fromLatin1(name)) : QIcon();
    if (source.isNull()) source = foundation::ui::DocumentIcon();
    QIcon icon;
    for (int side : sides) {
        QImage normal = source.pixmap(side, side).toImage().convertToFormat(QImage::Format_ARGB32);
        if (normal.isNull()) continue;
        const auto pixelsOf = [](QImage& image) {
            return std::span<uint32_t>(reinterpret_cast<uint32_t*>(image.bits()),
                                       static_cast<size_t>(image.sizeInBytes()) / sizeof(uint32_t));
        };
        QImage hot = normal.copy();
        MakeHotImage(pixelsOf(hot));
        QImage disabled = normal.copy();
        MakeDisabledImage(pixelsOf(disabled));
        icon.addPixmap(QPixmap::fromImage(normal), QIcon::Normal);
        icon.addPixmap(QPixmap::fromImage(hot), QIcon::Active);
        icon.addPixmap(QPixmap::fromImage(disabled), QIcon::Disabled);
    }
    return icon;
}

QPoint DropPointFor(QWidget* frame, uint32_t commandId) {
    for (QToolBar* bar : frame->findChildren<QToolBar*>()) {
        if (!bar->isVisible()) continue;
        for (QAction* action : bar->actions()) {
            if (foundation::ui::CommandIdOf(action) != commandId) continue;
            if (QWidget* button = bar->widgetForAction(action); button && button->isVisible())
                return button->mapToGlobal(QPoint(0, button->height()));
        }
    }
    return QCursor::pos();
}

std::span<const BarButton> BarButtons(BarType type) {
    switch (type) {
    case BarType::Main: return kMainButtons;
    case BarType::Navigation: return kNavigationButtons;
    case BarType::Address: return kAddressButtons;
    case BarType::View: return kViewButtons;
    }
    return {};
}

std::vector<std::u16string> PadCaptions(const std::vector<std::u16string>& captions) {
    size_t longest = 0;
    for (const std::u16string& caption : captions) longest = std::max(longest, caption.size());
    std::vector<std::u16string> padded;
    padded.reserve(captions.size());
    for (const std::u16string& caption : captions) {
        if (caption.empty()) {
            padded.emplace_back();
            continue;
        }
        const std::u16string blanks((longest - caption.size()) / 2, u' ');
        padded.push_back(blanks + caption + blanks);
    }
    return padded;
}

CMainToolBars::CMainToolBars(CMainFrame* frame) : QObject(frame), frame_(frame) {
    const std::map<uint32_t, QList<QAction*>> menuActions = frame->AllActions();
    bars_[0] = MakeBar(BarType::Main, QStringLiteral("mainBar"), menuActions);
    frame->addToolBarBreak();
    bars_[1] = MakeBar(BarType::Navigation, QStringLiteral("navigationBar"), menuActions);
    bars_[2] = MakeBar(BarType::Address, QStringLiteral("addressBar"), menuActions);
    bars_[3] = MakeBar(BarType::View, QStringLiteral("viewBar"), menuActions);
    SetButtonCaptions();
    frame->installEventFilter(this);
}

bool CMainToolBars::eventFilter(QObject* watched, QEvent* event) {
    if (watched == frame_ && (event->type() == QEvent::Resize || event->type() == QEvent::Show)) FitAddressBox();
    return QObject::eventFilter(watched, event);
}

void CMainToolBars::FitAddressBox() {
    // The address box takes the row's width that the navigation and view bars leave.
    const int others = bars_[1]->sizeHint().width() + bars_[3]->sizeHint().width();
    const int free = frame_->width() - others - 40;
    address_->setFixedWidth(std::max(120, free));
}

QToolBar* CMainToolBars::Bar(BarType type) const { return bars_[static_cast<int>(type) - 1]; }

QToolBar* CMainToolBars::MakeBar(BarType type, const QString& name,
                                 const std::map<uint32_t, QList<QAction*>>& menuActions) {
    const QList<QAction*> none;
    const auto actionsOf = [&](uint32_t id) -> const QList<QAction*>& {
        auto found = menuActions.find(id);
        return found == menuActions.end() ? none : found->second;
    };
    auto* bar = new QToolBar(name, frame_);
    bar->setObjectName(name);
    bar->setMovable(false);
    bar->setFloatable(false);
    const bool main = type == BarType::Main;
    bar->setIconSize(main ? QSize(32, 32) : QSize(16, 16));
    bar->setToolButtonStyle(main ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly);
    frame_->addToolBar(Qt::TopToolBarArea, bar);
    for (const BarButton& button : BarButtons(type)) {
        if (button.commandId == 0) {
            bar->addSeparator();
            continue;
        }
        if (button.commandId == kCmdAddress) {
            // The address box: read-only, as wide as the row allows.
            address_ = new QLineEdit(bar);
            address_->setObjectName(QStringLiteral("addressBox"));
            // It names the shown folder; a path typed over it and confirmed
            // with Enter is shown.
            connect(address_, &QLineEdit::returnPressed, this, [this] {
                if (auto* panes = frame_->findChild<FramePanes*>()) panes->Navigation()->AcceptAddress();
            });
            address_->setProperty(kCommandIdProperty, button.commandId);
            address_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
            bar->addWidget(address_);
            continue;
        }
        auto* action = new QAction(main ? BarIcon(button.icon, {32, 48}) : BarIcon(button.icon, {16, 24}), QString(), bar);
        action->setProperty(kCommandIdProperty, button.commandId);
        const uint32_t id = button.commandId;
        connect(action, &QAction::triggered, frame_, [this, id] { frame_->ExecuteCommand(id); });
        bar->addAction(action);
        auto* tool = qobject_cast<QToolButton*>(bar->widgetForAction(action));
        if (!tool) continue;
        // New opens its kinds from the arrow beside it; Encrypt and the view
        // button open their menus from the whole button.
        if (id == kCmdNew) {
            auto* menu = new QMenu(tool);
            for (uint32_t kind : {kCmdNewZip, kCmdNew7z, kCmdNewMzp, kCmdNewIso, kCmdNewXdi}) {
                const QList<QAction*> found = actionsOf(kind);
                if (!found.isEmpty()) menu->addAction(found.front());
            }
            tool->setMenu(menu);
            tool->setPopupMode(QToolButton::MenuButtonPopup);
        } else if (id == kCmdEncrypt || id == kCmdViewMenu) {
            auto* menu = new QMenu(tool);
            const std::vector<uint32_t> items = id == kCmdEncrypt
                                                    ? std::vector<uint32_t>{kCmdChangePassword, kCmdRemovePassword}
                                                    : std::vector<uint32_t>{kCmdFirstMode, kCmdFirstMode + 1,
                                                                            kCmdFirstMode + 2, kCmdLastMode};
            for (uint32_t item : items) {
                const QList<QAction*> found = actionsOf(item);
                if (!found.isEmpty()) menu->addAction(found.front());
            }
            connect(menu, &QMenu::aboutToShow, frame_, &CMainFrame::UpdateCommandStates);
            tool->setMenu(menu);
            tool->setPopupMode(QToolButton::InstantPopup);
        } else if (id == kCmdBack || id == kCmdForward) {
            // The arrow beside Back and Forward lists the folders that way.
            auto* menu = new QMenu(tool);
            const bool back = id == kCmdBack;
            connect(menu, &QMenu::aboutToShow, this, [this, menu, back] {
                if (auto* panes = frame_->findChild<FramePanes*>()) panes->Navigation()->FillHistoryMenu(menu, back);
            });
            tool->setMenu(menu);
            tool->setPopupMode(QToolButton::MenuButtonPopup);
        } else if (id == kCmdTree) {
            action->setCheckable(true);
            action->setChecked(true);
        }
        // A button without a caption tells its menu text as its tip.
        const QList<QAction*> named = actionsOf(id);
        for (QAction* item : named)
            if (item != action && !item->text().isEmpty()) {
                action->setToolTip(item->text().section(u'\t', 0, 0).remove(u'&'));
                break;
            }
    }
    return bar;
}

void CMainToolBars::ApplyFlags(bool toolBar, bool explorerBar) {
    bars_[0]->setVisible(toolBar);
    for (int i = 1; i < 4; ++i) bars_[i]->setVisible(explorerBar);
}

void CMainToolBars::SetButtonCaptions() {
    std::vector<std::u16string> texts;
    for (const Caption& caption : kCaptions) texts.push_back(foundation::GetLangString(caption.stringId, caption.text));
    const std::vector<std::u16string> padded = PadCaptions(texts);
    for (size_t i = 0; i < kCaptions.size(); ++i) {
        for (QAction* action : bars_[0]->actions()) {
            if (foundation::ui::CommandIdOf(action) != kCaptions[i].commandId || padded[i].empty()) continue;
            action->setText(ToQString(padded[i]));
            action->setToolTip(ToQString(texts[i]));
        }
    }
}

}  // namespace app::ui

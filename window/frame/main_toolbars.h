#pragma once
// The frame's tool bars, built from one button table per bar: the main bar
// (captioned buttons), the navigation bar, the address bar and the view bar.
// Every button is an action carrying its command id, so the frame's command
// table runs it and its update rules enable it, as for the menus.

#include <QIcon>
#include <QList>
#include <QPoint>
#include <QObject>
#include <QString>

#include <cstdint>
#include <initializer_list>
#include <map>
#include <span>
#include <string>
#include <vector>

class QAction;
class QLineEdit;
class QToolBar;
class QWidget;

namespace app::ui {

class CMainFrame;

enum class BarType : int { Main = 1, Navigation = 2, Address = 3, View = 4 };

struct BarButton {
    uint32_t commandId;   // 0 for a separator
    const char* icon;     // built-in icon name; null for none
};
std::span<const BarButton> BarButtons(BarType type);

// The main bar's captions centred with blanks: each is padded on both sides
// with (longest - own length) / 2 blanks; an empty caption stays empty.
std::vector<std::u16string> PadCaptions(const std::vector<std::u16string>& captions);

// A bar button's icon: the built-in icon of the name (the document icon
// when there is none), with its hot (Active) and disabled pictures made by
// the bar image rules at each side given.
QIcon BarIcon(const char* name, std::initializer_list<int> sides);

// Where a button's drop-down menu opens: under the bar button of the
// command id in any of the frame's bars (the tool bars, the player bar),
// else at the mouse.
QPoint DropPointFor(QWidget* frame, uint32_t commandId);

class CMainToolBars : public QObject {
    Q_OBJECT
public:
    // Builds the four bars on the frame, in the order main, navigation,
    // address, view; the main and navigation bars start new rows.
    explicit CMainToolBars(CMainFrame* frame);

    // The main bar follows the tool-bar flag, the other three the explorer-bar flag.
    void ApplyFlags(bool toolBar, bool explorerBar);
    // The main bar's captions again (after a language switch).
    void SetButtonCaptions();

    QToolBar* Bar(BarType type) const;
    QLineEdit* AddressBox() const { return address_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FitAddressBox();
    // The frame's actions by id are looked up once for all bars: nothing
    // changes the menus while the bars are made.
    QToolBar* MakeBar(BarType type, const QString& name, const std::map<uint32_t, QList<QAction*>>& menuActions);

    CMainFrame* frame_;
    QToolBar* bars_[4] = {};
    QLineEdit* address_ = nullptr;
};

}  // namespace app::ui

#include "window/dialogs/progress_dialog.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QEventLoop>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>

#include <sys/syscall.h>
#include <unistd.h>

#include <system_error>

#include "window/dialogs/progress_prompts.h"
#include "foundation/language.h"
#include "foundation/operation_status.h"
#include "foundation/window_faces.h"

namespace dialogs::ui {

namespace {

std::atomic<bool> g_failNextThreadStart{false};

QString Lang(uint32_t id, const char16_t* text) {
    return QString::fromStdU16String(foundation::GetLangString(id, text));
}

// The dialog's own texts (translated with the dialog as a whole).
QString Plain(const char16_t* text) { return QString::fromUtf16(text); }

QImage StripImage(const dialogs::BmpImage& strip) {
    QImage image(strip.width, strip.height, QImage::Format_RGB32);
    for (int y = 0; y < strip.height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
        for (int x = 0; x < strip.width; ++x) row[x] = 0xFF000000u | strip.pixels[size_t(y) * strip.width + x];
    }
    return image;
}

QPushButton* MakeButton(const QString& text, int id) {
    auto* button = new QPushButton(text);
    // Enter must never press a button of this dialog.
    button->setAutoDefault(false);
    button->setDefault(false);
    CAppDialog::SetControlId(button, id);
    return button;
}

QLabel* MakeLabel(const QString& text, int id) {
    auto* label = new QLabel(text);
    CAppDialog::SetControlId(label, id);
    return label;
}

}  // namespace

CProgressDlg::CProgressDlg(QWidget* parent) : CAppDialog(kTemplateId, parent), estimate_(dialogs::CoarseSteadyMs) {
    BuildControls();
}

CProgressDlg::~CProgressDlg() {
    // A dialog torn down while its worker still runs: the worker is told to
    // stop, every question it waits for is answered with cancel, and it is
    // waited for before the record it uses goes away.
    ended_ = true;
    callbacks_.cancelEvent.Set();
    detail::StopTakingPrompts(this);
    if (thread_.joinable()) thread_.join();
    detail::UnregisterProgressDialog(this);
    if (inBackground_) RestoreThreadPriority(savedPriority_);
    if (tray_) tray_->hide();
}

void CProgressDlg::FailNextThreadStartForTests() { g_failNextThreadStart = true; }

CProgressDlg* CProgressDlg::Current() { return detail::CurrentProgressDialog(); }

void CProgressDlg::BuildControls() {
    animationLabel_ = new QLabel;
    animationLabel_->setFixedSize(kAnimationFrameSide, kAnimationFrameSide);
    animation_.Load(MakeAnimationStrip());

    auto* group = new QGroupBox;
    SetControlId(group, 1431);
    auto* grid = new QGridLayout(group);
    operationLabel_ = MakeLabel(QString(), 1426);
    operationText_ = MakeLabel(QString(), 1427);
    itemLabel_ = MakeLabel(QString(), 1428);
    itemText_ = MakeLabel(QString(), 1429);
    operationText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    itemText_->setMinimumWidth(260);
    timeLeft_ = MakeLabel(QString(), 1008);
    elapsed_ = MakeLabel(QString(), 1009);
    grid->addWidget(operationLabel_, 0, 0);
    grid->addWidget(operationText_, 0, 1, 1, 3);
    grid->addWidget(itemLabel_, 1, 0);
    grid->addWidget(itemText_, 1, 1, 1, 3);
    grid->addWidget(new QLabel(Lang(1850, u"Time left:")), 2, 0);
    grid->addWidget(timeLeft_, 2, 1);
    grid->addWidget(new QLabel(Plain(u"Time elapsed:")), 2, 2);
    grid->addWidget(elapsed_, 2, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(animationLabel_, 0, Qt::AlignTop);
    top->addWidget(group, 1);

    bar_ = new QProgressBar;
    SetControlId(bar_, 1043);
    bar_->setTextVisible(false);
    bar_->setRange(0, 1);
    bar_->setValue(0);
    percent_ = MakeLabel(QStringLiteral("0%"), 1423);
    percent_->setMinimumWidth(40);
    percent_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* barRow = new QHBoxLayout;
    barRow->addWidget(bar_, 1);
    barRow->addWidget(percent_);

    background_ = MakeButton(Plain(u"&Background"), 1146);
    pause_ = MakeButton(Lang(1250, u"Pause"), 1421);
    cancel_ = MakeButton(Plain(u"Cancel"), 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(background_);
    buttons->addWidget(pause_);
    buttons->addStretch(1);
    buttons->addWidget(cancel_);

    logGroup_ = new QGroupBox(Plain(u"Error Message:"));
    SetControlId(logGroup_, 1441);
    auto* logLayout = new QVBoxLayout(logGroup_);
    log_ = new QListWidget;
    SetControlId(log_, 1458);
    log_->setMinimumHeight(110);
    copy_ = MakeButton(Plain(u"Copy to Clipboard"), 1442);
    logLayout->addWidget(log_);
    logLayout->addWidget(copy_, 0, Qt::AlignRight);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(barRow);
    layout->addLayout(buttons);
    layout->addWidget(logGroup_);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    ShowLogArea(false);

    connect(background_, &QPushButton::clicked, this, &CProgressDlg::GoToBackground);
    connect(pause_, &QPushButton::clicked, this, &CProgressDlg::TogglePause);
    connect(cancel_, &QPushButton::clicked, this, &CProgressDlg::reject);
    connect(copy_, &QPushButton::clicked, this, &CProgressDlg::CopyLogToClipboard);

    timer_ = new QTimer(this);
    timer_->setInterval(kAnimationTickMs);
    connect(timer_, &QTimer::timeout, this, &CProgressDlg::TimerTick);

    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        // Without a notification area the window could not come back.
        background_->setEnabled(false);
        background_->setToolTip(Plain(u"The desktop has no notification area."));
    }
}

QString CProgressDlg::KindWord() const {
    switch (kind_) {
    case ProgressKind::Extract: return Lang(1840, u"Extracting archive");
    case ProgressKind::CreateArchive: return Lang(1370, u"Creating archive");
    case ProgressKind::Compress: return Lang(2310, u"Compressing");
    case ProgressKind::Decompress: return Lang(2320, u"Decompressing");
    case ProgressKind::Convert: return Lang(2330, u"Converting");
    case ProgressKind::MakeImage: return Lang(2340, u"Making image");
    case ProgressKind::None: break;
    }
    return {};
}

QString CProgressDlg::FileName() const {
    const int cut = std::max(itemPath_.lastIndexOf(QLatin1Char('/')), itemPath_.lastIndexOf(QLatin1Char('\\')));
    return itemPath_.mid(cut + 1);
}

void CProgressDlg::ApplyOperationTexts() {
    const QString name = FileName();
    if (kind_ == ProgressKind::Extract && title_.isEmpty())
        title_ = QStringLiteral("%1 %2 ...").arg(Lang(1270, u"Extracting"), name);
    if (kind_ == ProgressKind::CreateArchive && title_.isEmpty())
        title_ = QStringLiteral("%1... ").arg(Lang(1370, u"Creating archive"));
    setWindowTitle(title_);
    if (kind_ == ProgressKind::None || itemPath_.isEmpty()) {
        operationLabel_->clear();
        operationText_->clear();
        return;
    }
    if (kind_ == ProgressKind::Extract) {
        operationLabel_->setText(Lang(1020, u"Extracting archive to:"));
        operationText_->setText(targetFolder_);
    } else {
        operationLabel_->setText(KindWord() + QLatin1Char(':'));
        operationText_->setText(name);
    }
}

void CProgressDlg::showEvent(QShowEvent* event) {
    CAppDialog::showEvent(event);
    if (!started_) {
        started_ = true;
        StartWorker();
    }
}

int CProgressDlg::Run() {
    setWindowModality(Qt::ApplicationModal);
    // A local loop rather than exec(): hiding the dialog into the notification
    // area must not end it.
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
    show();
    if (!ended_) loop.exec();
    return result();
}

void CProgressDlg::StartWorker() {
    ApplyOperationTexts();
    estimate_.Start(title_.toStdU16String());

    callbacks_.paused = 0;
    callbacks_.finished = 0;
    callbacks_.cancelEvent.Reset();
    callbacks_.dialogWindow = this;
    callbacks_.SetTotal = [this](int64_t total) {
        if (ended_) return;
        estimate_.SetTotal(total < 0 ? 0 : uint64_t(total));
        PostView();
    };
    callbacks_.AddDone = [this](int64_t delta) {
        if (ended_) return;
        if (estimate_.AddDone(delta < 0 ? 0 : uint64_t(delta))) PostView();
    };
    callbacks_.SetDone = [this](int64_t done) {
        if (ended_) return;
        if (estimate_.SetDone(done < 0 ? 0 : uint64_t(done))) PostView();
    };
    callbacks_.Finish = [this] { callbacks_.finished.store(1); };
    callbacks_.SetCurrentItem = [this](std::u16string_view name) {
        if (ended_ || kind_ == ProgressKind::None) return;
        if (name == lastItemName_) return;   // no control touched for the same name
        lastItemName_.assign(name);
        QMetaObject::invokeMethod(
            this, [this, text = QString::fromStdU16String(lastItemName_)] { ApplyCurrentItem(text); },
            Qt::QueuedConnection);
    };
    callbacks_.NarrowStatus = [this] {
        QMetaObject::invokeMethod(this, [this] {
            statusShift_ += 20;
            itemLabel_->setMaximumWidth(std::max(0, itemLabel_->sizeHint().width() - statusShift_));
        }, Qt::QueuedConnection);
    };
    callbacks_.WidenStatus = [this] {
        QMetaObject::invokeMethod(this, [this] {
            statusShift_ = std::max(0, statusShift_ - 20);
            itemLabel_->setMaximumWidth(statusShift_ == 0 ? QWIDGETSIZE_MAX
                                                          : itemLabel_->sizeHint().width() - statusShift_);
        }, Qt::QueuedConnection);
    };
    callbacks_.ShowOptimizing = [this](std::u16string_view text) {
        if (ended_) return;
        QMetaObject::invokeMethod(
            this, [this, detail = QString::fromStdU16String(std::u16string(text))] { ApplyOptimizing(detail); },
            Qt::QueuedConnection);
    };
    callbacks_.Reset = [this] {
        if (ended_) return;
        estimate_.Reset(Held());
        PostView();
    };

    detail::RegisterProgressDialog(this);
    timer_->start();

    bool started = !g_failNextThreadStart.exchange(false);
    if (started) {
        try {
            thread_ = std::thread([this] { ThreadMain(); });
        } catch (const std::system_error&) {
            started = false;
        }
    }
    if (!started) {
        // Nothing will ever finish: end at once, as a failed operation.
        foundation::OperationStatus = foundation::kStatusFailed;
        foundation::SetLastErrorText(u"The operation could not be started.");
        QMetaObject::invokeMethod(this, [this] { EndDialog(QDialog::Rejected); }, Qt::QueuedConnection);
    }
}

void CProgressDlg::ThreadMain() {
    workerTid_ = static_cast<int>(syscall(SYS_gettid));
    QMetaObject::invokeMethod(this, [this] { SetTrayTipForm(1); }, Qt::QueuedConnection);
    int32_t result = -1;
    if (worker_) result = worker_(&callbacks_);
    workerResult_ = result;
    callbacks_.finished.store(1);
    // Queued behind every view, item and log line the worker posted.
    QMetaObject::invokeMethod(this, [this] { OnWorkerReturned(); }, Qt::QueuedConnection);
}

void CProgressDlg::OnWorkerReturned() {
    if (workerReturned_) return;
    if (thread_.joinable()) thread_.join();
    workerReturned_ = true;
    FlushLog();
    QApplication::beep();
    if (logLines_ == 0) {
        EndDialog(QDialog::Accepted);
        return;
    }
    // Lines to read: the dialog stays until the user closes it.
    closing_ = true;
    background_->setEnabled(false);
    pause_->setEnabled(false);
    cancel_->setEnabled(true);
    cancel_->setText(Lang(1790, u"Close"));
    if (inBackground_) RestoreFromBackground();
}

void CProgressDlg::EndDialog(int code) {
    if (ended_.exchange(true)) return;
    timer_->stop();
    detail::StopTakingPrompts(this);
    if (inBackground_) RestoreFromBackground();
    if (tray_) {
        tray_->hide();
        tray_->deleteLater();
        tray_ = nullptr;
    }
    detail::UnregisterProgressDialog(this);
    done(code);
}

void CProgressDlg::TimerTick() {
    if (closing_ || ended_) return;
    if (callbacks_.finished.load() && workerReturned_) return;
    if (animation_.Step(Held())) estimate_.DiscardNextSample();
    const FrameCell cell = AnimationFrameCell(animation_.Frame(), animation_.Strip().width);
    if (animation_.HasStrip() && cell.width > 0) {
        static const QImage strip = StripImage(animation_.Strip());
        animationLabel_->setPixmap(QPixmap::fromImage(strip.copy(cell.x, 0, cell.width, strip.height())));
    }
}

bool CProgressDlg::Held() const { return PromptsShowing() > 0 || foundation::MessageBoxOpen.load(); }

void CProgressDlg::PostView() {
    QMetaObject::invokeMethod(this, [this, view = estimate_.View()] { ApplyView(view); }, Qt::QueuedConnection);
}

void CProgressDlg::ApplyView(const dialogs::ProgressView& view) {
    if (view.barMaximum > 0 && view.barMaximum != lastBarMaximum_) {
        bar_->setRange(0, view.barMaximum);
        lastBarMaximum_ = view.barMaximum;
    }
    if (view.barMaximum > 0) bar_->setValue(std::clamp(view.barPosition, 0, view.barMaximum));
    const QString left = QString::fromStdU16String(view.timeLeftText);
    const QString percent = QString::fromStdU16String(view.percentText);
    const bool changed = left != timeLeft_->text() || (!percent.isEmpty() && percent != percent_->text());
    if (left != timeLeft_->text()) timeLeft_->setText(left);
    const QString elapsed = QString::fromStdU16String(view.elapsedText);
    if (elapsed != elapsed_->text()) elapsed_->setText(elapsed);
    if (!percent.isEmpty() && percent != percent_->text()) percent_->setText(percent);
    const QString caption = QString::fromStdU16String(view.caption);
    if (!caption.isEmpty() && caption != windowTitle()) setWindowTitle(caption);
    if (changed && inBackground_) SetTrayTipForm(2);
}

void CProgressDlg::ApplyCurrentItem(const QString& name) {
    if (itemText_->text() == name && !itemLabel_->text().isEmpty()) return;
    switch (kind_) {
    case ProgressKind::Extract:
        itemLabel_->setText(Lang(1300, u"Extracting: "));
        itemText_->setText(name);
        break;
    case ProgressKind::CreateArchive:
        itemLabel_->setText(Lang(1310, u"Adding: "));
        itemText_->setText(name);
        break;
    case ProgressKind::None:
        break;
    default: {
        itemLabel_->setText(Lang(2350, u"Writing") + QLatin1Char(':'));
        const int cut = std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
        itemText_->setText(name.mid(cut + 1));
        break;
    }
    }
}

void CProgressDlg::ApplyOptimizing(const QString& text) {
    if (itemText_->text() != text) itemText_->setText(text);
    const QString label = Lang(650, u"Optimizing files...");
    if (itemLabel_->text() != label) itemLabel_->setText(label);
    SetTrayTipForm(3, text);
}

void CProgressDlg::QueueLogLine(std::u16string_view text) {
    std::lock_guard<std::mutex> guard(logLock_);
    pendingLog_.push_back(QString::fromStdU16String(std::u16string(text)));
    if (logFlushPosted_) return;   // lines arriving in a burst are shown together
    logFlushPosted_ = true;
    QMetaObject::invokeMethod(this, [this] { FlushLog(); }, Qt::QueuedConnection);
}

void CProgressDlg::FlushLog() {
    std::vector<QString> lines;
    {
        std::lock_guard<std::mutex> guard(logLock_);
        lines.swap(pendingLog_);
        logFlushPosted_ = false;
    }
    if (lines.empty()) return;
    const QIcon icon = style()->standardIcon(QStyle::SP_MessageBoxCritical);
    log_->setUpdatesEnabled(false);
    for (const QString& line : lines) log_->addItem(new QListWidgetItem(icon, line));
    log_->setUpdatesEnabled(true);
    logLines_ += static_cast<int>(lines.size());
    ShowLogArea(true);
}

void CProgressDlg::ShowLogArea(bool show) {
    if (show == logShown_) return;
    logShown_ = show;
    logGroup_->setVisible(show);
}

QString CProgressDlg::LogText() const {
    QString text;
    for (int i = 0; i < log_->count(); ++i) text += log_->item(i)->text() + QStringLiteral("\r\n");
    return text;
}

void CProgressDlg::CopyLogToClipboard() { QApplication::clipboard()->setText(LogText()); }

void CProgressDlg::TogglePause() {
    if (closing_ || ended_) return;
    const bool nowPaused = callbacks_.paused.load() == 0;
    callbacks_.paused.store(nowPaused ? 1 : 0);
    pause_->setText(nowPaused ? Lang(1260, u"Continue") : Lang(1250, u"Pause"));
}

void CProgressDlg::accept() {}

void CProgressDlg::reject() {
    if (ended_) return;
    if (closing_ || !started_) {
        EndDialog(QDialog::Accepted);
        return;
    }
    // Only the worker ends the operation; it sees the event at its next wait.
    callbacks_.cancelEvent.Set();
}

QStringList CProgressDlg::TrayMenuTexts() {
    if (!trayMenu_) {
        trayMenu_ = new QMenu(this);
        QAction* restore = trayMenu_->addAction(Plain(u"Restore..."), this, &CProgressDlg::RestoreFromBackground);
        trayMenu_->addAction(QString(), this, &CProgressDlg::TogglePause);
        trayMenu_->addAction(Plain(u"Break Operation"), this, &CProgressDlg::reject);
        trayMenu_->setDefaultAction(restore);
        connect(trayMenu_, &QMenu::aboutToShow, this, [this] { TrayMenuTexts(); });
    }
    const QList<QAction*> actions = trayMenu_->actions();
    actions[1]->setText(callbacks_.paused.load() ? Lang(1260, u"Continue") : Plain(u"Pause"));
    QStringList texts;
    for (QAction* action : actions) texts << action->text();
    return texts;
}

void CProgressDlg::GoToBackground() {
    if (inBackground_ || closing_ || ended_) return;
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    if (!tray_) {
        tray_ = new QSystemTrayIcon(windowIcon().isNull() ? style()->standardIcon(QStyle::SP_DriveCDIcon) : windowIcon(),
                                    this);
        TrayMenuTexts();
        tray_->setContextMenu(trayMenu_);
        connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context) {
                TrayMenuTexts();
                trayMenu_->popup(QCursor::pos());
            }
        });
    }
    tray_->setToolTip(QStringLiteral("Quendravine"));
    tray_->show();
    savedPriority_ = LowerThreadPriority(workerTid_.load());
    inBackground_ = true;
    SetTrayTipForm(2);
    if (mainWindow_) mainWindow_->hide();
    hide();
}

void CProgressDlg::RestoreFromBackground() {
    if (!inBackground_) return;
    if (tray_) tray_->hide();
    RestoreThreadPriority(savedPriority_);
    savedPriority_ = {};
    inBackground_ = false;
    if (mainWindow_) mainWindow_->showNormal();
    if (!ended_) {
        show();
        raise();
        activateWindow();
    }
}

void CProgressDlg::SetTrayTipForm(int form, const QString& detail) {
    const QString word = KindWord();
    if (word.isEmpty()) return;
    // Names are arguments, never the format: a '%' in a file name stays text.
    QString tip = word + QStringLiteral(" '") + FileName() + QLatin1Char('\'');
    if (form == 2) {
        tip += QStringLiteral("\r\n") + Lang(1850, u"Time left:") + QStringLiteral("  ") + timeLeft_->text() +
               QStringLiteral("\r\n") + Lang(1860, u"%s done").replace(QStringLiteral("%s"), percent_->text());
    } else if (form == 3) {
        tip += QStringLiteral("\r\n") + Lang(650, u"Optimizing files...") + QLatin1Char(' ') + detail;
    }
    trayTip_ = QString::fromStdU16String(foundation::TrayTipText(tip.toStdU16String()));
    if (tray_) tray_->setToolTip(trayTip_);
}

}  // namespace dialogs::ui

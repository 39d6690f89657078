#include "window/dialogs/rip_audio_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

#include "app/extract_job.h"
#include "audio/player/audio_player.h"
#include "audio/tracks/music_file_names.h"
#include "audio/tracks/save_tracks.h"
#include "foundation/file_filters.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "foundation/settings.h"
#include "foundation/settings_values.h"
#include "foundation/window_faces.h"
#include "image/document/image_context.h"
#include "image/sheets/track_list.h"
#include "window/dialogs/encoder_settings_dialog.h"
#include "window/dialogs/extract_dialog.h"
#include "window/dialogs/progress_dialog.h"
#include "window/models/path_history.h"

namespace dialogs::ui {

namespace {

constexpr std::u16string_view kHistoryPrefix = u"ExtractPath";
constexpr size_t kHistoryCapacity = 8;
constexpr std::u16string_view kDefaultTemplate = u"|#-|t";

QString Lang(uint32_t id, const char16_t* text) {
    return QString::fromStdU16String(foundation::GetLangString(id, text));
}
QString Plain(const char16_t* text) { return QString::fromUtf16(text); }

struct FormatRow {
    const char16_t* name;
    int32_t code;
};
// OGG is written by the encoders but is not one of this dialog's choices.
constexpr FormatRow kFormats[] = {
    {u"MP3", audio::kAudioMp3}, {u"WAV", audio::kAudioWav}, {u"WMA", audio::kAudioWma},
    {u"APE", audio::kAudioApe}, {u"FLAC", audio::kAudioFlac},
};

struct TokenCommand {
    uint32_t id;
    const char16_t* placeholder;
};
constexpr TokenCommand kTokenCommands[] = {
    {1910, u"<Track Number>"}, {1920, u"<Track Title>"},  {1930, u"<Track Artist>"},
    {1940, u"<Track Composer>"}, {1950, u"<Album Title>"}, {1960, u"<Album Artist>"},
    {1970, u"<Album Composer>"},
};
constexpr uint32_t kFirstTokenCommand = 33243;

std::u16string TemplateTokens(const QString& shown) {
    if (shown.isEmpty()) return std::u16string(kDefaultTemplate);
    return audio::ExpandAudioFileName(audio::NameMode::Tokens, shown.toStdU16String(), nullptr, 0, u"", 0);
}

}  // namespace

CRipAudioDlg::CRipAudioDlg(bool rip, bool allTracks, QWidget* parent)
    : CAppDialog(kTemplateId, parent), rip_(rip), presetAllTracks_(allTracks) {
    setWindowTitle(rip ? Lang(2090, u"Rip Audio CD") : Plain(u"Extract"));

    auto* folderLabel = new QLabel(rip ? Lang(2100, u"Rip to: ") : Plain(u"Extract to:"));
    SetControlId(folderLabel, 1071);
    folderCombo_ = new QComboBox;
    folderCombo_->setEditable(true);
    folderCombo_->setInsertPolicy(QComboBox::NoInsert);
    folderCombo_->setMinimumWidth(360);
    SetControlId(folderCombo_, 1017);
    folderLabel->setBuddy(folderCombo_);
    auto* browse = new QPushButton(QStringLiteral("..."));
    browse->setAutoDefault(false);
    browse->setFixedWidth(browse->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
    SetControlId(browse, 1001);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folderCombo_, 1);
    folderRow->addWidget(browse);

    source_ = new QGroupBox(Plain(u"Source tracks:"));
    selected_ = new QRadioButton(Plain(u"&Selected tracks"));
    all_ = new QRadioButton(Plain(u"&All tracks"));
    SetControlId(selected_, 1020);
    SetControlId(all_, 1021);
    auto* sourceLayout = new QHBoxLayout(source_);
    sourceLayout->addWidget(selected_);
    sourceLayout->addWidget(all_);
    sourceLayout->addStretch(1);
    if (allTracks) {
        all_->setChecked(true);
        selected_->setEnabled(false);
    } else {
        selected_->setChecked(true);
    }

    auto* formatLabel = new QLabel(Plain(u"Output File Format:"));
    SetControlId(formatLabel, 1372);
    formatCombo_ = new QComboBox;
    SetControlId(formatCombo_, 1367);
    formatLabel->setBuddy(formatCombo_);
    for (const FormatRow& row : kFormats) formatCombo_->addItem(QString::fromUtf16(row.name), row.code);
    const uint32_t storedFormat = foundation::ReadSettingValue(foundation::kSettingAudioOutputFormat);
    const int formatRow = formatCombo_->findData(int(storedFormat));
    formatCombo_->setCurrentIndex(formatRow >= 0 ? formatRow : 0);
    config_ = new QPushButton(Plain(u"Config..."));
    config_->setAutoDefault(false);
    SetControlId(config_, 1147);

    auto* modeLabel = new QLabel(Plain(u"Output File Mode:"));
    SetControlId(modeLabel, 1403);
    modeCombo_ = new QComboBox;
    SetControlId(modeCombo_, 1404);
    modeLabel->setBuddy(modeCombo_);
    modeCombo_->addItem(Lang(2110, u"Multiple files"), 0);
    modeCombo_->addItem(Lang(2120, u"Single file"), 1);
    const uint32_t storedMode = foundation::ReadSettingValue(foundation::kSettingAudioOutputMode);
    modeCombo_->setCurrentIndex(storedMode == 1 ? 1 : 0);

    auto* templateLabel = new QLabel(Plain(u"Output File Name Format:"));
    SetControlId(templateLabel, 1374);
    template_ = new QLineEdit;
    SetControlId(template_, 1365);
    template_->setMinimumWidth(260);
    templateLabel->setBuddy(template_);
    template_->setText(QString::fromStdU16String(audio::ExpandAudioFileName(
        audio::NameMode::Placeholders, foundation::GetAudioFileNameFormat(), nullptr, 0, u"", 0)));
    tokens_ = new QPushButton(QStringLiteral("?"));
    tokens_->setAutoDefault(false);
    tokens_->setFixedWidth(browse->width());
    SetControlId(tokens_, 1146);
    auto* previewLabel = new QLabel(Plain(u"Preview:"));
    SetControlId(previewLabel, 1375);
    preview_ = new QLabel;
    SetControlId(preview_, 1366);
    preview_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* grid = new QGridLayout;
    grid->addWidget(formatLabel, 0, 0);
    grid->addWidget(formatCombo_, 0, 1);
    grid->addWidget(config_, 0, 2);
    grid->addWidget(modeLabel, 1, 0);
    grid->addWidget(modeCombo_, 1, 1);
    grid->addWidget(templateLabel, 2, 0);
    grid->addWidget(template_, 2, 1);
    grid->addWidget(tokens_, 2, 2);
    grid->addWidget(previewLabel, 3, 0);
    grid->addWidget(preview_, 3, 1, 1, 2);
    grid->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(folderLabel);
    layout->addLayout(folderRow);
    layout->addWidget(source_);
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addWidget(MakeOkCancelButtons());
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // A disc being ripped gives all its tracks: there is no source to choose.
    if (rip_) source_->hide();

    // The configured output folder first, then the history.
    const std::u16string outputFolder =
        foundation::ReadSettingText(foundation::kSettingAudioOutputFolder).value_or(std::u16string());
    if (!outputFolder.empty()) folderCombo_->addItem(QString::fromStdU16String(outputFolder));
    PathHistoryList history(kHistoryPrefix, kHistoryCapacity);
    history.Load();
    for (const std::u16string& entry : history.Entries()) folderCombo_->addItem(QString::fromStdU16String(entry));
    if (folderCombo_->count() > 0) folderCombo_->setCurrentIndex(0);

    connect(browse, &QPushButton::clicked, this, &CRipAudioDlg::Browse);
    connect(formatCombo_, &QComboBox::currentIndexChanged, this, &CRipAudioDlg::OnFormatChanged);
    connect(template_, &QLineEdit::textChanged, this, &CRipAudioDlg::UpdatePreview);
    connect(config_, &QPushButton::clicked, this, &CRipAudioDlg::Configure);
    connect(tokens_, &QPushButton::clicked, this, &CRipAudioDlg::ShowTokenMenu);
    OnFormatChanged();
}

QString CRipAudioDlg::Preview() const {
    const int32_t format = formatCombo_->currentData().toInt();
    return QString::fromStdU16String(audio::ExpandAudioFileName(audio::NameMode::Samples,
                                                                TemplateTokens(template_->text()), nullptr, 0, u"",
                                                                format));
}

void CRipAudioDlg::UpdatePreview() { preview_->setText(Preview()); }

void CRipAudioDlg::OnFormatChanged() {
    const int32_t format = formatCombo_->currentData().toInt();
    config_->setEnabled(format == audio::kAudioMp3 || format == audio::kAudioApe || format == audio::kAudioFlac);
    UpdatePreview();
}

void CRipAudioDlg::Configure() { RunEncoderSettings(formatCombo_->currentData().toInt(), this); }

void CRipAudioDlg::ShowTokenMenu() {
    QMenu menu(this);
    for (size_t i = 0; i < std::size(kTokenCommands); ++i) {
        const TokenCommand& token = kTokenCommands[i];
        const QString placeholder = Lang(token.id, token.placeholder);
        QAction* action = menu.addAction(placeholder);
        action->setProperty("commandId", uint32_t(kFirstTokenCommand + i));
        connect(action, &QAction::triggered, this, [this, placeholder] {
            template_->insert(placeholder);
            template_->setFocus();
        });
    }
    menu.exec(tokens_->mapToGlobal(QPoint(0, tokens_->height())));
}

void CRipAudioDlg::Browse() { BrowseIntoFolderBox(this, folderCombo_); }

void CRipAudioDlg::accept() {
    const QString folder = TakeOutputFolder(folderCombo_);
    if (folder.isEmpty()) return;
    folder_ = folder;
    // A rip offers no choice: the command's preset stands (every track when
    // none is selected).
    allTracks_ = rip_ ? presetAllTracks_ : all_->isChecked();
    format_ = formatCombo_->currentData().toInt();
    mode_ = modeCombo_->currentData().toInt();
    if (uint32_t(format_) != foundation::ReadSettingValue(foundation::kSettingAudioOutputFormat))
        foundation::WriteSettingValue(foundation::kSettingAudioOutputFormat, uint32_t(format_));
    if (uint32_t(mode_) != foundation::ReadSettingValue(foundation::kSettingAudioOutputMode))
        foundation::WriteSettingValue(foundation::kSettingAudioOutputMode, uint32_t(mode_));
    const std::u16string tokens = TemplateTokens(template_->text());
    if (tokens != foundation::GetAudioFileNameFormat()) foundation::SetAudioFileNameFormat(tokens);
    PathHistoryList history(kHistoryPrefix, kHistoryCapacity);
    history.Load();
    history.Add(folder_.toStdU16String());
    CAppDialog::accept();
}

namespace {

foundation::FileFilterList MusicFileFilter(int32_t format) {
    foundation::FileFilterList filters;
    const std::u16string extension(audio::AudioFormatExtension(format));
    std::u16string name;
    for (const FormatRow& row : kFormats)
        if (row.code == format) name = row.name;
    foundation::AppendFileFilter(filters, name + u" Files", u"*" + extension);
    return filters;
}

int RunUnderProgress(QWidget* parent, image::ImageContext* ctx, const QString& folder, ProgressWorker worker) {
    CProgressDlg dialog(parent);
    dialog.SetKind(ProgressKind::Extract);
    dialog.SetTargetFolder(folder);
    dialog.SetItemPath(QString::fromStdU16String(ctx->imagePath));
    dialog.SetContext(ctx);
    dialog.SetMainWindow(parent ? parent->window() : nullptr);
    dialog.SetWorker(std::move(worker));
    if (dialog.Run() != QDialog::Accepted) return -1;
    return dialog.WorkerResult();
}

}  // namespace

int RunRipJob(QWidget* parent, image::ImageContext* ctx, const RipRequest& request) {
    if (!ctx || !ctx->trackList) return -1;
    // The music decoder serves one user at a time: the player lets go first.
    audio::StopPlaybackAndWait(audio::CurrentPlayback());
    foundation::ResetOperationStatus();
    int result = -1;
    if (request.mode == 1) {
        result = RunUnderProgress(parent, ctx, request.folder, [ctx, &request](foundation::ProgressCallbacks* p) {
            return int32_t(audio::SaveTracksToMusicFile(p, *ctx, request.positions, request.format,
                                                        request.singleFilePath));
        });
    } else {
        result = RunUnderProgress(parent, ctx, request.folder, [ctx, &request](foundation::ProgressCallbacks* p) {
            app::CExtractJob job(ctx, request.folder.toStdU16String(), nullptr);
            for (int32_t position : request.positions) job.AddTrack(position, uint8_t(request.format));
            return int32_t(job.Run(p));
        });
    }
    foundation::ResetOperationStatus();
    return result;
}

std::optional<int> RunRipAudioDialog(QWidget* parent, image::ImageContext* ctx, const std::vector<int>& selection) {
    if (!ctx || !ctx->trackList) return std::nullopt;
    CRipAudioDlg dialog(ctx->ripFlag != 0, selection.empty(), parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;

    RipRequest request;
    request.folder = dialog.Folder();
    request.format = dialog.Format();
    request.mode = dialog.Mode();
    if (dialog.AllTracks()) {
        const int32_t count = std::clamp(ctx->trackList->trackCount, 0, image::kMaxTracks);
        for (int32_t t = 0; t < count; ++t) request.positions.push_back(t);
    } else {
        request.positions.assign(selection.begin(), selection.end());
    }
    if (request.mode == 1) {
        const foundation::FileFilterList filters = MusicFileFilter(request.format);
        const std::u16string offered =
            audio::SingleFileInitialName(*ctx, request.folder.toStdU16String(), request.format);
        const std::optional<std::u16string> path = foundation::ShowSaveFileDialog(
            parent, filters, audio::AudioFormatExtension(request.format).substr(1), offered, {});
        if (!path) return std::nullopt;
        request.singleFilePath = *path;
    }
    return RunRipJob(parent, ctx, request);
}

}  // namespace dialogs::ui

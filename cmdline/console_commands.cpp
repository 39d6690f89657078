#include "cmdline/console_commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "app/convert_image.h"
#include "app/document_lifecycle.h"
#include "app/extract_job.h"
#include "app/open_document.h"
#include "app/output_types.h"
#include "app/save_engine.h"
#include "app/startup_state.h"
#include "cmdline/switch_values.h"
#include "containers/mzp/mzp_writer.h"
#include "foundation/console.h"
#include "foundation/dates.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/strings.h"
#include "foundation/operation_status.h"
#include "foundation/sizes.h"
#include "image/build/add_disk_files.h"
#include "image/document/current_document.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/sectors/writer_switches.h"
#include "image/sheets/track_list.h"
#include "platform/staged_file.h"
#include "platform/text.h"
#include "vdrive/drive_options.h"
#include "vdrive/virtual_drives.h"

namespace cmdline {
namespace {

using foundation::ConsoleWrite;
using foundation::ConsoleWriteString;

// Closes the current document and opens the image in its place; false when it
// could not be opened (the open entry has said why).
bool OpenAsCurrentDocument(std::u16string_view path) {
    app::CloseDocument();
    image::ImageContext* ctx = app::OpenImageByPath(path, false, true, false);
    image::g_CurrentDocument = ctx;
    if (!ctx) return false;
    image::g_CurrentFolder = ctx->rootFolder;
    // A damaged image is still listed and extracted as far as it reads; the
    // user is told, as the window tells, and the command ends in failure.
    const uint32_t warnings = uint32_t(ctx->warningBits);
    if (warnings & (foundation::image_warning::kDirectoryError | foundation::image_warning::kUnexpectedEnd)) {
        const uint32_t id = (warnings & foundation::image_warning::kDirectoryError) ? foundation::kStrDirectoryError
                                                                                   : foundation::kStrUnexpectedEnd;
        ConsoleWrite(u"%s: %s\r\n", ShowableText(ctx->imagePath), foundation::LangString(id));
    }
    return true;
}

// True when the open of the current document reported damage.
bool CurrentDocumentDamaged() {
    const image::ImageContext* ctx = image::g_CurrentDocument;
    return ctx && (uint32_t(ctx->warningBits) &
                   (foundation::image_warning::kDirectoryError | foundation::image_warning::kUnexpectedEnd)) != 0;
}

std::u16string ItemDateText(const image::ImageItem& item) {
    const auto& header = item.recordHeader;
    std::span<const uint8_t> date(header.data() + image::dr::kDate, image::dr::kDateBytes);
    if (std::all_of(date.begin(), date.end(), [](uint8_t b) { return b == 0; })) {
        std::array<uint8_t, image::dr::kDateBytes> fromTime{};
        foundation::UnixTimeToIsoRecordDate(item.time, fromTime);
        return foundation::FormatRecordDateText(fromTime);
    }
    return foundation::FormatRecordDateText(date);
}

// The entries shown for a folder: not "." or "..", folders first, then by name
// without case.
std::vector<image::ImageItem*> SortedChildren(image::ImageFolder* folder) {
    std::vector<image::ImageItem*> items;
    for (image::ImageItem* item = folder->firstItem; item; item = item->next)
        if (!image::IsDotOrDotDot(item)) items.push_back(item);
    std::sort(items.begin(), items.end(), [](const image::ImageItem* a, const image::ImageItem* b) {
        const bool aFolder = image::IsFolderItem(a), bFolder = image::IsFolderItem(b);
        if (aFolder != bFolder) return aFolder;
        const int c = platform::CompareNoCase(a->name.view(), b->name.view());
        return c != 0 ? c < 0 : a->name.view() < b->name.view();
    });
    return items;
}

std::u16string ShownFolderPath(const image::ImageFolder* folder) {
    std::u16string path = u"/" + folder->path;
    for (char16_t& c : path)
        if (c == u'\\') c = u'/';
    return ShowableText(path);
}

// The bytes of the files counted: a mixed-mode disc's audio tracks belong to
// no folder, so no folder's total holds them.
std::u16string CountsLine(const image::TreeStatistics& stats) {
    return platform::Format(u"%d Files, %d Folders", stats.fileCount, stats.folderCount + 2) +
           platform::Format(u"  %s %s", foundation::FormatThousands(uint64_t(std::max<int64_t>(stats.fileBytes, 0))),
                            u"bytes");
}

// One folder's block, written at once.
void ListImageFolder(image::ImageContext* ctx, image::ImageFolder* folder) {
    const std::vector<image::ImageItem*> items = SortedChildren(folder);
    if (items.empty()) return;
    std::u16string block = platform::Format(u"Objects in %s:\r\n\r\n", ShownFolderPath(folder));
    for (const image::ImageItem* item : items) {
        const std::u16string name = ShowableText(item->name.view());
        if (image::IsFolderItem(item)) {
            block += platform::Format(u"%-18s  %-18s  %s\r\n", ItemDateText(*item), u"<DIR>", name);
        } else {
            const int64_t size = image::GetItemDataSize(ctx, item);
            block += platform::Format(u"%-18s  %18s  %s\r\n", ItemDateText(*item),
                                      foundation::FormatThousands(uint64_t(std::max<int64_t>(size, 0))), name);
        }
    }
    image::TreeStatistics stats;
    image::GetTreeStatistics(ctx, folder, &stats, false);
    block += CountsLine(stats) + u"\r\n\r\n";
    ConsoleWriteString(block);
}

// The deepest folder chain listed; deeper folders are not walked.
constexpr int32_t kMaxListDepth = image::kMaxFolderPathLevels;

void ListTree(image::ImageContext* ctx, image::ImageFolder* top, bool recursive) {
    // Parents before their subfolders, subfolders in their own order; a work
    // list, however deep the tree.
    std::vector<std::pair<image::ImageFolder*, int32_t>> work{{top, 0}};
    while (!work.empty()) {
        auto [folder, depth] = work.back();
        work.pop_back();
        ListImageFolder(ctx, folder);
        if (!recursive || depth >= kMaxListDepth) continue;
        std::vector<image::ImageFolder*> subfolders;
        for (image::ImageFolder* sub = folder->firstSubfolder; sub; sub = sub->next)
            if (sub->ownItem && !image::IsDotOrDotDot(sub->ownItem)) subfolders.push_back(sub);
        for (auto it = subfolders.rbegin(); it != subfolders.rend(); ++it) work.push_back({*it, depth + 1});
    }
}

char16_t DriveLetterOf(const CommandLineRequest& request) {
    return request.drive && !request.drive->empty() ? platform::ToUpperChar((*request.drive)[0]) : u'\0';
}

int RunListVirtualDrivesCommand() {
    const std::vector<vdrive::VirtualDriveEntry> drives = vdrive::GetVirtualDriveList();
    if (drives.empty()) ConsoleWriteString(u"<No virtual drive>");
    for (const vdrive::VirtualDriveEntry& d : drives)
        ConsoleWrite(u"%s\r\n", ShowableText(vdrive::FormatDriveMenuText(d)));
    return 0;
}

int RunMountCommand(const CommandLineRequest& request) {
    if (vdrive::MountOnDriveLetter(DriveLetterOf(request), MakeFullPath(request.imagePath.value_or(u"")))) {
        ConsoleWriteString(u"Mount successfully.");
        return 0;
    }
    ConsoleWriteString(u"Mount failed.");
    return -1;
}

int RunUnmountCommand(const CommandLineRequest& request) {
    bool ok = true;
    if (request.command == command_bit::kUnmountAll) {
        // Every drive is tried; one that stays mounted fails the command.
        for (const vdrive::VirtualDriveEntry& d : vdrive::GetVirtualDriveList())
            if (!vdrive::UnmountVirtualDrive(d.number)) ok = false;
    } else {
        ok = vdrive::UnmountDriveLetter(DriveLetterOf(request));
    }
    ConsoleWriteString(ok ? u"Unmount successfully." : u"Unmount failed.");
    return ok ? 0 : -1;
}

int VirtualDriveCommand(const CommandLineRequest& request) {
    if (!vdrive::IsVirtualDriveAvailable(true)) return -1;
    switch (request.command) {
    case command_bit::kListDrives: return RunListVirtualDrivesCommand();
    case command_bit::kSetDriveCount: return vdrive::SetVirtualDriveCount(uint32_t(request.driveCount)) ? 0 : -1;
    case command_bit::kMount: return RunMountCommand(request);
    case command_bit::kUnmount:
    case command_bit::kUnmountAll: return RunUnmountCommand(request);
    default: return vdrive::RestoreVirtualDrives() ? 0 : -1;
    }
}

// "-method" and "-OO": the level (L is the level + 1) and the options of
// the compressed-image writers, read when a writer starts. Without them every
// image the console writes would take the document's level, 0 for an ISO.
void ApplyWriterTunables(image::ImageContext& ctx, const CompressedWriterTunables& t) {
    if (t.l >= 1) ctx.compressionLevel = std::clamp(t.l - 1, 0, 2);
    if (t.c) image::WriterSwitchC = true;
    if (t.e) image::WriterSwitchE = true;
    if (t.hOff) image::WriterSwitchH = false;
    containers::MzpWriterOptions& mzp = containers::MzpOptions();
    if (t.s > 0 && t.s <= int64_t{UINT32_MAX}) mzp.chunkSizeOverride = uint32_t(t.s);
    if (t.i >= 0) mzp.deflateVariant = t.i;
}

// The request's archive settings in the document before it is written.
void ApplyArchiveSettings(image::ImageContext& ctx, const CommandLineRequest& request) {
    const ArchiveSettings& s = request.archive;
    ctx.splitOutput = s.split ? 1 : 0;
    ctx.volumeSize = s.split ? s.volumeSize : 0;
    ctx.passwordEnabled = s.passwordSet ? 1 : 0;
    ctx.outputPassword.fill(0);
    ctx.writePassword.fill(0);
    if (s.passwordSet) {
        // The writers encrypt with the write copy: without it the output
        // would be written in the clear although a password was asked for.
        std::copy_n(s.password.begin(), std::min(s.password.size(), ctx.outputPassword.size() - 1),
                    ctx.outputPassword.begin());
        ctx.writePassword = ctx.outputPassword;
        ctx.encryptionWanted = 1;
    }
    if (s.comment) {
        ctx.archiveComment = *s.comment;
        ctx.archiveCommentPresent = s.comment->empty() ? 0 : 1;
    }
    if (request.outputType == kOutputArchive) ctx.archiveKind = request.archiveKind;
    ApplyWriterTunables(ctx, request.tunables);
}

// The file a convert or create writes: the type's suffix added to a name
// without one. Empty, with the reason written, when the type cannot be
// written: refused before the source is read.
std::u16string OutputPathOf(const CommandLineRequest& request) {
    const std::u16string output =
        app::WithOutputSuffix(MakeFullPath(*request.outputFile), request.outputType, request.archiveKind);
    const std::u16string refusal = app::OutputTypeRefusal(output, request.outputType);
    if (refusal.empty()) return output;
    ConsoleWrite(u"%s: %s\r\n", ShowableText(output), refusal);
    return {};
}

}  // namespace

foundation::ProgressCallbacks& ConsoleOperationProgress() {
    static foundation::ProgressCallbacks progress;
    return progress;
}

std::u16string MakeFullPath(std::u16string_view path) {
    if (!path.empty() && path.front() == u'/') return std::u16string(path);
    char* cwd = ::getcwd(nullptr, 0);
    if (!cwd) return std::u16string(path);
    std::u16string full = platform::Utf8ToUtf16(cwd);
    ::free(cwd);
    if (full.empty() || full.back() != u'/') full += u'/';
    return full + std::u16string(path);
}

int RunListCommand(const CommandLineRequest& request) {
    if (!OpenAsCurrentDocument(request.imagePath.value_or(u""))) return -1;
    image::ImageContext* ctx = image::g_CurrentDocument;
    const std::u16string& itemPath = request.itemPath.value_or(u"/");
    image::ImageFolder* folder = image::FindFolderByPath(ctx, ctx->rootFolder, itemPath);
    if (!folder) {
        ConsoleWrite(u"%s: %s\r\n", ShowableText(itemPath), u"The folder does not exist.");
        return -1;
    }
    ConsoleWriteString(u"\r\n");
    const bool recursive = (request.flags & kFlagRecursive) != 0;
    ListTree(ctx, folder, recursive);
    if (recursive) {
        image::TreeStatistics stats;
        image::GetTreeStatistics(ctx, ctx->rootFolder, &stats, true);
        ConsoleWrite(u"%s\r\n\t%s\r\n", u"Total:", CountsLine(stats));
    }
    return CurrentDocumentDamaged() ? -1 : 0;
}

static bool IsAudioCdRoot(const image::ImageContext& ctx, std::u16string_view itemPath) {
    if (ctx.formatCode != image::format_code::kAudioCd || !ctx.trackList || ctx.trackList->trackCount < 1) return false;
    return itemPath == u"/" || itemPath == u"\\" || itemPath.empty();
}

int RunExtractCommand(const CommandLineRequest& request) {
    foundation::ResetOperationStatus();
    if (!request.outputFolder || request.outputFolder->empty()) {
        ConsoleWriteString(u"Please specify extract output directory.");
        return -1;
    }
    if (!OpenAsCurrentDocument(request.imagePath.value_or(u""))) return -1;
    image::ImageContext* ctx = image::g_CurrentDocument;
    const std::u16string& itemPath = request.itemPath.value_or(u"/");
    const std::u16string destination = MakeFullPath(*request.outputFolder);

    int result = -1;
    if (IsAudioCdRoot(*ctx, itemPath)) {
        // An audio CD holds tracks, not files: the root extracts every audio
        // track as a WAV file named from the track-name template.
        app::CExtractJob job(ctx, destination, ctx->rootFolder);
        for (int32_t i = 0; i < ctx->trackList->trackCount; ++i)
            if (ctx->trackList->tracks[size_t(i)].mode == image::track_mode::kAudio) job.AddTrack(i, 0);
        result = job.Run(&ConsoleOperationProgress());
    } else if (image::ImageFolder* folder = image::FindFolderByPath(ctx, ctx->rootFolder, itemPath)) {
        app::ExtractRequest job;
        job.destination = destination;
        if (folder == ctx->rootFolder) {
            job.allFiles = true;
            result = app::ExtractItems(ctx, folder, {}, job, &ConsoleOperationProgress());
        } else {
            result = app::ExtractItems(ctx, folder->parent, {folder->ownItem}, job, &ConsoleOperationProgress());
        }
    } else if (image::ImageItem* item = image::FindItemByPath(ctx, ctx->rootFolder, itemPath)) {
        app::ExtractRequest job;
        job.destination = destination;
        result = app::ExtractItems(ctx, item->parent, {item}, job, &ConsoleOperationProgress());
    } else {
        ConsoleWrite(u"Can not find the object: %s\r\n", ShowableText(itemPath));
        return -1;
    }
    ConsoleWriteString(u"\r\n");
    // A failure has told its file; a question left unanswered or a stop has
    // not, and says so here.
    if (result == 0 || foundation::OperationStatus == foundation::kStatusCancelled)
        ConsoleWriteString(u"Extraction cancelled.\r\n");
    return result == 1 && foundation::OperationStatus == 0 && !CurrentDocumentDamaged() ? 0 : -1;
}

int RunCreateCommand(const CommandLineRequest& request) {
    if (!request.outputFile || request.outputFile->empty()) {
        ConsoleWriteString(u"Please specify output file name.");
        return -1;
    }
    const std::u16string output = OutputPathOf(request);
    if (output.empty()) return -1;
    image::ImageContext* ctx = image::g_CurrentDocument;
    if (!ctx) {
        ConsoleWriteString(u"There is no image to write: add files first.\r\n");
        return -1;
    }
    ApplyArchiveSettings(*ctx, request);
    return app::ConvertImageFile(*ctx, output, request.outputType, nullptr);
}

int RunConvertCommand(const CommandLineRequest& request) {
    if (!request.outputFile || request.outputFile->empty()) {
        ConsoleWriteString(u"Please specify output file name.");
        return -1;
    }
    const std::u16string output = OutputPathOf(request);
    if (output.empty()) return -1;
    if (!OpenAsCurrentDocument(request.imagePath.value_or(u""))) return -1;
    image::ImageContext* ctx = image::g_CurrentDocument;
    ApplyArchiveSettings(*ctx, request);
    const int result = app::ConvertImageFile(*ctx, output, request.outputType, nullptr);
    return result == 0 && CurrentDocumentDamaged() ? -1 : result;
}

int AddLocalPathToImage(std::u16string_view localPath, std::u16string_view folderText) {
    std::u16string folderPath(folderText);
    for (char16_t& c : folderPath)
        if (c == u'\\') c = u'/';
    if (folderPath.empty() || folderPath.front() != u'/') return 0;
    if (folderPath.size() > 1 && folderPath.back() == u'/') folderPath.pop_back();
    image::ImageContext* ctx = image::g_CurrentDocument;
    if (!ctx || localPath.empty()) return 0;

    ctx->bulkAddMark = 1;
    bool created = false;
    image::ImageFolder* folder = image::FindFolderByPath(ctx, ctx->rootFolder, folderPath);
    if (!folder) {
        folder = image::CreateFolderPath(ctx, folderPath);
        created = folder != nullptr;
    }
    int result = 1;
    if (!folder) {
        result = 0;
    } else {
        const std::u16string full = MakeFullPath(localPath);
        ConsoleWrite(u"Adding %s ", ShowableText(full));
        struct stat st {};
        if (::stat(platform::Utf16ToUtf8(full).c_str(), &st) != 0) {
            ConsoleWrite(u"\r\nCan not find file or folder: %s\r\n", ShowableText(full));
            result = -1;
        } else {
            foundation::ResetOperationStatus();
            if (S_ISDIR(st.st_mode)) {
                image::AddDiskFolderContents(ctx, folder, full, folder->ownItem);
            } else {
                std::u16string name = full.substr(full.find_last_of(u'/') + 1);
                if (!image::AddDiskItem(ctx, folder, full, name)) foundation::OperationStatus = foundation::kStatusFailed;
            }
            if (foundation::OperationStatus != 0) {
                ConsoleWrite(u"\r\nCan not add: %s\r\n", ShowableText(full));
                result = -1;
            } else {
                ConsoleWriteString(u" done.\r\n");
            }
        }
    }
    ctx->bulkAddMark = 0;
    image::ClearNameHash(ctx, ctx->rootFolder);
    if (created || result == 1) ctx->modified = 2;
    return result;
}

bool ReadCommentFile(std::u16string_view path, size_t maxBytes, std::string& bytes) {
    const int fd = ::open(platform::Utf16ToUtf8(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    bytes.clear();
    if (ok) {
        bytes.resize(std::min<uint64_t>(uint64_t(st.st_size), maxBytes));
        size_t at = 0;
        while (at < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + at, bytes.size() - at);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) ok = false;
            if (n <= 0) break;
            at += size_t(n);
        }
        bytes.resize(at);
        const size_t nul = bytes.find('\0');
        if (nul != std::string::npos) bytes.resize(nul);
    }
    ::close(fd);
    return ok;
}

void ShowComment(std::u16string_view imagePath) {
    if (!OpenAsCurrentDocument(imagePath)) return;
    const image::ImageContext* ctx = image::g_CurrentDocument;
    if (!ctx->archiveCommentPresent || ctx->archiveComment.empty()) return;
    std::u16string text;
    platform::MultiByteToUtf16(platform::kCodePageAnsi, ctx->archiveComment, text);
    ConsoleWriteString(ShowableText(text, true));
}

bool ExtractCommentToFile(std::u16string_view imagePath, std::u16string_view commentFile) {
    if (!OpenAsCurrentDocument(imagePath)) return true;
    const image::ImageContext* ctx = image::g_CurrentDocument;
    if (!ctx->archiveCommentPresent || ctx->archiveComment.empty()) return true;
    // Written beside its name and renamed over it once complete.
    const std::u16string target = MakeFullPath(commentFile);
    platform::StagedFile file;
    const bool ok = file.Begin(target) && file.Write(ctx->archiveComment.data(), ctx->archiveComment.size()) &&
                    file.Commit();
    if (!ok) ConsoleWrite(u"Can't open file: %s\r\n", ShowableText(commentFile));
    return ok;
}

int DispatchConsoleCommand(const CommandLineRequest& request) {
    switch (request.command) {
    case command_bit::kListDrives:
    case command_bit::kSetDriveCount:
    case command_bit::kUnmountAll:
    case command_bit::kUnmount:
    case command_bit::kMount:
    case command_bit::kAutomount: return VirtualDriveCommand(request);
    case command_bit::kList: return RunListCommand(request);
    case command_bit::kExtract: return RunExtractCommand(request);
    case command_bit::kConvert: return RunConvertCommand(request);
    case command_bit::kHelp:
        // No pause after the text: what the program wrote stays in the pipe
        // for the front end after the program ends, and it reads to the end.
        PrintConsoleUsage();
        return 0;
    case command_bit::kCreate: return RunCreateCommand(request);
    case command_bit::kCreateLangFile:
        // The window program starts after the console run and ends once its
        // main window has been made.
        app::g_ExitAfterStartup = 1;
        return 0;
    default: return -1;
    }
}

}  // namespace cmdline

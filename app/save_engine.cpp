#include "app/save_engine.h"

#include "app/name_change_notice.h"

#include <array>
#include <mutex>
#include <vector>

#include "app/document_lifecycle.h"
#include "app/output_types.h"
#include "app/save_output.h"
#include "app/volume_set_check.h"
#include "app/save_runner_services.h"
#include "containers/daa/daa_container.h"
#include "containers/mzp/mzp_format.h"
#include "containers/xdi/xdi_container.h"
#include "foundation/file_io.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "foundation/paths.h"
#include "foundation/strings.h"
#include "image/build/image_save.h"
#include "image/detect/format_detect.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/document/password_services.h"
#include "image/iso/volume_texts.h"
#include "image/sectors/container_services.h"
#include "image/sectors/format_table.h"
#include "image/sectors/sector_io.h"
#include "image/sectors/sector_writers.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace app {
namespace {

using foundation::OperationStatus;
namespace fc = image::format_code;

constexpr uint32_t kMultiVolumeTargetText = 820;
constexpr int32_t kFormatSlots = 256;

std::atomic<int32_t> g_saveResult{-1};
std::atomic<bool> g_saveOverSource{false};
std::mutex g_outputPathLock;
std::u16string g_currentOutputPath;

std::array<std::atomic<DocumentWriter>, kFormatSlots>& Writers() {
    static std::array<std::atomic<DocumentWriter>, kFormatSlots> writers{};
    return writers;
}

void SetOutputPath(std::u16string_view path) {
    std::lock_guard<std::mutex> guard(g_outputPathLock);
    g_currentOutputPath.assign(path.substr(0, 512));
}

void Tell(std::u16string_view path, std::u16string_view text, uint32_t icon = foundation::kMbIconStop) {
    foundation::AppMessageBox(platform::Format(u"%s\r\n\r\n%s", std::u16string(path), std::u16string(text)), icon);
}

// ISO and BIN, and the chunked containers whose sector writer is installed:
// the image build writes them beside the target and renames when complete.
int ImageBuildWriter(SaveRequest& request) {
    return image::SaveImageFile(request.ctx, request.path, request.format, request.progress);
}

bool ContainerWriterInstalled(int32_t format) {
    const image::ContainerKind kind = format == fc::kDaa ? image::ContainerKind::Daa : image::ContainerKind::Xdi;
    return image::ContainerServices().ContainerWriter(kind) != nullptr;
}

int32_t SplitVolumeCount(image::ImageContext& ctx) {
    image::TreeStatistics stats;
    if (ctx.rootFolder) image::GetTreeStatistics(&ctx, ctx.rootFolder, &stats, true);
    const int64_t sectors = stats.fileBytes / 2048 + 1;
    // Stored sectors of the containers take up to 2248 bytes with their headers.
    const int64_t bytes = sectors > INT64_MAX / 2248 ? INT64_MAX : sectors * 2248;
    const int64_t count = bytes / ctx.volumeSize + 1;
    return int32_t(std::min<int64_t>(count, kMaxVolumeCount + 1));
}

bool SameFile(std::u16string_view path, const std::vector<FileIdentity>& sources) {
    FileIdentity id;
    return IdentityOfPath(path, id) && std::find(sources.begin(), sources.end(), id) != sources.end();
}

// Volume n of the set a split save writes, in the naming style its writer
// uses. (Each container names its volumes itself today; this follows them.)
SaveOutputSet::VolumeNamer VolumeNamerOf(const SaveTarget& target) {
    const std::u16string first = target.firstVolume;
    const int32_t style = target.volumeNamingStyle;
    switch (target.format) {
    case fc::kDaa: return [first, style](int32_t n) { return containers::GetDaaVolumeName(first, n, style); };
    case fc::kXdi:
        return [first](int32_t n) { return containers::GetXdiPartName(first, uint32_t(n)).value_or(u""); };
    case fc::kMzp:
        return [first, style](int32_t n) {
            return containers::mzp::MzpVolumeNameAt(first, style, uint32_t(n)).value_or(u"");
        };
    default: return {};
    }
}

}  // namespace

DocumentWriter GetDocumentWriter(int32_t format) {
    if (format >= 0 && format < kFormatSlots) {
        if (DocumentWriter installed = Writers()[size_t(format)].load()) return installed;
    }
    if (format == fc::kIso || format == fc::kBin) return ImageBuildWriter;
    if ((format == fc::kDaa || format == fc::kXdi) && ContainerWriterInstalled(format)) return ImageBuildWriter;
    return nullptr;
}

DocumentWriter SetDocumentWriter(int32_t format, DocumentWriter writer) {
    if (format < 0 || format >= kFormatSlots) return nullptr;
    return Writers()[size_t(format)].exchange(writer);
}

int32_t SaveResult() { return g_saveResult.load(); }
bool SavingOverSource() { return g_saveOverSource.load(); }
std::u16string CurrentOutputPath() {
    std::lock_guard<std::mutex> guard(g_outputPathLock);
    return g_currentOutputPath;
}

int32_t PrepareSaveTarget(image::ImageContext& ctx, std::u16string_view path, int32_t format, SaveTarget& target) {
    target = SaveTarget{};
    int32_t chosen = format == -1 ? image::GetFormatByExtension(image::GetFileExtension(path)) : format;
    // A name the format table does not know: the user's name, an ISO image inside.
    if (chosen == -1) chosen = fc::kIso;
    const std::vector<FileIdentity> sources = DocumentFileIdentities(ctx);
    // A volume of the source found missing half-way would end the save with a
    // broken output: every volume must be at hand first, and skipping one is
    // not offered, as its bytes would be missing from what is written.
    if (OpenDocumentVolumesOrAsk(ctx, ctx.imagePath, false) != kVolumesReady) {
        OperationStatus = foundation::kStatusFailed;
        return -1;
    }
    const bool splittable = chosen != fc::kArchive;
    if (ctx.splitOutput && splittable) {
        if (ctx.volumeSize < kMinVolumeBytes) {
            Tell(path, foundation::LangString(foundation::kStrTooManyVolumes), foundation::kMbIconInformation);
            OperationStatus = foundation::kStatusFailed;
            return -1;
        }
        const int32_t count = SplitVolumeCount(ctx);
        if (count > kMaxVolumeCount) {
            Tell(path, foundation::LangString(foundation::kStrTooManyVolumes), foundation::kMbIconInformation);
            OperationStatus = foundation::kStatusFailed;
            return -1;
        }
        target.volumes = true;
        target.volumeNamingStyle = count >= 100 ? 1 : 0;
        // The MZP writer numbers its volumes by the document's style.
        ctx.volumeNamingStyle = target.volumeNamingStyle;
        if (platform::EndsWithNoCase(path, u".xdi")) {
            target.format = fc::kXdi;
            target.path = containers::GetXdiFirstPartName(path);
            target.firstVolume = target.path;
        } else if (chosen == fc::kDaa) {
            // DAA keeps its own volumes; the writer names them from the path.
            target.format = fc::kDaa;
            target.path.assign(path);
            target.firstVolume = containers::GetDaaFirstVolumeName(path, target.volumeNamingStyle);
        } else {
            target.format = fc::kMzp;
            // The writer names each volume from the name the user gave.
            target.path.assign(path);
            target.firstVolume = containers::mzp::GetMzpVolumeName(path, target.volumeNamingStyle).value_or(target.path);
        }
        // A set of volumes never replaces a file the document reads.
        if (SameFile(target.firstVolume, sources) || SameFile(target.path, sources) || SameFile(path, sources)) {
            Tell(target.path,
                 foundation::GetLangString(kMultiVolumeTargetText,
                                           u"The source file or destination file is a multi-volume archive. You "
                                           u"must save to a different file name."),
                 foundation::kMbIconInformation);
            OperationStatus = foundation::kStatusFailed;
            return -1;
        }
        return target.format;
    }
    target.format = chosen;
    target.path.assign(path);
    target.overSource = SameFile(path, sources);
    return chosen;
}

int EnsureSavePassword(image::ImageContext& ctx) {
    if (ctx.encryptionWanted == 0 || ctx.writePassword[0] != 0) return 1;
    if (!ctx.archiveLink) {
        ctx.encryptionWanted = 0;
        ctx.writePassword.fill(0);
        return 1;
    }
    if (!image::AskPassword(&ctx, nullptr)) return 0;
    ctx.writePassword = ctx.outputPassword;
    ctx.writePassword.back() = 0;
    return 1;
}

int SaveDocument(image::ImageContext& ctx, std::u16string_view path, int32_t format,
                 foundation::ProgressCallbacks* progress) {
    g_saveResult = -1;
    g_saveOverSource = false;
    g_SuppressNameNotice = false;
    foundation::ResetOperationStatus();
    ctx.writtenSize = 0;
    // A type we only read is refused before anything is asked or written:
    // never ISO bytes under the name of a sheet or another program's image.
    if (const std::u16string refusal = OutputTypeRefusal(path, format); !refusal.empty()) {
        Tell(path, refusal);
        OperationStatus = foundation::kStatusFailed;
        return -1;
    }
    // Nothing is written without the password an encrypted source needs.
    if (EnsureSavePassword(ctx) == 0) {
        OperationStatus = foundation::kStatusCancelled;
        return -1;
    }

    std::u16string named(path);
    if (format == -1) {
        const std::u16string extension = image::GetFileExtension(named);
        if (extension == u"zip") ctx.archiveKind = 1;
        if (extension == u"7z") ctx.archiveKind = 2;
    }
    // A self-extracting MZP keeps its format under the program's extension.
    if (ctx.selfExtracting && format == -1 && image::GetFileExtension(named) == u"mzp") format = fc::kMzp;
    if (ctx.selfExtracting && format == -1 && image::GetFileExtension(named) == u"daa") format = fc::kDaa;
    if (ctx.selfExtracting) named = foundation::ChangeFileExtension(named, u"exe", foundation::MissingExtension::Append);

    SaveTarget target;
    if (PrepareSaveTarget(ctx, named, format, target) == -1) return -1;
    DocumentWriter writer = GetDocumentWriter(target.format);
    if (!writer) {
        // Never an image of another format under this name.
        Tell(target.path, u"Files of this format cannot be written yet.");
        OperationStatus = foundation::kStatusFailed;
        return -1;
    }
    // The user agrees before an existing file is replaced (it is replaced only
    // when the new one is complete).
    const std::u16string& written = target.volumes ? target.firstVolume : target.path;
    if (platform::FileExists(written) && foundation::AskOverwriteFile(written) != 0) {
        OperationStatus = foundation::kStatusFailed;
        return -1;
    }
    SetOutputPath(target.path);
    g_saveOverSource = target.overSource;
    const bool fromArchive = ctx.formatCode == fc::kArchive || ctx.formatCode == fc::kMzp;
    if (fromArchive && (target.format == fc::kIso || target.format == fc::kBin)) {
        // The texts the user typed for the new image (the save sheet's ISO
        // pages) outlive the fresh fields of a new image.
        const auto typed = ctx.volumeTexts;
        image::InitNewImageFields(ctx, fc::kIso);
        if (ctx.volumeFieldsChanged)
            for (size_t i = 0; i < typed.size(); ++i)
                if (!typed[i].empty()) ctx.volumeTexts[i] = typed[i];
    }

    int result = -1;
    {
        SaveOutputSet output(ctx, target.volumes);
        if (target.volumes) output.SetVolumeNamer(VolumeNamerOf(target));
        SaveRequest request{ctx, target.format, target.path, output, progress};
        // The writer runs unlocked: the archive readers take the document's
        // lock themselves while they read an item for it.
        result = progress == nullptr ? SaveRunnerServices().RunWriter(writer, request) : writer(request);
        if (result == 1 && output.VolumeCount() > 0 && !output.Commit()) {
            OperationStatus = foundation::kStatusCannotCreate;
            foundation::ShowLastError(target.path);
            result = -1;
        }
        // An uncommitted set removes every file it began.
    }
    g_saveOverSource = false;
    if (result != 1) {
        if (OperationStatus.load() == foundation::kStatusNone)
            OperationStatus = result == 0 ? foundation::kStatusCancelled : foundation::kStatusFailed;
        return -1;
    }
    ctx.documentPath = target.path;
    // The frame names the document after the file it now is.
    if (&ctx == image::g_CurrentDocument) {
        SetNewDocumentName(target.path);
        DocumentWindowServices().UpdateTitle();
    }
    g_saveResult = 0;
    return 0;
}

int SaveDocument(std::u16string_view path, int32_t format) {
    if (!image::g_CurrentDocument) return -1;
    return SaveDocument(*image::g_CurrentDocument, path, format, nullptr);
}

int PrepareDocumentForBurn(image::ImageContext& ctx) {
    g_saveResult = -1;
    g_saveOverSource = false;
    g_SuppressNameNotice = false;
    ctx.burnPass = 1;
    const int composed = image::ComposeImage(ctx, nullptr);
    ctx.burnPass = 0;
    if (composed != 1) return -1;
    ctx.nextSessionStart = ctx.sectorCount;
    g_saveResult = 0;
    return 0;
}

bool CanUpdateInPlace(const image::ImageContext& ctx) {
    if (ctx.formatCode != fc::kIso && ctx.formatCode != fc::kBin) return false;
    const image::ImageFormatRow* row = image::GetImageFormatRow(ctx.formatCode);
    return row && row->writer && ctx.sectorSize == row->sectorSize && ctx.userDataOffset == row->userDataOffset &&
           ctx.dataOffset == row->dataOffset && ctx.udfFlag == 0 && ctx.udfPresent == 0 && ctx.videoCdKind == 0 &&
           ctx.multiSession == 0 && ctx.composedRead == 0 && ctx.discSource == 0 && ctx.preloadedHead.empty() &&
           ctx.primaryDescriptorSector > 0 && ctx.imageHandle;
}

int UpdateImageInPlace(image::ImageContext& ctx, std::u16string_view path) {
    foundation::ResetOperationStatus();
    SetOutputPath(path);
    if (!CanUpdateInPlace(ctx)) return -1;
    // The file at the path must be the one the document reads.
    FileIdentity id;
    if (!IdentityOfPath(path, id) || DocumentFileIdentities(ctx).empty() || DocumentFileIdentities(ctx)[0] != id) {
        platform::SetLastError(platform::kErrorFileNotFound);
        foundation::ShowLastError(path);
        OperationStatus = foundation::kStatusFailed;
        return -1;
    }
    foundation::UniqueFile writable(foundation::OpenFileReadWrite(path));
    if (!writable) {
        foundation::ShowLastError(path);
        OperationStatus = foundation::kStatusFailed;
        return -1;
    }
    const std::u16string label = image::GetVolumeField(ctx, image::kVolumeLabel);
    const image::VolumeTextField field = image::VolumeTextFieldOf(image::kVolumeLabel);
    struct Descriptor {
        int32_t sector;
        bool wide;
        std::array<uint8_t, 2048>* copy;
    };
    std::vector<Descriptor> descriptors{{ctx.primaryDescriptorSector, false, &ctx.primaryDescriptor}};
    if (ctx.jolietDescriptorSector > 0) descriptors.push_back({ctx.jolietDescriptorSector, true, &ctx.jolietDescriptor});

    std::vector<std::array<uint8_t, 2048>> patched(descriptors.size());
    for (size_t i = 0; i < descriptors.size(); ++i) {
        if (image::ReadImageSectors(ctx, descriptors[i].sector, patched[i].data(), 1) != 1) {
            if (OperationStatus.load() == foundation::kStatusNone) OperationStatus = foundation::kStatusImageReadError;
            return -1;
        }
        std::span<uint8_t> bytes(patched[i].data() + field.offset, field.length);
        if (descriptors[i].wide) image::PutVolumeTextW(bytes, label);
        else image::PutVolumeTextA(bytes, label);
    }

    const int32_t previousFormat = ctx.outputFormat;
    ctx.outputFormat = ctx.formatCode;
    ctx.outputHandle = std::move(writable);
    ctx.writingPath.assign(path);
    bool ok = true;
    image::WriterArguments args;
    for (size_t i = 0; i < descriptors.size() && ok; ++i)
        ok = image::WriteImageSectors(ctx, descriptors[i].sector, patched[i].data(), 1, args) == 1;
    if (ok && !platform::FileFlush(ctx.outputHandle.get())) {
        foundation::ShowLastError(path);
        OperationStatus = foundation::kStatusWriteFailed;
        ok = false;
    }
    const bool closed = platform::FileClose(ctx.outputHandle.release());
    ctx.writingPath.clear();
    ctx.outputFormat = previousFormat;
    if (!ok || !closed) {
        if (OperationStatus.load() == foundation::kStatusNone) OperationStatus = foundation::kStatusWriteFailed;
        return -1;
    }
    for (size_t i = 0; i < descriptors.size(); ++i) *descriptors[i].copy = patched[i];
    ctx.documentPath.assign(path);
    return 0;
}

}  // namespace app

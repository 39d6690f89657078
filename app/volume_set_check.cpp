#include "app/volume_set_check.h"

#include <memory>

#include "containers/daa/daa_container.h"
#include "containers/mzp/mzp_container.h"
#include "containers/mzp/mzp_format.h"
#include "containers/xdi/xdi_container.h"
#include "foundation/file_io.h"
#include "foundation/missing_volumes_question.h"
#include "foundation/name_lookup.h"
#include "foundation/prompts.h"
#include "foundation/volume_file_open.h"
#include "image/document/image_context.h"

namespace app {
namespace {

size_t LastSlash(std::u16string_view path) {
    const size_t slash = path.find_last_of(u'/');
    return slash == std::u16string_view::npos ? 0 : slash + 1;
}

std::u16string FolderOf(std::u16string_view path) {
    const size_t name = LastSlash(path);
    return std::u16string(path.substr(0, name > 1 ? name - 1 : name));
}

std::u16string NameOf(std::u16string_view path) { return std::u16string(path.substr(LastSlash(path))); }

std::u16string InFolder(std::u16string_view folder, std::u16string_view name) {
    std::u16string path(folder);
    while (path.size() > 1 && path.back() == u'/') path.pop_back();
    if (path.empty()) return std::u16string(name);
    if (path.back() != u'/') path += u'/';
    return path + std::u16string(name);
}

// A volume is at hand when its name, in whatever case, opens as a regular
// file; the name then becomes the one found.
bool VolumeAtHand(std::u16string& name) {
    if (name.empty()) return false;
    const std::u16string found = foundation::ResolvePathNoCase(name);
    foundation::UniqueFile file(foundation::OpenChosenVolume(found));
    if (!file) return false;
    name = found;
    return true;
}

}  // namespace

int32_t OpenVolumesOrAsk(std::vector<std::u16string>& names, int32_t setKind, std::u16string_view text,
                         bool maySkip, bool inPlace) {
    if (names.empty()) return kVolumesReady;
    for (;;) {
        auto question = std::make_shared<foundation::MissingVolumesQuestion>();
        for (std::u16string& name : names)
            if (!VolumeAtHand(name)) question->missing.push_back(NameOf(name));
        if (question->missing.empty()) return kVolumesReady;
        question->folder = FolderOf(names.front());
        auto request = std::make_shared<foundation::UserPromptRequest>();
        request->kind = foundation::prompt_kind::kMissingVolumes;
        request->data = maySkip ? 1 : 0;
        request->value = setKind;
        request->text = std::u16string(text);
        request->path = question->folder;
        request->context = question.get();
        if (foundation::RunUserPromptRequest(request) != 0 || request->answer != foundation::kIdOk)
            return kVolumesCancelled;
        if (maySkip && request->outFlag == 1) return kVolumesReady;
        if (inPlace) continue;
        // The folder the user points at holds the volumes that were missing;
        // those found where they were stay there.
        const std::u16string folder = request->outText.empty() ? question->folder : request->outText;
        for (std::u16string& name : names) {
            std::u16string moved = InFolder(folder, NameOf(name));
            if (!VolumeAtHand(name) && VolumeAtHand(moved)) name = moved;
        }
    }
}

int32_t OpenDaaVolumesOrAsk(containers::DaaContainer& set, std::u16string_view text, bool maySkip, bool inPlace) {
    if (!set.multiVolume || set.volumeNames.size() < 2) return kVolumesReady;
    return OpenVolumesOrAsk(set.volumeNames, kVolumeSetDaa, text, maySkip, inPlace);
}

namespace {

// MZP volumes and XDI parts share one record; names not yet derived are
// made from the first one's.
template <typename NameAt>
int32_t AskForVolumeRecords(std::vector<containers::MzpVolume>& volumes, int32_t setKind, std::u16string_view text,
                            bool maySkip, bool inPlace, NameAt nameAt) {
    if (volumes.size() < 2) return kVolumesReady;
    std::vector<std::u16string> names;
    for (size_t n = 0; n < volumes.size(); ++n) {
        if (volumes[n].path.empty() && n > 0) volumes[n].path = nameAt(volumes[0].path, uint32_t(n)).value_or(u"");
        names.push_back(volumes[n].path);
    }
    // Volume 0 is the document's own open file.
    const int32_t answer = OpenVolumesOrAsk(names, setKind, text, maySkip, inPlace);
    for (size_t n = 1; n < volumes.size(); ++n)
        if (!volumes[n].Handle()) volumes[n].path = names[n];
    return answer;
}

}  // namespace

int32_t OpenMzpVolumesOrAsk(containers::MzpContainer& set, std::u16string_view text, bool maySkip, bool inPlace) {
    if (!set.multiVolume) return kVolumesReady;
    const int32_t style = set.namingStyle;
    return AskForVolumeRecords(set.volumes, kVolumeSetMzp, text, maySkip, inPlace, [style](std::u16string_view first, uint32_t n) {
        return containers::mzp::MzpVolumeNameAt(first, style, n);
    });
}

int32_t OpenXdiPartsOrAsk(containers::XdiContainer& set, std::u16string_view text, bool maySkip, bool inPlace) {
    return AskForVolumeRecords(set.parts, kVolumeSetXdi, text, maySkip, inPlace, [](std::u16string_view first, uint32_t n) {
        return containers::GetXdiPartName(first, n);
    });
}

int32_t OpenDocumentVolumesOrAsk(image::ImageContext& ctx, std::u16string_view text, bool maySkip, bool inPlace) {
    if (image::DaaContainerState* daa = ctx.daaReader.get()) return OpenDaaVolumesOrAsk(*daa, text, maySkip, inPlace);
    if (image::MzpContainerState* mzp = ctx.mzpReader.get()) return OpenMzpVolumesOrAsk(*mzp, text, maySkip, inPlace);
    if (image::XdiContainerState* xdi = ctx.xdiReader.get()) return OpenXdiPartsOrAsk(*xdi, text, maySkip, inPlace);
    return kVolumesReady;
}

}  // namespace app

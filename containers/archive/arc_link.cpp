#include "containers/archive/arc_link.h"

#include <cstring>
#include <new>

#include "containers/archive/arc_extract.h"
#include "containers/archive/arc_host.h"
#include "containers/archive/arc_values.h"
#include "foundation/work_folder.h"
#include "image/document/image_context.h"
#include "image/document/password_services.h"
#include "platform/file.h"
#include "platform/text.h"

namespace containers::archive {
namespace {

void FreeLink(image::ArchiveLink* link) {
    if (!link) return;
    StopSolidPass(*link);
    // Close before release: a handler may hold streams that read our files.
    if (link->innerArchive) link->innerArchive.Table<InArchiveVtbl>().Close(link->innerArchive.get());
    if (link->outerArchive) link->outerArchive.Table<InArchiveVtbl>().Close(link->outerArchive.get());
    delete link;
}

}  // namespace

ArchiveLinkState* LinkOf(const image::ImageContext& ctx) { return ctx.archiveLink.get(); }

ArchiveLinkState* AttachArchiveLink(image::ImageContext& ctx) {
    auto* link = new (std::nothrow) image::ArchiveLink;
    if (!link) return nullptr;
    ctx.archiveLink.Attach(link, FreeLink);
    return link;
}

void CloseArchiveLink(image::ImageContext& ctx) { ctx.archiveLink.Reset(); }

HResult GetLinkPassword(ArchiveLinkState& link, image::ImageContext& ctx, wchar_t** password) {
    if (!password) return kInvalidArg;
    *password = nullptr;
    if (!link.passwordGiven) {
        // Asked at most once per archive: a refusal stands.
        if (link.passwordAsked) return kAbort;
        link.passwordAsked = true;
        if (!image::AskPassword(&ctx, nullptr)) return kAbort;
        const char* bytes = ctx.outputPassword.data();
        const size_t n = ::strnlen(bytes, ctx.outputPassword.size());
        std::u16string text;
        if (!platform::MultiByteToUtf16(platform::AnsiCodePage(), std::string_view(bytes, n), text))
            text = platform::Utf8ToUtf16(std::string_view(bytes, n));
        link.password = std::move(text);
        link.passwordGiven = true;
    }
    *password = AllocLibraryString(link.password);
    return *password ? kOk : kOutOfMemory;
}

}  // namespace containers::archive

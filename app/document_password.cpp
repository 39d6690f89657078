#include "app/document_password.h"

#include <algorithm>

#include "app/document_edits.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"

namespace app {

size_t DocumentPasswordLimit(const image::ImageContext& ctx) {
    return ctx.formatCode == image::format_code::kDaa || ctx.formatCode == image::format_code::kXdi ? 64 : 32;
}

bool SetDocumentPassword(image::ImageContext& ctx, std::string_view bytes) {
    if (bytes.empty() || bytes.size() > DocumentPasswordLimit(ctx) || bytes.find('\0') != std::string_view::npos)
        return false;
    ctx.outputPassword.fill(0);
    std::copy(bytes.begin(), bytes.end(), ctx.outputPassword.begin());
    ctx.writePassword = ctx.outputPassword;
    ctx.passwordEnabled = true;
    ctx.passwordSet = true;
    ctx.encryptionWanted = true;
    if (&ctx == image::g_CurrentDocument) SetDocumentModified(2);
    return true;
}

void RemoveDocumentPassword(image::ImageContext& ctx) {
    // Through a volatile view: the compiler may not drop stores to bytes
    // that are never read again.
    for (auto* field : {&ctx.outputPassword, &ctx.writePassword}) {
        volatile char* bytes = field->data();
        for (size_t i = 0; i < field->size(); ++i) bytes[i] = 0;
    }
    ctx.passwordEnabled = false;
    ctx.passwordSet = false;
    ctx.encryptionWanted = false;
    if (&ctx == image::g_CurrentDocument) SetDocumentModified(2);
}

}  // namespace app

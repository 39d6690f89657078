#include "window/models/image_tools.h"

#include "foundation/language.h"
#include "foundation/password_text.h"
#include "image/document/image_context.h"

namespace dialogs {
namespace {

namespace fc = image::format_code;

// XDI keeps its password in a 64-byte field; a longer one is refused here,
// before anything is read, rather than by the writer at the end.
constexpr size_t kXdiPasswordLimit = 64;

constexpr int kSourceField = 1019;
constexpr int kDestinationField = 1515;
constexpr int kPasswordField = 1134;

ImageToolVerdict Refuse(uint32_t id, const char16_t* text, int field) {
    ImageToolVerdict v;
    v.message = foundation::GetLangString(id, text);
    v.focusControl = field;
    return v;
}

}  // namespace

int TemplateOfMode(ImageToolMode mode) {
    switch (mode) {
    case ImageToolMode::Compress: return 365;
    case ImageToolMode::Decompress: return 366;
    case ImageToolMode::Convert: break;
    }
    return 367;
}

int32_t ConvertFormatOfIndex(int index) { return index == 1 ? fc::kBin : index == 2 ? fc::kXdi : fc::kIso; }

std::u16string_view ExtensionOfFormat(int32_t format) {
    return format == fc::kBin ? u"bin" : format == fc::kXdi ? u"xdi" : u"iso";
}

std::u16string WithFormatExtension(std::u16string_view path, int32_t format) {
    if (path.empty()) return {};
    const size_t slash = path.find_last_of(u'/');
    const size_t dot = path.find_last_of(u'.');
    const bool hasExtension = dot != std::u16string_view::npos && (slash == std::u16string_view::npos || dot > slash);
    if (!hasExtension) {
        if (format != fc::kXdi) return std::u16string(path);
        return std::u16string(path) + u"." + std::u16string(ExtensionOfFormat(format));
    }
    return std::u16string(path.substr(0, dot + 1)) + std::u16string(ExtensionOfFormat(format));
}

ImageToolVerdict CheckImageToolEntries(const ImageToolEntries& e) {
    if (e.mode == ImageToolMode::Decompress) {
        ImageToolVerdict v;
        v.ok = true;
        return v;
    }
    if (e.source.empty()) return Refuse(2360, u"Please input the source file name.", kSourceField);
    if (e.destination.empty()) return Refuse(2370, u"Please input the destination file name.", kDestinationField);
    if (e.source == e.destination)
        return Refuse(2380, u"The source file name and destination file name can not be same.", kSourceField);
    if (e.format == e.sourceFormat && e.format != fc::kXdi)
        return Refuse(2440,
                      u"The type of the source and destination image file is identical. No conversion is needed.",
                      kDestinationField);
    const bool wantsPassword = e.mode == ImageToolMode::Compress ? e.passwordOn : e.format == fc::kXdi;
    ImageToolVerdict v;
    if (wantsPassword) {
        if (e.password != e.passwordAgain) return Refuse(910, u"The two passwords do not match.", kPasswordField);
        if (e.password.empty() && e.mode == ImageToolMode::Compress)
            return Refuse(2450, u"The password can't be empty.", kPasswordField);
        if (!e.password.empty()) {
            const foundation::PasswordCheck check =
                foundation::PasswordToArchiveBytes(e.password, kXdiPasswordLimit, v.password);
            if (check != foundation::PasswordCheck::Ok) {
                v.message = foundation::PasswordRefusalText(check, kXdiPasswordLimit);
                v.focusControl = kPasswordField;
                v.password.clear();
                return v;
            }
        }
    }
    v.ok = true;
    return v;
}

}  // namespace dialogs

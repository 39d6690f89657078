#include "foundation/password_text.h"

#include "foundation/console.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "platform/text.h"

namespace foundation {

PasswordCheck PasswordToArchiveBytes(std::u16string_view password, size_t maxLength, std::string& bytes) {
    bytes.clear();
    if (password.empty()) return PasswordCheck::Empty;
    if (password.find(u'\0') != std::u16string_view::npos) return PasswordCheck::Unmappable;
    std::string converted;
    bool usedDefault = false;
    if (!platform::Utf16ToMultiByte(platform::kCodePageAnsi, password, converted, &usedDefault) || usedDefault)
        return PasswordCheck::Unmappable;
    if (converted.empty()) return PasswordCheck::Empty;
    if (converted.size() > maxLength) return PasswordCheck::TooLong;
    bytes = std::move(converted);
    return PasswordCheck::Ok;
}

std::u16string PasswordRefusalText(PasswordCheck check, size_t maxLength) {
    switch (check) {
    case PasswordCheck::Empty: return GetLangString(30640, u"Please input the password.");
    case PasswordCheck::TooLong:
        return platform::Format(GetLangString(30650, u"The password is too long. The maximum length is %d characters."),
                                int(maxLength));
    case PasswordCheck::Unmappable:
        return u"The password holds characters that the archive's code page can not store.";
    case PasswordCheck::Ok: break;
    }
    return {};
}

void ReportPasswordLength(PasswordCheck check, size_t maxLength) {
    const std::u16string text = PasswordRefusalText(check, maxLength);
    if (text.empty()) return;
    if (ConsoleMode) {
        ConsoleWrite(u"%s\r\n", text);
        return;
    }
    AppMessageBox(text, kMbOk | kMbIconInformation);
}

}  // namespace foundation

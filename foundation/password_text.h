#pragma once
// A typed password turned into the bytes an encrypted container keeps: the
// archive code page, one to `maxLength` bytes. A password is refused rather
// than altered: a longer one is never cut, a character the code page cannot
// hold never becomes "?", and a NUL (which would end the stored password
// early) is never let through, since any of these would lock the data with a
// password other than the one the user typed.

#include <cstddef>
#include <string>
#include <string_view>

namespace foundation {

enum class PasswordCheck { Ok, Empty, TooLong, Unmappable };

PasswordCheck PasswordToArchiveBytes(std::u16string_view password, size_t maxLength, std::string& bytes);

// The message of a refused password: "Please input the password.", the
// too-long message with the maximum, or the unmappable-character message.
std::u16string PasswordRefusalText(PasswordCheck check, size_t maxLength);
// Shown in an information box, or printed on the console (ending with "\r\n").
void ReportPasswordLength(PasswordCheck check, size_t maxLength);

}  // namespace foundation

#pragma once
// One place through which the program talks to the user about failures and
// questions, whichever face is running (window, console, launched modes).
// Message texts come from the language table by id with the English defaults.

#include "foundation/messages_ui.h"
#include "foundation/operation_status.h"
#include "foundation/user_prompt.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace foundation {

// Shows the text with the flags through the installed face; MessageBoxOpen is
// set during the call. Returns the button chosen (never 0: a face that cannot
// ask gives the refusing button).
int AppMessageBox(std::u16string_view text, uint32_t flags);

// LastErrorText when set; else empty when the system last error is 0; else our
// text for the system error, cut to 511 characters.
std::u16string GetLastErrorText();
// "%s\r\n\r\n%s" (path, GetLastErrorText) or the error text alone, stop icon;
// then SetLastErrorText(nothing).
void ShowLastError(std::optional<std::u16string_view> path = std::nullopt);
// Abort/Retry/Ignore with the stop icon: 3 abort, 4 retry, 5 ignore.
int AskRetryOnError(std::optional<std::u16string_view> text,
                    std::optional<std::u16string_view> errorText);
// 0 go on (missing, or may be overwritten), -1 do not write.
int AskOverwriteFile(std::u16string_view path);
// The prompt answer 0 yes .. 4 cancel; a standing 2 or 3 is returned at once, a
// standing 4 (or a 4 answered) sets OperationStatus to 1.
int AskOverwriteName(void* context, std::u16string_view name);
// The same with both sides of the question described.
int AskOverwrite(const FileExistsSubject& subject);
// -1 (after saying so) when the current document has unsaved changes, else 0.
int RequireSavedDocument();
void ReportFileTooBig(std::u16string_view name);
// The warning bits of an open image (ImageContext::warningBits). A directory
// error wins over an unexpected end. Nothing without a path.
namespace image_warning {
inline constexpr uint32_t kUnexpectedEnd = 1;
inline constexpr uint32_t kDirectoryError = 2;
}  // namespace image_warning
void ReportImageReadWarnings(uint32_t warningBits, std::u16string_view imagePath);
// An archive's comment in the ANSI code page, shown with the information icon,
// cut to 1024 bytes' worth after conversion (never inside a character).
void ShowArchiveComment(std::string_view ansiComment);
inline constexpr size_t kArchiveCommentMaxBytes = 1024;
// Writes "%s: %s" (name, error text) once per name to the burn log.
void LogFileErrorOnce(std::optional<std::u16string_view> name, bool reset);

}  // namespace foundation

#pragma once
// The console commands: each runs the request's one command on the real
// engines (the open entry, the extraction job, the save engine, the virtual
// drives) and returns the process exit code, 0 done or -1 failed after its
// message. Also the keywords that act while the line is parsed.

#include <cstddef>
#include <string>
#include <string_view>

#include "cmdline/console_request.h"
#include "foundation/progress_callbacks.h"

namespace cmdline {

int DispatchConsoleCommand(const CommandLineRequest& request);

// The progress record of the running command: its cancel event stops a long
// extraction cleanly (its partial file removed) when the front end goes away.
foundation::ProgressCallbacks& ConsoleOperationProgress();

int RunListCommand(const CommandLineRequest& request);
int RunExtractCommand(const CommandLineRequest& request);
int RunCreateCommand(const CommandLineRequest& request);
int RunConvertCommand(const CommandLineRequest& request);
void PrintConsoleUsage();

// "-add": the local file, or the contents of the local folder, under the
// folder of the current document ("/"-rooted). 1 added; 0 a bad value; -1
// the path does not exist or an entry could not be added (said on the console).
int AddLocalPathToImage(std::u16string_view localPath, std::u16string_view folder);
// "show-comment": opens the image as the current document and writes its
// comment, control characters but line breaks shown as "?".
void ShowComment(std::u16string_view imagePath);
// "extract-comment-to-file": false when the comment file could not be written.
bool ExtractCommentToFile(std::u16string_view imagePath, std::u16string_view commentFile);

// At most maxBytes of a regular file, up to its first zero byte. False for
// anything but a readable regular file.
bool ReadCommentFile(std::u16string_view path, size_t maxBytes, std::string& bytes);
// A relative path made absolute against the current folder.
std::u16string MakeFullPath(std::u16string_view path);

}  // namespace cmdline

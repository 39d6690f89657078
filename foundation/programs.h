#pragma once
// Reaching other programs: opening a file with the desktop's application, the
// "open with" chooser or the configured default viewer (and noticing when that
// program ends), starting this program or the virtual-drive helper again,
// handing a file to the mail program, and the maker's web links.
//
// Programs start from argument arrays, never through a shell, so a file name
// with blanks, quotes or shell characters (extracted archive items choose
// their own names) arrives as one argument and runs nothing; a relative path
// that starts with '-' goes as "./-..." so that no program takes it for one
// of its options. "Elevated" starts
// are plain starts: nothing here needs root. Opening documents goes through
// xdg-open and mail through xdg-email.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace foundation {

enum class LaunchMode : int32_t {
    Open = 0,            // the desktop's application for the file's type (xdg-open)
    OpenWith = 1,        // the "open with" chooser of the window
    DefaultViewer = 2,   // the "DefaultViewer" setting's program with the path
};

// Starts the program and a waiter thread for it. False, with no thread, when
// the file's type has no application (mode 0), when there is no chooser (mode 1,
// no window) or when the program could not be started.
bool LaunchFile(std::u16string_view path, LaunchMode mode);
// Stores the "DefaultViewer" setting (GetDefaultViewer reads it).
bool SetDefaultViewer(std::u16string_view program);
// Opens a file, folder or address with the desktop (xdg-open); the outcome is
// not reported.
void ShellOpen(std::u16string_view fileOrLink);
// Starts the program file of the install folder ("quendravine") with the
// arguments, without waiting. False when it could not be started.
bool RestartElevated(const std::vector<std::u16string>& arguments);
// Starts the virtual-drive helper ("qvhelper") of the virtual-drive install
// folder with the arguments, without waiting.
bool StartHelperElevated(const std::vector<std::u16string>& arguments);

// State of a mail request.
enum : int32_t {
    kMailHandedOver = 0,
    kMailProgramMissing = 1,   // xdg-email is not installed
    kMailOutOfMemory = 5,
};
// Hands the file to the desktop's mail program as an attachment of a new mail
// (xdg-email --attach); the user composes and sends it there.
int32_t SendFileByMail(std::u16string_view path);

// The maker's addresses by kind: 2 order page, 3 support mail address, 4
// download page, 5 virtual-drive page, 7 tutorial index, any other the home
// page. With the user-interface language 2052 a second set in that language
// is used (kind 6 then gives that site's root, any other kind its index page).
std::u16string GetWebLink(int32_t kind);
std::u16string GetWebLinkForLanguage(int32_t kind, uint32_t uiLanguageId);

// Launches that end are told to foundation/launch_services.h.
// Waits until every waiter thread has finished (tests; program exit).
void WaitForLaunchWaiters();

}  // namespace foundation

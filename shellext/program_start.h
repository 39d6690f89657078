#pragma once
// How the extension reaches the rest of the system: it finds the window
// program (the install folder of the settings, else the folder of this
// library), starts it as the mount helper with a named event to wait on, and
// asks the window side for the dialogs it shows (file chooser, drive
// configuration, archive contents), which a file-manager host without a
// window toolkit answers with stand-ins.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "foundation/services.h"

namespace shellext {

// This library's own file (the host's program is not ours).
std::u16string LibraryFilePath();

// "Install_Dir" of the machine install key, else of the user's settings key,
// else this library's own folder; never with a trailing "/".
std::u16string GetMainProgramDir();
// The folder + "/quendravine".
std::u16string MainProgramPath();
// The virtual drive counts as installed when its helper program lies in the
// virtual-drive install folder (that key's "Install_Dir", else the folder
// above).
bool IsVirtualDriveInstalledHere();
std::u16string HelperProgramPath();

// The low four bytes of the window id in memory order, two lower-case hex
// digits each: 0x000A0B2C gives "2c0b0a00".
std::u16string OwnerWindowText(uintptr_t window);

// Starts the window program as the mount helper: {program, -ii2, -hwnd, owner
// text, [-evt, name], command...}. With wait, the program's end-of-command
// event is waited for at most 5 s after 100 ms: 0 when it came or the time
// ran out, -1 when the program could not start or ended with a nonzero code.
int RunMainProgramCommand(const std::vector<std::u16string>& command, bool wait);
int MountImageOnDrive(char16_t letter, const std::u16string& file);
// False when index is no drive of the list; a missing file is asked for
// first (cancelling is true, nothing mounted).
bool MountFileThroughMainProgram(uint32_t index, std::optional<std::u16string> file);

// Starts the drive helper with the arguments, not waited for.
bool StartHelper(const std::vector<std::u16string>& arguments);

// The dialogs the extension shows. The stand-in chooses no file, and for the
// drive configuration starts the window program, whose options hold the same
// settings.
class IShellDialogServices {
public:
    virtual ~IShellDialogServices() = default;
    virtual std::optional<std::u16string> ChooseFileToMount() = 0;
    virtual bool RunDriveConfiguration() = 0;
};
IShellDialogServices* SetShellDialogServices(IShellDialogServices* services);
IShellDialogServices& ShellDialogServices();

}  // namespace shellext

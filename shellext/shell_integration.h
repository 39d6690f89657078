#pragma once
// The program's "shell integration" switch (foundation/settings.h) runs
// qvshell of the install folder with --register or --unregister, which
// registers the extension and writes or removes the file managers' entries.

namespace shellext {

// Installs the switch's services for the life of the process.
void InstallShellIntegration();

}  // namespace shellext

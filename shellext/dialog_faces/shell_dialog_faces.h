#pragma once
// The extension's dialogs on the desktop: the file chooser before a mount, the
// virtual-drive configuration and the archive contents dialog, shown with the
// window program's Qt dialogs inside the file manager's process. Only the
// loadable module links these; without a display the extension keeps its
// stand-ins (no file chosen, nothing run), since a toolkit that cannot reach a
// display ends the process.

namespace shellext {

// Installs the faces once; later calls do nothing.
void InstallDialogFaces();

}  // namespace shellext

#pragma once
// The file-system readers as the image core sees them: the probes of format
// detection and the tree readers of an opened disc image. Each reader keeps its
// entry points in its own folder; this is the one place that hands them to the
// core's service slots.

namespace filesystems {

// Installs the readers into the image core for the life of the process.
void InstallFilesystemReaders();
// Restores the image core's stand-ins (tests).
void UninstallFilesystemReaders();

}  // namespace filesystems

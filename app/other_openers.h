#pragma once
// The openers beyond the image core that the open entry tries: hard-disk
// images, WIM archives and the archives of the archive library.

namespace app {

// Installs the file-system readers and these openers for the life of the
// process; the program calls it once at start-up, tests around a case.
void InstallReaders();
void UninstallReaders();

}  // namespace app

#pragma once
// The compressed images and containers as the image core sees them: the
// openers format detection calls, the checks and MARFS tree of an opened
// container, and the sector readers and writers of their format rows. The one
// place that hands them to the core's service slots, and those slots' one
// owner: installing again changes nothing, and the file systems install into
// slots of their own, so the order of the two does not matter.

namespace containers {

// Installs the openers and sector readers for the life of the process.
void InstallContainerReaders();
// Restores the image core's stand-ins (tests).
void UninstallContainerReaders();

}  // namespace containers

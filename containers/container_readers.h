#pragma once
// The compressed images and containers as the image core sees them: the
// openers format detection calls and the sector readers of their format rows.
// The one place that hands them to the core's service slots.

namespace containers {

// Installs the openers and sector readers for the life of the process.
void InstallContainerReaders();
// Restores the image core's stand-ins (tests).
void UninstallContainerReaders();

}  // namespace containers

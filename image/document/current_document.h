#pragma once
// The document that menus, views and console commands act on, and the folder
// the file list shows. Owned by the main window; the image core reads and clears
// them when it closes the current document. Main thread only.

namespace image {

struct ImageContext;
struct ImageFolder;

inline image::ImageContext* g_CurrentDocument = nullptr;
inline image::ImageFolder* g_CurrentFolder = nullptr;

}  // namespace image

#pragma once
// The archive password of the current document as the Add/Change/Remove
// Password commands set it: every field the save reads is set together, so a
// save never writes without encryption what the user protected, and removing
// it leaves no password bytes behind.

#include <cstddef>
#include <string_view>

namespace image {
struct ImageContext;
}

namespace app {

// Longest password, in bytes of the archive code page, the document's format
// stores: 64 for DAA and XDI, 32 for the others.
size_t DocumentPasswordLimit(const image::ImageContext& ctx);

// bytes: the password in the archive code page. False (nothing changed) when
// it is empty or longer than the format's limit: never cut.
bool SetDocumentPassword(image::ImageContext& ctx, std::string_view bytes);
// Clears every password field and flag and zeroes the bytes.
void RemoveDocumentPassword(image::ImageContext& ctx);

}  // namespace app

#pragma once
// The program as the desktop's opener of its file types, the freedesktop way:
// a MIME type of our own for each extension (shared-mime-info XML in the
// user's data folder), the program's desktop entry listing them, and the
// user's default for each type in mimeapps.list. Before a type is taken, its
// earlier default line is kept in the settings value "ConfExtData" and put
// back when the type is given up, so the earlier opener returns.

#include <string>
#include <string_view>

#include "foundation/file_associations.h"

namespace app {

// "application/x-quendravine-<extension without its dot, lower case>".
std::string AssociationMimeType(std::u16string_view extension);

class DesktopAssociations final : public foundation::IFileAssociationServices {
public:
    // False, with nothing written, when the type's files could not be made,
    // when mimeapps.list is a link or cannot be replaced, or when the kept
    // earlier defaults are damaged.
    bool SetAssociation(std::u16string_view extension, bool on) override;
    bool IsAssociated(std::u16string_view extension) override;
};

// Installs the desktop associations as the program's.
void InstallDesktopAssociations();

}  // namespace app

#pragma once
// Registering the extension: the class rows of the settings store (the
// classes root lives under the user's "Software\Classes"; the approval list
// in the machine hive), and the entries that let Linux file managers reach it
// through qvshell: a Dolphin service menu, Nautilus and Caja scripts and a
// Nemo action.

#include <string>

#include "shellext/com.h"

namespace shellext {

HRESULT RegisterShellExtension();
// Removes what the class needs to load; the Folder, Directory and drop-handler
// rows and the approval value stay, as they always have.
HRESULT UnregisterShellExtension();

// The CLSID as registry text: "{A6630968-27DC-8DB8-9BCE-E12B3198A9B1}".
std::u16string ClsidText();

}  // namespace shellext

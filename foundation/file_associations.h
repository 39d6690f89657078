#pragma once
// The file types the program can be made the opener of, and the stored wish
// that changes them: the setting "Status1" holds one character per position,
// position 0 the file-manager integration and position i + 1 the i-th
// extension of the table; "2" on, "1" off, anything else no change, a NUL the
// end. The option sheet stores the wish and starts the program with "-vset",
// which applies it. Taking and giving back an extension is the desktop
// integration's work, reached through the services below.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/services.h"

namespace foundation {

// The 57 extensions (with their dot), in the order of the "Status1" text.
std::span<const std::u16string_view> AssociationExtensions();
// The row of an extension (ignoring case), -1 for none.
int FindAssociationRow(std::u16string_view extension);

class IFileAssociationServices {
public:
    virtual ~IFileAssociationServices() = default;
    // Makes the program the opener of the extension (on) or gives it back to
    // the opener it had before. False when that could not be done.
    virtual bool SetAssociation(std::u16string_view extension, bool on) = 0;
    // Whether the program is the extension's opener now.
    virtual bool IsAssociated(std::u16string_view extension) {
        (void)extension;
        return false;
    }
};

namespace detail {
// Without a desktop integration nothing can be taken over.
class NoFileAssociations : public IFileAssociationServices {
public:
    bool SetAssociation(std::u16string_view, bool) override { return false; }
};
}  // namespace detail

inline ServiceSlot<IFileAssociationServices, detail::NoFileAssociations>& FileAssociationSlot() {
    static ServiceSlot<IFileAssociationServices, detail::NoFileAssociations> slot;
    return slot;
}
// Not owned; null restores the stand-in. Returns the services installed before.
inline IFileAssociationServices* SetFileAssociationServices(IFileAssociationServices* services) {
    return FileAssociationSlot().Install(services);
}

// Applies a "Status1" text: the integration switch through
// SetShellIntegration, every row through the services. The extensions that
// could not be changed, in table order.
std::vector<std::u16string> ApplyAssociations(std::u16string_view flags);

// The "Status1" text of the General options page: "0" at position 0 and at
// every row's position, "2" (now on) or "1" (now off) where the integration
// or a row differs from its state when the page opened. Nothing when nothing
// differs, so an unchanged page stores and starts nothing.
std::optional<std::u16string> BuildAssociationFlags(bool integrationAtStart, bool integration,
                                                    std::span<const bool> rowsAtStart,
                                                    std::span<const bool> rowsChecked);

}  // namespace foundation

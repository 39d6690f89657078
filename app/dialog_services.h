#pragma once
// The questions the readers and writers of containers put to the user, asked
// once for both programs through the prompt kinds (foundation/prompts.h): the
// password of an encrypted image or archive, a volume of a set that is not
// where its name says, and the first volume of a set opened from a later one.
// Each program installs these and its own face for the prompts (the window's
// dialogs or the console's lines); the questions themselves never know which.

#include <cstdint>
#include <string>
#include <string_view>

#include "containers/daa/daa_volume_services.h"
#include "containers/mzp/mzp_volume_services.h"
#include "containers/xdi/xdi_volume_services.h"
#include "foundation/volume_set_services.h"
#include "image/document/password_services.h"

namespace app {

class DialogServices final : public image::IPasswordServices,
                             public containers::IDaaVolumeServices,
                             public containers::IMzpVolumeServices,
                             public containers::IXdiPartServices,
                             public foundation::IVolumeSetServices {
public:
    bool AskPassword(image::ImageContext* ctx, const uint8_t* passwordCheck) override;
    platform::FileHandle RequestVolume(containers::DaaContainer* container, int32_t volume) override;
    platform::FileHandle OpenMzpVolumeFile(containers::MzpContainer* container, int32_t volume) override;
    platform::FileHandle OpenXdiPartFile(containers::XdiContainer* container, int32_t part) override;
    void RedirectToFirstVolume(std::u16string& path) override;
    void ReportTooManyVolumes() override;
};

// Installs one DialogServices behind every seam above; Remove puts the
// stand-ins back.
void InstallDialogServices();
void RemoveDialogServices();

// The password given on the command line ("-password"): the answer to the
// first password question instead of asking, once; a wrong one is then asked
// for as usual. Empty clears it.
void SetCommandLinePassword(std::u16string_view password);

// The largest password, in bytes of the archive code page, the document's
// container takes: 64 for DAA/HXI and XDI, 32 for the other encrypted image
// kind, 256 for MZP and archives of the archive library.
size_t PasswordLimitOf(const image::ImageContext& ctx, const uint8_t* passwordCheck);

// Passwords given for archives, kept for the process: one answers again only
// while the archive's path (ignoring case), size and last-write time are those
// it was given for.
void RememberPassword(std::u16string_view path, std::string_view password);
bool CachedPassword(std::u16string_view path, std::string& password);
void ForgetPassword(std::u16string_view path);
void ClearPasswordCache();

}  // namespace app

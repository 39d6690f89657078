#pragma once
// The password that last opened an archive in the archive contents dialog,
// offered again without asking when the same file is opened unchanged (same
// path, size and modification time). One record for the process; the bytes
// of a replaced password are wiped.

#include <cstdint>

#include "image/document/password_services.h"

namespace image {
struct ImageContext;
}

namespace dialogs {

// Installed around one open: answers from the record when it fits the file,
// else asks the services it wraps.
class RememberingPasswords final : public image::IPasswordServices {
public:
    explicit RememberingPasswords(image::IPasswordServices& inner) : inner_(inner) {}
    bool AskPassword(image::ImageContext* ctx, const uint8_t* passwordCheck) override;
    // After the open succeeded: a password the user gave is kept for the file.
    void KeepAfterOpen(const image::ImageContext& ctx);

private:
    image::IPasswordServices& inner_;
    bool askedUser_ = false;
};

// Wipes the record (tests).
void ForgetRememberedPassword();

}  // namespace dialogs

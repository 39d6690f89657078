// qvhelper: the virtual-drive helper. It owns the drives and serves the
// channel until it is asked to stop (SIGTERM, SIGINT, SIGHUP); then every
// drive is unmounted. A second helper started while one runs exits at once;
// one started with -vset_virtual_drive_parameters makes the running one take
// the stored settings.

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "app/dialog_services.h"
#include "app/other_openers.h"
#include "audio/tracks/audio_services_install.h"
#include "foundation/drive_device_services.h"
#include "optical/drive/drive_devices.h"
#include "vdrive/drive_channel.h"
#include "vdrive/drive_options.h"
#include "platform/folders.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "vdrive/drive_channel.h"
#include "vdrive/drive_server.h"

namespace {

std::atomic<bool> g_stop{false};

void OnStop(int) { g_stop = true; }

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "-vset_virtual_drive_parameters") == 0) {
        // The configuration pages stored new settings: the running helper
        // takes the stored number of drives and, with automount, the images
        // remembered for them, through its channel. Without a running helper
        // there is nothing to reload; its next start reads the store anyway.
        if (!vdrive::HelperRunning()) return 0;
        app::InstallReaders();
        audio::InstallAudioServices();
        return vdrive::RestoreVirtualDrives() ? 0 : 1;
    }
    struct sigaction action {};
    action.sa_handler = OnStop;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    app::InstallReaders();
    // Its only answers: the password a mount request brings; every other
    // question is cancelled, nobody being there to answer it.
    app::InstallDialogServices();
    // A mounted CUE sheet of music files reads its frames through the decoder.
    audio::InstallAudioServices();
    // The optical drives' letters (/dev/sr* from D: on) stay theirs.
    optical::SrDriveDevices opticalDrives;
    foundation::SetDriveDeviceServices(&opticalDrives);
    vdrive::DriveServer server;
    if (!server.Start()) {
        const std::string why = platform::Utf16ToUtf8(platform::ErrorText(platform::GetLastError()));
        if (vdrive::HelperRunning())
            std::fputs("qvhelper: another helper already serves this runtime folder\n", stderr);
        else
            std::fprintf(stderr, "qvhelper: the drive channel cannot be made in %s: %s\n",
                         platform::RuntimeFolderPathUtf8().c_str(), why.c_str());
        return 1;
    }
    server.Serve(g_stop);
    server.Shutdown();
    foundation::SetDriveDeviceServices(nullptr);
    return 0;
}

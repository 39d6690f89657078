// The logind inhibitor behind KeepSystemAwake. The lock is the file
// descriptor logind hands back: held open, the system stays awake; closed, the
// lock is gone. A failed request is not retried per chunk, only per job.

#include "optical/burn/system_awake.h"

#include <mutex>
#include <fcntl.h>
#include <unistd.h>

#if defined(QV_HAVE_SD_BUS)
#include <systemd/sd-bus.h>
#endif

namespace optical {

namespace {

struct AwakeState {
    std::mutex mutex;
    int fd = -1;
    bool tried = false;
};

AwakeState& State() {
    static AwakeState state;
    return state;
}

int TakeInhibitor() {
#if defined(QV_HAVE_SD_BUS)
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0) return -1;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int fd = -1;
    if (sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                           "Inhibit", &error, &reply, "ssss", "sleep:idle", "Quendravine", "Writing a disc",
                           "block") >= 0) {
        int received = -1;
        if (sd_bus_message_read(reply, "h", &received) >= 0 && received >= 0) fd = fcntl(received, F_DUPFD_CLOEXEC, 3);
    }
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
    return fd;
#else
    return -1;
#endif
}

}  // namespace

void KeepSystemAwake(bool on) {
    AwakeState& s = State();
    std::lock_guard lock(s.mutex);
    if (on) {
        if (s.fd >= 0 || s.tried) return;
        s.tried = true;
        s.fd = TakeInhibitor();
        return;
    }
    if (s.fd >= 0) close(s.fd);
    s.fd = -1;
    s.tried = false;
}

bool SystemKeptAwake() {
    AwakeState& s = State();
    std::lock_guard lock(s.mutex);
    return s.fd >= 0;
}

}  // namespace optical

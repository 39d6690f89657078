#include "window/models/worker_priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace dialogs {

namespace {

constexpr int kIoprioWhoProcess = 1;   // a single thread, by its id
constexpr int kIoprioClassShift = 13;
constexpr int kIoprioClassIdle = 3;

bool MayRaiseNiceBackTo(int nice) {
    if (geteuid() == 0) return true;
    struct rlimit limit {};
    if (getrlimit(RLIMIT_NICE, &limit) != 0) return false;
    // The ceiling is 20 - rlim_cur.
    return limit.rlim_cur == RLIM_INFINITY || 20 - static_cast<long>(limit.rlim_cur) <= nice;
}

}  // namespace

SavedThreadPriority LowerThreadPriority(int tid) {
    SavedThreadPriority saved;
    saved.tid = tid;
    if (tid <= 0) return saved;
    const long io = syscall(SYS_ioprio_get, kIoprioWhoProcess, tid);
    if (io >= 0 &&
        syscall(SYS_ioprio_set, kIoprioWhoProcess, tid, kIoprioClassIdle << kIoprioClassShift) == 0) {
        saved.ioLowered = true;
        saved.ioPriority = static_cast<int>(io);
    }
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    if (errno == 0 && nice < 19 && MayRaiseNiceBackTo(nice) &&
        setpriority(PRIO_PROCESS, static_cast<id_t>(tid), 19) == 0) {
        saved.niceLowered = true;
        saved.nice = nice;
    }
    return saved;
}

void RestoreThreadPriority(const SavedThreadPriority& saved) {
    if (saved.ioLowered) syscall(SYS_ioprio_set, kIoprioWhoProcess, saved.tid, saved.ioPriority);
    if (saved.niceLowered) setpriority(PRIO_PROCESS, static_cast<id_t>(saved.tid), saved.nice);
}

}  // namespace dialogs

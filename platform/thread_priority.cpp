#include "platform/thread_priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

void LowerCurrentThreadPriority() {
    // With a thread id, PRIO_PROCESS names that one thread, not the process.
    const id_t tid = id_t(::syscall(SYS_gettid));
    ::setpriority(PRIO_PROCESS, tid, 19);
}

}  // namespace platform

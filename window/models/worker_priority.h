#pragma once
// Lowering a worker thread while its dialog sits in the notification area,
// and putting it back. Input and output go to the idle class; the nice value
// is raised only where the process may lower it again afterwards (an
// unprivileged thread cannot go back from 19 to 0).

namespace dialogs {

struct SavedThreadPriority {
    int tid = 0;
    bool ioLowered = false;
    int ioPriority = 0;
    bool niceLowered = false;
    int nice = 0;
};

SavedThreadPriority LowerThreadPriority(int tid);
void RestoreThreadPriority(const SavedThreadPriority& saved);

}  // namespace dialogs

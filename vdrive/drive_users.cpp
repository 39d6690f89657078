#include "vdrive/drive_users.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "platform/text.h"

namespace vdrive {

namespace {

bool Inside(std::string_view path, std::string_view folder) {
    if (path.size() < folder.size() || path.compare(0, folder.size(), folder) != 0) return false;
    return path.size() == folder.size() || path[folder.size()] == '/';
}

bool LinkInside(const std::string& link, std::string_view folder) {
    char target[4096];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target);
    return n > 0 && size_t(n) < sizeof target && Inside(std::string_view(target, size_t(n)), folder);
}

// The working folder, the root, then the open files: the first hit decides.
bool UsesFolder(const std::string& proc, std::string_view folder) {
    if (LinkInside(proc + "/cwd", folder) || LinkInside(proc + "/root", folder)) return true;
    DIR* fds = ::opendir((proc + "/fd").c_str());
    if (!fds) return false;
    bool found = false;
    while (const dirent* e = ::readdir(fds)) {
        if (e->d_name[0] == '.') continue;
        if (LinkInside(proc + "/fd/" + e->d_name, folder)) {
            found = true;
            break;
        }
    }
    ::closedir(fds);
    return found;
}

}  // namespace

std::vector<std::u16string> FindDriveUsers(std::string_view folder, size_t limit) {
    std::vector<std::u16string> users;
    while (folder.size() > 1 && folder.back() == '/') folder.remove_suffix(1);
    if (folder.empty()) return users;
    std::vector<long> pids;
    if (DIR* proc = ::opendir("/proc")) {
        while (const dirent* e = ::readdir(proc)) {
            char* end = nullptr;
            const long pid = std::strtol(e->d_name, &end, 10);
            if (pid > 0 && end && *end == '\0') pids.push_back(pid);
        }
        ::closedir(proc);
    }
    std::sort(pids.begin(), pids.end());
    for (long pid : pids) {
        if (users.size() >= limit) break;
        const std::string proc = "/proc/" + std::to_string(pid);
        if (!UsesFolder(proc, folder)) continue;
        std::string name;
        std::ifstream comm(proc + "/comm");
        std::getline(comm, name);
        if (name.empty()) name = "?";
        users.push_back(platform::Utf8ToUtf16(name + " (" + std::to_string(pid) + ")"));
    }
    return users;
}

}  // namespace vdrive

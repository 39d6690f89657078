#include "app/extract_helpers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "foundation/dates.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "image/document/item_tree.h"
#include "platform/format.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace app {
namespace {

// Far deeper than any path below the length limit can be.
constexpr int32_t kMaxFolderSteps = static_cast<int32_t>(kExtractPathLimit);

std::u16string Refuse(uint32_t error) {
    platform::SetLastError(error);
    return {};
}

}  // namespace

bool MakeSafeComponent(std::u16string_view name, std::u16string& out) {
    if (name.empty() || name == u"." || name == u"..") return false;
    out.assign(name);
    for (char16_t& c : out) {
        if (c == u'/' || c == u'\\' || c == u'\0') c = u'_';
    }
    return true;
}

std::u16string BuildExtractPath(image::ImageContext* /*ctx*/, const image::ImageItem* item,
                                const image::ImageFolder* startFolder, std::u16string_view destinationFolder) {
    if (!item || destinationFolder.empty()) return Refuse(platform::kErrorInvalidParameter);
    if (destinationFolder.size() >= kExtractPathLimit) return Refuse(platform::kErrorFilenameTooLong);
    // The folders between the start folder and the item, nearest first; the
    // walk ends at the root (its own parent), and a damaged parent chain that
    // loops is cut off.
    std::vector<const image::ImageItem*> folders;
    const image::ImageFolder* folder = item->parent;
    for (int32_t steps = 0; folder && folder != startFolder && folder->parent != folder; ++steps) {
        if (steps > kMaxFolderSteps) return Refuse(platform::kErrorInvalidName);
        if (!folder->ownItem) return Refuse(platform::kErrorInvalidName);
        folders.push_back(folder->ownItem);
        folder = folder->parent;
    }
    std::u16string path(destinationFolder);
    while (path.size() > 1 && path.back() == u'/') path.pop_back();
    if (path == u"/") path.clear();
    std::u16string component;
    for (size_t i = folders.size(); i-- > 0;) {
        if (!MakeSafeComponent(folders[i]->name, component)) return Refuse(platform::kErrorInvalidName);
        path += u'/';
        path += component;
        if (path.size() >= kExtractPathLimit) return Refuse(platform::kErrorFilenameTooLong);
    }
    if (!MakeSafeComponent(item->name, component)) return Refuse(platform::kErrorInvalidName);
    path += u'/';
    path += component;
    if (image::IsFolderItem(item)) path += u'/';
    if (path.size() >= kExtractPathLimit) return Refuse(platform::kErrorFilenameTooLong);
    return path;
}

void SetFileTimes(int fd, int64_t seconds) {
    if (fd < 0 || seconds == 0) return;
    timespec times[2] = {};
    times[0].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_sec = static_cast<time_t>(seconds);
    ::futimens(fd, times);
}

void SetExtractedFileTime(platform::FileHandle file, const uint8_t date[7]) {
    if (!file || !date) return;
    SetFileTimes(platform::FileDescriptor(file), foundation::IsoRecordDateToUnixTime(std::span<const uint8_t>(date, 7)));
}

int ConfirmOverwrite(std::u16string_view path, image::ImageItem* item, image::ImageItem* /*otherItem*/) {
    std::string host;
    if (!platform::Utf16ToUtf8Strict(path, host)) return -1;
    const size_t slash = host.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : host.substr(0, slash);
    const std::string name = slash == std::string::npos ? host : host.substr(slash + 1);
    int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0) return 0;   // no folder: nothing to overwrite
    const int result = ConfirmOverwriteAt(folderFd, name, path, item);
    ::close(folderFd);
    return result;
}

int ConfirmOverwriteAt(int folderFd, std::string_view name, std::u16string_view path, image::ImageItem* item) {
    const std::string entry(name);
    struct stat status {};
    if (::fstatat(folderFd, entry.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return 0;
    if (S_ISDIR(status.st_mode)) return 0;
    foundation::FileExistsSubject subject;
    subject.direction = 1;
    subject.diskPath = std::u16string(path);
    if (item) {
        subject.itemName = image::JoinFolderPath(item->parent, item->name.view());
        subject.itemSize = item->size;
        uint8_t date[7] = {};
        if (item->time != 0 && foundation::UnixTimeToIsoRecordDate(int64_t(item->time), date))
            subject.itemTime = foundation::FormatRecordDateText(date);
    }
    int answer = foundation::AskOverwrite(subject);
    foundation::StandingOverwriteAnswer.store(answer);
    if (answer == 1 || answer == 3 || answer == 4) return -1;

    auto fail = [&](int err) {
        platform::SetLastErrorFromErrno(err);
        foundation::ShowLastError(path);
        return -1;
    };
    if (!S_ISREG(status.st_mode)) {
        // Written anew: writing through a link planted in the destination would
        // reach a file outside it, and opening a FIFO or device node there for
        // writing would block or write to the device.
        if (::unlinkat(folderFd, entry.c_str(), 0) != 0) return fail(errno);
        return 0;
    }
    if (!(status.st_mode & S_IWUSR)) {
        int fd = ::openat(folderFd, entry.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return fail(errno);
        int result = ::fchmod(fd, (status.st_mode & 07777) | S_IWUSR);
        int err = errno;
        ::close(fd);
        if (result != 0) return fail(err);
    }
    return 0;
}

}  // namespace app

#include "window/models/file_exists_sides.h"

#include "foundation/dates.h"
#include "foundation/language.h"
#include "foundation/sizes.h"

namespace dialogs {
namespace {

FileSide DiskSide(const std::u16string& path) {
    FileSide side;
    side.name = path;
    foundation::FileStatus status;
    if (!path.empty() && foundation::StatFileW(path, status) == 0 && !status.isDirectory) {
        side.size = FileSizeText(status.sizeBytes);
        uint8_t date[7] = {};
        if (foundation::UnixTimeToIsoRecordDate(status.modifiedTime, date))
            side.time = foundation::FormatRecordDateText(date);
    }
    return side;
}

FileSide ItemSide(const foundation::FileExistsSubject& subject) {
    FileSide side;
    side.name = subject.itemName;
    if (subject.itemSize >= 0) side.size = FileSizeText(uint64_t(subject.itemSize));
    side.time = subject.itemTime;
    return side;
}

}  // namespace

std::u16string FileSizeText(uint64_t bytes) {
    return foundation::FormatSizeKbMb(bytes) + u" (" + foundation::FormatThousands(bytes) + u" " +
           foundation::GetLangString(1470, u"bytes") + u")";
}

FileExistsSides BuildFileExistsSides(const foundation::FileExistsSubject& subject) {
    FileExistsSides sides;
    if (subject.direction == 0) {
        sides.existing = ItemSide(subject);
        sides.replacing = DiskSide(subject.diskPath);
    } else {
        sides.existing = DiskSide(subject.diskPath);
        sides.replacing = ItemSide(subject);
    }
    return sides;
}

}  // namespace dialogs

#include "containers/volume_set_writer.h"

#include <algorithm>

#include "foundation/volume_set_services.h"
#include "foundation/operation_status.h"
#include "foundation/strings.h"
#include "platform/last_error.h"

namespace containers {
namespace {

// Writes what it can: after a partial write (a full disk) the request is
// halved until nothing more goes. The bytes written, -1 on another error.
int64_t WriteWhatFits(platform::FileHandle file, uint64_t at, const uint8_t* bytes, size_t length) {
    size_t done = 0;
    size_t request = length;
    while (done < length && request != 0) {
        const size_t want = std::min(request, length - done);
        const int64_t n = platform::FileWriteAt(file, at + done, bytes + done, want);
        if (n < 0) return -1;
        done += size_t(n);
        if (size_t(n) < want) request /= 2;
    }
    return int64_t(done);
}

}  // namespace

bool WriteVolumeAt(OutputVolume& volume, uint64_t at, const uint8_t* bytes, size_t length) {
    if (length == 0) return true;
    if (platform::FileWriteAt(volume.file, at, bytes, length) != int64_t(length)) return false;
    volume.size = std::max(volume.size, at + length);
    return true;
}

bool VolumeSetWriter::Open(std::u16string_view firstPath, VolumeOpener opener, VolumeSetLayout layout) {
    opener_ = std::move(opener);
    layout_ = std::move(layout);
    volumes_.clear();
    firstTrailerWritten_ = false;
    platform::FileHandle file = opener_ ? opener_(firstPath) : nullptr;
    if (!file) return false;
    volumes_.push_back({std::u16string(firstPath), file, 0});
    return true;
}

bool VolumeSetWriter::OpenNext() {
    const size_t index = volumes_.size();
    if (index >= layout_.maxVolumes) {
        foundation::ReportTooManyVolumes();
        foundation::SetLastErrorText(foundation::LangString(foundation::kStrTooManyVolumes));
        platform::SetLastError(platform::kErrorInvalidParameter);
        return false;
    }
    const std::optional<std::u16string> name = layout_.nameOf ? layout_.nameOf(uint32_t(index)) : std::nullopt;
    if (!name) return false;
    if (index == 1 && layout_.firstTrailerBytes != 0 && layout_.firstTrailer) {
        const std::vector<uint8_t> trailer = layout_.firstTrailer();
        if (!WriteVolumeAt(volumes_[0], volumes_[0].size, trailer.data(), trailer.size())) return false;
        firstTrailerWritten_ = true;
    }
    platform::FileHandle file = opener_(*name);
    if (!file) return false;
    volumes_.push_back({*name, file, 0});
    const std::vector<uint8_t> area =
        layout_.laterArea ? layout_.laterArea(uint32_t(index)) : std::vector<uint8_t>(size_t(layout_.laterAreaBytes), 0);
    return WriteVolumeAt(volumes_.back(), 0, area.data(), area.size());
}

bool VolumeSetWriter::Append(const uint8_t* bytes, size_t length) {
    if (volumes_.empty()) return false;
    if (!layout_.split) return WriteVolumeAt(volumes_[0], volumes_[0].size, bytes, length);
    while (length != 0) {
        const size_t index = volumes_.size() - 1;
        OutputVolume& out = volumes_[index];
        if (layout_.limit != 0) {
            const uint64_t reserve = index == 0 ? layout_.firstTrailerBytes : 0;
            const uint64_t room = layout_.limit > out.size + reserve ? layout_.limit - out.size - reserve : 0;
            const size_t n = size_t(std::min<uint64_t>(room, length));
            if (!WriteVolumeAt(out, out.size, bytes, n)) return false;
            bytes += n;
            length -= n;
        } else {
            const uint64_t before = out.size;
            const int64_t wrote = WriteWhatFits(out.file, out.size, bytes, length);
            if (wrote < 0) return false;
            out.size += uint64_t(wrote);
            bytes += wrote;
            length -= size_t(wrote);
            // A volume that took nothing, being the first or holding no data,
            // shows a disk too small for any volume: a next one would fare no better.
            if (length != 0 && wrote == 0 && (index == 0 || before == layout_.laterAreaBytes)) {
                platform::SetLastError(platform::kErrorDiskFull);
                return false;
            }
        }
        if (length != 0 && !OpenNext()) return false;
    }
    return true;
}

uint64_t VolumeSetWriter::Share(size_t index) const {
    const uint64_t size = volumes_[index].size;
    if (index > 0) return size - std::min(size, layout_.laterAreaBytes);
    return firstTrailerWritten_ ? size - std::min(size, layout_.firstTrailerBytes) : size;
}

bool VolumeSetWriter::Rewrite(uint64_t offset, const uint8_t* bytes, size_t length) {
    uint64_t start = 0;
    for (size_t i = 0; i < volumes_.size() && length > 0; ++i) {
        const uint64_t area = i == 0 ? 0 : layout_.laterAreaBytes;
        const uint64_t share = Share(i);
        if (offset >= start && offset - start < share) {
            const uint64_t within = offset - start;
            const size_t take = size_t(std::min<uint64_t>(length, share - within));
            if (platform::FileWriteAt(volumes_[i].file, area + within, bytes, take) != int64_t(take)) return false;
            offset += take;
            bytes += take;
            length -= take;
        }
        start += share;
    }
    return length == 0;
}

}  // namespace containers

#include "containers/sfx/sfx_settings.h"

#include <new>

#include "containers/mzp/mzp_format.h"
#include "foundation/byte_order.h"

namespace containers {

std::vector<uint8_t> BuildEntryTable(const SfxSettings& settings) {
    std::vector<uint8_t> out(kEntryTableHead, 0);
    uint32_t used = 0;
    for (size_t i = 0; i < kSfxSlots; ++i) {
        if (!settings.slots[i]) continue;
        const std::vector<uint8_t>& bytes = *settings.slots[i];
        const size_t at = out.size();
        out.resize(at + 8 + bytes.size());
        foundation::WriteLE32(&out[at], uint32_t(i));
        foundation::WriteLE32(&out[at + 4], uint32_t(bytes.size()));
        std::copy(bytes.begin(), bytes.end(), out.begin() + ptrdiff_t(at + 8));
        ++used;
    }
    foundation::WriteLE32(&out[0], kEntryTableType);
    foundation::WriteLE32(&out[4], uint32_t(out.size()));
    foundation::WriteLE32(&out[8], used);
    return out;
}

SfxSettingsOwner ParseEntryTable(const uint8_t* record, size_t n) {
    if (n < kEntryTableHead || n > kMaxEntryTableBytes) return nullptr;
    if (foundation::ReadLE32(record) != kEntryTableType || foundation::ReadLE32(record + 4) != n) return nullptr;
    SfxSettingsOwner settings;
    try {
        settings = std::make_unique<SfxSettings>();
        const uint32_t count = foundation::ReadLE32(record + 8);
        size_t at = kEntryTableHead;
        for (uint32_t i = 0; i < count; ++i) {
            if (n - at < 8) return nullptr;
            const uint32_t index = foundation::ReadLE32(record + at);
            const uint32_t length = foundation::ReadLE32(record + at + 4);
            at += 8;
            if (length > n - at) return nullptr;
            if (index < kSfxSlots) settings->slots[index].emplace(record + at, record + at + length);
            at += length;
        }
        settings->recordLength = uint32_t(n);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return settings;
}

}  // namespace containers

#include "image/iso/volume_descriptor.h"

#include <algorithm>
#include <cstring>

#include "foundation/byte_order.h"

namespace image {

bool HasIsoStandardId(DescriptorBytes d) {
    return std::memcmp(d.data() + vd::kStandardId, "CD001", 5) == 0;
}

int JolietLevelFromEscape(DescriptorBytes d) {
    const uint8_t* esc = d.data() + vd::kEscapeSequences;
    if (esc[0] != '%' || esc[1] != '/') return 0;
    switch (esc[2]) {
        case '@': return 1;
        case 'C': return 2;
        case 'E': return 3;
        default: return 0;
    }
}

bool IsElToritoBootRecord(DescriptorBytes d) {
    // The identifier field is 32 bytes; the name is zero-padded, so the whole
    // field must match, not only its first 23 bytes.
    uint8_t expected[32] = {};
    std::memcpy(expected, kElToritoSystemId, sizeof kElToritoSystemId - 1);
    return std::memcmp(d.data() + vd::kBootSystemId, expected, sizeof expected) == 0;
}

bool BothEndian32Consistent(const uint8_t* field) {
    return foundation::ReadLE32(field) == foundation::ReadBE32(field + 4);
}

bool BothEndian16Consistent(const uint8_t* field) {
    return foundation::ReadLE16(field) == foundation::ReadBE16(field + 2);
}

VolumeDescriptorFacts DecodeVolumeDescriptorFacts(DescriptorBytes d) {
    VolumeDescriptorFacts facts;
    facts.volumeSpaceBlocks = foundation::ReadBothEndian32(d.data() + vd::kVolumeSpaceSize);
    facts.logicalBlockBytes = foundation::ReadBothEndian16(d.data() + vd::kLogicalBlockSize);
    std::copy_n(d.data() + vd::kRootRecord, vd::kRootRecordBytes, facts.rootRecord.begin());
    return facts;
}

}  // namespace image

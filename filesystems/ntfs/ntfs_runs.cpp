#include "filesystems/ntfs/ntfs_runs.h"

#include <algorithm>

namespace filesystems {
namespace {

// A little-endian signed field of 1..8 bytes.
int64_t SignedField(const uint8_t* p, unsigned bytes) {
    uint64_t v = 0;
    for (unsigned i = 0; i < bytes; ++i) v |= uint64_t{p[i]} << (8 * i);
    if (bytes < 8 && (p[bytes - 1] & 0x80)) v |= ~uint64_t{0} << (8 * bytes);
    return static_cast<int64_t>(v);
}

}  // namespace

bool DecodeDataRuns(const NtfsDataPiece& piece, uint64_t volumeClusters, std::vector<NtfsRun>& runs) {
    const uint8_t* p = piece.mappingPairs.data();
    const size_t size = piece.mappingPairs.size();
    size_t at = 0;
    uint64_t vcn = piece.lowestVcn;
    int64_t lcn = 0;
    while (at < size && p[at] != 0) {
        const unsigned lengthBytes = p[at] & 0x0F;
        const unsigned offsetBytes = p[at] >> 4;
        if (lengthBytes == 0 || lengthBytes > 8 || offsetBytes > 8) return false;
        if (size - at - 1 < lengthBytes + offsetBytes) return false;
        const int64_t length = SignedField(p + at + 1, lengthBytes);
        if (length <= 0) return false;
        NtfsRun run;
        run.vcn = vcn;
        run.clusters = static_cast<uint64_t>(length);
        if (offsetBytes != 0) {
            const int64_t delta = SignedField(p + at + 1 + lengthBytes, offsetBytes);
            if (__builtin_add_overflow(lcn, delta, &lcn)) return false;
            if (lcn < 0 || static_cast<uint64_t>(lcn) >= volumeClusters ||
                run.clusters > volumeClusters - static_cast<uint64_t>(lcn)) {
                return false;
            }
            run.lcn = lcn;
        }
        uint64_t next = 0;
        if (__builtin_add_overflow(vcn, run.clusters, &next)) return false;
        if (next - 1 > piece.lastVcn) return false;
        runs.push_back(run);
        vcn = next;
        at += 1 + lengthBytes + offsetBytes;
    }
    return true;
}

bool BuildNtfsRunList(const std::vector<NtfsDataPiece>& pieces, uint64_t volumeClusters, std::vector<NtfsRun>& runs) {
    std::vector<const NtfsDataPiece*> order;
    for (const NtfsDataPiece& piece : pieces) {
        if (!piece.resident) order.push_back(&piece);
    }
    std::sort(order.begin(), order.end(),
              [](const NtfsDataPiece* a, const NtfsDataPiece* b) { return a->lowestVcn < b->lowestVcn; });
    runs.clear();
    uint64_t end = 0;
    for (const NtfsDataPiece* piece : order) {
        if (piece->lowestVcn < end) return false;
        if (!DecodeDataRuns(*piece, volumeClusters, runs)) return false;
        if (!runs.empty()) end = runs.back().vcn + runs.back().clusters;
    }
    // No two runs of one attribute share a cluster: runs repeated over the
    // same clusters would make a small volume yield a file of any size (a
    // hundred runs over one megabyte read a hundred megabytes). Together they
    // then never hold more than the volume.
    std::vector<std::pair<uint64_t, uint64_t>> extents;
    for (const NtfsRun& run : runs) {
        if (run.lcn != kNtfsHole) extents.emplace_back(static_cast<uint64_t>(run.lcn), run.clusters);
    }
    std::sort(extents.begin(), extents.end());
    for (size_t i = 1; i < extents.size(); ++i) {
        if (extents[i].first - extents[i - 1].first < extents[i - 1].second) return false;
    }
    return true;
}

const NtfsRun* NtfsRunCursor::Find(uint64_t vcn) {
    // Reads go forward, so the run of the last lookup or the next one
    // usually holds the cluster; any other is found by bisection.
    for (size_t i = index_; i < runs_.size() && i < index_ + 2; ++i) {
        if (vcn >= runs_[i].vcn && vcn - runs_[i].vcn < runs_[i].clusters) {
            index_ = i;
            return &runs_[i];
        }
    }
    auto after = std::upper_bound(runs_.begin(), runs_.end(), vcn,
                                  [](uint64_t v, const NtfsRun& run) { return v < run.vcn; });
    if (after == runs_.begin()) return nullptr;
    const NtfsRun& run = *(after - 1);
    if (vcn - run.vcn >= run.clusters) return nullptr;
    index_ = static_cast<size_t>(after - 1 - runs_.begin());
    return &run;
}

}  // namespace filesystems

#pragma once
// NTFS run lists: the mapping pairs of a non-resident attribute decoded into
// runs of clusters, and one file's pieces joined into one list.

#include <cstdint>
#include <vector>

#include "filesystems/ntfs/ntfs_record.h"

namespace filesystems {

constexpr int64_t kNtfsHole = -1;   // a sparse run: reads as zeros

struct NtfsRun {
    uint64_t vcn = 0;         // first cluster of the run in the attribute
    int64_t lcn = kNtfsHole;  // first cluster on the volume, or kNtfsHole
    uint64_t clusters = 0;
};

// Decodes one piece's mapping pairs (runs from its lowest VCN) and appends them.
// False when the list is corrupt: a header with a length size of 0 or more
// than 8 or an offset size above 8, a run past the attribute's end, a length
// of 0 or below, a sum that overflows, a cluster outside the volume, or runs
// reaching past the piece's last VCN.
bool DecodeDataRuns(const NtfsDataPiece& piece, uint64_t volumeClusters, std::vector<NtfsRun>& runs);

// The runs of every piece of one attribute, in VCN order. False when a piece
// is corrupt or two pieces cover the same clusters. Clusters no piece maps are
// left out; a read that needs them fails.
bool BuildNtfsRunList(const std::vector<NtfsDataPiece>& pieces, uint64_t volumeClusters, std::vector<NtfsRun>& runs);

// Looks up clusters in VCN order, one run list walked forward.
class NtfsRunCursor {
public:
    explicit NtfsRunCursor(const std::vector<NtfsRun>& runs) : runs_(runs) {}
    // The run holding vcn, or null when no run maps it.
    const NtfsRun* Find(uint64_t vcn);

private:
    const std::vector<NtfsRun>& runs_;
    size_t index_ = 0;
};

}  // namespace filesystems

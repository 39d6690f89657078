// Facts about a burn job's medium shared by the engine and the writers.

#include "optical/burn/burn_job.h"

#include "optical/drive/disc_queries.h"

namespace optical {

bool IsOverwritableMedia(uint8_t type) {
    switch (type) {
    case media::kDvdRwSequential:
    case media::kDvdRwRestricted:
    case media::kDvdRam:
    case media::kDvdPlusRw:
    case media::kDvdRwDl:
    case media::kDvdPlusRwDl:
    case media::kBdRPow:
    case media::kBdRDlPow:
    case media::kBdRe:
    case media::kBdReDl:
        return true;
    default:
        return false;
    }
}

}  // namespace optical

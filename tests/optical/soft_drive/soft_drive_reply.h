#pragma once
// What one command of the software drive answers: sense, or the reply bytes.

#include <cstdint>
#include <vector>

#include "soft_drive/soft_drive.h"

namespace softdrive {

struct SoftDrive::Reply {
    bool check = false;
    uint8_t key = 0, asc = 0, ascq = 0;
    // Data-in replies are either built here and cut to the allocation
    // length, or written straight into the caller's buffer (sector reads).
    std::vector<uint8_t> built;
    uint32_t allocation = 0;
    bool direct = false;
    uint32_t moved = 0;
    void Fail(uint8_t k, uint8_t a, uint8_t q) {
        check = true;
        key = k;
        asc = a;
        ascq = q;
    }
};

}  // namespace softdrive

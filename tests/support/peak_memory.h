#pragma once
// The peak memory of one stretch of work, for the tests that feed readers
// damaged or hostile input: a 1 MB file must never open into gigabytes.
//
// Linux keeps a high-water mark of the resident set (VmHWM in
// /proc/self/status) that writing "5" to /proc/self/clear_refs resets to the
// current resident set, so each round of a mutation test sees its own peak.
// The other ways to bound memory do not hold under AddressSanitizer, which the
// dev preset and CI build with:
// - an address-space limit (RLIMIT_AS) stops every ASan program at start, as
//   ASan reserves terabytes of address space for its shadow memory;
// - ASAN_OPTIONS=hard_rss_limit_mb counts the whole process, with up to
//   256 MB of freed blocks that ASan holds back in its quarantine and all that
//   earlier tests left behind, is looked at by a background thread only every
//   so often, and ends the process without naming the input that did it;
// - getrusage's ru_maxrss is a lifetime peak that cannot be reset: after one
//   large round, later rounds are not seen.
// Under ASan a freed block is not reused while it sits in the quarantine, so
// the growth of a round is nearer all it allocated than its largest live
// set: the limits given in tests are upper bounds with room for that.

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

namespace qvtest {

class PeakMemory {
public:
    // Starts a stretch: the peak is reset to what is resident now.
    PeakMemory() { Restart(); }

    void Restart() {
        std::ofstream clear("/proc/self/clear_refs");
        clear << "5";
        clear.flush();
        resettable_ = static_cast<bool>(clear);
        // Without the reset, growth is measured against the lifetime peak.
        startPeak_ = StatusBytes(resettable_ ? "VmRSS:" : "VmHWM:");
    }

    // Bytes by which the resident peak rose above the start of the stretch.
    uint64_t GrowthBytes() const {
        const uint64_t peak = StatusBytes("VmHWM:");
        return peak > startPeak_ ? peak - startPeak_ : 0;
    }

    bool Resettable() const { return resettable_; }

private:
    static uint64_t StatusBytes(const char* field) {
        std::ifstream status("/proc/self/status");
        std::string line;
        const size_t n = std::strlen(field);
        while (std::getline(status, line)) {
            if (line.compare(0, n, field) == 0) return std::stoull(line.substr(n)) * 1024;   // "... kB"
        }
        return 0;
    }

    bool resettable_ = false;
    uint64_t startPeak_ = 0;
};

}  // namespace qvtest

#pragma once
// Hand-built LZX and XPRESS streams for the decoder tests: bits go most
// significant first into 16-bit little-endian words, as both formats read them.

#include <cstdint>
#include <vector>

namespace qvtest {

class WordBitWriter {
public:
    void Put(uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            word_ = static_cast<uint16_t>(word_ << 1 | ((value >> i) & 1));
            if (++used_ == 16) Flush();
        }
    }
    // Pads the current word with zeros (nothing when it is empty).
    void Align() {
        if (used_ > 0) Put(0, 16 - used_);
    }
    void Byte(uint8_t b) { bytes_.push_back(b); }
    void Le32(uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    std::vector<uint8_t> Finish() {
        Align();
        return bytes_;
    }
    std::vector<uint8_t>& bytes() { return bytes_; }

private:
    void Flush() {
        bytes_.push_back(static_cast<uint8_t>(word_));
        bytes_.push_back(static_cast<uint8_t>(word_ >> 8));
        word_ = 0;
        used_ = 0;
    }
    std::vector<uint8_t> bytes_;
    uint16_t word_ = 0;
    int used_ = 0;
};

}  // namespace qvtest

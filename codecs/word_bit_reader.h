#pragma once
// The bit stream of the LZX and XPRESS chunk formats: 16-bit little-endian
// words, bits taken from each word's most significant end. The reader never
// reads outside its span: words past the end read as zeros, and the decoders
// ask OverranInput() at their checkpoints, so a stream that needs bits it does
// not have fails instead of decoding zeros.

#include <cstddef>
#include <cstdint>
#include <span>

#include "codecs/byte_order.h"

namespace codecs {

class WordBitReader {
public:
    explicit WordBitReader(std::span<const uint8_t> input, size_t start = 0) : input_(input) { Restart(start); }

    // Starts afresh with the word at byte offset start.
    void Restart(size_t start) {
        next_ = start;
        buffer_ = 0;
        count_ = 0;
        wordsPastEnd_ = 0;
        consumed_ = 0;
    }

    // Appends the next word to the buffer.
    void LoadWord() {
        uint32_t word = 0;
        if (next_ < input_.size() && input_.size() - next_ >= 2) {
            word = ReadLE16(&input_[next_]);
        } else {
            if (next_ < input_.size()) word = input_[next_];   // a lone last byte: its word's low half
            ++wordsPastEnd_;
        }
        next_ += 2;
        buffer_ = buffer_ << 16 | word;
        count_ += 16;
    }
    // At least n (<= 16) bits in the buffer. It is filled to more than 32
    // bits at a time: where a format reads raw bytes, it finds them from
    // ConsumedBits, not from how far the buffer ran ahead.
    void Ensure(int n) {
        if (count_ >= n) return;
        if (next_ <= input_.size() && input_.size() - next_ >= 6 && count_ <= 16) {
            const uint8_t* p = input_.data() + next_;
            const uint64_t words =
                uint64_t{ReadLE16(p)} << 32 | uint64_t{ReadLE16(p + 2)} << 16 | uint64_t{ReadLE16(p + 4)};
            buffer_ = buffer_ << 48 | words;
            count_ += 48;
            next_ += 6;
            return;
        }
        while (count_ <= 32) LoadWord();
    }
    // The next n (1..16) bits; Ensure(n) first.
    uint32_t Peek(int n) const { return uint32_t(buffer_ >> (count_ - n)) & ((1u << n) - 1); }
    void Consume(int n) {
        count_ -= n;
        consumed_ += uint64_t(n);
    }
    // The next n (0..16) bits.
    uint32_t Read(int n) {
        if (n == 0) return 0;
        Ensure(n);
        const uint32_t value = Peek(n);
        Consume(n);
        return value;
    }

    int BufferedBits() const { return count_; }
    uint64_t ConsumedBits() const { return consumed_; }
    // Byte offset of the next word not yet loaded.
    size_t NextWordOffset() const { return next_; }
    // Raw bytes taken at the next-word position (XPRESS length bytes).
    bool ReadRawByte(uint32_t& value) {
        if (next_ >= input_.size()) return false;
        value = input_[next_++];
        return true;
    }
    // True when bits of the zero words past the end were consumed.
    bool OverranInput() const { return uint64_t(wordsPastEnd_) * 16 > uint64_t(count_); }

private:
    std::span<const uint8_t> input_;
    size_t next_ = 0;
    uint64_t buffer_ = 0;
    int count_ = 0;
    uint32_t wordsPastEnd_ = 0;
    uint64_t consumed_ = 0;
};

}  // namespace codecs

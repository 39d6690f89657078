#include "codecs/deflate_encoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "codecs/deflate_format.h"
#include "codecs/deflate_trees.h"

namespace codecs {
namespace {

using deflate_internal::BitWriter;
using deflate_internal::BlockCoder;

// The level-6 parameters of gzip's deflate.
constexpr unsigned kWSize = kDeflateWindowSize;
constexpr unsigned kWMask = kWSize - 1;
constexpr unsigned kWindowSize = 2 * kWSize;
constexpr unsigned kHashBits = 15;
constexpr unsigned kHashSize = 1u << kHashBits;
constexpr unsigned kHashMask = kHashSize - 1;
constexpr unsigned kHashShift = (kHashBits + kDeflateMinMatch - 1) / kDeflateMinMatch;   // 5
constexpr unsigned kMinLookahead = kDeflateMaxMatch + kDeflateMinMatch + 1;              // 262
constexpr unsigned kMaxDist = kWSize - kMinLookahead;                                    // 32506
constexpr unsigned kMaxChain = 128;
constexpr unsigned kGoodLength = 8;     // a previous match this long quarters the chain
constexpr unsigned kMaxLazy = 16;       // no deferred search after a match this long
constexpr unsigned kNiceLength = 128;   // a match this long stops the search
constexpr unsigned kTooFar = 4096;      // a length-3 match farther than this is dropped
constexpr unsigned kNil = 0;

class EncoderState {
public:
    int64_t Compress(const uint8_t* input, size_t length, uint8_t* output, size_t capacity, int32_t variant);
    void ResetWriter() { writer_.Start(nullptr, 0); }
    void ResetTrees() { coder_.InitBlock(); }

private:
    size_t ReadInput(uint8_t* to, size_t wanted) {
        const size_t n = std::min(wanted, inputLength_ - inputPos_);
        if (n) std::memcpy(to, input_ + inputPos_, n);
        inputPos_ += n;
        return n;
    }
    void UpdateHash(uint8_t c) { insH_ = ((insH_ << kHashShift) ^ c) & kHashMask; }
    unsigned InsertString(unsigned s) {
        UpdateHash(window_[s + kDeflateMinMatch - 1]);
        const unsigned matchHead = head_[insH_];
        prev_[s & kWMask] = static_cast<uint16_t>(matchHead);
        head_[insH_] = static_cast<uint16_t>(s);
        return matchHead;
    }
    void Init();
    void FillWindow();
    unsigned LongestMatch(unsigned curMatch);
    void Flush(bool last) {
        coder_.FlushBlock(blockStart_ >= 0 ? window_ + blockStart_ : nullptr,
                          static_cast<uint64_t>(static_cast<int64_t>(strStart_) - blockStart_), last, writer_, codes_);
    }
    void Deflate();

    // The window plus slack: the hash update reads two bytes past the data.
    uint8_t window_[kWindowSize + kDeflateMaxMatch + 8];
    uint16_t prev_[kWSize];
    uint16_t head_[kHashSize];
    BlockCoder coder_;
    BitWriter writer_;
    DeflateBlockTypeCodes codes_{};

    const uint8_t* input_ = nullptr;
    size_t inputLength_ = 0;
    size_t inputPos_ = 0;
    unsigned insH_ = 0;
    unsigned strStart_ = 0;
    unsigned lookahead_ = 0;
    unsigned matchStart_ = 0;
    unsigned prevLength_ = 0;
    int64_t blockStart_ = 0;   // negative once the block's start slid out of the window
    bool eof_ = false;
};

void EncoderState::Init() {
    std::memset(head_, 0, sizeof head_);
    std::memset(window_, 0, sizeof window_);
    strStart_ = 0;
    blockStart_ = 0;
    matchStart_ = 0;
    prevLength_ = 0;
    lookahead_ = static_cast<unsigned>(ReadInput(window_, kWindowSize));
    if (lookahead_ == 0) {
        eof_ = true;
        return;
    }
    eof_ = false;
    while (lookahead_ < kMinLookahead && !eof_) FillWindow();
    insH_ = 0;
    for (int j = 0; j < kDeflateMinMatch - 1; ++j) UpdateHash(window_[j]);
}

void EncoderState::FillWindow() {
    unsigned more = kWindowSize - lookahead_ - strStart_;
    if (strStart_ >= kWSize + kMaxDist) {
        // Slide the upper half down; chains pointing below it end.
        std::memcpy(window_, window_ + kWSize, kWSize);
        matchStart_ -= kWSize;
        strStart_ -= kWSize;
        blockStart_ -= kWSize;
        for (unsigned n = 0; n < kHashSize; ++n) head_[n] = static_cast<uint16_t>(head_[n] >= kWSize ? head_[n] - kWSize : kNil);
        for (unsigned n = 0; n < kWSize; ++n) prev_[n] = static_cast<uint16_t>(prev_[n] >= kWSize ? prev_[n] - kWSize : kNil);
        more += kWSize;
    }
    if (!eof_) {
        const size_t n = ReadInput(window_ + strStart_ + lookahead_, more);
        if (n == 0) {
            eof_ = true;
            // Keep stale bytes out of the last hash insertions.
            std::memset(window_ + strStart_ + lookahead_, 0, kDeflateMinMatch - 1);
        } else {
            lookahead_ += static_cast<unsigned>(n);
        }
    }
}

unsigned EncoderState::LongestMatch(unsigned curMatch) {
    unsigned chainLength = kMaxChain;
    const uint8_t* scan = window_ + strStart_;
    unsigned bestLen = prevLength_;
    // Position 0 is never a candidate: it also stands for "no entry".
    const unsigned limit = strStart_ > kMaxDist ? strStart_ - kMaxDist : kNil;
    const uint8_t* const strEnd = window_ + strStart_ + kDeflateMaxMatch;
    uint8_t scanEnd1 = scan[bestLen - 1];
    uint8_t scanEnd = scan[bestLen];
    if (prevLength_ >= kGoodLength) chainLength >>= 2;
    do {
        const uint8_t* match = window_ + curMatch;
        if (match[bestLen] != scanEnd || match[bestLen - 1] != scanEnd1 || match[0] != scan[0] || match[1] != scan[1])
            continue;
        // The third byte matches too: equal hashes with equal first two bytes
        // imply it (15 hash bits, 5 per byte).
        const uint8_t* s = scan + 2;
        const uint8_t* m = match + 2;
        do {
        } while (*++s == *++m && *++s == *++m && *++s == *++m && *++s == *++m && *++s == *++m && *++s == *++m &&
                 *++s == *++m && *++s == *++m && s < strEnd);
        const unsigned len = kDeflateMaxMatch - static_cast<unsigned>(strEnd - s);
        if (len > bestLen) {
            matchStart_ = curMatch;
            bestLen = len;
            if (len >= kNiceLength) break;
            scanEnd1 = scan[bestLen - 1];
            scanEnd = scan[bestLen];
        }
    } while ((curMatch = prev_[curMatch & kWMask]) > limit && --chainLength != 0);
    return bestLen;
}

void EncoderState::Deflate() {
    bool matchAvailable = false;
    unsigned matchLength = kDeflateMinMatch - 1;
    while (lookahead_ != 0) {
        const unsigned hashHead = InsertString(strStart_);
        prevLength_ = matchLength;
        const unsigned prevMatch = matchStart_;
        matchLength = kDeflateMinMatch - 1;
        if (hashHead != kNil && prevLength_ < kMaxLazy && strStart_ - hashHead <= kMaxDist &&
            strStart_ <= kWindowSize - kMinLookahead) {
            matchLength = LongestMatch(hashHead);
            if (matchLength > lookahead_) matchLength = lookahead_;
            if (matchLength == kDeflateMinMatch && strStart_ - matchStart_ > kTooFar) --matchLength;
        }
        if (prevLength_ >= kDeflateMinMatch && matchLength <= prevLength_) {
            // The previous match is at least as good: emit it.
            const bool flush = coder_.Tally(strStart_ - 1 - prevMatch, prevLength_ - kDeflateMinMatch,
                                            static_cast<uint64_t>(int64_t{strStart_} - blockStart_));
            lookahead_ -= prevLength_ - 1;
            prevLength_ -= 2;
            do {
                ++strStart_;
                InsertString(strStart_);
            } while (--prevLength_ != 0);
            matchAvailable = false;
            matchLength = kDeflateMinMatch - 1;
            ++strStart_;
            if (flush) {
                Flush(false);
                blockStart_ = strStart_;
            }
        } else if (matchAvailable) {
            // The match here is longer: the previous position is a literal.
            if (coder_.Tally(0, window_[strStart_ - 1], static_cast<uint64_t>(int64_t{strStart_} - blockStart_))) {
                Flush(false);
                blockStart_ = strStart_;
            }
            ++strStart_;
            --lookahead_;
        } else {
            matchAvailable = true;
            ++strStart_;
            --lookahead_;
        }
        while (lookahead_ < kMinLookahead && !eof_) FillWindow();
    }
    if (matchAvailable)
        coder_.Tally(0, window_[strStart_ - 1], static_cast<uint64_t>(int64_t{strStart_} - blockStart_));
    Flush(true);
}

int64_t EncoderState::Compress(const uint8_t* input, size_t length, uint8_t* output, size_t capacity,
                               int32_t variant) {
    codes_ = DeflateCodesForVariant(variant);
    input_ = input;
    inputLength_ = length;
    inputPos_ = 0;
    writer_.Start(output, capacity);
    coder_.InitBlock();
    Init();
    Deflate();
    input_ = nullptr;
    if (writer_.Overflowed()) return -1;
    return static_cast<int64_t>(writer_.Position());
}

thread_local std::unique_ptr<EncoderState> t_encoder;

EncoderState* ThreadEncoder() {
    if (!t_encoder) {
        try {
            t_encoder = std::make_unique<EncoderState>();
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    return t_encoder.get();
}

}  // namespace

int64_t DeflateCompressBlock(const uint8_t* input, uint8_t* output, size_t length, int32_t variant,
                             size_t outputCapacity) {
    if ((!input && length > 0) || !output) return -1;
    EncoderState* state = ThreadEncoder();
    if (!state) return -1;
    return state->Compress(input, length, output, outputCapacity, variant);
}

int64_t DeflateCompress(const uint8_t* input, uint8_t* output, size_t length, size_t outputCapacity) {
    if (length > kDeflateMaxDirectInput) return -1;
    return DeflateCompressBlock(input, output, length, 0, outputCapacity);
}

void ResetDeflateEncoder() {
    if (EncoderState* state = ThreadEncoder()) state->ResetWriter();
}

void InitDeflateTrees() {
    if (EncoderState* state = ThreadEncoder()) state->ResetTrees();
}

}  // namespace codecs

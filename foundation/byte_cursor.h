#pragma once
// Checked access to bytes that came from a file. Every read is measured against
// the span the cursor was given, so reading a field beyond the buffer cannot
// happen by construction:
//
//     ByteCursor sector(buffer);
//     auto rec = sector.Take(recordLength);
//     if (!rec) return Fail(...);
//     uint32_t lba = rec->Le32(2);
//     if (!rec->Ok()) return Fail(...);
//
// Fixed-offset reads (Le32(offset)) leave the position alone; sequential reads
// (ReadLe32()) advance it. A read that does not fit gives 0 and turns Ok() false
// for good, so a run of field reads can be checked once at the end. Take, Sub,
// Skip and Seek report by their own return value and leave the cursor unchanged
// when they fail. All offsets and lengths are 64-bit and compared by subtracting
// from what remains, so a huge length from a damaged file cannot wrap.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace foundation {

class ByteCursor {
public:
    ByteCursor() = default;
    explicit ByteCursor(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    ByteCursor(const void* data, size_t size)
        : bytes_(static_cast<const uint8_t*>(data), data ? size : 0) {}

    size_t Size() const { return bytes_.size(); }
    size_t Position() const { return position_; }
    size_t Remaining() const { return bytes_.size() - position_; }
    bool AtEnd() const { return position_ == bytes_.size(); }
    // False once any field read fell outside the span.
    bool Ok() const { return !failed_; }
    std::span<const uint8_t> Bytes() const { return bytes_; }
    const uint8_t* Data() const { return bytes_.data(); }

    // True when [offset, offset + length) lies inside the span.
    bool Has(uint64_t offset, uint64_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }

    // Reads at an offset from the start of the span.
    uint8_t U8(uint64_t offset) const;
    uint16_t Le16(uint64_t offset) const;
    uint32_t Le32(uint64_t offset) const;
    uint64_t Le64(uint64_t offset) const;
    uint16_t Be16(uint64_t offset) const;
    uint32_t Be32(uint64_t offset) const;
    uint64_t Be64(uint64_t offset) const;
    // ISO 9660 both-byte-order fields, read through their little-endian half.
    uint16_t Both16(uint64_t offset) const { return Le16(offset); }
    uint32_t Both32(uint64_t offset) const { return Le32(offset); }

    // Reads at the position, advancing it past the field when it fits.
    uint8_t ReadU8();
    uint16_t ReadLe16();
    uint32_t ReadLe32();
    uint64_t ReadLe64();
    uint16_t ReadBe16();
    uint32_t ReadBe32();
    uint64_t ReadBe64();

    // The next length bytes as a cursor of their own; the position moves past
    // them. Nothing when fewer remain.
    std::optional<ByteCursor> Take(uint64_t length);
    // The next length bytes as a span; the position moves past them.
    std::optional<std::span<const uint8_t>> TakeBytes(uint64_t length);
    // A cursor over [offset, offset + length) of this span; the position stays.
    std::optional<ByteCursor> Sub(uint64_t offset, uint64_t length) const;
    // A span over [offset, offset + length); the position stays.
    std::optional<std::span<const uint8_t>> Span(uint64_t offset, uint64_t length) const;
    // Copies [offset, offset + size) out; false (and nothing copied) when it
    // does not fit.
    bool CopyTo(uint64_t offset, void* destination, size_t size) const;

    bool Skip(uint64_t length);
    bool Seek(uint64_t position);

private:
    // Start of a field of `length` bytes at `offset`, or null after marking
    // the cursor failed.
    const uint8_t* Field(uint64_t offset, uint64_t length) const;
    const uint8_t* NextField(uint64_t length);

    std::span<const uint8_t> bytes_;
    size_t position_ = 0;
    mutable bool failed_ = false;
};

// The writing side: fields put at offsets of a buffer the writer owns. A put
// that does not fit writes nothing and turns Ok() false for good.
class ByteWriter {
public:
    ByteWriter() = default;
    explicit ByteWriter(std::span<uint8_t> bytes) : bytes_(bytes) {}
    ByteWriter(void* data, size_t size) : bytes_(static_cast<uint8_t*>(data), data ? size : 0) {}

    size_t Size() const { return bytes_.size(); }
    bool Ok() const { return !failed_; }
    std::span<uint8_t> Bytes() const { return bytes_; }
    bool Has(uint64_t offset, uint64_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }

    bool U8(uint64_t offset, uint8_t value);
    bool Le16(uint64_t offset, uint16_t value);
    bool Le32(uint64_t offset, uint32_t value);
    bool Le64(uint64_t offset, uint64_t value);
    bool Be16(uint64_t offset, uint16_t value);
    bool Be32(uint64_t offset, uint32_t value);
    bool Be64(uint64_t offset, uint64_t value);
    bool Both16(uint64_t offset, uint16_t value);
    bool Both32(uint64_t offset, uint32_t value);
    bool Put(uint64_t offset, const void* data, size_t size);
    bool Fill(uint64_t offset, uint8_t value, uint64_t length);
    // A writer over [offset, offset + length) of this buffer.
    std::optional<ByteWriter> Sub(uint64_t offset, uint64_t length) const;

private:
    uint8_t* Field(uint64_t offset, uint64_t length);

    std::span<uint8_t> bytes_;
    bool failed_ = false;
};

}  // namespace foundation

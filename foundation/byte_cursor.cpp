#include "foundation/byte_cursor.h"

#include <cstring>

#include "foundation/byte_order.h"

namespace foundation {

namespace {

// A field's value, or 0 when the field did not fit (the cursor is failed then).
template <typename T>
T ValueOr0(const uint8_t* p, T (*read)(const uint8_t*)) {
    return p ? read(p) : T{0};
}

// Writes a field that fits; false (and nothing written) otherwise.
template <typename T>
bool PutIfFits(uint8_t* p, T value, void (*write)(uint8_t*, T)) {
    if (p) write(p, value);
    return p != nullptr;
}

void WriteU8(uint8_t* p, uint8_t v) { p[0] = v; }

}  // namespace

const uint8_t* ByteCursor::Field(uint64_t offset, uint64_t length) const {
    if (!Has(offset, length)) {
        failed_ = true;
        return nullptr;
    }
    return bytes_.data() + offset;
}

const uint8_t* ByteCursor::NextField(uint64_t length) {
    const uint8_t* p = Field(position_, length);
    if (p != nullptr) position_ += static_cast<size_t>(length);
    return p;
}

uint8_t ByteCursor::U8(uint64_t offset) const { return ValueOr0(Field(offset, 1), foundation::ReadU8); }
uint16_t ByteCursor::Le16(uint64_t offset) const { return ValueOr0(Field(offset, 2), ReadLE16); }
uint32_t ByteCursor::Le32(uint64_t offset) const { return ValueOr0(Field(offset, 4), ReadLE32); }
uint64_t ByteCursor::Le64(uint64_t offset) const { return ValueOr0(Field(offset, 8), ReadLE64); }
uint16_t ByteCursor::Be16(uint64_t offset) const { return ValueOr0(Field(offset, 2), ReadBE16); }
uint32_t ByteCursor::Be32(uint64_t offset) const { return ValueOr0(Field(offset, 4), ReadBE32); }
uint64_t ByteCursor::Be64(uint64_t offset) const { return ValueOr0(Field(offset, 8), ReadBE64); }

uint8_t ByteCursor::ReadU8() { return ValueOr0(NextField(1), foundation::ReadU8); }
uint16_t ByteCursor::ReadLe16() { return ValueOr0(NextField(2), ReadLE16); }
uint32_t ByteCursor::ReadLe32() { return ValueOr0(NextField(4), ReadLE32); }
uint64_t ByteCursor::ReadLe64() { return ValueOr0(NextField(8), ReadLE64); }
uint16_t ByteCursor::ReadBe16() { return ValueOr0(NextField(2), ReadBE16); }
uint32_t ByteCursor::ReadBe32() { return ValueOr0(NextField(4), ReadBE32); }
uint64_t ByteCursor::ReadBe64() { return ValueOr0(NextField(8), ReadBE64); }

std::optional<ByteCursor> ByteCursor::Take(uint64_t length) {
    if (!Has(position_, length)) return std::nullopt;
    ByteCursor part(bytes_.subspan(position_, static_cast<size_t>(length)));
    position_ += static_cast<size_t>(length);
    return part;
}

std::optional<std::span<const uint8_t>> ByteCursor::TakeBytes(uint64_t length) {
    if (!Has(position_, length)) return std::nullopt;
    auto part = bytes_.subspan(position_, static_cast<size_t>(length));
    position_ += static_cast<size_t>(length);
    return part;
}

std::optional<ByteCursor> ByteCursor::Sub(uint64_t offset, uint64_t length) const {
    if (!Has(offset, length)) return std::nullopt;
    return ByteCursor(bytes_.subspan(static_cast<size_t>(offset), static_cast<size_t>(length)));
}

std::optional<std::span<const uint8_t>> ByteCursor::Span(uint64_t offset, uint64_t length) const {
    if (!Has(offset, length)) return std::nullopt;
    return bytes_.subspan(static_cast<size_t>(offset), static_cast<size_t>(length));
}

bool ByteCursor::CopyTo(uint64_t offset, void* destination, size_t size) const {
    if (!Has(offset, size)) return false;
    if (size != 0) std::memcpy(destination, bytes_.data() + offset, size);
    return true;
}

bool ByteCursor::Skip(uint64_t length) {
    if (!Has(position_, length)) return false;
    position_ += static_cast<size_t>(length);
    return true;
}

bool ByteCursor::Seek(uint64_t position) {
    if (position > bytes_.size()) return false;
    position_ = static_cast<size_t>(position);
    return true;
}

uint8_t* ByteWriter::Field(uint64_t offset, uint64_t length) {
    if (!Has(offset, length)) {
        failed_ = true;
        return nullptr;
    }
    return bytes_.data() + offset;
}

bool ByteWriter::U8(uint64_t offset, uint8_t value) {
    return PutIfFits(Field(offset, 1), value, WriteU8);
}
bool ByteWriter::Le16(uint64_t offset, uint16_t value) {
    return PutIfFits(Field(offset, 2), value, WriteLE16);
}
bool ByteWriter::Le32(uint64_t offset, uint32_t value) {
    return PutIfFits(Field(offset, 4), value, WriteLE32);
}
bool ByteWriter::Le64(uint64_t offset, uint64_t value) {
    return PutIfFits(Field(offset, 8), value, WriteLE64);
}
bool ByteWriter::Be16(uint64_t offset, uint16_t value) {
    return PutIfFits(Field(offset, 2), value, WriteBE16);
}
bool ByteWriter::Be32(uint64_t offset, uint32_t value) {
    return PutIfFits(Field(offset, 4), value, WriteBE32);
}
bool ByteWriter::Be64(uint64_t offset, uint64_t value) {
    return PutIfFits(Field(offset, 8), value, WriteBE64);
}
bool ByteWriter::Both16(uint64_t offset, uint16_t value) {
    return PutIfFits(Field(offset, 4), value, WriteBothEndian16);
}
bool ByteWriter::Both32(uint64_t offset, uint32_t value) {
    return PutIfFits(Field(offset, 8), value, WriteBothEndian32);
}
bool ByteWriter::Put(uint64_t offset, const void* data, size_t size) {
    uint8_t* p = Field(offset, size);
    if (p && size != 0) std::memcpy(p, data, size);
    return p != nullptr;
}
bool ByteWriter::Fill(uint64_t offset, uint8_t value, uint64_t length) {
    uint8_t* p = Field(offset, length);
    if (p && length != 0) std::memset(p, value, static_cast<size_t>(length));
    return p != nullptr;
}
std::optional<ByteWriter> ByteWriter::Sub(uint64_t offset, uint64_t length) const {
    if (!Has(offset, length)) return std::nullopt;
    return ByteWriter(bytes_.subspan(static_cast<size_t>(offset), static_cast<size_t>(length)));
}

}  // namespace foundation

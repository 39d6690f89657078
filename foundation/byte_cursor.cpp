#include "foundation/byte_cursor.h"

#include <cstring>

#include "foundation/byte_order.h"

namespace foundation {

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

uint8_t ByteCursor::U8(uint64_t offset) const {
    const uint8_t* p = Field(offset, 1);
    return p ? p[0] : 0;
}
uint16_t ByteCursor::Le16(uint64_t offset) const {
    const uint8_t* p = Field(offset, 2);
    return p ? ReadLE16(p) : 0;
}
uint32_t ByteCursor::Le32(uint64_t offset) const {
    const uint8_t* p = Field(offset, 4);
    return p ? ReadLE32(p) : 0;
}
uint64_t ByteCursor::Le64(uint64_t offset) const {
    const uint8_t* p = Field(offset, 8);
    return p ? ReadLE64(p) : 0;
}
uint16_t ByteCursor::Be16(uint64_t offset) const {
    const uint8_t* p = Field(offset, 2);
    return p ? ReadBE16(p) : 0;
}
uint32_t ByteCursor::Be32(uint64_t offset) const {
    const uint8_t* p = Field(offset, 4);
    return p ? ReadBE32(p) : 0;
}
uint64_t ByteCursor::Be64(uint64_t offset) const {
    const uint8_t* p = Field(offset, 8);
    return p ? ReadBE64(p) : 0;
}

uint8_t ByteCursor::ReadU8() {
    const uint8_t* p = NextField(1);
    return p ? p[0] : 0;
}
uint16_t ByteCursor::ReadLe16() {
    const uint8_t* p = NextField(2);
    return p ? ReadLE16(p) : 0;
}
uint32_t ByteCursor::ReadLe32() {
    const uint8_t* p = NextField(4);
    return p ? ReadLE32(p) : 0;
}
uint64_t ByteCursor::ReadLe64() {
    const uint8_t* p = NextField(8);
    return p ? ReadLE64(p) : 0;
}
uint16_t ByteCursor::ReadBe16() {
    const uint8_t* p = NextField(2);
    return p ? ReadBE16(p) : 0;
}
uint32_t ByteCursor::ReadBe32() {
    const uint8_t* p = NextField(4);
    return p ? ReadBE32(p) : 0;
}
uint64_t ByteCursor::ReadBe64() {
    const uint8_t* p = NextField(8);
    return p ? ReadBE64(p) : 0;
}

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
    uint8_t* p = Field(offset, 1);
    if (p) p[0] = value;
    return p != nullptr;
}
bool ByteWriter::Le16(uint64_t offset, uint16_t value) {
    uint8_t* p = Field(offset, 2);
    if (p) WriteLE16(p, value);
    return p != nullptr;
}
bool ByteWriter::Le32(uint64_t offset, uint32_t value) {
    uint8_t* p = Field(offset, 4);
    if (p) WriteLE32(p, value);
    return p != nullptr;
}
bool ByteWriter::Le64(uint64_t offset, uint64_t value) {
    uint8_t* p = Field(offset, 8);
    if (p) WriteLE64(p, value);
    return p != nullptr;
}
bool ByteWriter::Be16(uint64_t offset, uint16_t value) {
    uint8_t* p = Field(offset, 2);
    if (p) WriteBE16(p, value);
    return p != nullptr;
}
bool ByteWriter::Be32(uint64_t offset, uint32_t value) {
    uint8_t* p = Field(offset, 4);
    if (p) WriteBE32(p, value);
    return p != nullptr;
}
bool ByteWriter::Be64(uint64_t offset, uint64_t value) {
    uint8_t* p = Field(offset, 8);
    if (p) WriteBE64(p, value);
    return p != nullptr;
}
bool ByteWriter::Both16(uint64_t offset, uint16_t value) {
    uint8_t* p = Field(offset, 4);
    if (p) WriteBothEndian16(p, value);
    return p != nullptr;
}
bool ByteWriter::Both32(uint64_t offset, uint32_t value) {
    uint8_t* p = Field(offset, 8);
    if (p) WriteBothEndian32(p, value);
    return p != nullptr;
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

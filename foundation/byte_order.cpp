#include "foundation/byte_order.h"

#include <cstring>

namespace foundation {

size_t CopyTextField(uint8_t* field, size_t fieldSize, const char* text) {
    if (field == nullptr || text == nullptr) return 0;
    size_t count = 0;
    while (count < fieldSize && text[count] != '\0') ++count;
    std::memcpy(field, text, count);
    return count;
}

}  // namespace foundation

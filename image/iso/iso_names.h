#pragma once
// The identifiers a saved image gives its entries: ISO 9660 identifiers in the
// ANSI code page (8.3, 30 or up to 221 bytes) and Joliet identifiers in UCS-2
// (64 or 110 characters), made unique within their folder with "~N" numbers,
// and the orders in which their records and path-table entries are sorted.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace image {

// The name hashes of the layout (1024 buckets): over the bytes of an ISO
// identifier up to NUL or ";", each byte taken as signed.
uint32_t IsoNameHash(std::string_view isoIdentifier);
// The same mixing over each 16-bit unit: its high byte (when non-zero), then
// its low byte (when non-zero).
uint32_t WideNameHash(std::u16string_view text);
constexpr uint32_t kNameHashBuckets = 1024;

struct IsoNameOptions {
    int32_t limit = 221;           // 12 (8.3 names), 30 or 221 bytes
    bool allowLowerCase = false;   // else upper-cased
    bool isFolder = false;
};

// The ISO identifier of a long name, without ";1"; "." gives "\0" and ".."
// "\1". With a number, the numbered form base~N.ext. Empty when the name
// cannot be converted at all.
std::string BuildIsoName(std::u16string_view longName, const IsoNameOptions& options,
                         std::optional<uint32_t> number);
// True when the long name converts to an identifier that fits the limit as it
// is (8.3: base up to 8 bytes and extension up to 3).
bool IsoNameFits(std::u16string_view longName, const IsoNameOptions& options);

// The Joliet identifier (host-order UTF-16) of a long name within limit
// characters; with a number, base~N.ext. replaceForbidden: the characters
// Joliet forbids (U+0000-U+001F and * / : ; ? \) become "_".
std::u16string BuildJolietName(std::u16string_view longName, int32_t limit, std::optional<uint32_t> number,
                               bool replaceForbidden);

// Record order of ISO identifiers: "\0" first, "\1" second, then byte by byte
// where ";" sorts before every other byte and "." before every other byte but
// ";"; at a ";" in both the names are equal; a name that ends first sorts first.
bool IsoRecordLess(std::string_view a, std::string_view b);
// Path-table order of ISO identifiers: plain unsigned bytes, shorter first.
bool IsoPathLess(std::string_view a, std::string_view b);
// Joliet identifiers compared as UCS-2 code values (the order of their
// big-endian bytes), shorter first on an equal prefix.
bool JolietLess(std::u16string_view a, std::u16string_view b);

// The long name from a read directory record identifier: a Joliet one is cut
// to 220 bytes, a trailing ";1" and trailing dots dropped; an ISO one cut to
// 221 bytes and converted from the ANSI code page. Then a final ";" followed by
// exactly one digit is cut (unless the ";" comes first).
std::u16string LongNameFromIsoIdentifier(std::string_view identifier);
std::u16string LongNameFromJolietIdentifier(std::u16string_view identifier);

}  // namespace image

#pragma once
// Property values, names and strings of the bridge to the archive library:
// the property value holder, strings made and freed by the library's own
// functions, wchar_t converted to UTF-16 at the boundary only, value-to-text
// conversions, the default name of an archive's content and the item and
// archive property readers.

#include <cstdint>
#include <string>
#include <string_view>

#include "containers/archive/arc_interfaces.h"

namespace containers::archive {

// The library's string and value functions; installed by the host when it
// loads a library. Without them no string can be made (out of memory).
struct LibraryStrings {
    SysAllocStringLenFn allocLen = nullptr;
    SysFreeStringFn free = nullptr;
    SysStringByteLenFn byteLen = nullptr;
    VariantClearFn variantClear = nullptr;
};
void SetLibraryStrings(const LibraryStrings& functions);
const LibraryStrings& GetLibraryStrings();

// UTF-16 to the library's wide text and back. Unpaired surrogates and code
// points past U+10FFFF become U+FFFD.
std::wstring ToWide(std::u16string_view text);
std::u16string FromWide(std::wstring_view text);
// A zero-terminated wide text from the library; null gives "".
std::u16string FromWideZ(const wchar_t* text);

// A new library string (null when out of memory or no library is loaded).
wchar_t* AllocLibraryString(std::u16string_view text);
void FreeLibraryString(wchar_t* text);
// The text of a library string, its length taken from the library.
std::u16string LibraryStringText(wchar_t* text);
// Its byte length (0 for null).
uint32_t LibraryStringBytes(wchar_t* text);

// The library's property value, cleared when it goes out of scope. Setters
// zero all 16 bytes first: since 22.00 the reserved words carry meaning.
class CPropVar {
public:
    CPropVar() = default;
    ~CPropVar() { Clear(); }
    CPropVar(const CPropVar&) = delete;
    CPropVar& operator=(const CPropVar&) = delete;

    PropVariant* Out() { return &value_; }
    const PropVariant& get() const { return value_; }
    uint16_t type() const { return value_.vt; }

    void Clear();
    void SetText(std::u16string_view text);
    void SetBool(bool value);
    void SetUInt32(uint32_t value);
    void SetUInt64(uint64_t value);
    void SetInt32(int32_t value);
    void SetFileTime(uint64_t ticks);
    // Moves the value into a value the library handed us (cleared first).
    HResult MoveTo(PropVariant* target);

private:
    void Reset(uint16_t type);
    PropVariant value_;
};

// Clears a value the library gave us: plain types are only marked empty,
// everything else goes through the library's VariantClear.
void ClearPropVariant(PropVariant& value);

// Value to text: empty; signed and unsigned decimals; the text; "+"/"-" for
// booleans; a file time as "YYYY-MM-DD hh:mm:ss". Another type: false.
bool ConvertPropertyToString(const PropVariant& value, std::u16string& text);
// "YYYY-MM-DD", then " hh:mm" with withTime, ":ss" with withSeconds; "" when
// the time cannot be converted.
std::u16string FileTimeToText(uint64_t ticks, bool withTime, bool withSeconds);
// Decimal digits ("-" first for negative values) into out, which holds at
// least 32 characters; returns the end of the text (not terminated).
char16_t* UInt64ToText(uint64_t value, char16_t* out);
char16_t* Int64ToText(int64_t value, char16_t* out);
// The value of an unsigned integer type; false for any other type.
bool ConvertPropVariantToUInt64(const PropVariant& value, uint64_t& out);

// The name of an archive's single content (the rules of the archive opener).
std::u16string MakeDefaultItemName(std::u16string_view fileName, std::u16string_view extension,
                                   std::u16string_view addExtension);
// The part after the last "\" or "/".
std::u16string ExtractFileName(std::u16string_view path);

// Readers over an IInArchive object.
HResult ReadArchiveItemPath(void* archive, uint32_t index, std::u16string& path);
HResult ReadArchiveItemBool(void* archive, uint32_t index, uint32_t propId, bool& value);
bool ReadArchiveItemFolder(void* archive, uint32_t index);
bool ReadArchiveItemEncrypted(void* archive, uint32_t index);
// The item's size; false when the library gives none (size unknown).
bool ReadArchiveItemSize(void* archive, uint32_t index, uint64_t& size);
HResult ReadArchiveBool(void* archive, uint32_t propId, bool& value);
bool ReadArchiveEncrypted(void* archive);
bool ReadArchiveSolid(void* archive);

}  // namespace containers::archive

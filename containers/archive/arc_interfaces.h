#pragma once
// The object model of the 7-Zip codec library as its published interface
// facts describe it, declared here as plain tables of function pointers: an
// object is a pointer to its table, the table starts with the three IUnknown
// entries, and every method takes the object first (the x86-64 System V
// convention for a virtual call on a class without a virtual destructor).
// Plain tables keep our side free of the library's class names and type
// information, and let the host check the layout before it calls anything.
//
// Identifiers have the form 23170F69-40C1-278A-0000-00gg00ii0000 (group gg,
// id ii). Text crossing the boundary is wchar_t (4 bytes here); strings are
// the library's BSTRs and are made and freed by its own exported functions.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace containers::archive {

using HResult = int32_t;

constexpr HResult kOk = 0;
constexpr HResult kFalse = 1;
constexpr HResult kNotImpl = int32_t(0x80004001u);
constexpr HResult kNoInterface = int32_t(0x80004002u);
constexpr HResult kAbort = int32_t(0x80004004u);
constexpr HResult kFail = int32_t(0x80004005u);
constexpr HResult kInvalidFunction = int32_t(0x80030001u);   // STG_E_INVALIDFUNCTION: an unknown seek origin
constexpr HResult kOutOfMemory = int32_t(0x8007000Eu);
constexpr HResult kInvalidArg = int32_t(0x80070057u);
constexpr HResult kNegativeSeek = int32_t(0x80070083u);     // the Win32 "negative seek" error as an HRESULT

// A Win32 error code as a failure HRESULT; raw codes are success values (1 is S_FALSE).
constexpr HResult FromWin32(uint32_t code) {
    return code == 0 ? kFail : int32_t(0x80070000u | (code & 0xFFFFu));
}

struct Guid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    uint8_t data4[8] = {};
};
static_assert(sizeof(Guid) == 16);

inline bool SameGuid(const Guid& a, const Guid& b) { return std::memcmp(&a, &b, sizeof(Guid)) == 0; }

constexpr Guid LibraryIid(uint8_t group, uint8_t id) {
    return Guid{0x23170F69u, 0x40C1, 0x278A, {0, 0, 0, group, 0, id, 0, 0}};
}

constexpr Guid kIidUnknown{0x00000000u, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr Guid kIidProgress = LibraryIid(0x00, 0x05);
constexpr Guid kIidSequentialInStream = LibraryIid(0x03, 0x01);
constexpr Guid kIidSequentialOutStream = LibraryIid(0x03, 0x02);
constexpr Guid kIidInStream = LibraryIid(0x03, 0x03);
constexpr Guid kIidOutStream = LibraryIid(0x03, 0x04);
constexpr Guid kIidStreamGetSize = LibraryIid(0x03, 0x06);
constexpr Guid kIidCompressCodecsInfo = LibraryIid(0x04, 0x60);
constexpr Guid kIidSetCompressCodecsInfo = LibraryIid(0x04, 0x61);
constexpr Guid kIidCryptoGetTextPassword = LibraryIid(0x05, 0x10);
constexpr Guid kIidCryptoGetTextPassword2 = LibraryIid(0x05, 0x11);
constexpr Guid kIidSetProperties = LibraryIid(0x06, 0x03);
constexpr Guid kIidArchiveOpenCallback = LibraryIid(0x06, 0x10);
constexpr Guid kIidArchiveExtractCallback = LibraryIid(0x06, 0x20);
constexpr Guid kIidArchiveOpenVolumeCallback = LibraryIid(0x06, 0x30);
constexpr Guid kIidInArchiveGetStream = LibraryIid(0x06, 0x40);
constexpr Guid kIidArchiveOpenSetSubArchiveName = LibraryIid(0x06, 0x50);
constexpr Guid kIidInArchive = LibraryIid(0x06, 0x60);
constexpr Guid kIidArchiveUpdateCallback = LibraryIid(0x06, 0x80);
constexpr Guid kIidArchiveUpdateCallback2 = LibraryIid(0x06, 0x82);
constexpr Guid kIidOutArchive = LibraryIid(0x06, 0xA0);

// PROPVARIANT: a 16-bit type, three reserved words (since 22.00 the first
// carries a file time's precision), the value at offset 8.
struct PropVariant {
    uint16_t vt = 0;
    uint16_t reserved1 = 0;
    uint16_t reserved2 = 0;
    uint16_t reserved3 = 0;
    union {
        int16_t boolVal;     // VARIANT_BOOL: -1 true, 0 false
        int16_t iVal;
        int32_t lVal;
        int64_t hVal;
        uint8_t bVal;
        uint16_t uiVal;
        uint32_t ulVal;
        uint64_t uhVal;
        wchar_t* bstrVal;
        struct {
            uint32_t low;
            uint32_t high;
        } filetime;
        int32_t scode;
    };
    PropVariant() : uhVal(0) {}
};
static_assert(sizeof(PropVariant) == 16);
static_assert(offsetof(PropVariant, uhVal) == 8);

namespace vt {
constexpr uint16_t kEmpty = 0;
constexpr uint16_t kI2 = 2;
constexpr uint16_t kI4 = 3;
constexpr uint16_t kBstr = 8;
constexpr uint16_t kError = 10;
constexpr uint16_t kBool = 11;
constexpr uint16_t kI1 = 16;
constexpr uint16_t kUi1 = 17;
constexpr uint16_t kUi2 = 18;
constexpr uint16_t kUi4 = 19;
constexpr uint16_t kI8 = 20;
constexpr uint16_t kUi8 = 21;
constexpr uint16_t kInt = 22;
constexpr uint16_t kUint = 23;
constexpr uint16_t kFileTime = 64;
}  // namespace vt

// Item and archive property ids.
namespace pid {
constexpr uint32_t kPath = 3;
constexpr uint32_t kName = 4;
constexpr uint32_t kExtension = 5;
constexpr uint32_t kIsDir = 6;
constexpr uint32_t kSize = 7;
constexpr uint32_t kAttrib = 9;
constexpr uint32_t kCTime = 10;
constexpr uint32_t kATime = 11;
constexpr uint32_t kMTime = 12;
constexpr uint32_t kSolid = 13;
constexpr uint32_t kEncrypted = 15;
constexpr uint32_t kIsAnti = 21;
constexpr uint32_t kComment = 28;
}  // namespace pid

// Format (handler) property ids.
namespace hpid {
constexpr uint32_t kName = 0;
constexpr uint32_t kClassId = 1;
constexpr uint32_t kExtension = 2;
constexpr uint32_t kAddExtension = 3;
constexpr uint32_t kUpdate = 4;
constexpr uint32_t kKeepName = 5;
constexpr uint32_t kSignature = 6;
constexpr uint32_t kMultiSignature = 7;
}  // namespace hpid

// Method property ids.
namespace mpid {
constexpr uint32_t kDecoder = 2;
constexpr uint32_t kEncoder = 3;
constexpr uint32_t kDecoderIsAssigned = 7;
constexpr uint32_t kEncoderIsAssigned = 8;
}  // namespace mpid

// Module property ids: 0 names the object layout of the library's IUnknown
// (0: no virtual destructor, the layout declared here).
constexpr uint32_t kModulePropInterfaceType = 0;

// Extraction modes and per-item results.
namespace ask_mode {
constexpr int32_t kExtract = 0;
constexpr int32_t kTest = 1;
constexpr int32_t kSkip = 2;
}  // namespace ask_mode
namespace op_result {
constexpr int32_t kOk = 0;
constexpr int32_t kUnsupportedMethod = 1;
constexpr int32_t kDataError = 2;
constexpr int32_t kCrcError = 3;
constexpr int32_t kWrongPassword = 9;
}  // namespace op_result

// --- Function tables ------------------------------------------------------

struct UnknownVtbl {
    HResult (*QueryInterface)(void* self, const Guid* iid, void** out);
    uint32_t (*AddRef)(void* self);
    uint32_t (*Release)(void* self);
};

struct SequentialInStreamVtbl {
    UnknownVtbl unknown;
    HResult (*Read)(void* self, void* data, uint32_t size, uint32_t* processed);
};
struct InStreamVtbl {
    SequentialInStreamVtbl sequential;
    HResult (*Seek)(void* self, int64_t offset, uint32_t origin, uint64_t* newPosition);
};
struct SequentialOutStreamVtbl {
    UnknownVtbl unknown;
    HResult (*Write)(void* self, const void* data, uint32_t size, uint32_t* processed);
};
struct OutStreamVtbl {
    SequentialOutStreamVtbl sequential;
    HResult (*Seek)(void* self, int64_t offset, uint32_t origin, uint64_t* newPosition);
    HResult (*SetSize)(void* self, uint64_t newSize);
};
struct StreamGetSizeVtbl {
    UnknownVtbl unknown;
    HResult (*GetSize)(void* self, uint64_t* size);
};
struct ProgressVtbl {
    UnknownVtbl unknown;
    HResult (*SetTotal)(void* self, uint64_t total);
    HResult (*SetCompleted)(void* self, const uint64_t* completed);
};
struct CompressCodecsInfoVtbl {
    UnknownVtbl unknown;
    HResult (*GetNumMethods)(void* self, uint32_t* count);
    HResult (*GetProperty)(void* self, uint32_t index, uint32_t propId, PropVariant* value);
    HResult (*CreateDecoder)(void* self, uint32_t index, const Guid* iid, void** coder);
    HResult (*CreateEncoder)(void* self, uint32_t index, const Guid* iid, void** coder);
};
struct SetCompressCodecsInfoVtbl {
    UnknownVtbl unknown;
    HResult (*SetCompressCodecsInfo)(void* self, void* codecsInfo);
};
struct CryptoGetTextPasswordVtbl {
    UnknownVtbl unknown;
    HResult (*CryptoGetTextPassword)(void* self, wchar_t** password);
};
struct CryptoGetTextPassword2Vtbl {
    UnknownVtbl unknown;
    HResult (*CryptoGetTextPassword2)(void* self, int32_t* passwordIsDefined, wchar_t** password);
};
struct SetPropertiesVtbl {
    UnknownVtbl unknown;
    HResult (*SetProperties)(void* self, const wchar_t* const* names, const PropVariant* values, uint32_t count);
};
struct ArchiveOpenCallbackVtbl {
    UnknownVtbl unknown;
    HResult (*SetTotal)(void* self, const uint64_t* files, const uint64_t* bytes);
    HResult (*SetCompleted)(void* self, const uint64_t* files, const uint64_t* bytes);
};
struct ArchiveExtractCallbackVtbl {
    ProgressVtbl progress;
    HResult (*GetStream)(void* self, uint32_t index, void** outStream, int32_t askExtractMode);
    HResult (*PrepareOperation)(void* self, int32_t askExtractMode);
    HResult (*SetOperationResult)(void* self, int32_t result);
};
struct ArchiveOpenVolumeCallbackVtbl {
    UnknownVtbl unknown;
    HResult (*GetProperty)(void* self, uint32_t propId, PropVariant* value);
    HResult (*GetStream)(void* self, const wchar_t* name, void** inStream);
};
struct InArchiveGetStreamVtbl {
    UnknownVtbl unknown;
    HResult (*GetStream)(void* self, uint32_t index, void** stream);
};
struct ArchiveOpenSetSubArchiveNameVtbl {
    UnknownVtbl unknown;
    HResult (*SetSubArchiveName)(void* self, const wchar_t* name);
};
struct InArchiveVtbl {
    UnknownVtbl unknown;
    HResult (*Open)(void* self, void* stream, const uint64_t* maxCheckStartPosition, void* openCallback);
    HResult (*Close)(void* self);
    HResult (*GetNumberOfItems)(void* self, uint32_t* count);
    HResult (*GetProperty)(void* self, uint32_t index, uint32_t propId, PropVariant* value);
    HResult (*Extract)(void* self, const uint32_t* indices, uint32_t count, int32_t testMode, void* callback);
    HResult (*GetArchiveProperty)(void* self, uint32_t propId, PropVariant* value);
    HResult (*GetNumberOfProperties)(void* self, uint32_t* count);
    HResult (*GetPropertyInfo)(void* self, uint32_t index, wchar_t** name, uint32_t* propId, uint16_t* varType);
    HResult (*GetNumberOfArchiveProperties)(void* self, uint32_t* count);
    HResult (*GetArchivePropertyInfo)(void* self, uint32_t index, wchar_t** name, uint32_t* propId,
                                      uint16_t* varType);
};
struct ArchiveUpdateCallbackVtbl {
    ProgressVtbl progress;
    HResult (*GetUpdateItemInfo)(void* self, uint32_t index, int32_t* newData, int32_t* newProperties,
                                 uint32_t* indexInArchive);
    HResult (*GetProperty)(void* self, uint32_t index, uint32_t propId, PropVariant* value);
    HResult (*GetStream)(void* self, uint32_t index, void** inStream);
    HResult (*SetOperationResult)(void* self, int32_t result);
};
struct ArchiveUpdateCallback2Vtbl {
    ArchiveUpdateCallbackVtbl update;
    HResult (*GetVolumeSize)(void* self, uint32_t index, uint64_t* size);
    HResult (*GetVolumeStream)(void* self, uint32_t index, void** volumeStream);
};
struct OutArchiveVtbl {
    UnknownVtbl unknown;
    HResult (*UpdateItems)(void* self, void* outStream, uint32_t count, void* callback);
    HResult (*GetFileTimeType)(void* self, uint32_t* type);
};

// The function table of a library object.
template <typename Vtbl>
const Vtbl& TableOf(void* object) {
    return **static_cast<const Vtbl* const*>(object);
}

// Entry points the library exports.
using CreateObjectFn = HResult (*)(const Guid* classId, const Guid* iid, void** out);
using GetNumberFn = HResult (*)(uint32_t* count);
using GetIndexedPropertyFn = HResult (*)(uint32_t index, uint32_t propId, PropVariant* value);
using GetPropertyFn = HResult (*)(uint32_t propId, PropVariant* value);
using SysAllocStringLenFn = wchar_t* (*)(const wchar_t* text, uint32_t length);
using SysFreeStringFn = void (*)(wchar_t* text);
using SysStringByteLenFn = uint32_t (*)(wchar_t* text);
using VariantClearFn = HResult (*)(PropVariant* value);

}  // namespace containers::archive

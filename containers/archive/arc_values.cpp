#include "containers/archive/arc_values.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "foundation/dates.h"
#include "platform/text.h"

namespace containers::archive {
namespace {

std::mutex g_stringsLock;
LibraryStrings g_strings;
std::atomic<bool> g_stringsSet{false};

bool IsPlainType(uint16_t type) {
    switch (type) {
        case 2: case 3: case 4: case 5: case 6: case 7: case 10: case 11:
        case 16: case 17: case 18: case 19: case 21: case 22: case 23: case 64:
            return true;
        default:
            return false;
    }
}

void AppendCodePoint(std::u16string& out, uint32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c >= 0x10000) {
        c -= 0x10000;
        out.push_back(char16_t(0xD800 + (c >> 10)));
        out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
    } else {
        out.push_back(char16_t(c));
    }
}

}  // namespace

void SetLibraryStrings(const LibraryStrings& functions) {
    std::lock_guard<std::mutex> guard(g_stringsLock);
    g_strings = functions;
    g_stringsSet = true;
}

const LibraryStrings& GetLibraryStrings() {
    static const LibraryStrings none;
    return g_stringsSet.load() ? g_strings : none;
}

std::wstring ToWide(std::u16string_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            out.push_back(wchar_t(0x10000 + ((uint32_t(c) - 0xD800) << 10) + (uint32_t(text[i + 1]) - 0xDC00)));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            out.push_back(wchar_t(0xFFFD));
        } else {
            out.push_back(wchar_t(c));
        }
    }
    return out;
}

std::u16string FromWide(std::wstring_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (wchar_t c : text) AppendCodePoint(out, uint32_t(c));
    return out;
}

std::u16string FromWideZ(const wchar_t* text) {
    if (!text) return {};
    return FromWide(std::wstring_view(text));
}

wchar_t* AllocLibraryString(std::u16string_view text) {
    const LibraryStrings& f = GetLibraryStrings();
    if (!f.allocLen) return nullptr;
    const std::wstring wide = ToWide(text);
    if (wide.size() > 0x3FFFFFFF) return nullptr;
    return f.allocLen(wide.data(), uint32_t(wide.size()));
}

void FreeLibraryString(wchar_t* text) {
    const LibraryStrings& f = GetLibraryStrings();
    if (text && f.free) f.free(text);
}

uint32_t LibraryStringBytes(wchar_t* text) {
    const LibraryStrings& f = GetLibraryStrings();
    if (!text || !f.byteLen) return 0;
    return f.byteLen(text);
}

std::u16string LibraryStringText(wchar_t* text) {
    if (!text) return {};
    const uint32_t bytes = LibraryStringBytes(text);
    return FromWide(std::wstring_view(text, bytes / sizeof(wchar_t)));
}

void ClearPropVariant(PropVariant& value) {
    if (value.vt == vt::kEmpty) return;
    if (IsPlainType(value.vt)) {
        value.vt = vt::kEmpty;
        return;
    }
    const LibraryStrings& f = GetLibraryStrings();
    const HResult r = f.variantClear ? f.variantClear(&value) : kFail;
    if (r != kOk) {
        value.vt = vt::kError;
        value.scode = r;
    }
}

void CPropVar::Clear() { ClearPropVariant(value_); }

void CPropVar::Reset(uint16_t type) {
    Clear();
    value_ = PropVariant();
    value_.vt = type;
}

void CPropVar::SetText(std::u16string_view text) {
    Reset(vt::kBstr);
    value_.bstrVal = AllocLibraryString(text);
    if (!value_.bstrVal) {
        value_.vt = vt::kError;
        value_.scode = kOutOfMemory;
    }
}

void CPropVar::SetBool(bool value) {
    Reset(vt::kBool);
    value_.boolVal = value ? int16_t(-1) : int16_t(0);
}

void CPropVar::SetUInt32(uint32_t value) {
    Reset(vt::kUi4);
    value_.ulVal = value;
}

void CPropVar::SetUInt64(uint64_t value) {
    Reset(vt::kUi8);
    value_.uhVal = value;
}

void CPropVar::SetInt32(int32_t value) {
    Reset(vt::kI4);
    value_.lVal = value;
}

void CPropVar::SetFileTime(uint64_t ticks) {
    Reset(vt::kFileTime);
    value_.filetime.low = uint32_t(ticks);
    value_.filetime.high = uint32_t(ticks >> 32);
}

HResult CPropVar::MoveTo(PropVariant* target) {
    if (!target) return kInvalidArg;
    ClearPropVariant(*target);
    *target = value_;
    value_ = PropVariant();
    return kOk;
}

char16_t* UInt64ToText(uint64_t value, char16_t* out) {
    char16_t digits[24];
    int n = 0;
    do {
        digits[n++] = char16_t(u'0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) *out++ = digits[--n];
    return out;
}

char16_t* Int64ToText(int64_t value, char16_t* out) {
    if (value < 0) {
        *out++ = u'-';
        // The magnitude in unsigned arithmetic: -INT64_MIN does not fit.
        return UInt64ToText(0 - uint64_t(value), out);
    }
    return UInt64ToText(uint64_t(value), out);
}

std::u16string FileTimeToText(uint64_t ticks, bool withTime, bool withSeconds) {
    foundation::SYSTEMTIME st;
    if (!foundation::FileTimeToSystemTime(foundation::FileTimeFromTicks(ticks), st)) return {};
    char text[32];
    int n = std::snprintf(text, sizeof text, "%04u-%02u-%02u", unsigned(st.wYear), unsigned(st.wMonth),
                          unsigned(st.wDay));
    if (withTime) {
        n += std::snprintf(text + n, sizeof text - size_t(n), " %02u:%02u", unsigned(st.wHour), unsigned(st.wMinute));
        if (withSeconds) n += std::snprintf(text + n, sizeof text - size_t(n), ":%02u", unsigned(st.wSecond));
    }
    return std::u16string(text, text + n);
}

bool ConvertPropertyToString(const PropVariant& value, std::u16string& text) {
    char16_t buffer[32];
    switch (value.vt) {
        case vt::kEmpty: text.clear(); return true;
        case vt::kI2: text.assign(buffer, Int64ToText(value.iVal, buffer)); return true;
        case vt::kI4: text.assign(buffer, Int64ToText(value.lVal, buffer)); return true;
        case vt::kI8: text.assign(buffer, Int64ToText(value.hVal, buffer)); return true;
        case vt::kUi1: text.assign(buffer, UInt64ToText(value.bVal, buffer)); return true;
        case vt::kUi2: text.assign(buffer, UInt64ToText(value.uiVal, buffer)); return true;
        case vt::kUi4: text.assign(buffer, UInt64ToText(value.ulVal, buffer)); return true;
        case vt::kUi8: text.assign(buffer, UInt64ToText(value.uhVal, buffer)); return true;
        case vt::kBool: text = value.boolVal ? u"+" : u"-"; return true;
        case vt::kBstr: text = LibraryStringText(value.bstrVal); return true;
        case vt::kFileTime:
            text = FileTimeToText((uint64_t(value.filetime.high) << 32) | value.filetime.low, true, true);
            return true;
        default: return false;
    }
}

bool ConvertPropVariantToUInt64(const PropVariant& value, uint64_t& out) {
    switch (value.vt) {
        case vt::kUi1: out = value.bVal; return true;
        case vt::kUi2: out = value.uiVal; return true;
        case vt::kUi4: out = value.ulVal; return true;
        case vt::kUi8: out = value.uhVal; return true;
        default: return false;
    }
}

std::u16string MakeDefaultItemName(std::u16string_view fileName, std::u16string_view extension,
                                   std::u16string_view addExtension) {
    std::u16string name;
    const size_t n = fileName.size();
    const size_t e = extension.size();
    if (n > e + 1 && fileName[n - e - 1] == u'.' && platform::EqualsNoCase(fileName.substr(n - e), extension)) {
        name.assign(fileName.substr(0, n - e - 1));
        name += addExtension;
    } else if (const size_t dot = fileName.rfind(u'.'); dot != std::u16string_view::npos && dot >= 1) {
        name.assign(fileName.substr(0, dot));
        name += addExtension;
    } else if (!addExtension.empty()) {
        name.assign(fileName);
        name += addExtension;
    } else {
        name.assign(fileName);
        name += u'~';
    }
    while (!name.empty() && (name.back() == u' ' || name.back() == u'\n' || name.back() == u'\t')) name.pop_back();
    return name;
}

std::u16string ExtractFileName(std::u16string_view path) {
    const size_t at = path.find_last_of(u"\\/");
    return std::u16string(at == std::u16string_view::npos ? path : path.substr(at + 1));
}

HResult ReadArchiveItemPath(void* archive, uint32_t index, std::u16string& path) {
    CPropVar v;
    const HResult r = TableOf<InArchiveVtbl>(archive).GetProperty(archive, index, pid::kPath, v.Out());
    if (r != kOk) return r;
    if (v.type() == vt::kEmpty) {
        path.clear();
        return kOk;
    }
    if (v.type() != vt::kBstr) return kFail;
    path = LibraryStringText(v.get().bstrVal);
    return kOk;
}

HResult ReadArchiveItemBool(void* archive, uint32_t index, uint32_t propId, bool& value) {
    CPropVar v;
    const HResult r = TableOf<InArchiveVtbl>(archive).GetProperty(archive, index, propId, v.Out());
    if (r != kOk) return r;
    if (v.type() == vt::kEmpty) {
        value = false;
        return kOk;
    }
    if (v.type() != vt::kBool) return kFail;
    value = v.get().boolVal != 0;
    return kOk;
}

bool ReadArchiveItemFolder(void* archive, uint32_t index) {
    bool value = false;
    return ReadArchiveItemBool(archive, index, pid::kIsDir, value) == kOk && value;
}

bool ReadArchiveItemEncrypted(void* archive, uint32_t index) {
    bool value = false;
    return ReadArchiveItemBool(archive, index, pid::kEncrypted, value) == kOk && value;
}

bool ReadArchiveItemSize(void* archive, uint32_t index, uint64_t& size) {
    size = 0;
    CPropVar v;
    if (TableOf<InArchiveVtbl>(archive).GetProperty(archive, index, pid::kSize, v.Out()) != kOk) return false;
    return ConvertPropVariantToUInt64(v.get(), size);
}

HResult ReadArchiveBool(void* archive, uint32_t propId, bool& value) {
    CPropVar v;
    const HResult r = TableOf<InArchiveVtbl>(archive).GetArchiveProperty(archive, propId, v.Out());
    if (r != kOk) return r;
    if (v.type() == vt::kEmpty) {
        value = false;
        return kOk;
    }
    if (v.type() != vt::kBool) return kFail;
    value = v.get().boolVal != 0;
    return kOk;
}

bool ReadArchiveEncrypted(void* archive) {
    bool value = false;
    return ReadArchiveBool(archive, pid::kEncrypted, value) == kOk && value;
}

bool ReadArchiveSolid(void* archive) {
    bool value = false;
    return ReadArchiveBool(archive, pid::kSolid, value) == kOk && value;
}

}  // namespace containers::archive

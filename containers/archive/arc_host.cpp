#include "containers/archive/arc_host.h"

#include <dlfcn.h>

#include <array>
#include <mutex>

#include "platform/file.h"
#include "platform/folders.h"
#include "platform/text.h"

namespace containers::archive {
namespace {

constexpr int32_t kSlotCount = 23;
constexpr char16_t kSystemLibrary[] = u"/usr/lib/p7zip/7z.so";

HResult HostGetNumMethods(void* self, uint32_t* count) {
    return Guarded([&] { return OwnerOf<CArcCodecHost>(self)->GetNumMethods(count); });
}
HResult HostGetProperty(void* self, uint32_t index, uint32_t propId, PropVariant* value) {
    return Guarded([&] { return OwnerOf<CArcCodecHost>(self)->GetMethodProperty(index, propId, value); });
}
// The host hands out method facts only; coders come from the handler's own library.
HResult HostCreateCoder(void*, uint32_t, const Guid*, void** coder) {
    if (coder) *coder = nullptr;
    return kNotImpl;
}
constexpr CompressCodecsInfoVtbl kCodecsInfoTable{kViewUnknown, HostGetNumMethods, HostGetProperty, HostCreateCoder,
                                                  HostCreateCoder};

void* Symbol(void* module, const char* name) { return ::dlsym(module, name); }

// The 16 bytes of a class identifier carried as a string value; only a value
// of exactly 16 bytes is one.
bool GuidFromValue(const PropVariant& value, Guid& out) {
    if (value.vt != vt::kBstr || !value.bstrVal || LibraryStringBytes(value.bstrVal) != sizeof(Guid)) return false;
    std::memcpy(static_cast<void*>(&out), value.bstrVal, sizeof(Guid));
    return true;
}

std::vector<uint8_t> BytesOfValue(const PropVariant& value) {
    if (value.vt != vt::kBstr || !value.bstrVal) return {};
    const uint32_t n = LibraryStringBytes(value.bstrVal);
    const auto* p = reinterpret_cast<const uint8_t*>(value.bstrVal);
    return std::vector<uint8_t>(p, p + n);
}

std::vector<std::u16string> SplitWords(std::u16string_view text) {
    std::vector<std::u16string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == u' ') ++i;
        const size_t start = i;
        while (i < text.size() && text[i] != u' ') ++i;
        if (i > start) words.emplace_back(text.substr(start, i - start));
    }
    return words;
}

HResult ReadMethods(CArcCodecHost& host, int32_t libraryIndex, size_t& added) {
    ArcLibraryRecord& lib = host.libraries[size_t(libraryIndex)];
    lib.getMethodProperty = reinterpret_cast<GetIndexedPropertyFn>(Symbol(lib.module, "GetMethodProperty"));
    if (!lib.getMethodProperty) return kOk;
    auto getCount = reinterpret_cast<GetNumberFn>(Symbol(lib.module, "GetNumberOfMethods"));
    uint32_t count = 1;
    if (getCount) {
        const HResult r = getCount(&count);
        if (r != kOk) return r;
    }
    for (uint32_t i = 0; i < count; ++i) {
        ArcMethodRecord m;
        m.library = libraryIndex;
        m.indexInLibrary = int32_t(i);
        for (const uint32_t propId : {mpid::kEncoder, mpid::kDecoder}) {
            CPropVar v;
            const HResult r = lib.getMethodProperty(i, propId, v.Out());
            if (r != kOk) return r;
            if (v.type() == vt::kEmpty) continue;
            Guid id;
            if (!GuidFromValue(v.get(), id)) return kFail;
            if (propId == mpid::kEncoder) {
                m.encoder = id;
                m.encoderAssigned = true;
            } else {
                m.decoder = id;
                m.decoderAssigned = true;
            }
        }
        host.methods.push_back(m);
        ++added;
    }
    return kOk;
}

void RememberKind(CArcCodecHost& host, std::u16string_view extensions, int32_t index) {
    // In this order: a list holding "gzip" or "bzip" is never taken for zip.
    struct Kind {
        std::u16string_view word;
        int32_t CArcCodecHost::*slot;
    };
    static constexpr Kind kKinds[] = {{u"rar", &CArcCodecHost::rarFormat},
                                      {u"gzip", &CArcCodecHost::gzipFormat},
                                      {u"bzip", &CArcCodecHost::bzipFormat},
                                      {u"zip", &CArcCodecHost::zipFormat},
                                      {u"7z", &CArcCodecHost::sevenZipFormat}};
    for (const Kind& k : kKinds) {
        if (extensions.find(k.word) == std::u16string_view::npos) continue;
        if (host.*k.slot < 0) host.*k.slot = index;
        return;
    }
}

HResult ReadFormats(CArcCodecHost& host, int32_t libraryIndex, size_t& added) {
    void* module = host.libraries[size_t(libraryIndex)].module;
    auto getProperty2 = reinterpret_cast<GetIndexedPropertyFn>(Symbol(module, "GetHandlerProperty2"));
    auto getProperty1 = reinterpret_cast<GetPropertyFn>(Symbol(module, "GetHandlerProperty"));
    if (!getProperty2 && !getProperty1) return kOk;
    auto getCount = reinterpret_cast<GetNumberFn>(Symbol(module, "GetNumberOfFormats"));
    uint32_t count = 1;
    if (getCount) {
        const HResult r = getCount(&count);
        if (r != kOk) return r;
    }
    auto get = [&](uint32_t index, uint32_t propId, CPropVar& v) {
        return getProperty2 ? getProperty2(index, propId, v.Out()) : getProperty1(propId, v.Out());
    };
    for (uint32_t i = 0; i < count; ++i) {
        ArcFormatRecord f;
        f.library = libraryIndex;
        {
            CPropVar v;
            const HResult r = get(i, hpid::kName, v);
            if (r != kOk) return r;
            if (v.type() == vt::kBstr) f.name = LibraryStringText(v.get().bstrVal);
        }
        {
            CPropVar v;
            if (get(i, hpid::kClassId, v) != kOk || !GuidFromValue(v.get(), f.classId)) continue;
        }
        std::u16string extText, addText;
        {
            CPropVar v;
            if (get(i, hpid::kExtension, v) == kOk && v.type() == vt::kBstr) extText = LibraryStringText(v.get().bstrVal);
        }
        {
            CPropVar v;
            if (get(i, hpid::kAddExtension, v) == kOk && v.type() == vt::kBstr) addText = LibraryStringText(v.get().bstrVal);
        }
        const std::vector<std::u16string> exts = SplitWords(extText);
        const std::vector<std::u16string> adds = SplitWords(addText);
        for (size_t k = 0; k < exts.size(); ++k) {
            ArcExtensionRecord e{exts[k], {}};
            if (k < adds.size() && adds[k] != u"*") e.addExtension = adds[k];
            f.extensions.push_back(std::move(e));
        }
        RememberKind(host, extText, int32_t(host.formats.size()));
        {
            CPropVar v;
            if (get(i, hpid::kUpdate, v) == kOk && v.type() == vt::kBool && v.get().boolVal) {
                f.updateSupported = true;
                CPropVar keep;
                if (get(i, hpid::kKeepName, keep) == kOk && keep.type() == vt::kBool) f.keepName = keep.get().boolVal != 0;
            }
        }
        {
            CPropVar v;
            if (get(i, hpid::kSignature, v) == kOk) f.signature = BytesOfValue(v.get());
        }
        {
            // [length][bytes] repeated.
            CPropVar v;
            if (get(i, hpid::kMultiSignature, v) == kOk) {
                const std::vector<uint8_t> all = BytesOfValue(v.get());
                for (size_t at = 0; at < all.size();) {
                    const size_t n = all[at++];
                    if (n == 0 || n > all.size() - at) break;
                    f.multiSignatures.emplace_back(all.begin() + ptrdiff_t(at), all.begin() + ptrdiff_t(at + n));
                    at += n;
                }
            }
        }
        host.formats.push_back(std::move(f));
        ++added;
    }
    return kOk;
}

// Older builds put a virtual destructor in IUnknown, which moves every slot
// of every table by one: only a library that says its layout is ours is used.
bool LayoutIsOurs(void* module) {
    auto getModuleProp = reinterpret_cast<GetPropertyFn>(Symbol(module, "GetModuleProp"));
    if (!getModuleProp) return false;
    PropVariant v;
    if (getModuleProp(kModulePropInterfaceType, &v) != kOk) return false;
    return v.vt == vt::kUi4 && v.ulVal == 0;
}

std::mutex g_slotsLock;
std::array<ComRef, kSlotCount> g_slots;
std::array<CArcCodecHost*, kSlotCount> g_slotHosts{};

}  // namespace

CArcCodecHost::CArcCodecHost() : codecsView_{&kCodecsInfoTable, this} {}

ComView* CArcCodecHost::FindView(const Guid& iid) {
    // The library never asks the host for more than what it was handed.
    if (SameGuid(iid, kIidUnknown) || SameGuid(iid, kIidCompressCodecsInfo)) return &codecsView_;
    return nullptr;
}

HResult CArcCodecHost::GetNumMethods(uint32_t* count) {
    if (!count) return kInvalidArg;
    *count = uint32_t(methods.size());
    return kOk;
}

HResult CArcCodecHost::GetMethodProperty(uint32_t index, uint32_t propId, PropVariant* value) {
    if (!value) return kInvalidArg;
    if (index >= methods.size()) return kInvalidArg;
    const ArcMethodRecord& m = methods[index];
    if (propId == mpid::kDecoderIsAssigned || propId == mpid::kEncoderIsAssigned) {
        CPropVar v;
        v.SetBool(propId == mpid::kDecoderIsAssigned ? m.decoderAssigned : m.encoderAssigned);
        return v.MoveTo(value);
    }
    const ArcLibraryRecord& lib = libraries[size_t(m.library)];
    if (!lib.getMethodProperty) return kFail;
    return lib.getMethodProperty(uint32_t(m.indexInLibrary), propId, value);
}

HResult LoadLibraryIntoHost(CArcCodecHost& host, std::u16string_view path, LibraryRefusal* refusal) {
    LibraryRefusal dummy;
    LibraryRefusal& why = refusal ? *refusal : dummy;
    why = LibraryRefusal::NotLoadable;
    std::string hostPath;
    if (!platform::Utf16ToUtf8Strict(path, hostPath)) return kOk;
    void* module = ::dlopen(hostPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) return kOk;
    // Never closed: objects of a library we looked at may still be alive, and
    // its initialisers have run.
    if (!LayoutIsOurs(module)) {
        why = LibraryRefusal::LayoutDiffers;
        return kOk;
    }
    LibraryStrings strings;
    strings.allocLen = reinterpret_cast<SysAllocStringLenFn>(Symbol(module, "SysAllocStringLen"));
    strings.free = reinterpret_cast<SysFreeStringFn>(Symbol(module, "SysFreeString"));
    strings.byteLen = reinterpret_cast<SysStringByteLenFn>(Symbol(module, "SysStringByteLen"));
    strings.variantClear = reinterpret_cast<VariantClearFn>(Symbol(module, "VariantClear"));
    if (!strings.allocLen || !strings.free || !strings.byteLen || !strings.variantClear) {
        why = LibraryRefusal::NoStringFunctions;
        return kOk;
    }
    auto createObject = reinterpret_cast<CreateObjectFn>(Symbol(module, "CreateObject"));
    if (!createObject) {
        why = LibraryRefusal::NoCreateObject;
        return kOk;
    }
    // Names in archives without a code-page mark are taken as UTF-8, as the
    // library's own tools do under a UTF-8 locale; left to the process
    // locale (C here) they would come out as Latin-1.
    if (auto* forceUtf8 = static_cast<bool*>(Symbol(module, "g_ForceToUTF8"))) *forceUtf8 = true;
    if (!host.strings.allocLen) host.strings = strings;
    // The first library's functions serve every string from then on.
    if (!GetLibraryStrings().allocLen) SetLibraryStrings(strings);
    const int32_t index = int32_t(host.libraries.size());
    host.libraries.push_back(ArcLibraryRecord{module, nullptr, createObject, std::u16string(path)});
    const size_t methodsBefore = host.methods.size();
    const size_t formatsBefore = host.formats.size();
    size_t methodsAdded = 0, formatsAdded = 0;
    HResult result = ReadMethods(host, index, methodsAdded);
    if (result == kOk) result = ReadFormats(host, index, formatsAdded);
    if (methodsAdded == 0 && formatsAdded == 0) {
        host.methods.resize(methodsBefore);
        host.formats.resize(formatsBefore);
        host.libraries.pop_back();
        why = LibraryRefusal::NothingListed;
        return result;
    }
    why = LibraryRefusal::None;
    return result;
}

std::vector<std::u16string> ArchiveLibraryCandidates() {
    std::vector<std::u16string> paths;
    std::u16string folder;
    if (platform::GetProgramFolder(folder)) paths.push_back(folder + (folder.back() == u'/' ? u"" : u"/") + u"7z.so");
    paths.emplace_back(kSystemLibrary);
    return paths;
}

CArcCodecHost* ArchiveHost(int32_t slot) {
    if (slot < 0 || slot >= kSlotCount) return nullptr;
    std::lock_guard<std::mutex> guard(g_slotsLock);
    if (g_slotHosts[size_t(slot)]) return g_slotHosts[size_t(slot)];
    auto* host = new CArcCodecHost;
    g_slots[size_t(slot)] = host->CodecsInfo();
    g_slotHosts[size_t(slot)] = host;
    for (const std::u16string& path : ArchiveLibraryCandidates()) {
        if (platform::FileExists(path)) {
            LoadLibraryIntoHost(*host, path);
            if (!host->libraries.empty()) break;
        }
    }
    return host;
}

HResult CreateArchiveHandler(CArcCodecHost& host, int32_t formatIndex, bool forWriting, ComRef& handler) {
    handler.Reset();
    if (formatIndex < 0 || size_t(formatIndex) >= host.formats.size()) return kInvalidArg;
    const ArcFormatRecord& f = host.formats[size_t(formatIndex)];
    const ArcLibraryRecord& lib = host.libraries[size_t(f.library)];
    const Guid& iid = forWriting ? kIidOutArchive : kIidInArchive;
    const HResult r = lib.createObject(&f.classId, &iid, handler.Out());
    if (r != kOk) handler.Reset();
    return r;
}

int32_t FindFormatByName(const CArcCodecHost& host, std::u16string_view name) {
    for (size_t i = 0; i < host.formats.size(); ++i)
        if (platform::EqualsNoCase(host.formats[i].name, name)) return int32_t(i);
    return -1;
}

}  // namespace containers::archive

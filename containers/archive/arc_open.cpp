#include "containers/archive/arc_open.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <memory>

#include "containers/archive/arc_extract.h"
#include "containers/archive/arc_host.h"
#include "containers/archive/arc_item_paths.h"
#include "containers/archive/arc_link.h"
#include "containers/archive/arc_streams.h"
#include "containers/archive/arc_values.h"
#include "foundation/dates.h"
#include "foundation/work_folder.h"
#include "foundation/operation_status.h"
#include "foundation/progress_log_services.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/iso/iso_record_layout.h"
#include "platform/file.h"
#include "platform/text.h"

namespace containers::archive {
namespace {

constexpr uint64_t kMaxCheckStart = 0x400000;
constexpr size_t kSignatureHeadBytes = 0x200000;
constexpr size_t kMaxCommentBytes = 65536;
constexpr uint32_t kAttributeFolder = 0x10;

// What a directory search tells of a file.
struct DirectoryEntry {
    bool found = false;
    bool folder = false;
    uint64_t size = 0;
    uint64_t ctime = 0, atime = 0, mtime = 0;   // FILETIME ticks
    std::u16string name;
};

uint64_t Ticks(const struct timespec& t) {
    const int64_t seconds = t.tv_sec + foundation::kFileTimeEpochOffsetSeconds;
    if (seconds < 0) return 0;
    return uint64_t(seconds) * uint64_t(foundation::kFileTimeTicksPerSecond) + uint64_t(t.tv_nsec / 100);
}

DirectoryEntry FindEntry(std::u16string_view path) {
    DirectoryEntry e;
    std::string host;
    struct stat st {};
    if (!platform::Utf16ToUtf8Strict(path, host) || ::stat(host.c_str(), &st) != 0) return e;
    e.found = true;
    e.folder = S_ISDIR(st.st_mode);
    e.size = uint64_t(st.st_size);
    e.mtime = Ticks(st.st_mtim);
    e.atime = Ticks(st.st_atim);
    e.ctime = e.mtime;   // no creation time here: the write time stands in
    e.name = ExtractFileName(path);
    return e;
}

// --- The open callback -----------------------------------------------------------

class CArcOpenCallback final : public ComObject {
public:
    CArcOpenCallback(image::ImageContext& ctx, ArchiveLinkState& link, std::u16string folder, DirectoryEntry entry)
        : ctx_(ctx), link_(link), folder_(std::move(folder)), current_(std::move(entry)),
          openView_{&kOpenTable, this}, volumeView_{&kVolumeTable, this}, subNameView_{&kSubNameTable, this},
          passwordView_{&kPasswordTable, this} {}

    ComRef Callback() { return Ref(openView_); }
    void SetSubArchive(std::u16string name) {
        subArchiveMode_ = true;
        subArchiveName_ = std::move(name);
    }
    void EndSubArchive() {
        subArchiveMode_ = false;
        subArchiveName_.clear();
    }

private:
    ComView* FindView(const Guid& iid) override {
        if (SameGuid(iid, kIidUnknown) || SameGuid(iid, kIidArchiveOpenCallback)) return &openView_;
        if (SameGuid(iid, kIidArchiveOpenVolumeCallback)) return &volumeView_;
        if (SameGuid(iid, kIidArchiveOpenSetSubArchiveName)) return &subNameView_;
        if (SameGuid(iid, kIidCryptoGetTextPassword)) return &passwordView_;
        return nullptr;
    }

    HResult GetProperty(uint32_t propId, PropVariant* value) {
        if (!value) return kInvalidArg;
        CPropVar v;
        if (subArchiveMode_) {
            if (propId == pid::kName) v.SetText(subArchiveName_);
            return v.MoveTo(value);
        }
        switch (propId) {
            case pid::kName: v.SetText(current_.name); break;
            case pid::kIsDir: v.SetBool(current_.folder); break;
            case pid::kSize: v.SetUInt64(current_.size); break;
            case pid::kAttrib: v.SetUInt32(current_.folder ? kAttributeFolder : 0); break;
            case pid::kCTime: v.SetFileTime(current_.ctime); break;
            case pid::kATime: v.SetFileTime(current_.atime); break;
            case pid::kMTime: v.SetFileTime(current_.mtime); break;
            default: break;
        }
        return v.MoveTo(value);
    }

    HResult GetStream(const wchar_t* name, void** stream) {
        if (!stream) return kInvalidArg;
        *stream = nullptr;
        if (subArchiveMode_ || !name) return kFalse;
        const std::u16string volume = FromWideZ(name);
        // One plain name beside the archive, nothing else.
        if (volume.empty() || volume == u"." || volume == u".." || volume.find_first_of(u"/\\") != std::u16string::npos)
            return kFalse;
        const std::u16string path = folder_ + volume;
        DirectoryEntry e = FindEntry(path);
        if (!e.found || e.folder) return kFalse;
        HResult error = kOk;
        ComRef in = OpenFileInStream(path, &error);
        if (!in) return error;
        current_ = std::move(e);
        totalSize_ += current_.size;
        *stream = in.Detach();
        return kOk;
    }

    static HResult TSetTotal(void*, const uint64_t*, const uint64_t*) { return kOk; }
    static HResult TSetCompleted(void*, const uint64_t*, const uint64_t*) { return kOk; }
    static HResult TGetProperty(void* s, uint32_t id, PropVariant* v) {
        return Guarded([&] { return OwnerOf<CArcOpenCallback>(s)->GetProperty(id, v); });
    }
    static HResult TGetStream(void* s, const wchar_t* n, void** o) {
        return Guarded([&] { return OwnerOf<CArcOpenCallback>(s)->GetStream(n, o); });
    }
    static HResult TSubName(void* s, const wchar_t* n) {
        return Guarded([&] {
            OwnerOf<CArcOpenCallback>(s)->SetSubArchive(FromWideZ(n));
            return kOk;
        });
    }
    static HResult TPassword(void* s, wchar_t** p) {
        return Guarded([&] {
            CArcOpenCallback* self = OwnerOf<CArcOpenCallback>(s);
            return GetLinkPassword(self->link_, self->ctx_, p);
        });
    }
    static constexpr ArchiveOpenCallbackVtbl kOpenTable{kViewUnknown, TSetTotal, TSetCompleted};
    static constexpr ArchiveOpenVolumeCallbackVtbl kVolumeTable{kViewUnknown, TGetProperty, TGetStream};
    static constexpr ArchiveOpenSetSubArchiveNameVtbl kSubNameTable{kViewUnknown, TSubName};
    static constexpr CryptoGetTextPasswordVtbl kPasswordTable{kViewUnknown, TPassword};

    image::ImageContext& ctx_;
    ArchiveLinkState& link_;
    std::u16string folder_;
    DirectoryEntry current_;
    bool subArchiveMode_ = false;
    std::u16string subArchiveName_;
    uint64_t totalSize_ = 0;
    ComView openView_;
    ComView volumeView_;
    ComView subNameView_;
    ComView passwordView_;
};

// --- Formats ----------------------------------------------------------------

bool HasExtension(const ArcFormatRecord& f, std::u16string_view ext) {
    if (ext.empty()) return false;
    for (const ArcExtensionRecord& e : f.extensions)
        if (platform::EqualsNoCase(e.extension, ext)) return true;
    return false;
}

bool HasSignature(const ArcFormatRecord& f) { return !f.signature.empty() || !f.multiSignatures.empty(); }

bool IsRarFirstVolume(std::span<const uint8_t> head) {
    static constexpr uint8_t kRar[] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
    return head.size() >= 16 && std::equal(std::begin(kRar), std::end(kRar), head.begin()) && head[9] == 0x73 &&
           (head[10] & 1) != 0;
}

// The format's default name for the content of fileName.
std::u16string DefaultNameFor(const ArcFormatRecord& f, std::u16string_view fileName) {
    if (f.extensions.empty()) return {};
    const std::u16string ext = NameExtension(fileName);
    const ArcExtensionRecord* chosen = &f.extensions.front();
    for (const ArcExtensionRecord& e : f.extensions)
        if (platform::EqualsNoCase(e.extension, ext)) {
            chosen = &e;
            break;
        }
    return MakeDefaultItemName(fileName, chosen->extension, chosen->addExtension);
}

HResult ReadHead(void* stream, size_t bytes, std::vector<uint8_t>& head) {
    head.assign(bytes, 0);
    uint64_t n = bytes;
    const HResult seek = TableOf<InStreamVtbl>(stream).Seek(stream, 0, 0, nullptr);
    if (seek != kOk) return seek;
    const HResult r = ReadStreamFull(stream, head.data(), n);
    head.resize(size_t(n));
    return r;
}

// Opens stream with the formats in order; S_FALSE when none accepts it.
HResult OpenByType(CArcCodecHost& host, const std::vector<int32_t>& order, void* stream, std::u16string_view fileName,
                   void* callback, ComRef& archive, int32_t& formatIndex, std::u16string& defaultName) {
    for (const int32_t index : order) {
        if (TableOf<InStreamVtbl>(stream).Seek(stream, 0, 0, nullptr) != kOk) return kFail;
        ComRef handler;
        HResult r = CreateArchiveHandler(host, index, false, handler);
        if (r != kOk) continue;
        ComRef setCodecs = handler.Query(kIidSetCompressCodecsInfo);
        if (setCodecs) {
            ComRef info = host.CodecsInfo();
            r = setCodecs.Table<SetCompressCodecsInfoVtbl>().SetCompressCodecsInfo(setCodecs.get(), info.get());
            if (r != kOk) return r;
        }
        const uint64_t maxStart = kMaxCheckStart;
        r = handler.Table<InArchiveVtbl>().Open(handler.get(), stream, &maxStart, callback);
        if (r == kFalse) {
            handler.Table<InArchiveVtbl>().Close(handler.get());
            continue;
        }
        if (r != kOk) {
            handler.Table<InArchiveVtbl>().Close(handler.get());
            return r;
        }
        archive = std::move(handler);
        formatIndex = index;
        defaultName = DefaultNameFor(host.formats[size_t(index)], fileName);
        return kOk;
    }
    return kFalse;
}

HResult OpenStream(CArcCodecHost& host, void* stream, std::u16string_view fileName, void* callback, ComRef& archive,
                   int32_t& formatIndex, std::u16string& defaultName) {
    std::vector<uint8_t> head;
    const HResult r = ReadHead(stream, kSignatureHeadBytes, head);
    if (r != kOk) return r;
    if (head.empty()) return kFalse;
    const std::vector<int32_t> order = OrderFormats(host, fileName, head);
    return OpenByType(host, order, stream, fileName, callback, archive, formatIndex, defaultName);
}

// The archive inside a compressed single stream (gzip, bzip2, xz, zstd, a
// split set): only when the outer archive holds exactly one item and that
// item's name has an extension some format claims.
void OpenInner(CArcCodecHost& host, image::ImageContext& ctx, ArchiveLinkState& link, CArcOpenCallback& callback,
               void* callbackRef) {
    void* outer = link.outerArchive.get();
    uint32_t count = 0;
    if (TableOf<InArchiveVtbl>(outer).GetNumberOfItems(outer, &count) != kOk || count != 1) return;
    std::u16string name;
    if (ReadArchiveItemPath(outer, 0, name) != kOk) return;
    if (name.empty()) {
        name = link.outerDefaultName;
        // A numeric extension (a volume number) names no content.
        const size_t dot = name.rfind(u'.');
        if (dot != std::u16string::npos && dot + 1 < name.size() &&
            std::all_of(name.begin() + ptrdiff_t(dot) + 1, name.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; }))
            name.resize(dot);
        if (platform::EqualsNoCase(host.formats[size_t(link.outerFormat)].name, u"7z") &&
            !(name.size() >= 3 && platform::EqualsNoCase(std::u16string_view(name).substr(name.size() - 3), u".7z")))
            name += u".7z";
    } else {
        name = ExtractFileName(name);
    }
    const std::u16string ext = NameExtension(name);
    if (ext.empty() || std::none_of(host.formats.begin(), host.formats.end(),
                                    [&](const ArcFormatRecord& f) { return HasExtension(f, ext); }))
        return;
    if (ReadArchiveItemFolder(outer, 0)) return;

    // A seekable sub-stream when the handler offers one, else the content
    // decompressed once into a private temporary.
    ComRef inner;
    ComRef getStream = link.outerArchive.Query(kIidInArchiveGetStream);
    if (getStream) {
        ComRef sequential;
        if (getStream.Table<InArchiveGetStreamVtbl>().GetStream(getStream.get(), 0, sequential.Out()) == kOk &&
            sequential)
            inner = sequential.Query(kIidInStream);
    }
    if (!inner) {
        foundation::UniqueFile temp = foundation::OpenPrivateTempFile();
        if (!temp) return;
        auto target = std::shared_ptr<OutputTarget>(MakeFileTarget(temp.get(), link.path));
        int32_t result = -1;
        OutStreamOptions options;
        options.showErrors = false;
        auto stream = MakeOutStream(target, options);
        const uint32_t index = 0;
        auto streamFor = [&](uint32_t, ComRef& out) {
            out = stream;
            return kOk;
        };
        auto onResult = [&](uint32_t, int32_t r) { result = r; };
        if (RunArchiveExtract(ctx, &index, 1, streamFor, onResult, nullptr) != kOk ||
            result != op_result::kOk)
            return;
        stream.Reset();
        link.innerTemp = std::move(temp);
        foundation::UniqueFile reader(platform::FileFromDescriptor(::dup(platform::FileDescriptor(link.innerTemp.get()))));
        if (!reader) return;
        inner = MakeFileInStream(std::move(reader), name);
    }
    ComRef setName = ComRef::Share(callbackRef).Query(kIidArchiveOpenSetSubArchiveName);
    if (setName) {
        const std::wstring wide = ToWide(name);
        setName.Table<ArchiveOpenSetSubArchiveNameVtbl>().SetSubArchiveName(setName.get(), wide.c_str());
    }
    ComRef archive;
    int32_t format = -1;
    std::u16string defaultName;
    const HResult r = OpenStream(host, inner.get(), name, callbackRef, archive, format, defaultName);
    callback.EndSubArchive();
    if (r != kOk) {
        link.innerTemp.reset();
        return;
    }
    link.innerArchive = std::move(archive);
    link.innerFormat = format;
    link.innerDefaultName = std::move(defaultName);
}

// --- Listing ----------------------------------------------------------------

void SetItemTime(image::ImageItem& item, void* archive, uint32_t index) {
    CPropVar v;
    if (TableOf<InArchiveVtbl>(archive).GetProperty(archive, index, pid::kMTime, v.Out()) != kOk ||
        v.type() != vt::kFileTime)
        return;
    const foundation::FILETIME ft{v.get().filetime.low, v.get().filetime.high};
    const int64_t seconds = foundation::FileTimeToUnixTime(ft);
    item.time = seconds <= 0 ? 0 : seconds >= int64_t{UINT32_MAX} ? UINT32_MAX : uint32_t(seconds);
    foundation::FileTimeToIsoRecordDate(ft, std::span<uint8_t>(item.recordHeader).subspan(image::dr::kDate,
                                                                                          image::dr::kDateBytes));
}

class Lister {
public:
    Lister(image::ImageContext& ctx, void* archive, std::u16string defaultName, bool extVolume)
        : ctx_(ctx), archive_(archive), defaultName_(std::move(defaultName)), extVolume_(extVolume) {}

    // The item placed in the tree, or null when it cannot be.
    image::ImageItem* Add(uint32_t index, uint64_t size, bool sizeKnown) {
        std::u16string path;
        CPropVar v;
        if (TableOf<InArchiveVtbl>(archive_).GetProperty(archive_, index, pid::kPath, v.Out()) != kOk) return nullptr;
        if (v.type() == vt::kEmpty) {
            path = defaultName_;
            CPropVar ext;
            if (TableOf<InArchiveVtbl>(archive_).GetProperty(archive_, index, pid::kExtension, ext.Out()) != kOk)
                return nullptr;
            if (ext.type() == vt::kBstr) {
                const std::u16string text = LibraryStringText(ext.get().bstrVal);
                if (!text.empty()) path += u"." + text;
            } else if (ext.type() != vt::kEmpty) {
                return nullptr;
            }
        } else if (v.type() == vt::kBstr) {
            path = LibraryStringText(v.get().bstrVal);
        } else if (!ConvertPropertyToString(v.get(), path)) {
            return nullptr;
        }
        NormalisedPath parts = NormaliseItemPath(path);
        if (parts.droppedParent || parts.tooDeep) ++warnings;
        if (parts.components.empty()) return nullptr;
        // The library shows an ext3/ext4 volume's journal under "[SYS]": file
        // system metadata, not a file of the volume.
        if (extVolume_ && parts.components.front() == u"[SYS]") return nullptr;
        const bool folder = ReadArchiveItemFolder(archive_, index);
        const std::u16string& name = parts.components.back();
        image::ImageFolder* parent = ParentFolder(parts);
        if (!parent) return nullptr;
        if (image::ImageItem* existing = image::FindChildByName(parent, name)) {
            // A folder listed after its contents: only its time changes.
            if (folder && existing->ownFolder) {
                SetItemTime(*existing, archive_, index);
                return existing;
            }
            if (folder || existing->ownFolder) return nullptr;
        }
        if (folder) {
            image::ImageFolder* made = image::MakeFolderNode(&ctx_, parent, name);
            if (!made) return nullptr;
            image::ImageItem* item = made->ownItem;
            item->recordHeader[image::dr::kFlags] = image::dirflag::kDirectory;
            item->kindByte = 2;
            SetItemTime(*item, archive_, index);
            return item;
        }
        image::ImageItem* item = image::NewItem();
        if (!item) return nullptr;
        item->name.AssignInArena(ctx_.nameArena, name);
        item->size = sizeKnown && size <= uint64_t(INT64_MAX) ? int64_t(size) : 0;
        SetItemTime(*item, archive_, index);
        image::LinkItemAtHead(parent, item);
        return item;
    }

    int32_t warnings = 0;

private:
    image::ImageFolder* ParentFolder(const NormalisedPath& parts) {
        const size_t depth = parts.components.size() - 1;
        if (depth == 0) return ctx_.rootFolder;
        std::u16string parentPath = JoinComponents(parts.components, depth);
        if (lastParent_ && parentPath == lastParentPath_) return lastParent_;
        image::ImageFolder* folder = image::CreateFolderPath(&ctx_, parentPath);
        if (!folder) return nullptr;
        for (image::ImageFolder* f = folder; f && f != ctx_.rootFolder; f = f->parent)
            if (f->ownItem && f->ownItem->kindByte == 0) {
                f->ownItem->kindByte = 2;
                f->ownItem->recordHeader[image::dr::kFlags] = image::dirflag::kDirectory;
            }
        lastParent_ = folder;
        lastParentPath_ = std::move(parentPath);
        return folder;
    }

    image::ImageContext& ctx_;
    void* archive_;
    std::u16string defaultName_;
    bool extVolume_ = false;
    image::ImageFolder* lastParent_ = nullptr;
    std::u16string lastParentPath_;
};

}  // namespace

std::u16string NameExtension(std::u16string_view fileName) {
    const size_t dot = fileName.rfind(u'.');
    if (dot == std::u16string_view::npos) return {};
    return std::u16string(fileName.substr(dot + 1));
}

std::vector<int32_t> OrderFormats(const CArcCodecHost& host, std::u16string_view fileName,
                                  std::span<const uint8_t> head) {
    const std::u16string ext = NameExtension(fileName);
    std::vector<int32_t> byExtension, others;
    for (size_t i = 0; i < host.formats.size(); ++i) {
        const ArcFormatRecord& f = host.formats[i];
        // WIM files have the program's own reader, tried before this opener:
        // what it refuses stays refused.
        if (platform::EqualsNoCase(f.name, u"wim")) continue;
        if (HasExtension(f, ext)) byExtension.push_back(int32_t(i));
        else if (HasSignature(f)) others.push_back(int32_t(i));
    }
    std::vector<int32_t> order;
    if (byExtension.size() == 1) {
        order = byExtension;
        if ((ext == u"000" || ext == u"001") && IsRarFirstVolume(head)) {
            const int32_t rar = FindFormatByName(host, u"rar");
            if (rar >= 0) {
                order.erase(std::remove(order.begin(), order.end(), rar), order.end());
                others.erase(std::remove(others.begin(), others.end(), rar), others.end());
                order.insert(order.begin(), rar);
            }
        }
        order.insert(order.end(), others.begin(), others.end());
        return order;
    }
    order = byExtension;
    order.insert(order.end(), others.begin(), others.end());

    // Candidates by their first two signature bytes; each found once, in the
    // order of its first occurrence in the head.
    struct Candidate {
        int32_t format;
        const std::vector<uint8_t>* signature;
    };
    std::vector<std::vector<Candidate>> chains(65536);
    for (const int32_t index : order) {
        const ArcFormatRecord& f = host.formats[size_t(index)];
        if (f.signature.size() >= 2) chains[f.signature[0] | f.signature[1] << 8].push_back({index, &f.signature});
        for (const std::vector<uint8_t>& s : f.multiSignatures)
            if (s.size() >= 2) chains[s[0] | s[1] << 8].push_back({index, &s});
    }
    std::vector<int32_t> found;
    for (size_t at = 0; at + 1 < head.size(); ++at) {
        std::vector<Candidate>& chain = chains[head[at] | head[at + 1] << 8];
        for (size_t k = 0; k < chain.size();) {
            const std::vector<uint8_t>& s = *chain[k].signature;
            if (s.size() <= head.size() - at && std::equal(s.begin(), s.end(), head.begin() + ptrdiff_t(at))) {
                if (std::find(found.begin(), found.end(), chain[k].format) == found.end())
                    found.push_back(chain[k].format);
                chain.erase(chain.begin() + ptrdiff_t(k));
            } else {
                ++k;
            }
        }
    }
    std::vector<int32_t> result = found;
    for (const int32_t index : order)
        if (std::find(found.begin(), found.end(), index) == found.end()) result.push_back(index);
    // ISO before UDF finds the ISO side of a bridge disc first; UDF wins there.
    for (size_t i = 0; i + 1 < result.size() && result.size() > 1; ++i) {
        if (platform::EqualsNoCase(host.formats[size_t(result[i])].name, u"iso") &&
            platform::EqualsNoCase(host.formats[size_t(result[i + 1])].name, u"udf")) {
            std::swap(result[i], result[i + 1]);
            break;
        }
    }
    return result;
}

bool ReadRarComment(void* archive, std::u16string_view formatName, std::string& comment) {
    comment.clear();
    if (!archive || !(platform::EqualsNoCase(formatName, u"rar") || platform::EqualsNoCase(formatName, u"rar5")))
        return false;
    CPropVar v;
    if (TableOf<InArchiveVtbl>(archive).GetArchiveProperty(archive, pid::kComment, v.Out()) != kOk ||
        v.type() != vt::kBstr)
        return false;
    std::u16string text = LibraryStringText(v.get().bstrVal);
    const size_t eof = text.find(char16_t(0x1A));
    if (eof != std::u16string::npos) text.resize(eof);
    std::string bytes;
    if (!platform::Utf16ToMultiByte(platform::AnsiCodePage(), text, bytes, nullptr)) bytes = platform::Utf16ToUtf8(text);
    if (bytes.size() > kMaxCommentBytes) bytes.resize(kMaxCommentBytes);
    comment = std::move(bytes);
    return true;
}

image::ImageContext* OpenArchiveAsImage(std::u16string_view path, bool forMount, int32_t librarySlot,
                                        int* resultCode) {
    int dummy = 0;
    int& code = resultCode ? *resultCode : dummy;
    code = image::open_result::kOk;
    CArcCodecHost* host = ArchiveHost(librarySlot);
    if (!host) {
        code = image::open_result::kNotRecognised;
        return nullptr;
    }
    const size_t slash = path.rfind(u'/');
    const std::u16string folder(slash == std::u16string_view::npos ? std::u16string_view() : path.substr(0, slash + 1));
    const std::u16string fileName(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
    DirectoryEntry entry = FindEntry(path);
    if (!entry.found || entry.folder) {
        code = image::open_result::kNotRecognised;
        return nullptr;
    }

    image::DocumentPtr ctx(new image::ImageContext);
    ctx->isoNameLimit = image::kIsoNameLimit;
    ctx->jolietNameLimit = image::kJolietNameLimit;
    // Archives keep long names, as a new document does: an image made of one
    // keeps them as Joliet names, not as ISO 9660 names cut to 8.3.
    ctx->jolietLevel = 3;
    ctx->imagePath.assign(path);
    ArchiveLinkState* link = AttachArchiveLink(*ctx);
    if (!link) {
        code = image::open_result::kOutOfMemory;
        return nullptr;
    }
    link->host = host;
    link->hostRef = host->CodecsInfo();
    link->path.assign(path);

    auto* callbackObject = new CArcOpenCallback(*ctx, *link, folder, std::move(entry));
    ComRef callback = callbackObject->Callback();
    HResult error = kOk;
    ComRef stream = OpenFileInStream(path, &error);
    HResult r = stream ? OpenStream(*host, stream.get(), fileName, callback.get(), link->outerArchive,
                                    link->outerFormat, link->outerDefaultName)
                       : error;
    if (r != kOk) {
        code = !link->passwordAsked ? image::open_result::kNotRecognised
               : link->passwordGiven ? kOpenWrongPassword
                                     : image::open_result::kPasswordRequired;
        return nullptr;
    }
    OpenInner(*host, *ctx, *link, *callbackObject, callback.get());

    if (!forMount) {
        ctx->ownsTree = 1;
        if (image::CreateRootFolder(ctx.get()) != 0) {
            code = image::open_result::kOutOfMemory;
            return nullptr;
        }
    }
    void* listed = link->Listed();
    uint32_t count = 0;
    if (TableOf<InArchiveVtbl>(listed).GetNumberOfItems(listed, &count) != kOk) count = 0;
    if (count > uint32_t(INT32_MAX)) {
        code = image::open_result::kNotRecognised;
        return nullptr;
    }
    // An inner archive read through a stream: every item would decode it from
    // its start, so it is read as solid.
    link->solid = link->innerArchive ? true : ReadArchiveSolid(listed);
    link->items.resize(count);
    const int32_t listedFormat = link->innerArchive ? link->innerFormat : link->outerFormat;
    Lister lister(*ctx, listed, link->ListedDefaultName(),
                  platform::EqualsNoCase(host->formats[size_t(listedFormat)].name, u"Ext"));
    // Listed from the last item: each new entry goes to the head of its
    // folder, so a folder's entries end up in the archive's order, and a
    // walk of the tree asks for a solid archive's data in the order the
    // library delivers them.
    for (uint32_t i = count; i-- > 0;) {
        ArchiveItemRecord& rec = link->items[i];
        rec.sizeKnown = ReadArchiveItemSize(listed, i, rec.size);
        if (!forMount) {
            rec.item = lister.Add(i, rec.size, rec.sizeKnown);
            if (rec.item && !rec.item->ownFolder) rec.item->archiveIndex = int32_t(i);
        }
        rec.encrypted = ReadArchiveItemEncrypted(listed, i);
        if (rec.encrypted) {
            link->anyEncrypted = true;
            ctx->archiveEncrypted = 1;
            ctx->encryptionWanted = 1;
        }
    }
    if (lister.warnings > 0)
        foundation::AddProgressLogLine(u"Unsafe item paths were shortened to stay inside the archive.");
    if (link->anyEncrypted && link->passwordGiven) ctx->passwordSet = 1;
    if (forMount && link->anyEncrypted && !link->passwordGiven) {
        wchar_t* password = nullptr;
        if (GetLinkPassword(*link, *ctx, &password) != kOk) {
            code = image::open_result::kPasswordRequired;
            return nullptr;
        }
        FreeLibraryString(password);
    }
    ctx->formatCode = image::format_code::kArchive;
    std::string comment;
    if (ReadRarComment(listed, host->formats[size_t(listedFormat)].name, comment)) {
        ctx->archiveComment = std::move(comment);
        ctx->archiveCommentPresent = 1;
    }
    return ctx.release();
}

}  // namespace containers::archive

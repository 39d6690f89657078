#pragma once
// The program's side of the archive library: loading it, checking that its
// objects have the layout we declare, reading its lists of compression methods
// and archive formats, creating archive handlers by class identifier, and
// answering the handlers' questions about the methods (ICompressCodecsInfo).
//
// The library comes from the program's folder ("7z.so"), else from Debian's
// p7zip-full. It is opened with RTLD_LOCAL (it exports names such as
// GetLastError and CrcUpdate that must not meet ours) and never closed: its
// handlers may outlive any one user.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "containers/archive/arc_com_object.h"
#include "containers/archive/arc_values.h"

namespace containers::archive {

struct ArcLibraryRecord {
    void* module = nullptr;
    GetIndexedPropertyFn getMethodProperty = nullptr;
    CreateObjectFn createObject = nullptr;
    std::u16string path;
};

struct ArcMethodRecord {
    Guid encoder;
    Guid decoder;
    bool encoderAssigned = false;
    bool decoderAssigned = false;
    int32_t library = 0;
    int32_t indexInLibrary = 0;
};

struct ArcExtensionRecord {
    std::u16string extension;
    std::u16string addExtension;   // "" for none
};

struct ArcFormatRecord {
    int32_t library = 0;
    Guid classId;
    bool updateSupported = false;
    bool keepName = false;
    std::u16string name;
    std::vector<ArcExtensionRecord> extensions;
    std::vector<uint8_t> signature;
    // Formats with several possible starts (zip has only these).
    std::vector<std::vector<uint8_t>> multiSignatures;
};

class CArcCodecHost final : public ComObject {
public:
    CArcCodecHost();

    std::vector<ArcLibraryRecord> libraries;
    std::vector<ArcMethodRecord> methods;
    std::vector<ArcFormatRecord> formats;
    // Remembered format indexes; -1 until a format of that kind is listed.
    int32_t rarFormat = -1;
    int32_t gzipFormat = -1;
    int32_t bzipFormat = -1;
    int32_t zipFormat = -1;
    int32_t sevenZipFormat = -1;
    // The string functions of the first library loaded.
    LibraryStrings strings;

    // The host as the library sees it (ICompressCodecsInfo); counted.
    ComRef CodecsInfo() { return Ref(codecsView_); }

    HResult GetNumMethods(uint32_t* count);
    HResult GetMethodProperty(uint32_t index, uint32_t propId, PropVariant* value);

private:
    ~CArcCodecHost() override = default;
    ComView* FindView(const Guid& iid) override;
    ComView codecsView_;
};

// Why a library file was not taken.
enum class LibraryRefusal {
    None,
    NotLoadable,       // missing or not a shared object
    LayoutDiffers,     // no GetModuleProp, or an IUnknown with a virtual destructor
    NoCreateObject,
    NoStringFunctions,
    NothingListed,     // no method and no format
};

// Adds the library at path to the host. 0, or the first error of reading the
// lists; `refusal` tells why nothing was added.
HResult LoadLibraryIntoHost(CArcCodecHost& host, std::u16string_view path, LibraryRefusal* refusal = nullptr);

// The host of a library slot (0 the program's), loaded on first use from the
// program's folder, else the system copy; a host without formats when neither
// loads. Null for a slot outside 0..22.
CArcCodecHost* ArchiveHost(int32_t slot = 0);
// The two places searched, in order.
std::vector<std::u16string> ArchiveLibraryCandidates();

// A handler of format formatIndex for reading (IInArchive) or writing
// (IOutArchive).
HResult CreateArchiveHandler(CArcCodecHost& host, int32_t formatIndex, bool forWriting, ComRef& handler);
// The first format of that name, any case; -1 when none.
int32_t FindFormatByName(const CArcCodecHost& host, std::u16string_view name);

}  // namespace containers::archive

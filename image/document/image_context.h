#pragma once
// The open-image record: one per open or new document. It carries the source
// (paths, file handle, sector geometry, format code), one slot per mounted
// reader or container, the item tree, the track list, the ISO 9660 volume data
// and the state of a save in progress. Every field starts at zero, false or
// empty unless a constructor sets it; the record is freed by FreeImageDocument only.
//
// Reader and container states are held in StateSlot: whoever attaches a state
// gives the function that frees it, so the record frees every kind of state
// without knowing its type.

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/file_io.h"
#include "image/document/item_tree.h"

namespace image {

struct TrackList;   // image/sheets/track_list.h

// Opaque states of the readers, writers and containers (each defined by its owner).
struct ElToritoState;
struct ComposedImage;
struct FatState;
struct HfsVolume;
struct HfsPlusVolume;
struct MarfsVolume;
struct WimState;
struct NtfsState;
struct Ext2State;
struct VirtualDiskState;   // VHD, VMDK and VDI
struct UdfState;
struct NrgState;
struct ChunkTable;
struct ArchiveLink;
struct DaaContainerState;
struct MzpContainerState;
struct XdiContainerState;
struct EncryptedImageState;

// Format codes beside the rows 0..22 of the image-format table.
namespace format_code {
constexpr int32_t kUnknown = -1;
constexpr int32_t kIso = 0;
constexpr int32_t kBin = 1;
constexpr int32_t kDaa = 2;
constexpr int32_t kNrg = 3;
constexpr int32_t kDmg = 4;
constexpr int32_t kUif = 5;
constexpr int32_t kIsz = 6;
constexpr int32_t kMzp = 7;
constexpr int32_t kXdi = 8;
constexpr int32_t kLastTableRow = 22;
constexpr int32_t kAudioCd = 100;
constexpr int32_t kProjectDiscImport = 102;   // counted like a disc import
constexpr int32_t kProjectAudio = 103;        // treated like an audio CD
constexpr int32_t kDisk = 150;                // partitioned disk image
constexpr int32_t kArchive = 151;             // through the archive library
constexpr int32_t kWim = 152;
constexpr int32_t kRawScanFirst = 1000;       // 1000 + 2k + j: k-th raw-scan sector size, j = 1: data 150 sectors later
constexpr int32_t kRawScanLast = 1007;
}  // namespace format_code

// Volume texts, in storage order.
namespace volume_text {
constexpr int kSystemId = 0;
constexpr int kVolumeLabel = 1;
constexpr int kVolumeSet = 2;
constexpr int kPublisher = 3;
constexpr int kPreparer = 4;
constexpr int kApplication = 5;
constexpr int kCopyrightFile = 6;
constexpr int kAbstractFile = 7;
constexpr int kBibliographicFile = 8;
constexpr int kCount = 9;
constexpr size_t kMaxChars = 511;             // 512-character fields with their terminator
}  // namespace volume_text

constexpr uint64_t kOutputSizeLimitBytes = 0x1000000000000000ull;   // 2^60
constexpr size_t kRawWorkSectors = 64;
constexpr size_t kRawWorkSectorBytes = 3168;  // raw-scan sector sizes up to 3071 fit
constexpr size_t kRawWorkBufferBytes = kRawWorkSectors * kRawWorkSectorBytes;   // 202752
constexpr size_t kPasswordBytes = 257;
constexpr int32_t kIsoNameLimit = 221;
constexpr int32_t kVideoCdIsoNameLimit = 30;
constexpr int32_t kJolietNameLimit = 110;

struct ImageContext {
    // --- Source and output files ---
    std::u16string imagePath;             // the image (or drive) as opened
    std::u16string sheetPath;             // CUE/MDS sheet, empty when none
    int32_t openedBy = 0;                 // 1 the user named the sheet, 2 the image
    foundation::UniqueFile imageHandle;   // the image file (or drive)
    foundation::UniqueFile outputHandle;  // file being written by a save
    int64_t imageSize = 0;
    int32_t flags = 0;
    int64_t bytesWritten = 0;             // by the current save; reset when a write starts at sector 0
    bool outputSizeLimit = false;         // a save fails once bytesWritten passes 2^60
    std::u16string secondPath;            // data-file path
    bool dataInSecondPath = false;
    std::u16string documentPath;          // path last written
    std::u16string writingPath;           // path of the file being written
    int64_t writtenSize = 0;              // written-size counter of the save views

    // --- Sector geometry ---
    int32_t dataOffset = 0;               // byte offset of sector 0 in the file (may be negative)
    int32_t sectorSize = 0;               // bytes per stored sector
    int32_t userDataOffset = 0;           // offset of the 2048 user-data bytes in a stored sector
    std::array<int32_t, 4> rawScanSectorSizes{};
    int32_t rawScanDescriptorOffset = 0;  // first "CD001" found by the raw scan, -1 none
    bool rawSectors = false;              // a burn of the document uses 2352-byte sectors
    int32_t sectorCount = 0;              // sectors to burn

    // --- Output options ---
    bool splitOutput = false;
    int64_t volumeSize = 0;
    int32_t volumeNamingStyle = 0;
    bool pauseAfterVolume = false;
    std::array<char, kPasswordBytes> outputPassword{};   // archive code page
    std::array<char, kPasswordBytes> writePassword{};    // the write copy
    bool passwordEnabled = false;
    bool encryptionWanted = false;
    int32_t compressionLevel = 0;         // 0..2
    bool fileSpaceOptimisation = false;   // identical files share one copy
    bool selfExtracting = false;
    int32_t outputFormat = 0;
    int32_t archiveKind = 0;              // 1 Zip, 2 7z
    bool iso9660Present = false;
    int32_t formatCode = 0;               // format_code; -1 while unknown

    // --- Reader and container states ---
    StateSlot<DaaContainerState> daaReader, daaWriter;
    StateSlot<MzpContainerState> mzpReader, mzpWriter;
    StateSlot<XdiContainerState> xdiReader, xdiWriter;
    StateSlot<EncryptedImageState> encryptedImage;
    TrackList* trackList = nullptr;       // owned; freed with FreeTrackList
    uint8_t videoCdKind = 0;              // 0 none, 1 Video CD, 2 Super Video CD
    bool mixedTracks = false;
    bool trackOperationsAllowed = false;  // the track flag
    bool multiSession = false;
    bool udfOnly = false;
    std::array<uint8_t, 2048> primaryDescriptor{};
    std::array<uint8_t, 2048> jolietDescriptor{};
    bool volumeFieldsChanged = false;
    int32_t primaryDescriptorSector = 0;  // -1 none
    int32_t jolietDescriptorSector = 0;   // -1 none
    std::array<uint8_t, dr::kMinRecordBytes> rootDirectoryRecord{};
    std::array<std::u16string, volume_text::kCount> volumeTexts;
    std::array<uint8_t, 7> volumeCreationDate{};
    StateSlot<FatState> fatState;
    uint64_t partitionStart = 0;          // 512-byte sectors from the start of the disk
    uint64_t partitionSectors = 0;
    int32_t partitionClass = 0;
    int32_t partitionCount = 0;           // rows the partition chooser listed; 0 the whole disk
    bool composedRead = false;
    bool ownsTree = false;                // this record built (and so frees) the item tree
    std::vector<uint8_t> collectionBuffer;    // writer buffers
    int32_t collectedSectors = 0;
    std::vector<uint8_t> outputBuffer;
    std::vector<uint8_t> writerBuffer;
    NameArena nameArena;                  // names of the items the tree readers made; freed with the tree
    ImageItem rootItem;                   // the root folder's item; never freed on its own
    ImageFolder* rootFolder = nullptr;
    StateSlot<ElToritoState> elTorito;
    bool elToritoPresent = false;
    int32_t bootRecordSector = 0;         // -1 none
    bool composeOutput = false;
    bool composedImageMode = false;
    StateSlot<ComposedImage> composedImage;
    foundation::UniqueFile composedImageHandle;
    bool virtualDrive = false;
    std::vector<uint8_t> preloadedHead;
    int32_t preloadedHeadSectors = 0;
    std::u16string discHeadSourcePath;
    std::vector<uint8_t> discHeadBuffer;
    int32_t discHeadCount = 0;
    StateSlot<HfsPlusVolume> hfsPlusVolume;
    StateSlot<HfsVolume> hfsVolume;
    bool hybridMacDisc = false;
    int32_t macFileSystem = 0;
    StateSlot<MarfsVolume> marfsVolume;
    bool mzpDocument = false;
    int32_t chosenSession = 0;            // session chosen at open + 1; 0 none
    int64_t creationTime = 0;             // seconds since 1970, 0 = not specified
    int64_t modificationTime = 0;
    int64_t effectiveTime = 0;
    int64_t expirationTime = 0;
    int64_t rootTime = 0;
    int64_t fixedItemTime = 0;
    int64_t fileDateTime = 0;             // "-file-datetime"
    bool newDocument = false;
    StateSlot<WimState> wimState;
    StateSlot<NtfsState> ntfsState;
    StateSlot<Ext2State> ext2State;
    StateSlot<VirtualDiskState> vhdState, vmdkState, vdiState;
    StateSlot<ChunkTable> chunkTable;
    StateSlot<ArchiveLink> archiveLink;
    std::string archiveComment;           // archive code page; at most 65536 bytes used
    bool archiveCommentPresent = false;
    bool archiveEndRecord = false;
    std::vector<uint8_t> packedComment;
    bool archiveEncrypted = false;
    bool passwordSet = false;
    bool discSource = false;              // reads go to a drive
    platform::FileHandle sourceDriveHandle = nullptr;   // from the drive-handle table; closed through it
    char16_t sourceDriveLetter = 0;
    int32_t nextWritableSector = 0;
    int32_t recordedSectors = 0;
    int32_t firstSessionStart = 0;
    int32_t nextSessionStart = 0;
    int32_t sessionStartLba = 0;          // first sector of the session being built
    bool udfFlag = false;                 // write UDF
    bool udfPresent = false;
    StateSlot<UdfState> udfState;         // partition maps, metadata and counts
    bool passwordGiven = false;
    bool passwordMissing = false;
    StateSlot<NrgState> nrgState;
    bool nrgSource = false;
    int32_t logicalBlockSize = 0;
    int32_t volumeSpaceSize = 0;
    int32_t endSector = 0;                // 2048-byte sectors of the image
    int32_t endSectorOverride = 0;
    int32_t xboxRootSector = 0;
    int32_t xboxRootSize = 0;
    bool xboxVolume = false;
    bool quietReads = false;
    bool endOfFileAnswered = false;
    bool reportRefusal = false;
    int32_t warningBits = 0;              // foundation::image_warning bits
    bool wiiDisc = false;
    std::u16string wiiRegion;             // "NTSC", "PAL" or empty, from a Wii disc's region letter
    bool readOnly = false;
    int32_t jolietLevel = 0;              // 0 none, 1, 2, 3
    int32_t isoNameLimit = 0;
    int32_t jolietNameLimit = 0;
    bool allowLowerCase = false;
    bool noIso9660 = false;
    std::array<std::vector<uint8_t>, 3> furtherBuffers;
    std::vector<ImageItem*> itemArray;    // all items, built for a save (not owning)

    // --- Document state (main window) ---
    int32_t modified = 0;                 // 0, 1 writable in place, else full rewrite
    bool changedSinceOpen = false;
    bool bulkAddMark = false;
    bool addingInProgress = false;
    ImageFolder* tailFolder = nullptr;
    bool trailingTrack = false;
    // A disc (or a sheet of audio tracks only) opened to be ripped: its
    // Extract command rips every track.
    int32_t ripFlag = 0;
    bool burnPass = false;
    std::function<int(ImageContext*)> listLater;   // builds the item tree on demand

    // Held by the archive side while it reads an item's data for the document,
    // and by the save.
    std::mutex lock;

    ImageContext() = default;
    // Frees what is still owned, in ReleaseDocumentContents' order.
    ~ImageContext();
    ImageContext(const ImageContext&) = delete;
    ImageContext& operator=(const ImageContext&) = delete;
};

// Frees everything the record owns in the fixed order (readers that reach the
// image through its handle go before the handle); leaves the record empty.
// FreeImageDocument calls it before freeing the record; calling it twice is
// harmless.
void ReleaseDocumentContents(ImageContext& ctx);

}  // namespace image

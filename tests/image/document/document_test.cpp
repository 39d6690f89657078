// Document lifecycle: constructors, the open's result codes, freeing partly
// built records (with allocation failures injected), the current document and
// the capability query.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "image/detect/format_detect_services.h"
#include "image/document/current_document.h"
#include "foundation/prompt_services.h"
#include "foundation/memory.h"
#include "image/document/document.h"
#include "image/document/open_reader_services.h"
#include "image/document/password_services.h"
#include "image/document/session_chooser_services.h"
#include "image/sheets/track_list.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "tests/image/item_tree_fixture.h"
#include "tests/support/fake_services.h"
#include "tests/support/test_support.h"

namespace {

using namespace image;

// The image core's readers with a fixed clock.
class FixedTimeReaders : public OpenReaderStandIn {
public:
    int64_t FixedTime() override { return 1234567890; }
};

class Documents : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("QV_CONFIG_DIR", config.path().c_str(), 1);
        ::setenv("TZ", "UTC", 1);
    }
    void TearDown() override {
        foundation::ClearAllocationFailure();
        CloseCurrentDocument();
    }
    // An ISO of one folder and one file, label VOL, made by genisoimage.
    std::string MakeIso() {
        std::string tree = dir / "tree";
        qvtest::RunOk("mkdir -p " + qvtest::ShellQuote(tree + "/docs") + " && printf hello > " +
                      qvtest::ShellQuote(tree + "/docs/a.txt") + " && touch -d 2020-01-02T03:04:05Z " +
                      qvtest::ShellQuote(tree + "/docs/a.txt"));
        std::string iso = dir / "t.iso";
        qvtest::RunOk("SOURCE_DATE_EPOCH=1600000000 genisoimage -quiet -J -R -V VOL -o " + qvtest::ShellQuote(iso) +
                      " " + qvtest::ShellQuote(tree));
        return iso;
    }
    ImageContext* Open(const std::string& path, int* code, bool buildTree = true, const std::string& sheet = "") {
        std::u16string wide = platform::Utf8ToUtf16(path);
        return OpenImageDocument(wide, platform::Utf8ToUtf16(sheet), foundation::OpenFileForRead(wide), buildTree, 2,
                                 code);
    }
    qvtest::TempDir config;
    qvtest::TempDir dir;
    FixedTimeReaders readers_;
    foundation::ScopedServices<SetOpenReaderServices> scopedReaders_{&readers_};
};

TEST_F(Documents, NewDocuments) {
    DocumentPtr iso(NewIsoDocument());
    ASSERT_NE(iso, nullptr);
    EXPECT_EQ(iso->formatCode, format_code::kIso);
    EXPECT_EQ(iso->jolietLevel, 3);
    EXPECT_EQ(iso->isoNameLimit, 221);
    EXPECT_EQ(iso->jolietNameLimit, 110);
    EXPECT_EQ(iso->ownsTree, 1);
    EXPECT_EQ(iso->newDocument, 1);
    EXPECT_EQ(iso->fileSpaceOptimisation, 1);
    EXPECT_EQ(iso->primaryDescriptorSector, -1);
    EXPECT_EQ(iso->creationTime, 1234567890);
    EXPECT_EQ(iso->rootDirectoryRecord[18], 109);   // 2009 - 1900
    ASSERT_NE(iso->rootFolder, nullptr);
    EXPECT_EQ(iso->rootFolder->parent, iso->rootFolder);
    EXPECT_EQ(iso->rootFolder->ownItem, &iso->rootItem);
    EXPECT_EQ(iso->volumeTexts[volume_text::kVolumeLabel], u"New ISO");

    DocumentPtr mzp(NewMzpDocument());
    ASSERT_NE(mzp, nullptr);
    EXPECT_EQ(mzp->formatCode, format_code::kMzp);
    EXPECT_EQ(mzp->mzpDocument, 1);
    EXPECT_EQ(mzp->volumeTexts[volume_text::kVolumeLabel], u"New Archive");

    DocumentPtr archive(NewArchiveDocument(2));
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(archive->formatCode, format_code::kArchive);
    EXPECT_EQ(archive->archiveKind, 2);
    EXPECT_EQ(archive->volumeTexts[volume_text::kVolumeLabel], u"New Archive");

    DocumentPtr audio(NewAudioCdDocument());
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(audio->formatCode, format_code::kAudioCd);
    EXPECT_EQ(audio->sectorSize, 2352);
    EXPECT_EQ(audio->rootFolder, nullptr);
    ASSERT_NE(audio->trackList, nullptr);
    EXPECT_EQ(audio->trackList->firstTrackNumber, 1);
    EXPECT_EQ(audio->trackList->selectedTrack, -1);
}

// Every allocation of every constructor failing in turn: null or a whole
// document, never a leak or a crash.
TEST_F(Documents, ConstructorsUnderAllocationFailure) {
    using Maker = ImageContext* (*)();
    const Maker makers[] = {&NewIsoDocument, &NewAudioCdDocument, &NewMzpDocument,
                            [] { return NewArchiveDocument(1); }};
    for (Maker make : makers) {
        int failures = 0;
        for (int64_t n = 0; n < 12; ++n) {
            foundation::FailAllocationsAfter(n);
            ImageContext* ctx = make();
            foundation::ClearAllocationFailure();
            if (!ctx) ++failures;
            FreeImageDocument(ctx);
        }
        EXPECT_GT(failures, 0);
    }
}

TEST_F(Documents, OpenAnIso) {
    std::string iso = MakeIso();
    int code = -1;
    DocumentPtr doc(Open(iso, &code));
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(code, open_result::kOk);
    EXPECT_EQ(doc->formatCode, format_code::kIso);
    EXPECT_EQ(doc->readOnly, 0);
    EXPECT_EQ(doc->volumeTexts[volume_text::kVolumeLabel], u"VOL");
    EXPECT_EQ(doc->openedBy, 2);
    EXPECT_EQ(doc->ownsTree, 1);
    ImageItem* file = FindItemByPath(doc.get(), nullptr, u"/docs/a.txt");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->size, 5);
    EXPECT_NE(doc->rootItem.startSector, 0u);

    // Without tree building: no tree, and the record does not own one.
    DocumentPtr flat(Open(iso, &code, false));
    ASSERT_NE(flat, nullptr);
    EXPECT_EQ(flat->rootFolder, nullptr);
    EXPECT_EQ(flat->ownsTree, 0);

    // An empty sheet path is the same as none.
    DocumentPtr sheetless(Open(iso, &code, true, ""));
    ASSERT_NE(sheetless, nullptr);
    EXPECT_TRUE(sheetless->sheetPath.empty());
    EXPECT_EQ(sheetless->trackList, nullptr);
}

TEST_F(Documents, OpenFailures) {
    std::string iso = MakeIso();
    int code = -1;
    // A file that is no image.
    std::string random = dir / "random.bin";
    qvtest::RunOk("head -c 300000 /dev/urandom > " + qvtest::ShellQuote(random));
    EXPECT_EQ(Open(random, &code), nullptr);
    EXPECT_EQ(code, open_result::kNotRecognised);
    // An empty file.
    qvtest::WriteFileText(dir / "empty", "");
    EXPECT_EQ(Open(dir / "empty", &code), nullptr);
    EXPECT_EQ(code, open_result::kNotRecognised);

    // Each row's readers answer as the row says; the rest are the image core's.
    struct RowReaders : FixedTimeReaders {
        int64_t size = -1;              // -1: the file's
        void (*detect)(ImageContext& ctx) = nullptr;   // null: the image core's detection
        int64_t FileSize(platform::FileHandle file) override {
            return size >= 0 ? size : FixedTimeReaders::FileSize(file);
        }
        void DetectImageFormat(ImageContext& ctx, int32_t startFormat) override {
            if (detect) detect(ctx);
            else FixedTimeReaders::DetectImageFormat(ctx, startFormat);
        }
    };
    // The container readers' check of an attached container.
    struct RowContainers : FormatDetectStandIn {
        bool newerVersion = false;
        bool ContainerIsNewerVersion(ImageContext&) override { return newerVersion; }
    };
    struct OpenRow {
        const char* name;
        int64_t size;
        void (*detect)(ImageContext& ctx);
        bool newerVersion;
        int expected;
    };
    const OpenRow rows[] = {
        // No file can have a size past 2^60; the size is injected.
        {"size past 2^60", int64_t{0x1000000000000001}, nullptr, false, open_result::kTooLarge},
        {"password missing", -1, [](ImageContext& ctx) { ctx.passwordMissing = 1; }, false,
         open_result::kPasswordRequired},
        {"wrong password", -1, [](ImageContext& ctx) { ctx.passwordGiven = 1; }, false, open_result::kWrongPassword},
        {"newer container", -1, [](ImageContext& ctx) { ctx.formatCode = format_code::kDaa; }, true,
         open_result::kVersionMismatch},
        // Readers not linked in yet answer "not recognised": their tree cannot be read.
        {"xbox reader absent", -1,
         [](ImageContext& ctx) {
             ctx.formatCode = format_code::kIso;
             ctx.xboxVolume = 1;
         },
         false, open_result::kDirectoryUnreadable},
    };
    for (const OpenRow& row : rows) {
        SCOPED_TRACE(row.name);
        RowReaders readers;
        readers.size = row.size;
        readers.detect = row.detect;
        RowContainers containers;
        containers.newerVersion = row.newerVersion;
        foundation::ScopedServices<SetOpenReaderServices> scoped(&readers);
        foundation::ScopedServices<SetFormatDetectServices> scopedContainers(&containers);
        EXPECT_EQ(Open(iso, &code), nullptr);
        EXPECT_EQ(code, row.expected);
    }
}

// What the detection found decides read-only, whether a tree is read and by
// which reader; the boot image is loaded in every case, tree or not.
struct TreeDecisionRow {
    const char* name;
    int32_t format;
    uint8_t videoCd;
    int32_t discSource;
    int32_t xbox;
    int32_t wii;
    bool hfs;
    bool hfsPlus;
    int32_t iso9660;
    int showMac;
    bool buildTree;
    // Expected.
    int32_t readOnly;
    bool tree;
    int32_t hybrid;
    const char* reader;
};
const TreeDecisionRow* g_decisionRow = nullptr;
std::string* g_readers = nullptr;
int g_elToritoLoads = 0;

TEST_F(Documents, TreeDecision) {
    const TreeDecisionRow rows[] = {
        {"iso without tree", 0, 0, 0, 0, 0, false, false, 1, 0, false, 0, false, 0, ""},
        {"iso", 0, 0, 0, 0, 0, false, false, 1, 0, true, 0, true, 0, "iso"},
        {"video cd gets a tree anyway", 0, 1, 0, 0, 0, false, false, 1, 0, false, 0, true, 0, "iso"},
        {"read-only video cd stays without", 0, 1, 1, 0, 0, false, false, 1, 0, false, 1, false, 0, ""},
        {"disc", 0, 0, 1, 0, 0, false, false, 1, 0, true, 1, true, 0, "iso"},
        {"hfs hybrid, mac files hidden", 0, 0, 0, 0, 0, true, false, 1, 0, true, 1, true, 1, "iso"},
        {"hfs hybrid, mac files shown", 0, 0, 0, 0, 0, true, false, 1, 1, true, 1, true, 1, "hfs"},
        {"hfs+ alone", 0, 0, 0, 0, 0, false, true, 0, 0, true, 1, true, 0, "hfs+"},
        {"hfs+ before hfs", 0, 0, 0, 0, 0, true, true, 0, 0, true, 1, true, 0, "hfs+"},
        {"xbox", 0, 0, 0, 1, 0, false, false, 1, 0, true, 1, true, 0, "xbox"},
        {"wii builds its own", 0, 0, 0, 0, 1, false, false, 0, 0, true, 1, true, 0, ""},
        {"audio cd reads nothing", 100, 0, 0, 0, 0, false, false, 0, 0, true, 0, false, 0, ""},
    };
    std::string iso = MakeIso();
    std::string readers;
    g_readers = &readers;
    class DecisionReaders final : public FixedTimeReaders {
    public:
        void DetectImageFormat(ImageContext& ctx, int32_t) override {
            const TreeDecisionRow& row = *g_decisionRow;
            ctx.formatCode = row.format;
            ctx.videoCdKind = row.videoCd;
            ctx.discSource = row.discSource;
            ctx.xboxVolume = row.xbox;
            ctx.wiiDisc = row.wii;
            ctx.iso9660Present = row.iso9660;
            if (row.hfs) ctx.hfsVolume.Attach(reinterpret_cast<HfsVolume*>(1), [](HfsVolume*) {});
            if (row.hfsPlus) ctx.hfsPlusVolume.Attach(reinterpret_cast<HfsPlusVolume*>(1), [](HfsPlusVolume*) {});
            if (row.discSource) ctx.trackList = NewTrackList().release();
        }
        bool ShowMacFiles() override { return g_decisionRow->showMac != 0; }
        int ReadIsoTree(ImageContext&) override { return *g_readers += "iso", 0; }
        int BuildHfsTree(ImageContext&) override { return *g_readers += "hfs", 0; }
        int BuildHfsPlusTree(ImageContext&) override { return *g_readers += "hfs+", 0; }
        int ReadXboxTree(ImageContext&) override { return *g_readers += "xbox", 0; }
        void LoadElTorito(ImageContext&) override { ++g_elToritoLoads; }
    } decisionReaders;
    foundation::ScopedServices<SetOpenReaderServices> scoped(&decisionReaders);
    for (const TreeDecisionRow& row : rows) {
        SCOPED_TRACE(row.name);
        g_decisionRow = &row;
        readers.clear();
        g_elToritoLoads = 0;
        int code = -1;
        DocumentPtr doc(Open(iso, &code, row.buildTree));
        ASSERT_NE(doc, nullptr);
        EXPECT_EQ(code, open_result::kOk);
        EXPECT_EQ(doc->readOnly, row.readOnly);
        EXPECT_EQ(doc->rootFolder != nullptr, row.tree);
        EXPECT_EQ(doc->ownsTree, row.tree || (row.buildTree && row.format == format_code::kAudioCd) ? 1 : 0);
        EXPECT_EQ(doc->hybridMacDisc, row.hybrid);
        EXPECT_EQ(readers, row.reader);
        EXPECT_EQ(g_elToritoLoads, 1);
        if (row.discSource && row.tree) {
            EXPECT_TRUE(doc->trackList->cookedReadsOnly);
        }
    }
    g_decisionRow = nullptr;
    g_readers = nullptr;
}

// A root directory without entries (its first record length patched to 0).
TEST_F(Documents, RootWithoutEntriesFailsWithCode9) {
    std::string iso = MakeIso();
    std::vector<uint8_t> bytes = qvtest::ReadFileBytes(iso);
    // The root record sits at byte 156 of the primary descriptor (sector 16);
    // its extent is the little-endian word at offset 2.
    size_t pvd = 16 * 2048;
    uint32_t extent = bytes[pvd + 156 + 2] | bytes[pvd + 156 + 3] << 8 | bytes[pvd + 156 + 4] << 16 |
                      static_cast<uint32_t>(bytes[pvd + 156 + 5]) << 24;
    // Also the Joliet root, whichever the reader picks.
    size_t svd = 17 * 2048;
    uint32_t jolietExtent = bytes[svd + 156 + 2] | bytes[svd + 156 + 3] << 8 | bytes[svd + 156 + 4] << 16 |
                            static_cast<uint32_t>(bytes[svd + 156 + 5]) << 24;
    bytes[static_cast<size_t>(extent) * 2048] = 0;
    bytes[static_cast<size_t>(jolietExtent) * 2048] = 0;
    std::string patched = dir / "patched.iso";
    qvtest::WriteFileBytes(patched, bytes.data(), bytes.size());
    int code = -1;
    EXPECT_EQ(Open(patched, &code), nullptr);
    EXPECT_EQ(code, open_result::kDirectoryUnreadable);
}

// Chooses the given session, or refuses (-1).
class SessionChooser final : public ISessionChooserServices {
public:
    explicit SessionChooser(int32_t choice) : choice_(choice) {}
    int ChooseSession(ImageContext*, bool) override {
        foundation::ChosenSessionIndex().store(choice_);
        return choice_ < 0 ? -1 : 0;
    }

private:
    int32_t choice_;
};

TEST_F(Documents, SessionChoice) {
    std::string iso = MakeIso();
    int code = -1;
    {
        SessionChooser refusing(-1);
        foundation::ScopedServices<SetSessionChooserServices> dialogs(&refusing);
        EXPECT_EQ(Open(iso, &code), nullptr);
        EXPECT_EQ(code, open_result::kCancelled);
        EXPECT_EQ(foundation::ChosenSessionIndex().load(), -1);
    }
    // A choice made is recorded as its number + 1 and the shared value reset.
    DocumentPtr doc;
    {
        SessionChooser second(1);
        foundation::ScopedServices<SetSessionChooserServices> dialogs(&second);
        doc.reset(Open(iso, &code));
        ASSERT_NE(doc, nullptr);
        EXPECT_EQ(doc->chosenSession, 2);
        EXPECT_EQ(foundation::ChosenSessionIndex().load(), -1);
    }
    // A value left over from an earlier question is no choice.
    foundation::ChosenSessionIndex().store(3);
    DocumentPtr plain(Open(iso, &code));
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->chosenSession, 0);
}

TEST_F(Documents, OpenUnderAllocationFailure) {
    std::string iso = MakeIso();
    bool sawOutOfMemory = false;
    for (int64_t n = 0; n < 6; ++n) {
        int code = -1;
        std::u16string wide = platform::Utf8ToUtf16(iso);
        foundation::FileHandle handle = foundation::OpenFileForRead(wide);
        foundation::FailAllocationsAfter(n);
        ImageContext* ctx = OpenImageDocument(wide, u"", handle, true, 2, &code);
        foundation::ClearAllocationFailure();
        if (code == open_result::kOutOfMemory) {
            sawOutOfMemory = true;
            EXPECT_EQ(ctx, nullptr);
        }
        FreeImageDocument(ctx);
    }
    EXPECT_TRUE(sawOutOfMemory);
}

// An allocation failing anywhere in the tree walk (items and folder records
// alike) fails the open with a code, never ends the program; past the last
// allocation the whole tree opens.
TEST_F(Documents, TreeWalkUnderAllocationFailure) {
    std::string iso = MakeIso();
    bool opened = false;
    for (int64_t n = 0; n < 200 && !opened; ++n) {
        int code = -1;
        foundation::FailAllocationsAfter(n);
        DocumentPtr doc(Open(iso, &code));
        foundation::ClearAllocationFailure();
        if (!doc) {
            EXPECT_NE(code, open_result::kOk) << n;
            continue;
        }
        EXPECT_EQ(code, open_result::kOk) << n;
        opened = FindItemByPath(doc.get(), nullptr, u"/docs/a.txt") != nullptr;
    }
    EXPECT_TRUE(opened);
}

// FreeImageDocument on records in every partial state, and the order in which
// the attached states go.
std::vector<std::string>* g_freed = nullptr;
template <typename T>
void Note(T*, const char* what) {
    g_freed->push_back(what);
}

TEST_F(Documents, FreeAcceptsPartialRecords) {
    FreeImageDocument(nullptr);
    std::vector<std::string> freed;
    g_freed = &freed;
    {
        DocumentPtr ctx(NewAudioCdDocument());
        ASSERT_NE(ctx, nullptr);
        // Boot state attached while the record owns no tree: it must still go.
        ctx->ownsTree = 0;
        ctx->elTorito.Attach(reinterpret_cast<ElToritoState*>(1), [](ElToritoState* s) { Note(s, "eltorito"); });
        ctx->hfsVolume.Attach(reinterpret_cast<HfsVolume*>(1), [](HfsVolume* s) { Note(s, "hfs"); });
        ctx->daaReader.Attach(reinterpret_cast<DaaContainerState*>(1), [](DaaContainerState* s) { Note(s, "daa"); });
        ctx->archiveLink.Attach(reinterpret_cast<ArchiveLink*>(1), [](ArchiveLink* s) { Note(s, "archive"); });
        ctx->collectionBuffer.resize(4096);
    }
    EXPECT_EQ(freed, (std::vector<std::string>{"eltorito", "hfs", "daa", "archive"}));

    // A tree owned by the record, with the root item's own texts.
    freed.clear();
    {
        treetest::TreeDocument doc;
        doc.ctx()->rootItem.name = u"root";
        ImageFolder* a = treetest::AddFolder(doc.root(), u"a");
        treetest::AddFile(a, u"f", 3);
        doc.ctx()->elTorito.Attach(reinterpret_cast<ElToritoState*>(1), [](ElToritoState* s) { Note(s, "eltorito"); });
    }
    EXPECT_EQ(freed, (std::vector<std::string>{"eltorito"}));

    // A record with an open image handle and a track list.
    {
        DocumentPtr ctx(NewIsoDocument());
        qvtest::WriteFileText(dir / "img", "x");
        ctx->imageHandle.reset(foundation::OpenFileForRead(platform::Utf8ToUtf16(dir / "img")));
        ctx->trackList = NewTrackList().release();
        GetTrackCdText(0, ctx->trackList);
        ctx->sheetPath = u"sheet.cue";
    }
    g_freed = nullptr;
}

TEST_F(Documents, CurrentDocumentAndCapabilities) {
    EXPECT_FALSE(CanDocumentDo(document_can::kGeneral));
    EXPECT_FALSE(IsCurrentDocumentReadOnly());
    struct Row {
        int32_t format;
        int32_t mixed;
        int32_t trackFlag;
        uint8_t videoCd;
        bool general;
        bool tracks;
        bool video;
    };
    const Row rows[] = {
        {100, 0, 0, 0, false, true, false}, {103, 0, 0, 1, false, true, false}, {0, 0, 0, 0, true, false, false},
        {0, 1, 0, 0, true, true, false},    {0, 0, 1, 0, true, true, false},    {1, 0, 0, 2, true, false, true},
    };
    for (const Row& row : rows) {
        image::g_CurrentDocument = NewIsoDocument();
        image::g_CurrentDocument->formatCode = row.format;
        image::g_CurrentDocument->mixedTracks = row.mixed;
        image::g_CurrentDocument->trackOperationsAllowed = row.trackFlag;
        image::g_CurrentDocument->videoCdKind = row.videoCd;
        EXPECT_EQ(CanDocumentDo(document_can::kGeneral), row.general) << row.format;
        EXPECT_EQ(CanDocumentDo(document_can::kTrackOperations), row.tracks) << row.format;
        EXPECT_EQ(CanDocumentDo(document_can::kVideoCd), row.video) << row.format;
        EXPECT_FALSE(CanDocumentDo(2));
        CloseCurrentDocument();
    }
    image::g_CurrentDocument = NewIsoDocument();
    image::g_CurrentFolder = image::g_CurrentDocument->rootFolder;
    image::g_CurrentDocument->readOnly = 1;
    EXPECT_TRUE(IsCurrentDocumentReadOnly());
    CloseCurrentDocument();
    EXPECT_EQ(image::g_CurrentDocument, nullptr);
    EXPECT_EQ(image::g_CurrentFolder, nullptr);
}

TEST_F(Documents, SessionStartLba) {
    DocumentPtr ctx(NewIsoDocument());
    ctx->nextWritableSector = 5000;
    EXPECT_EQ(SetSessionStartLba(ctx.get()), 0);
    ctx->composeOutput = 1;
    ctx->discSource = 1;
    EXPECT_EQ(SetSessionStartLba(ctx.get()), 0);
    ctx->chosenSession = 1;
    EXPECT_EQ(SetSessionStartLba(ctx.get()), 5000);
    EXPECT_EQ(ctx->sessionStartLba, 5000);
    EXPECT_EQ(CreateRootFolder(ctx.get()), 0);   // already there
    EXPECT_EQ(CreateRootFolder(nullptr), -1);
}

// Without a window nothing is asked: the open goes on with the last session,
// and no password is given (last error "not supported").
TEST(OpenQuestions, StandInsTakeTheCancelPath) {
    EXPECT_EQ(ChooseSession(nullptr, true), 0);
    platform::SetLastError(0);
    EXPECT_FALSE(AskPassword(nullptr, nullptr));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorNotSupported);
}

}  // namespace

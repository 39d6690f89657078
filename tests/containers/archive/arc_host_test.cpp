// The archive library host against Debian's p7zip-full library, and small
// stand-in libraries compiled here that break one rule each.

#include <gtest/gtest.h>

#include "containers/archive/arc_host.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace containers::archive {
namespace {

std::u16string U(const std::string& s) { return platform::Utf8ToUtf16(s); }

TEST(ArcHost, RealLibraryListsAndRemembersFormats) {
    CArcCodecHost* host = ArchiveHost(0);
    ASSERT_NE(host, nullptr);
    ASSERT_FALSE(host->libraries.empty()) << "p7zip-full's 7z.so did not load";
    ASSERT_GT(host->methods.size(), 5u);
    struct Row {
        int32_t CArcCodecHost::*slot;
        const char16_t* name;
    };
    for (const Row& row : {Row{&CArcCodecHost::zipFormat, u"zip"}, Row{&CArcCodecHost::sevenZipFormat, u"7z"},
                           Row{&CArcCodecHost::gzipFormat, u"gzip"}, Row{&CArcCodecHost::bzipFormat, u"bzip2"},
                           Row{&CArcCodecHost::rarFormat, u"Rar"}}) {
        const int32_t index = host->*row.slot;
        ASSERT_GE(index, 0) << platform::Utf16ToUtf8(row.name);
        EXPECT_TRUE(platform::EqualsNoCase(host->formats[size_t(index)].name, row.name))
            << platform::Utf16ToUtf8(host->formats[size_t(index)].name);
    }
    // Names compare without case; zip starts with several signatures only.
    const int32_t zip = FindFormatByName(*host, u"ZIP");
    EXPECT_EQ(zip, host->zipFormat);
    EXPECT_FALSE(host->formats[size_t(zip)].multiSignatures.empty());
    EXPECT_EQ(FindFormatByName(*host, u"no such format"), -1);
    EXPECT_TRUE(host->formats[size_t(host->sevenZipFormat)].updateSupported);

    ComRef reader, writer;
    EXPECT_EQ(CreateArchiveHandler(*host, zip, false, reader), kOk);
    EXPECT_TRUE(reader);
    EXPECT_EQ(CreateArchiveHandler(*host, zip, true, writer), kOk);
    EXPECT_TRUE(writer);
    ComRef none;
    EXPECT_EQ(CreateArchiveHandler(*host, -1, false, none), kInvalidArg);
    EXPECT_EQ(CreateArchiveHandler(*host, int32_t(host->formats.size()), false, none), kInvalidArg);
    EXPECT_FALSE(none);
}

TEST(ArcHost, CodecsInfoAnswersAssignedFlagsAndRefusesCoders) {
    CArcCodecHost* host = ArchiveHost(0);
    ASSERT_NE(host, nullptr);
    ComRef info = host->CodecsInfo();
    const auto& table = info.Table<CompressCodecsInfoVtbl>();
    uint32_t count = 0;
    ASSERT_EQ(table.GetNumMethods(info.get(), &count), kOk);
    EXPECT_EQ(count, host->methods.size());
    PropVariant v;
    ASSERT_EQ(table.GetProperty(info.get(), 0, mpid::kDecoderIsAssigned, &v), kOk);
    EXPECT_EQ(v.vt, vt::kBool);
    EXPECT_EQ(table.GetProperty(info.get(), count, mpid::kDecoderIsAssigned, &v), kInvalidArg);
    void* coder = &v;
    EXPECT_EQ(table.CreateDecoder(info.get(), 0, &kIidUnknown, &coder), kNotImpl);
    EXPECT_EQ(coder, nullptr);
    // Asked for another interface, the host has none.
    ComRef other = info.Query(kIidInArchive);
    EXPECT_FALSE(other);
}

// A library of our own making that breaks one rule.
struct FakeLibrary {
    const char* name;
    const char* source;
    LibraryRefusal refusal;
    size_t methods;
};

constexpr const char* kStrings = R"(
#include <wchar.h>
void* SysAllocStringLen(const wchar_t* s, unsigned n) { (void)s; (void)n; return 0; }
void SysFreeString(void* s) { (void)s; }
unsigned SysStringByteLen(void* s) { (void)s; return 0; }
int VariantClear(void* v) { (void)v; return 0; }
)";

constexpr const char* kPropHead = R"(
#include <string.h>
typedef struct { unsigned short vt, r1, r2, r3; unsigned long long value; } Prop;
)";

TEST(ArcHost, RefusesLibrariesThatBreakTheContract) {
    ASSERT_NE(ArchiveHost(0), nullptr);   // the real library's string functions come first
    const std::string goodModuleProp =
        "int GetModuleProp(unsigned id, Prop* v) { memset(v, 0, 16); if (id == 0) { v->vt = 19; v->value = 0; } "
        "return 0; }\n";
    const std::string createObject = "int CreateObject(const void* c, const void* i, void** o) { *o = 0; return 1; }\n";
    // One method whose decoder and encoder ids are empty.
    const std::string methods =
        "int GetNumberOfMethods(unsigned* n) { *n = 1; return 0; }\n"
        "int GetMethodProperty(unsigned i, unsigned id, Prop* v) { memset(v, 0, 16); return 0; }\n";
    const std::string noFormats = "int GetNumberOfFormats(unsigned* n) { *n = 0; return 0; }\n";
    const struct {
        const char* name;
        std::string body;
        LibraryRefusal refusal;
        size_t methods;
    } rows[] = {
        {"no_module_prop", createObject + methods, LibraryRefusal::LayoutDiffers, 0},
        {"virtual_destructor",
         "int GetModuleProp(unsigned id, Prop* v) { memset(v, 0, 16); v->vt = 19; v->value = 1; return 0; }\n" +
             createObject + methods,
         LibraryRefusal::LayoutDiffers, 0},
        {"no_create_object", goodModuleProp + methods, LibraryRefusal::NoCreateObject, 0},
        {"nothing_listed", goodModuleProp + createObject + noFormats +
                               "int GetNumberOfMethods(unsigned* n) { *n = 0; return 0; }\n"
                               "int GetMethodProperty(unsigned i, unsigned id, Prop* v) { return 0; }\n",
         LibraryRefusal::NothingListed, 0},
        {"empty_decoder", goodModuleProp + createObject + methods + noFormats, LibraryRefusal::None, 1},
    };
    qvtest::TempDir dir;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string c = dir / (std::string(row.name) + ".c");
        const std::string so = dir / (std::string(row.name) + ".so");
        qvtest::WriteFileText(c, std::string(kPropHead) + kStrings + row.body);
        qvtest::RunOk("cc -shared -fPIC -o " + qvtest::ShellQuote(so) + " " + qvtest::ShellQuote(c));
        ComRef keep;
        auto* host = new CArcCodecHost;
        keep = host->CodecsInfo();
        LibraryRefusal why = LibraryRefusal::NotLoadable;
        LoadLibraryIntoHost(*host, U(so), &why);
        EXPECT_EQ(why, row.refusal);
        EXPECT_EQ(host->methods.size(), row.methods);
        EXPECT_EQ(host->libraries.size(), row.refusal == LibraryRefusal::None ? 1u : 0u);
        if (row.methods == 1) {
            EXPECT_FALSE(host->methods[0].decoderAssigned);
            PropVariant v;
            ASSERT_EQ(host->GetMethodProperty(0, mpid::kDecoderIsAssigned, &v), kOk);
            EXPECT_EQ(v.vt, vt::kBool);
            EXPECT_EQ(v.boolVal, 0);
        }
    }
    // A file that is no shared object at all.
    qvtest::WriteFileText(dir / "text.so", "not a library");
    ComRef keep;
    auto* host = new CArcCodecHost;
    keep = host->CodecsInfo();
    LibraryRefusal why = LibraryRefusal::None;
    LoadLibraryIntoHost(*host, U(dir / "text.so"), &why);
    EXPECT_EQ(why, LibraryRefusal::NotLoadable);
}

TEST(ArcHost, CandidatesAreProgramFolderThenSystem) {
    const std::vector<std::u16string> paths = ArchiveLibraryCandidates();
    ASSERT_GE(paths.size(), 1u);
    EXPECT_EQ(paths.back(), u"/usr/lib/p7zip/7z.so");
    if (paths.size() == 2) {
        EXPECT_TRUE(paths[0].ends_with(u"/7z.so"));
        EXPECT_EQ(paths[0].find(u"//"), std::u16string::npos);
    }
}

}  // namespace
}  // namespace containers::archive

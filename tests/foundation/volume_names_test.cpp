// Volume names of every numbering the formats use: volume n of a set, the
// name a split save starts with, and the first volume from any volume's
// name, then found on disk whatever the case of its name.

#include "foundation/volume_names.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "foundation/name_lookup.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using foundation::VolumeNumbering;
using foundation::VolumeStyle;

constexpr std::u16string_view kMzp[] = {u"mzp", u"exe"};
constexpr std::u16string_view kDaa[] = {u"daa", u"hxi", u"exe"};
constexpr VolumeStyle kPart2{VolumeNumbering::PartWord, 2, 1, kMzp};
constexpr VolumeStyle kPart3{VolumeNumbering::PartWord, 3, 1, kMzp};
constexpr VolumeStyle kDaaPart2{VolumeNumbering::PartWord, 2, 1, kDaa};
constexpr VolumeStyle kDaaPart3{VolumeNumbering::PartWord, 3, 1, kDaa};
constexpr VolumeStyle kDaaExtension{VolumeNumbering::Extension, 2, 0, kDaa};   // x.daa, x.d00 ...
constexpr VolumeStyle kAnyExtension{VolumeNumbering::Extension, 2, 1, {}};     // x.isz, x.i01 ...

TEST(VolumeNames, VolumeOfASetByStyleAndIndex) {
    struct Row {
        const char* why;
        std::u16string first;
        VolumeStyle style;
        uint32_t index;
        std::optional<std::u16string> name;
    };
    const Row rows[] = {
        {"volume 0 is the first", u"/d/x.part01.mzp", kPart2, 0, u"/d/x.part01.mzp"},
        {"volume 1", u"/d/x.part01.mzp", kPart2, 1, u"/d/x.part02.mzp"},
        {"the last two digits hold", u"/d/x.part01.mzp", kPart2, 98, u"/d/x.part99.mzp"},
        {"a 100th volume of two digits has no name", u"/d/x.part01.mzp", kPart2, 99, std::nullopt},
        {"three digits pass 99", u"/d/x.part001.mzp", kPart3, 99, u"/d/x.part100.mzp"},
        {"a 1000th volume of three digits has no name", u"/d/x.part001.mzp", kPart3, 999, std::nullopt},
        {"case kept", u"/d/X.PART01.MZP", kPart2, 9, u"/d/X.PART10.MZP"},
        {"a program's later volumes are data", u"/d/x.part01.EXE", kPart2, 1, u"/d/x.part02.mzp"},
        {"a program stays volume 0", u"/d/x.part01.EXE", kPart2, 0, u"/d/x.part01.EXE"},
        {"width must match the style", u"/d/x.part001.mzp", kPart2, 1, std::nullopt},
        {"no part word", u"/d/x.mzp", kPart2, 1, std::nullopt},
        {"extension not of the format", u"/d/x.part01.iso", kPart2, 1, std::nullopt},
        {"a dot in the folder is no extension", u"/d.part01/x", kPart2, 1, std::nullopt},
        {"extension numbering: volume 0", u"/d/x.daa", kDaaExtension, 0, u"/d/x.daa"},
        {"extension numbering from 0", u"/d/x.daa", kDaaExtension, 1, u"/d/x.d00"},
        {"extension numbering, hxi", u"/d/x.HXI", kDaaExtension, 3, u"/d/x.H02"},
        {"the 101st volume is the last", u"/d/x.daa", kDaaExtension, 100, u"/d/x.d99"},
        {"the 102nd has no name", u"/d/x.daa", kDaaExtension, 101, std::nullopt},
        {"extension numbering from 1", u"/d/x.isz", kAnyExtension, 1, u"/d/x.i01"},
        {"any extension", u"/d/x.img", kAnyExtension, 12, u"/d/x.i12"},
        {"a 100th part numbered from 1 has no name", u"/d/x.isz", kAnyExtension, 100, std::nullopt},
        {"no extension to number", u"/d/x", kAnyExtension, 1, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(foundation::VolumeName(row.first, row.style, row.index), row.name);
    }
}

TEST(VolumeNames, FirstVolumeOfASplitSave) {
    constexpr std::u16string_view kXdi[] = {u"xdi"};
    const struct {
        std::u16string path;
        VolumeStyle style;
        std::u16string first;
    } rows[] = {
        {u"/d/Disc.mzp", kPart2, u"/d/Disc.part01.mzp"},
        {u"/d/Disc.EXE", kPart2, u"/d/Disc.part01.EXE"},
        {u"/d/Disc", kPart3, u"/d/Disc.part001.mzp"},
        {u"/d/Disc.iso", kDaaPart2, u"/d/Disc.iso.part01.daa"},
        {u"/d/Disc.iso", kDaaExtension, u"/d/Disc.iso.daa"},
        {u"/d/Disc.HXI", kDaaExtension, u"/d/Disc.HXI"},
        {u"/d/Disc.xdi", {VolumeNumbering::PartWord, 2, 1, kXdi}, u"/d/Disc.part01.xdi"},
        {u"/d.x/Disc", kPart2, u"/d.x/Disc.part01.mzp"},
    };
    for (const auto& row : rows) EXPECT_EQ(foundation::FirstVolumeName(row.path, row.style), row.first);
}

TEST(VolumeNames, FirstVolumeFromAnyVolume) {
    constexpr VolumeStyle kDaaStyles[] = {kDaaPart2, kDaaPart3, kDaaExtension};
    const struct {
        std::u16string any;
        std::u16string first;
    } rows[] = {
        {u"/d/x.part07.daa", u"/d/x.part01.daa"},
        {u"/d/x.PART123.DAA", u"/d/x.PART001.DAA"},
        {u"/d/x.part01.daa", u"/d/x.part01.daa"},
        {u"/d/x.d05", u"/d/x.daa"},
        {u"/d/x.H01", u"/d/x.hxi"},
        {u"/d/x.part0007.daa", u"/d/x.part0007.daa"},   // no style numbers in four digits
        {u"/d/x.part07.iso", u"/d/x.part07.iso"},
        {u"/d/x.d5", u"/d/x.d5"},
        {u"/d/x.iso", u"/d/x.iso"},
        {u"/d.part02/x.daa", u"/d.part02/x.daa"},
    };
    for (const auto& row : rows) EXPECT_EQ(foundation::FirstVolumeOf(row.any, kDaaStyles), row.first);
}

// Sets copied from Windows often differ in case from the names the styles
// make; the first volume is still found, and every later one from it.
TEST(VolumeNames, VolumesAreFoundOnDiskWithoutRegardToCase) {
    qvtest::TempDir dir;
    qvtest::RunOk("cd " + dir.path() +
                  " && touch DISC.PART01.MZP Disc.Part02.Mzp Set.DAA Set.D00 Prog.Part01.EXE prog.part02.daa");
    const std::u16string folder = platform::Utf8ToUtf16(dir.path());
    constexpr VolumeStyle kMzpStyles[] = {kPart2, kPart3};
    const std::u16string first = foundation::FindFirstVolume(folder + u"/disc.part02.mzp", kMzpStyles);
    EXPECT_EQ(first, folder + u"/DISC.PART01.MZP");
    constexpr VolumeStyle kDaaStyles[] = {kDaaPart2, kDaaPart3, kDaaExtension};
    EXPECT_EQ(foundation::FindFirstVolume(folder + u"/set.d00", kDaaStyles), folder + u"/Set.DAA");
    // Volume 0 of a self-extracting set is the program.
    EXPECT_EQ(foundation::FindFirstVolume(folder + u"/prog.part02.daa", kDaaStyles), folder + u"/Prog.Part01.EXE");
    // No first volume on disk: the name as the style makes it.
    EXPECT_EQ(foundation::FindFirstVolume(folder + u"/gone.part03.daa", kDaaStyles), folder + u"/gone.part01.daa");
    EXPECT_EQ(foundation::ResolvePathNoCase(*foundation::VolumeName(first, kPart2, 1)), folder + u"/Disc.Part02.Mzp");
    EXPECT_EQ(foundation::ResolvePathNoCase(*foundation::VolumeName(folder + u"/Set.DAA", kDaaExtension, 1)),
              folder + u"/Set.D00");
    // A volume that is not there keeps the name the style made.
    EXPECT_EQ(foundation::ResolvePathNoCase(*foundation::VolumeName(first, kPart2, 2)), folder + u"/DISC.PART03.MZP");
}

}  // namespace

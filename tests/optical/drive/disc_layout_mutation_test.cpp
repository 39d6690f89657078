// Every reply the layout and medium queries read, mutated over and over under
// the sanitizers: each run must end in a layout of at most 99 sane tracks or
// in a refusal, within a bounded number of commands.

#include <gtest/gtest.h>

#include "image/sheets/track_list.h"
#include "optical/drive/disc_queries.h"
#include "soft_drive/soft_drive_fixture.h"

namespace {

TEST(DiscLayoutMutation, MutatedRepliesEndInALayoutOrARefusal) {
    const char* discs[] = {
        "profile 0x0008\ndisc status=2 last=3\ntrack mode=1 length=3000\ntrack control=0 mode=0 length=900\n"
        "track control=0 mode=0 length=700\n",
        "profile 0x0009\ndisc status=1 last=3\natip rewritable=0\ntrack session=1 mode=1 length=400\n"
        "track session=2 mode=1 start=12000 length=300\n",
        "profile 0x001B\nprofiles 0x001B,0x001A,0x0010\ndisc status=1 last=0 nwa=5000 free=2000000\n"
        "track mode=1 length=5000\nfeature code=0x2B current=1 data=01000000\n",
        "profile 0x0043\ndisc bd=BDW\ntrack mode=1 length=20000\nformat type=0x30 blocks=12219392\n",
    };
    const uint8_t opcodes[] = {0x43, 0x51, 0x52, 0x46, 0xAD, 0x5A};
    int layouts = 0;
    for (uint32_t seed = 1; seed <= 2000; ++seed) {
        const char* disc = discs[seed % std::size(discs)];
        softdrive::ScopedSoftDrive fixture;
        ASSERT_TRUE(fixture.Load(disc));
        softdrive::Fault flip;
        flip.kind = softdrive::Fault::Kind::Flip;
        flip.opcode = opcodes[seed % std::size(opcodes)];
        flip.value = seed;
        flip.bytes = 1 + static_cast<int32_t>(seed % 6);
        fixture.drive.AddFault(flip);
        image::TrackList list;
        bool built = optical::ReadDiscLayout(fixture.Handle(), list, u'E');
        ASSERT_LE(fixture.drive.Log().size(), 2u * 99 + 10) << "seed " << seed;
        ASSERT_LE(list.trackCount, 99) << "seed " << seed;
        if (!built) continue;
        ++layouts;
        for (int j = 0; j < list.trackCount; ++j) {
            ASSERT_GE(list.tracks[j].startSector, 0) << "seed " << seed;
            ASSERT_GE(list.tracks[j].length, 0) << "seed " << seed;
            ASSERT_GE(list.tracks[j].session, 0) << "seed " << seed;
        }
    }
    EXPECT_GT(layouts, 400);
}

}  // namespace

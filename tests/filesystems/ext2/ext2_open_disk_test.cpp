// ext2 volumes through the disk opener, as a user opens them: a volume alone
// whose unused boot block carries the boot signature (the whole disk: the
// opener takes nothing without the signature), the second partition of an sfdisk disk, the same disk
// as a dynamic VHD made by qemu-img, and a volume 100 sectors into a Linux
// LVM partition. The tree equals fls -r -p -u, and a file extracts as icat
// reads it.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "filesystems/disk/disk_image.h"
#include "filesystems/disk/partition_chooser_services.h"
#include "filesystems/ext2/ext2_volume.h"
#include "foundation/services.h"
#include "image/document/document.h"
#include "platform/text.h"
#include "tests/filesystems/ext2/ext2_fixtures.h"

namespace filesystems {
namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

class RowChooser final : public IPartitionChooserServices {
public:
    explicit RowChooser(int row) : row_(row) {}
    int ChooseDiskPartition(image::ImageContext&, const std::vector<DiskPartitionRow>&) override { return row_; }

private:
    int row_;
};

struct Case {
    const char* name;
    const char* layout;          // sfdisk input; empty: the volume alone, signed
    uint64_t volumeSector;       // where mke2fs puts the volume
    int row;                     // the chooser's answer
    bool vhd;                    // opened as a dynamic VHD of the disk
};

TEST(Ext2OpenDisk, OpenedThroughTheDiskOpener) {
    const Case cases[] = {
        {"alone", "", 0, 0, false},
        {"second partition", "start=2048,size=4096,type=6\nstart=8192,size=40960,type=83\n", 8192, 1, false},
        {"second partition of a VHD", "start=2048,size=4096,type=6\nstart=8192,size=40960,type=83\n", 8192, 1, true},
        {"LVM partition", "start=2048,size=40960,type=8e\n", 2148, 0, false},
    };
    qvtest::TempDir dir;
    RunOk("mkdir -p " + ShellQuote(dir / "src/a/b") + " && cd " + ShellQuote(dir / "src") +
          " && seq 1 50000 > a/b/numbers && ln -s a/b/numbers link && echo x > top");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string raw = dir / "disk.img";
        RunOk("rm -f " + ShellQuote(raw));
        if (*c.layout) {
            RunOk("truncate -s 32M " + ShellQuote(raw) + " && printf " + ShellQuote(std::string("label: dos\n") + c.layout) +
                  " | sfdisk -q " + ShellQuote(raw));
        }
        RunOk("mke2fs -q -F -t ext2 -b 1024 -E offset=" + std::to_string(c.volumeSector * 512) + " -d " +
              ShellQuote(dir / "src") + " " + ShellQuote(raw) + " 8M 2>&1");
        if (!*c.layout) {
            RunOk("printf '\\125\\252' | dd of=" + ShellQuote(raw) + " bs=1 seek=510 conv=notrunc status=none");
        }
        std::string opened = raw;
        if (c.vhd) {
            opened = dir / "disk.vhd";
            RunOk("rm -f " + ShellQuote(opened) + " && qemu-img convert -O vpc -o subformat=dynamic " + ShellQuote(raw) +
                  " " + ShellQuote(opened));
        }
        RowChooser chooser(c.row);
        foundation::ScopedServices<SetPartitionChooserServices> scoped(&chooser);
        foundation::UniqueFile file(foundation::OpenFileForRead(platform::Utf8ToUtf16(opened)));
        ASSERT_TRUE(file);
        int reported = 0;
        image::DocumentPtr doc(OpenDiskImage(platform::Utf8ToUtf16(opened), file.get(), &reported));
        ASSERT_TRUE(doc);
        (void)file.release();
        ASSERT_TRUE(doc->ext2State);
        EXPECT_EQ(doc->partitionStart, c.volumeSector);

        const auto tree = ext2test::ListTree(*doc);
        const auto fls = ext2test::FlsListing(raw, c.volumeSector);
        std::set<std::string> ours, theirs;
        for (const auto& [path, entry] : tree) ours.insert(path);
        for (const auto& [path, entry] : fls) theirs.insert(path);
        EXPECT_EQ(ours, theirs);
        ASSERT_TRUE(tree.count("a/b/numbers"));
        ASSERT_EQ(ext2test::ExtractTo(*doc, *tree.at("a/b/numbers").item, dir / "out"), 1);
        RunOk("icat -o " + std::to_string(c.volumeSector) + " " + ShellQuote(raw) + " " +
              std::to_string(tree.at("a/b/numbers").item->startSector) + " | cmp - " + ShellQuote(dir / "out"));
    }
}

}  // namespace
}  // namespace filesystems

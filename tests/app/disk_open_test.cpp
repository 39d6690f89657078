// Disk images through the open entry with the readers installed: a whole-disk
// volume in a VHD opens as a disk document; a cancelled partition choice and a
// refused differencing disk end the open with no further opener tried (so no
// "invalid or unsupported" follows), and a partition with nothing readable is
// reported once.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/open_document.h"
#include "app/other_openers.h"
#include "filesystems/disk/partition_chooser_services.h"
#include "foundation/console.h"
#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "image/document/document.h"
#include "image/document/item_tree.h"
#include "image/document/main_window_services.h"
#include "platform/text.h"
#include "tests/support/fake_services.h"
#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

class Cancelling final : public filesystems::IPartitionChooserServices {
public:
    int ChooseDiskPartition(image::ImageContext&, const std::vector<filesystems::DiskPartitionRow>&) override {
        return -1;
    }
};

struct Readers {
    Readers() { app::InstallReaders(); }
    ~Readers() { app::UninstallReaders(); }
};

TEST(DiskOpenEntry, DisksThroughTheOpenEntry) {
    qvtest::TempDir dir;
    RunOk("cd " + ShellQuote(dir.path()) +
          " && mkfs.fat -C -i 12345678 v.img 8192 >/dev/null"
          " && qemu-img convert -f raw -O vpc -o subformat=dynamic,force_size=on v.img v.vhd"
          " && cp v.vhd diff.vhd && truncate -s 16M p.img"
          " && printf 'label: dos\\nstart=2048,size=4096,type=6\\nstart=8192,size=4096,type=83\\n' | sfdisk -q p.img");
    // The differencing kind in the footer (disk type at +60 of the last 512 bytes).
    RunOk("cd " + ShellQuote(dir.path()) +
          " && printf '\\000\\000\\000\\004' | dd of=diff.vhd bs=1 seek=$(( $(stat -c %s diff.vhd) - 452 )) "
          "conv=notrunc 2>/dev/null");
    struct Row {
        const char* name;
        const char* file;
        bool cancel;
        bool opens;
        const char* box;   // the one box shown, empty for none
    };
    const Row rows[] = {
        {"volume in a VHD", "v.vhd", false, true, ""},
        {"cancelled choice", "p.img", true, false, ""},
        {"differencing VHD", "diff.vhd", false, false, "differencing disk"},
        {"nothing readable in the chosen partition", "p.img", false, false,
         "Quendravine can't open the following partition: \r\n\r\nPartition1:    FAT16"},
    };
    foundation::ConsoleMode = false;
    Readers readers;
    qvtest::NullMainWindowServices window;
    foundation::ScopedServices<image::SetMainWindowServices> scopedWindow(&window);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        foundation::ScriptedUiServices ui;
        foundation::ScopedServices<foundation::SetUiServices> scopedUi(&ui);
        Cancelling cancelling;
        foundation::ScopedServices<filesystems::SetPartitionChooserServices> scopedChooser(
            row.cancel ? &cancelling : nullptr);
        image::DocumentPtr doc(app::OpenImageByPath(platform::Utf8ToUtf16(dir / row.file), false, true, false));
        EXPECT_EQ(static_cast<bool>(doc), row.opens);
        if (doc) {
            EXPECT_EQ(doc->formatCode, image::format_code::kDisk);
            EXPECT_EQ(foundation::OperationStatus.load(), 0);
        } else {
            EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusFailed);
        }
        const auto boxes = ui.Boxes();
        if (std::string(row.box).empty()) {
            EXPECT_TRUE(boxes.empty()) << (boxes.empty() ? "" : platform::Utf16ToUtf8(boxes[0].request.text));
        } else {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_NE(platform::Utf16ToUtf8(boxes[0].request.text).find(row.box), std::string::npos)
                << platform::Utf16ToUtf8(boxes[0].request.text);
        }
    }
}

// A volume inside a partition of a virtual disk is read through the whole
// chain: the VDI back end, the partition the rule chooses, the NTFS reader.
TEST(DiskOpenEntry, NtfsPartitionInsideAVirtualDisk) {
    qvtest::TempDir dir;
    RunOk("cd " + ShellQuote(dir.path()) +
          " && mkdir src && printf 'inside the partition\\n' > src/hello.txt"
          " && wimlib-imagex capture src x.wim >/dev/null"
          " && truncate -s 8M n.img && mkntfs -q -F -Q -c 4096 n.img && wimlib-imagex apply x.wim 1 n.img >/dev/null"
          " && truncate -s 16M d.img"
          " && printf 'label: dos\\nstart=2048,size=16384,type=7\\n' | sfdisk -q d.img"
          " && dd if=n.img of=d.img bs=512 seek=2048 conv=notrunc 2>/dev/null"
          " && qemu-img convert -f raw -O vdi d.img d.vdi");
    foundation::ConsoleMode = false;
    Readers readers;
    qvtest::NullMainWindowServices window;
    foundation::ScopedServices<image::SetMainWindowServices> scopedWindow(&window);
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> scopedUi(&ui);
    image::DocumentPtr doc(app::OpenImageByPath(platform::Utf8ToUtf16(dir / "d.vdi"), false, true, false));
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->formatCode, image::format_code::kDisk);
    EXPECT_EQ(doc->partitionStart, 2048u);
    const image::ImageItem* item = image::FindItemByPath(doc.get(), doc->rootFolder, u"/hello.txt");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->size, 21u);
}

}  // namespace

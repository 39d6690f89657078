#include "foundation/deletion_queue.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <string>

#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using namespace foundation;

TEST(DeletionQueue, DeletesQueuedFilesAndClosesTheirHandles) {
    qvtest::TempDir dir;
    std::u16string a = platform::Utf8ToUtf16(dir / "a");
    std::u16string b = platform::Utf8ToUtf16(dir / "b");
    FileHandle open = CreateNewFile(a);
    ASSERT_NE(open, nullptr);
    WriteFileAt(open, "half", kCurrentPosition, 4);
    int descriptor = platform::FileDescriptor(open);
    QueueFileForDeletion(a, open, false);        // the queue owns the handle now
    qvtest::WriteFileText(dir / "b", "x");
    QueueFileForDeletion(b, nullptr, false);
    EXPECT_EQ(QueuedFileCount(), 2u);
    EXPECT_TRUE(platform::FileExists(a));
    DeleteQueuedFiles();
    EXPECT_EQ(QueuedFileCount(), 0u);
    EXPECT_EQ(::fcntl(descriptor, F_GETFD), -1);   // the half-written file's handle is closed
    EXPECT_FALSE(platform::FileExists(a));
    EXPECT_FALSE(platform::FileExists(b));
    // "now" deletes at once; a file that is already gone is no failure.
    qvtest::WriteFileText(dir / "c", "y");
    QueueFileForDeletion(platform::Utf8ToUtf16(dir / "c"), nullptr, true);
    EXPECT_FALSE(platform::FileExists(platform::Utf8ToUtf16(dir / "c")));
    QueueFileForDeletion(platform::Utf8ToUtf16(dir / "never"), nullptr, true);
    EXPECT_EQ(QueuedFileCount(), 0u);
}

}  // namespace

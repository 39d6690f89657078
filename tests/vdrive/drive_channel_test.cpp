// The channel's cases as one table against a helper served in this process
// (a private runtime folder, no mount needed), and the request layout.

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <chrono>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "foundation/byte_order.h"
#include "foundation/console.h"
#include "foundation/drive_device_services.h"
#include "foundation/services.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "optical/drive/drive_devices.h"
#include "platform/named_objects.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "vdrive/channel_layout.h"
#include "vdrive/drive_channel.h"
#include "vdrive/drive_server.h"
#include "vdrive/drive_table.h"

namespace {

using namespace vdrive;

class PrivateRuntime : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = getenv("XDG_RUNTIME_DIR");
        saved_ = old ? old : "";
        setenv("XDG_RUNTIME_DIR", dir_.path().c_str(), 1);
        // The shared objects are per user, not per runtime folder: each test
        // process gets names of its own.
        SetChannelNameSuffixForTests(platform::Utf8ToUtf16("-test-" + std::to_string(::getpid())));
    }
    void TearDown() override {
        if (saved_.empty()) unsetenv("XDG_RUNTIME_DIR");
        else setenv("XDG_RUNTIME_DIR", saved_.c_str(), 1);
        SetChannelNameSuffixForTests(u"");
    }
    qvtest::TempDir dir_;
    std::string saved_;
};

TEST(ChannelLayout, NtPathsAndPathLimits) {
    EXPECT_EQ(MakeNtPath(u"\\\\server\\share\\a.iso"), u"\\??\\UNC\\server\\share\\a.iso");
    EXPECT_EQ(MakeNtPath(u"C:\\a.iso"), u"\\??\\C:\\a.iso");
    EXPECT_EQ(MakeNtPath(u"\\a.iso"), u"\\a.iso");
    EXPECT_EQ(MakeNtPath(u"/home/u/a.iso"), u"\\??\\/home/u/a.iso");
    for (const std::u16string p : {u"\\\\server\\share\\a.iso", u"C:\\a.iso", u"/home/u/a.iso"})
        EXPECT_EQ(StripNtPrefix(MakeNtPath(p)), p);
    EXPECT_EQ(StripNtPrefix(u"plain"), u"plain");

    image::DocumentPtr doc(image::NewIsoDocument());
    doc->volumeTexts[image::volume_text::kVolumeLabel] = u"BACKUP";
    doc->volumeTexts[image::volume_text::kSystemId] = u"LINUX";
    const auto fits = MakeMountImageRequest(0, u"/a.iso", *doc);
    ASSERT_TRUE(fits);
    EXPECT_EQ(foundation::ReadLE32(fits->data()), kCommandMountImage);
    // The label field carries the volume label, not the system identifier.
    EXPECT_STREQ(reinterpret_cast<const char*>(fits->data() + kRequestDescriptor + kDescriptorLabel), "BACKUP");
    // A path whose descriptor would run past the request area is refused,
    // as is one that fills the path field.
    EXPECT_FALSE(MakeMountImageRequest(0, std::u16string(4500, u'a'), *doc));
    EXPECT_FALSE(MakeMountArchiveRequest(0, std::u16string(1024, u'a'), u""));
    EXPECT_TRUE(MakeMountArchiveRequest(0, std::u16string(1023, u'a'), u""));
}

TEST_F(PrivateRuntime, RequestsWithoutAHelperFail) {
    EXPECT_FALSE(HelperRunning());
    EXPECT_FALSE(SendVirtualDriveRequest(MakeDriveCountRequest(1)).has_value());
}

TEST_F(PrivateRuntime, HelperAnswersTheTable) {
    DriveServer server;
    ASSERT_TRUE(server.Start());
    // A second helper does not start beside the first.
    DriveServer second;
    EXPECT_FALSE(second.Start());

    std::atomic<bool> stop{false};
    std::thread serving([&] { server.Serve(stop); });
    SetChannelWaitSliceForTests(200);

    auto raw = [](uint32_t command, uint32_t value) {
        RequestBytes r(kAreaBytes, 0);
        foundation::WriteLE32(r.data(), command);
        foundation::WriteLE32(r.data() + kRequestDrive, value);
        return r;
    };
    RequestBytes unterminated = raw(kCommandMountImage, 0);
    for (size_t i = 0; i < kRequestPathUnits; ++i) unterminated[kRequestPath + 2 * i] = 'a';
    RequestBytes oversizedDescriptor = raw(kCommandMountImage, 0);
    oversizedDescriptor[kRequestPath] = '/';
    foundation::WriteLE32(oversizedDescriptor.data() + kRequestDescriptorLength, uint32_t(kAreaBytes));
    image::DocumentPtr doc(image::NewIsoDocument());
    const RequestBytes missingImage = *MakeMountImageRequest(0, u"/nonexistent/x.iso", *doc);

    const struct {
        const char* what;
        RequestBytes request;
        uint32_t status;
        uint32_t appeared;
        uint32_t wentAway;
    } rows[] = {
        {"command 0", raw(0, 0), kStatusBadRequest, 0, 0},
        {"command 6", raw(6, 0), kStatusBadRequest, 0, 0},
        {"count 24", MakeDriveCountRequest(24), kStatusBadRequest, 0, 0},
        {"unmount before any drive", MakeUnmountRequest(0), kStatusBadRequest, 0, 0},
        {"two drives", MakeDriveCountRequest(2), kStatusOk, (1u << 3) | (1u << 4), 0},
        {"drive 23", MakeUnmountRequest(23), kStatusBadRequest, 0, 0},
        {"drive 2 of 2", MakeUnmountRequest(2), kStatusBadRequest, 0, 0},
        {"unterminated path", unterminated, kStatusBadRequest, 0, 0},
        {"descriptor past the area", oversizedDescriptor, kStatusBadRequest, 0, 0},
        {"image that is not there", missingImage, kStatusOpenFailed, 0, 0},
        {"unmount an empty drive", MakeUnmountRequest(1), kStatusOk, 0, 0},
        {"letter of drive 1", MakeDriveLetterRequest(1, u'q'), kStatusOk, 1u << 16, 1u << 4},
        {"letter in use: the first free one", MakeDriveLetterRequest(0, u'Q'), kStatusOk, 1u << 4, 1u << 3},
        {"one drive", MakeDriveCountRequest(1), kStatusOk, 0, 1u << 16},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const auto reply = SendVirtualDriveRequest(row.request);
        ASSERT_TRUE(reply.has_value());
        EXPECT_EQ(reply->status, row.status);
        EXPECT_EQ(reply->appeared, row.appeared);
        EXPECT_EQ(reply->wentAway, row.wentAway);
    }
    const std::vector<VirtualDriveEntry> table = ReadDriveTable();
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0].letter, u'E');

    stop = true;
    serving.join();
    server.Shutdown();
    EXPECT_TRUE(ReadDriveTable().empty());
    SetChannelWaitSliceForTests(10000);
}

TEST_F(PrivateRuntime, AHelperThatDiesLeavesTheClientWithAnError) {
    auto server = std::make_unique<DriveServer>();
    ASSERT_TRUE(server->Start());
    SetChannelWaitSliceForTests(100);
    // The helper takes no request and then goes away: the waiting client
    // notices at its next slice.
    std::thread ending([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        server.reset();
    });
    EXPECT_FALSE(SendVirtualDriveRequest(MakeDriveCountRequest(1)).has_value());
    ending.join();
    SetChannelWaitSliceForTests(10000);
}

// A client killed between taking the channel and writing its request (a
// Ctrl+C of a mount) does not block the ones after it.
TEST_F(PrivateRuntime, AClientKilledHoldingTheChannelDoesNotBlockTheNext) {
    DriveServer server;
    ASSERT_TRUE(server.Start());
    std::atomic<bool> stop{false};
    std::thread serving([&] { server.Serve(stop); });
    SetChannelWaitSliceForTests(200);
    const pid_t client = fork();
    if (client == 0) {
        // What a client does up to its request, then it dies.
        auto mapping = platform::SharedMapping::Open(ChannelMappingName());
        auto free = platform::NamedEvent::Open(ChannelFreeEventName());
        auto slot = platform::NamedMutex::Create(ChannelSlotMutexName(), false);
        if (!mapping || !free || !slot || free->Wait(5000) != platform::kWaitObject0) _exit(10);
        static_cast<uint8_t*>(mapping->Data())[kSlotTakenOffset] = 1;
        ::kill(::getpid(), SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(client, &status, 0), client);
    ASSERT_TRUE(WIFSIGNALED(status));
    const auto started = std::chrono::steady_clock::now();
    const auto reply = SendVirtualDriveRequest(MakeDriveCountRequest(1));
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->status, kStatusOk);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    stop = true;
    serving.join();
    server.Shutdown();
    SetChannelWaitSliceForTests(10000);
}

// Two optical drives (sr0 and sr1, so D: and E:) keep their letters: the
// virtual drives start at F:, and asking for an optical letter gives a free one.
TEST_F(PrivateRuntime, OpticalDriveLettersStayTheirs) {
    qvtest::RunOk("mkdir -p " + dir_.path() + "/dev && touch " + dir_.path() + "/dev/sr0 " + dir_.path() + "/dev/sr1");
    optical::SrDriveDevices optical(u'D', dir_ / "dev");
    foundation::ScopedServices<foundation::SetDriveDeviceServices> installed{&optical};
    DriveServer server;
    ASSERT_TRUE(server.Start());
    std::atomic<bool> stop{false};
    std::thread serving([&] { server.Serve(stop); });
    SetChannelWaitSliceForTests(200);
    struct Row {
        const char* what;
        RequestBytes request;
        std::u16string letters;   // of the drives afterwards, by number
    };
    const Row rows[] = {
        {"two drives", MakeDriveCountRequest(2), u"FG"},
        {"drive 0 asks for D:", MakeDriveLetterRequest(0, u'D'), u"HG"},
        {"drive 1 asks for E:", MakeDriveLetterRequest(1, u'e'), u"HF"},
        {"four drives", MakeDriveCountRequest(4), u"HFGI"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto reply = SendVirtualDriveRequest(row.request);
        ASSERT_TRUE(reply.has_value());
        EXPECT_EQ(reply->status, kStatusOk);
        std::u16string letters;
        for (const VirtualDriveEntry& d : ReadDriveTable()) letters += d.letter;
        EXPECT_EQ(letters, row.letters);
    }
    stop = true;
    serving.join();
    server.Shutdown();
    SetChannelWaitSliceForTests(10000);
}

TEST_F(PrivateRuntime, DriveTableKeepsOnlyValidRows) {
    qvtest::RunOk("mkdir -p " + dir_.path() + "/quendravine/drives && chmod 700 " + dir_.path() + "/quendravine");
    qvtest::WriteFileText(dir_ / "quendravine/drives/table",
                          "1 E\n0 D\n23 F\n2 C\n3 E\n4 zz\nx y\n1 G\n5 Z\n");
    const std::vector<VirtualDriveEntry> table = ReadDriveTable();
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[0].number, 0u);
    EXPECT_EQ(table[0].letter, u'D');
    EXPECT_EQ(table[1].letter, u'E');
    EXPECT_EQ(table[2].number, 5u);
}

}  // namespace

// The console command line as one table: arguments in, the request's fields or
// the exact refusal out.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cmdline/argument_parser.h"
#include "foundation/console.h"
#include "foundation/file_associations.h"
#include "foundation/settings.h"
#include "image/document/current_document.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using cmdline::CommandLineRequest;
namespace bit = cmdline::command_bit;

struct Case {
    std::vector<std::string> args;   // after the program name
    int result;
    std::string output;              // exact console text
    std::function<void(const CommandLineRequest&, const image::ImageContext&)> check;
};

class ArgumentParser : public ::testing::Test {
protected:
    void SetUp() override { image::g_CurrentDocument = image::NewIsoDocument(); }
    void TearDown() override {
        image::FreeImageDocument(image::g_CurrentDocument);
        image::g_CurrentDocument = nullptr;
        foundation::ResetConsoleForTests();
    }

    // Parses with the console captured; the text it wrote.
    int Parse(const std::vector<std::string>& args, CommandLineRequest& request, std::string& output,
              bool helper = false) {
        const std::string log = dir_ / "console.txt";
        const int fd = ::open(log.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        foundation::SetConsoleStreams(-1, fd);
        std::vector<std::u16string> argv{u"quendravine"};
        for (const std::string& a : args) argv.push_back(platform::Utf8ToUtf16(a));
        const int result = cmdline::ParseCommandLine(argv, helper, request);
        ::close(fd);
        const std::vector<uint8_t> bytes = qvtest::ReadFileBytes(log);
        output.assign(bytes.begin(), bytes.end());
        return result;
    }

    qvtest::TempDir dir_;
};

TEST_F(ArgumentParser, TableOfCommandLines) {
    const std::string longValue(128, 'p');
    const std::string big64k(65536, 'x');
    const std::vector<Case> cases = {
        {{}, -1, "No parameters.", nullptr},
        {{"list", "a.iso", "\\dir\\sub", "-r"}, 0, "", [](auto& r, auto&) {
             EXPECT_EQ(r.command, bit::kList);
             EXPECT_EQ(*r.imagePath, u"a.iso");
             EXPECT_EQ(*r.itemPath, u"/dir/sub");
             EXPECT_EQ(r.flags, cmdline::kFlagRecursive);
         }},
        {{"list", "a.iso"}, -1, "Bad parameter: list", nullptr},
        {{"list", "a.iso", "/", "extract", "a.iso", "/"}, -1, "Bad parameter: extract", nullptr},
        {{"LIST", "a.iso", "/"}, -1, "Unrecognized parameter: LIST", nullptr},
        {{"-R"}, -1, "Unrecognized parameter: -R", nullptr},
        {{"-ot", "DAA"}, 0, "", [](auto& r, auto&) { EXPECT_EQ(r.outputType, cmdline::kOutputDaa); }},
        {{"-ot", "bin"}, 0, "", [](auto& r, auto&) { EXPECT_EQ(r.outputType, cmdline::kOutputBin); }},
        {{"-ot", "cue"}, -1, "Bad parameter: -ot", nullptr},
        {{"-ot", "ZIP"}, 0, "", [](auto& r, auto&) {
             EXPECT_EQ(r.outputType, cmdline::kOutputArchive);
             EXPECT_EQ(r.archiveKind, 1);
         }},
        {{"-ot", "7z"}, 0, "", [](auto& r, auto&) { EXPECT_EQ(r.archiveKind, 2); }},
        {{"-volsize", "100M"}, 0, "", [](auto& r, auto&) {
             EXPECT_TRUE(r.archive.split);
             EXPECT_EQ(r.archive.volumeSize, 104857600);
         }},
        {{"-volsize", "1,048,576"}, 0, "", [](auto& r, auto&) { EXPECT_EQ(r.archive.volumeSize, 1048576); }},
        {{"-volsize", "100K"}, -1, "Bad parameter: -volsize", nullptr},
        {{"-volsize", "99999999999G"}, -1, "Bad parameter: -volsize", nullptr},
        {{"-volsize", "9999999999999999999999"}, -1, "Bad parameter: -volsize", nullptr},
        {{"-volsize", "2049G"}, -1, "Bad parameter: -volsize", nullptr},
        {{"-volsize", "2048G"}, 0, "", nullptr},
        {{"-volsize", ""}, -1, "Bad parameter: -volsize", nullptr},
        {{"setvdnum", "23"}, 0, "", [](auto& r, auto&) {
             EXPECT_EQ(r.command, bit::kSetDriveCount);
             EXPECT_EQ(r.driveCount, 23);
         }},
        {{"setvdnum", "24"}, -1, "Bad parameter: setvdnum", nullptr},
        {{"setvdnum", "x"}, -1, "Bad parameter: setvdnum", nullptr},
        {{"setvdnum", "-1"}, -1, "Bad parameter: setvdnum", nullptr},
        {{"setvdnum", "0x10"}, -1, "Bad parameter: setvdnum", nullptr},
        {{"setvdnum", ""}, -1, "Bad parameter: setvdnum", nullptr},
        {{"-hwnd", "0a1b2c3d"}, 0, "", [](auto& r, auto&) { EXPECT_EQ(r.ownerWindow, 0x3D2C1B0Au); }},
        {{"-hwnd", "0a1b2c3"}, -1, "Bad parameter: -hwnd", nullptr},
        {{"-hwnd", "0a1b2c3g"}, -1, "Bad parameter: -hwnd", nullptr},
        {{"-OO", "S", "64"}, 0, "", [](auto& r, auto&) { EXPECT_EQ(r.tunables.s, 65536); }},
        {{"-OO", "S", "4194305"}, -1, "Bad parameter: -OO", nullptr},
        {{"-OO", "S", "65536"}, -1, "Bad parameter: -OO", nullptr},
        {{"-OO", "S", "100"}, -1, "Bad parameter: -OO", nullptr},
        {{"-OO", "L", "4"}, -1, "Bad parameter: -OO", nullptr},
        {{"-OO", "I", "3"}, 0, "", [](auto& r, auto&) { EXPECT_EQ(r.tunables.i, 3); }},
        {{"-OO", "C"}, 0, "", [](auto& r, auto&) { EXPECT_TRUE(r.tunables.c); }},
        {{"-OO", "Q"}, -1, "Bad parameter: -OO", nullptr},
        {{"-OO", "A"}, -1, "Bad parameter: -OO", nullptr},
        {{"-password", longValue}, -1, "Bad parameter: -password", nullptr},
        {{"-evt", "PE_0000000100000002"}, 0, "", [](auto& r, auto&) { EXPECT_EQ(r.eventName, u"PE_0000000100000002"); }},
        {{"-method", "best"}, 0, "", [](auto& r, auto&) { EXPECT_EQ(r.tunables.l, 3); }},
        {{"-joliet", "4"}, -1, "Jolitet level must be from 0 tp 3.\r\nBad parameter: -joliet", nullptr},
        {{"-joliet", "2"}, 0, "", [](auto&, auto& d) { EXPECT_EQ(d.jolietLevel, 2); }},
        {{"-udf", "ON"}, 0, "", [](auto&, auto& d) { EXPECT_EQ(d.udfFlag, 1); }},
        {{"-udf", "maybe"}, -1, "Usage: -udf on | off\r\nBad parameter: -udf", nullptr},
        {{"-iso-name-len", "31"}, -1, "Usage: -iso-name-len 12 | 30 | 221\r\nBad parameter: -iso-name-len", nullptr},
        {{"-joliet-name-len", "64"}, 0, "", [](auto&, auto& d) { EXPECT_EQ(d.jolietNameLimit, 64); }},
        {{"-vol-creation-datetime", "13-20-2008-08:00:00"}, -1,
         "Usage: -vol-creation-datetime mm-dd-yyyy:hh:mm:ss\r\nBad parameter: -vol-creation-datetime", nullptr},
        {{"-file-datetime", "12-2O-2008-08:00:00"}, -1,
         "Usage: -file-datetime mm-dd-yyyy:hh:mm:ss\r\nBad parameter: -file-datetime", nullptr},
        {{"-file-datetime", "12-20-2008-08:00"}, -1,
         "Usage: -file-datetime mm-dd-yyyy:hh:mm:ss\r\nBad parameter: -file-datetime", nullptr},
        {{"-file-datetime", "12-20-02008-08:00:00"}, -1,
         "Usage: -file-datetime mm-dd-yyyy:hh:mm:ss\r\nBad parameter: -file-datetime", nullptr},
        {{"-comment"}, -1, "Usage: -comment <string>\r\nBad parameter: -comment", nullptr},
        {{"-comment", big64k + "yz"}, 0, "", [](auto& r, auto&) { EXPECT_EQ(r.archive.comment->size(), 65536u); }},
        {{"-add", "/tmp", "bare"}, -1, "Bad parameter: -add", nullptr},
        {{"create"}, -1, "Bad parameter: create", nullptr},
        {{"create", "-o", "x.iso"}, 0, "", [](auto& r, auto&) {
             EXPECT_EQ(r.command, bit::kCreate);
             EXPECT_EQ(*r.outputFile, u"x.iso");
         }},
        {{"unmount", "ALL"}, 0, "", [](auto& r, auto&) { EXPECT_EQ(r.command, bit::kUnmountAll); }},
        {{"unmount", "F:"}, 0, "", [](auto& r, auto&) { EXPECT_EQ(*r.drive, u"F:"); }},
        {{"-label", "BACKUP"}, 0, "", [](auto&, auto& d) { EXPECT_EQ(d.modified, 1); }},
        {{"-?"}, 0, "", [](auto& r, auto&) { EXPECT_EQ(r.command, bit::kHelp); }},
        {{"-email"}, 1, "", [](auto& r, auto&) { EXPECT_EQ(r.endCode, 1); }},
        {{"x\x1b[2Jy"}, -1, "Unrecognized parameter: x?[2Jy", nullptr},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& a : c.args) joined += a.substr(0, 40) + " ";
        SCOPED_TRACE(joined);
        image::FreeImageDocument(image::g_CurrentDocument);
        image::g_CurrentDocument = image::NewIsoDocument();
        CommandLineRequest request;
        std::string output;
        EXPECT_EQ(Parse(c.args, request, output), c.result);
        EXPECT_EQ(output, c.output);
        if (c.check) c.check(request, *image::g_CurrentDocument);
    }
}

TEST_F(ArgumentParser, DatesAreLocalTimeAsTheSystemReadsThem) {
    // The zone's own rules decide, DST gap included; date(1) is the oracle.
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    const struct {
        const char* value;
        const char* oracle;
    } rows[] = {
        {"12-20-2008-08:00:00", "2008-12-20 08:00:00"},
        {"12-20-2008:08:00:00", "2008-12-20 08:00:00"},
        {"07-01-2020-23:59:59", "2020-07-01 23:59:59"},
        {"03-29-2020-02:30:00", "2020-03-29 03:30:00"},   // in the spring-forward gap
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value);
        CommandLineRequest request;
        std::string output;
        ASSERT_EQ(Parse({"-file-datetime", row.value}, request, output), 0);
        const std::string expected =
            qvtest::RunOk(std::string("TZ=Europe/Berlin date -d '") + row.oracle + "' +%s");
        EXPECT_EQ(image::g_CurrentDocument->fileDateTime, std::stoll(expected));
    }
    unsetenv("TZ");
    tzset();
}

TEST_F(ArgumentParser, VolumeSizesMatchNumfmt) {
    for (const char* size : {"100M", "128K", "3G", "1500K"}) {
        SCOPED_TRACE(size);
        CommandLineRequest request;
        std::string output;
        ASSERT_EQ(Parse({"-volsize", size}, request, output), 0);
        EXPECT_EQ(request.archive.volumeSize, std::stoll(qvtest::RunOk(std::string("numfmt --from=iec ") + size)));
    }
}

TEST_F(ArgumentParser, CommentFromFileStopsAtItsFirstZeroAndRefusesNonFiles) {
    const std::string file = dir_ / "comment.txt";
    const char bytes[] = {'a', 'b', 0, 'c'};
    qvtest::WriteFileBytes(file, bytes, sizeof bytes);
    CommandLineRequest request;
    std::string output;
    ASSERT_EQ(Parse({"-comment-from-file", file}, request, output), 0);
    EXPECT_EQ(*request.archive.comment, "ab");

    const std::string fifo = dir_ / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& bad : {fifo, dir_.path(), dir_ / "missing"}) {
        EXPECT_EQ(Parse({"-comment-from-file", bad}, request, output), -1);
        EXPECT_EQ(output, "open file " + bad + " failed.\r\nUsage: -comment <string>\r\nBad parameter: -comment-from-file");
    }
}

// Records what the desktop integration is asked to do; ".rar" cannot be taken.
class RecordedAssociations : public foundation::IFileAssociationServices {
public:
    bool SetAssociation(std::u16string_view extension, bool on) override {
        calls.push_back(platform::Utf16ToUtf8(extension) + (on ? "+" : "-"));
        return !(extension == u".rar" && on);
    }
    std::vector<std::string> calls;
};

// "-vset" applies what the option sheet stored in "Status1" and ends the run:
// 0 when every wish was carried out, else -1 naming the extensions.
TEST_F(ArgumentParser, VsetAppliesTheStoredAssociations) {
    qvtest::TempDir config;
    ::setenv("QV_CONFIG_DIR", config.path().c_str(), 1);
    const struct {
        const char16_t* status1;
        int endCode;
        const char* output;
        std::vector<std::string> calls;
        bool integration;
    } rows[] = {
        {u"", 0, "", {}, true},
        {u"2", 0, "", {}, true},
        {u"10100", 0, "", {".rar-"}, false},   // ".zip" unchanged, ".rar" given back
        {u"2021", -1, "The file associations could not be changed: .rar\r\n", {".rar+", ".7z-"}, true},
        {u"0x1", 0, "", {".rar-"}, true},   // other characters change nothing
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(platform::Utf16ToUtf8(row.status1));
        RecordedAssociations recorded;
        foundation::ScopedServices<foundation::SetFileAssociationServices> scope{&recorded};
        foundation::SetShellIntegration(true);
        foundation::WriteSettingString(u"Status1", row.status1);
        CommandLineRequest request;
        std::string output;
        EXPECT_EQ(Parse({"-vset", "listvd"}, request, output), 1);
        EXPECT_EQ(request.endCode, row.endCode);
        EXPECT_EQ(request.command, 0u);   // nothing after it is read
        EXPECT_EQ(output, row.output);
        EXPECT_EQ(recorded.calls, row.calls);
        EXPECT_EQ(foundation::IsShellIntegrationOn(), row.integration);
    }
    // A NUL ends the text.
    RecordedAssociations recorded;
    foundation::ScopedServices<foundation::SetFileAssociationServices> scope{&recorded};
    EXPECT_TRUE(foundation::ApplyAssociations(std::u16string_view(u"0\0" u"22", 4)).empty());
    EXPECT_TRUE(recorded.calls.empty());
    ::unsetenv("QV_CONFIG_DIR");
}

// "-email FILE" hands the file to xdg-email (a recording stand-in on PATH)
// and ends the run with 1.
TEST_F(ArgumentParser, EmailHandsTheFileToTheMailProgram) {
    const std::string bin = dir_ / "bin";
    qvtest::RunOk("mkdir -p " + qvtest::ShellQuote(bin));
    qvtest::WriteFileText(bin + "/xdg-email", "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args.tmp\"\n"
                                               "mv \"$(dirname \"$0\")/args.tmp\" \"$(dirname \"$0\")/args\"\n");
    ::chmod((bin + "/xdg-email").c_str(), 0755);
    const std::string path = ::getenv("PATH") ? ::getenv("PATH") : "";
    ::setenv("PATH", (bin + ":" + path).c_str(), 1);
    CommandLineRequest request;
    std::string output;
    EXPECT_EQ(Parse({"-email", dir_ / "report file.iso"}, request, output), 1);
    EXPECT_EQ(request.endCode, 1);
    EXPECT_EQ(output, "");
    ::setenv("PATH", path.c_str(), 1);
    for (int i = 0; i < 500 && ::access((bin + "/args").c_str(), F_OK) != 0; ++i) ::usleep(10000);
    const std::vector<uint8_t> args = qvtest::ReadFileBytes(bin + "/args");
    EXPECT_EQ(std::string(args.begin(), args.end()), "--attach\n" + dir_ / "report file.iso" + "\n");
}

TEST_F(ArgumentParser, HelperModeStartsAfterItsSwitchAndWorkingFolderActsFirst) {
    CommandLineRequest request;
    std::string output;
    ASSERT_EQ(Parse({"-ii2", "mount", "x.iso", "F:"}, request, output, true), 0);
    EXPECT_EQ(request.command, bit::kMount);
    EXPECT_EQ(*request.drive, u"F:");

    char* before = ::getcwd(nullptr, 0);
    qvtest::WriteFileText(dir_ / "a.iso", "x");
    ASSERT_EQ(Parse({"extract", "a.iso", "/", "-wd", dir_.path()}, request, output), 0);
    EXPECT_EQ(*request.imagePath, platform::Utf8ToUtf16(dir_ / "a.iso"));
    ASSERT_EQ(::chdir(before), 0);
    ::free(before);
}

}  // namespace

// The prompt service faces: the cancelling stand-in, the scripted face, the
// console face over real streams, the hand-over of an answer between threads,
// and the progress record's cancel event and paused word.

#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "foundation/console_prompts.h"
#include "foundation/progress_callbacks.h"
#include "foundation/prompt_services.h"
#include "foundation/scripted_prompts.h"
#include "foundation/volume_set_services.h"
#include "platform/file.h"
#include "platform/last_error.h"
#include "tests/support/test_support.h"

namespace {

using namespace foundation;

TEST(PromptServices, StandInAnswersEveryKindWithItsCancel) {
    struct Row {
        int32_t kind;
        int32_t answer;
    };
    const Row rows[] = {{1, 4}, {2, 2}, {3, 2}, {4, 2}, {5, 2}, {6, 2}, {7, 2}, {8, 0}, {9, 2}, {10, 0}};
    for (const Row& row : rows) {
        UserPromptRequest request;
        request.kind = row.kind;
        request.answer = 77;
        request.outText = u"stale";
        ChosenSessionIndex().store(3);
        PromptServices().Show(request);
        EXPECT_EQ(request.answer, row.answer) << row.kind;
        EXPECT_TRUE(request.outText.empty());
        EXPECT_EQ(request.outHandle, nullptr);
        if (row.kind == prompt_kind::kChooseSession) {
            EXPECT_EQ(ChosenSessionIndex().load(), -1);
        }
    }
}

TEST(PromptServices, ScriptedAnswersInOrderAndRecords) {
    ScriptedPrompts scripted;
    {
        ScopedServices<foundation::SetPromptServices> scoped(&scripted);
        scripted.PushAnswer(overwrite_answer::kYesToAll);
        ScriptedAnswer password;
        password.answer = kIdOk;
        password.outText = u"secret";
        scripted.Push(password);
        ScriptedAnswer chooser;
        chooser.answer = kIdOk;
        chooser.chosenIndex = 2;
        scripted.Push(chooser);

        UserPromptRequest first;
        first.kind = prompt_kind::kFileExists;
        first.text = u"exists";
        PromptServices().Show(first);
        EXPECT_EQ(first.answer, overwrite_answer::kYesToAll);
        UserPromptRequest second;
        second.kind = prompt_kind::kPassword;
        PromptServices().Show(second);
        EXPECT_EQ(second.outText, u"secret");
        UserPromptRequest third;
        third.kind = prompt_kind::kChooseSession;
        PromptServices().Show(third);
        EXPECT_EQ(ChosenSessionIndex().load(), 2);
        UserPromptRequest empty;
        empty.kind = prompt_kind::kFileExists;
        PromptServices().Show(empty);
        EXPECT_EQ(empty.answer, overwrite_answer::kCancel);
        ASSERT_EQ(scripted.Shown().size(), 4u);
        EXPECT_EQ(scripted.Shown()[0].text, u"exists");
    }
    // Restored: the stand-in answers again.
    UserPromptRequest after;
    after.kind = prompt_kind::kFileExists;
    PromptServices().Show(after);
    EXPECT_EQ(after.answer, overwrite_answer::kCancel);
    EXPECT_EQ(scripted.Shown().size(), 4u);
    ChosenSessionIndex().store(-1);
}

// The window thread answers and completes; the worker sees the whole answer.
TEST(PromptServices, AnswerCrossesThreads) {
    for (int round = 0; round < 50; ++round) {
        UserPromptRequest request;
        request.kind = prompt_kind::kPassword;
        std::thread window([&request] {
            request.answer = kIdOk;
            request.outText = u"typed on the window thread";
            request.Complete();
        });
        request.Wait();
        EXPECT_TRUE(request.IsComplete());
        EXPECT_EQ(request.answer, kIdOk);
        EXPECT_EQ(request.outText, u"typed on the window thread");
        window.join();
    }
}

void RunConsole(const std::string& input, int32_t kind, UserPromptRequest& request, std::string& output) {
    std::FILE* in = ::fmemopen(const_cast<char*>(input.data()), input.size(), "r");
    char* outBuffer = nullptr;
    size_t outSize = 0;
    std::FILE* out = ::open_memstream(&outBuffer, &outSize);
    ASSERT_NE(in, nullptr);
    ASSERT_NE(out, nullptr);
    request.kind = kind;
    request.text = u"Question";
    ConsolePrompts console(in, out);
    console.Show(request);
    std::fclose(in);
    std::fclose(out);
    output.assign(outBuffer, outSize);
    std::free(outBuffer);
}

TEST(PromptServices, ConsoleFace) {
    struct Row {
        int32_t kind;
        std::string input;
        int32_t answer;
        std::u16string outText;
        int32_t outFlag;
    };
    const Row rows[] = {
        {1, "maybe\nYESALL\n", overwrite_answer::kYesToAll, u"", 0},   // unknown answers repeat the question
        {1, "n\n", overwrite_answer::kNo, u"", 0},
        {1, "", overwrite_answer::kCancel, u"", 0},                      // end of input cancels
        {1, "what\n", overwrite_answer::kCancel, u"", 0},
        {2, "ok\n", kIdOk, u"", 0},
        {2, "cancel\n", kIdCancel, u"", 0},
        {5, "skip\n", kIdOk, u"", 1},
        {5, "c\n", kIdCancel, u"", 0},
        {6, "  pass word \r\n", kIdOk, u"  pass word ", 0},   // a password is kept as typed
        {6, "", kIdCancel, u"", 0},
        {7, "y\n", kIdOk, u"", 0},
        {7, "n\n", kIdCancel, u"", 0},
        {8, "", 0, u"", 0},
    };
    for (const Row& row : rows) {
        UserPromptRequest request;
        std::string output;
        RunConsole(row.input, row.kind, request, output);
        EXPECT_EQ(request.answer, row.answer) << row.kind << " " << row.input;
        EXPECT_EQ(request.outText, row.outText) << row.kind << " " << row.input;
        EXPECT_EQ(request.outFlag, row.outFlag) << row.kind << " " << row.input;
    }
    UserPromptRequest repeated;
    std::string output;
    RunConsole("maybe\nyes\n", 1, repeated, output);
    EXPECT_EQ(output.find("Question (Yes/No/YesAll/NoAll/Cancel):"), 0u);
    EXPECT_NE(output.find("Question", 10), std::string::npos);
}

TEST(PromptServices, ConsoleVolumeAndChooser) {
    qvtest::TempDir dir;
    qvtest::WriteFileText(dir / "vol2", "volume");
    qvtest::RunOk("chmod 0444 " + qvtest::ShellQuote(dir / "vol2"));
    UserPromptRequest request;
    std::string output;
    RunConsole(dir / "missing" + "\n" + dir / "vol2" + "\n", prompt_kind::kVolumeRequired, request, output);
    EXPECT_EQ(request.answer, kIdOk);
    ASSERT_NE(request.outHandle, nullptr);   // opened read-only
    char byte = 0;
    EXPECT_EQ(platform::FileReadAt(request.outHandle, 0, &byte, 1), 1);
    EXPECT_EQ(byte, 'v');
    platform::FileClose(request.outHandle);
    UserPromptRequest cancelled;
    RunConsole("\n", prompt_kind::kVolumeRequiredByFormat, cancelled, output);
    EXPECT_EQ(cancelled.answer, kIdCancel);
    EXPECT_EQ(cancelled.outHandle, nullptr);

    UserPromptRequest chooser;
    RunConsole("2\n", prompt_kind::kChooseSession, chooser, output);
    EXPECT_EQ(ChosenSessionIndex().load(), 1);
    RunConsole("x\n", prompt_kind::kChooseSession, chooser, output);
    EXPECT_EQ(ChosenSessionIndex().load(), -1);
}

// A password typed on a terminal is not echoed, and the terminal gets its
// echo back afterwards. The "user" types only once echo is off, as the flush
// that turns it off drops what was typed before.
TEST(PromptServices, ConsolePasswordOnATerminalIsNotEchoed) {
    int master = -1;
    int slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    termios before{};
    ASSERT_EQ(::tcgetattr(slave, &before), 0);
    ASSERT_NE(before.c_lflag & ECHO, 0u);
    std::FILE* in = ::fdopen(slave, "r");
    ASSERT_NE(in, nullptr);
    char* outBuffer = nullptr;
    size_t outSize = 0;
    std::FILE* out = ::open_memstream(&outBuffer, &outSize);
    ASSERT_NE(out, nullptr);

    std::thread user([master, slave] {
        for (int i = 0; i < 1000; ++i) {
            termios now{};
            if (::tcgetattr(slave, &now) == 0 && !(now.c_lflag & ECHO)) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const char typed[] = "s3cret pass\n";
        ssize_t written = ::write(master, typed, sizeof(typed) - 1);
        (void)written;
    });
    UserPromptRequest request;
    request.kind = prompt_kind::kPassword;
    ConsolePrompts console(in, out);
    console.Show(request);
    user.join();
    EXPECT_EQ(request.answer, kIdOk);
    EXPECT_EQ(request.outText, u"s3cret pass");

    // Nothing came back on the terminal, and its echo is on again.
    std::string echoed;
    pollfd ready{master, POLLIN, 0};
    while (::poll(&ready, 1, 100) > 0 && (ready.revents & POLLIN)) {
        char chunk[256];
        ssize_t got = ::read(master, chunk, sizeof(chunk));
        if (got <= 0) break;
        echoed.append(chunk, static_cast<size_t>(got));
    }
    EXPECT_EQ(echoed.find("s3cret"), std::string::npos) << echoed;
    termios after{};
    ASSERT_EQ(::tcgetattr(slave, &after), 0);
    EXPECT_NE(after.c_lflag & ECHO, 0u);
    std::fclose(in);
    std::fclose(out);
    std::free(outBuffer);
    ::close(master);
}

TEST(ProgressRecord, CancelEventAndPausedWord) {
    ProgressCallbacks callbacks;
    int64_t total = 0;
    callbacks.SetTotal = [&](int64_t bytes) { total = bytes; };
    if (callbacks.SetTotal) callbacks.SetTotal(int64_t{5} << 32);
    EXPECT_EQ(total, int64_t{5} << 32);
    EXPECT_FALSE(callbacks.AddDone);   // unset entries are skipped by their callers

    EXPECT_FALSE(callbacks.cancelEvent.WaitFor(std::chrono::milliseconds(1)));
    std::thread window([&] {
        callbacks.paused.store(1);
        callbacks.cancelEvent.Set();
    });
    EXPECT_TRUE(callbacks.cancelEvent.WaitFor(std::chrono::seconds(10)));
    window.join();
    EXPECT_EQ(callbacks.paused.load(), 1);
    EXPECT_TRUE(callbacks.cancelEvent.IsSet());   // manual reset: stays set
    callbacks.cancelEvent.Reset();
    EXPECT_FALSE(callbacks.cancelEvent.IsSet());
}

// The questions of the other layers' open (session, WIM image, password,
// missing volumes) have their stand-ins checked beside their readers' tests.
TEST(VolumeSetServices, StandInOpensThePathAsGiven) {
    std::u16string path = u"/a/b.daa";
    RedirectToFirstVolume(path);
    EXPECT_EQ(path, u"/a/b.daa");
}

}  // namespace

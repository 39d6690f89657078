// The console primitives over pipes: the exact bytes of the progress line, the
// answers of the question with its choices, end of input, and a front end that
// has gone away.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "foundation/console.h"

namespace foundation {
namespace {

class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(pipe(in_), 0);
        ASSERT_EQ(pipe(out_), 0);
        fcntl(out_[0], F_SETFL, O_NONBLOCK);
        ResetConsoleForTests();
        SetConsoleStreams(in_[0], out_[1]);
    }
    void TearDown() override {
        ResetConsoleForTests();
        for (int fd : {in_[0], in_[1], out_[0], out_[1]})
            if (fd >= 0) close(fd);
    }
    void Feed(const std::string& text) {
        ASSERT_EQ(write(in_[1], text.data(), text.size()), ssize_t(text.size()));
    }
    void EndInput() {
        close(in_[1]);
        in_[1] = -1;
    }
    std::string Output() {
        std::string all;
        char buf[4096];
        for (;;) {
            const ssize_t n = read(out_[0], buf, sizeof buf);
            if (n <= 0) break;
            all.append(buf, size_t(n));
        }
        return all;
    }

    int in_[2] = {-1, -1};
    int out_[2] = {-1, -1};
};

TEST_F(ConsoleTest, WriteFormatsWideTextAsUtf8) {
    ConsoleWrite(u"%s: %d%%\r\n", u"Gr\u00fc\u00dfe", 42);
    EXPECT_EQ(Output(), "Gr\xc3\xbc\xc3\x9f" "e: 42%\r\n");
}

TEST_F(ConsoleTest, ProgressLineBytes) {
    ConsoleProgressBegin(u"Writing", 200);
    ConsoleProgressAdd(1);     // 0 %: printed once after the title
    ConsoleProgressAdd(1);     // 2 * 100 / 200 = 1 %
    ConsoleProgressAdd(0);     // unchanged: nothing
    ConsoleProgressSet(500);   // clamped to 100
    ConsoleProgressEnd();
    const std::string bs = "\b\b\b\b\b\b";
    EXPECT_EQ(Output(), "Writing ...     0%" + bs + "    0%" + bs + "    1%" + bs + "  100%" + bs + "  100%");

    ConsoleProgressPercent(5, 0);    // no total: nothing
    ConsoleProgressPercent(1, 3);
    ConsoleProgressPercent(1, 3);    // same value: nothing
    ConsoleProgressTitle(u"Next");   // forgets the last value
    ConsoleProgressPercent(1, 3);
    EXPECT_EQ(Output(), bs + "   33%" + "Next ...     0%" + bs + "   33%");
}

TEST_F(ConsoleTest, TickAtMostOncePerSecond) {
    ConsoleProgressTick();
    ConsoleProgressTick();
    ConsoleProgressTick();
    EXPECT_EQ(Output(), ".");
}

struct AskRow {
    const char* input;
    uint32_t choices;
    int32_t expected;
    int asked;   // how many times the question was written
};

class ConsoleAsk : public ConsoleTest, public ::testing::WithParamInterface<AskRow> {};

TEST_P(ConsoleAsk, MapsAnswers) {
    const AskRow row = GetParam();
    Feed(row.input);
    EndInput();
    EXPECT_EQ(ConsoleAskString(u"Overwrite? ", row.choices), row.expected);
    const std::string out = Output();
    size_t count = 0;
    for (size_t at = out.find("Overwrite? "); at != std::string::npos; at = out.find("Overwrite? ", at + 1))
        ++count;
    EXPECT_EQ(int(count), row.asked) << out;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConsoleAsk,
    ::testing::Values(AskRow{"y\n", kChoiceYes | kChoiceNo, kChoiceYes, 1},
                      AskRow{"YES\r\n", kChoiceYes | kChoiceNo, kChoiceYes, 1},
                      AskRow{"No\n", kChoiceYes | kChoiceNo, kChoiceNo, 1},
                      AskRow{"c\n", kChoiceOk | kChoiceCancel, kChoiceCancel, 1},
                      AskRow{"cancel\n", kChoiceOk | kChoiceCancel, kChoiceCancel, 1},
                      AskRow{" ok \n", kChoiceOk | kChoiceCancel, kChoiceOk, 1},
                      AskRow{"maybe\ny\n", kChoiceYes | kChoiceNo, kChoiceYes, 2},
                      AskRow{"y\nok\n", kChoiceOk | kChoiceCancel, kChoiceOk, 2},   // y not offered
                      AskRow{"", kChoiceYes | kChoiceNo, kChoiceCancel, 1},          // end of input
                      AskRow{"what\n", kChoiceYes | kChoiceNo, kChoiceCancel, 2}));

TEST_F(ConsoleTest, QuestionShowsOfferedChoices) {
    Feed("n\n");
    EXPECT_EQ(ConsoleAskString(u"Go on? ", kChoiceYes | kChoiceNo | kChoiceOk | kChoiceCancel), kChoiceNo);
    EXPECT_EQ(Output(), "Go on? (y/n/Ok/Cancel): ");
    EXPECT_EQ(ConsoleAskString(nullptr, kChoiceYes), -1);
}

TEST_F(ConsoleTest, LostFrontEndEndsTheProcessWithFailure) {
    close(out_[0]);
    out_[0] = -1;
    EXPECT_EXIT(ConsoleWriteString(u"hello"), ::testing::ExitedWithCode(kExitConsoleLost), "");
}

}  // namespace
}  // namespace foundation

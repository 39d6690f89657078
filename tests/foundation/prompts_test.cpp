#include "foundation/prompt_services.h"
#include "foundation/messages.h"
#include "foundation/messages_console.h"
#include "foundation/messages_scripted.h"
#include "foundation/prompts.h"
#include "foundation/strings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <unistd.h>

using namespace foundation;

namespace {

// The prompt dialogs, as the window program would show them: a fixed answer
// and out text, and a note of the thread each ran on.
class StubPrompts : public foundation::IPromptServices {
public:
    void Show(foundation::UserPromptRequest& request) override {
        std::lock_guard<std::mutex> guard(lock);
        kinds.push_back(request.kind);
        threads.push_back(std::this_thread::get_id());
        chosenAtShow = foundation::ChosenSessionIndex().load();
        request.answer = answer;
        request.outText = outText;
        contexts.push_back(request.context);
    }
    std::mutex lock;
    std::vector<void*> contexts;
    int32_t answer = 0;
    std::u16string outText;
    std::vector<int32_t> kinds;
    std::vector<std::thread::id> threads;
    int32_t chosenAtShow = 0;
};

class Prompts : public ::testing::Test {
protected:
    void SetUp() override {
        ResetProcessStateForTests();
    }
    void TearDown() override { ResetProcessStateForTests(); }
    StubPrompts prompts;
    ScopedServices<foundation::SetPromptServices> scopedPrompts{&prompts};
    ScriptedUiServices ui;
    ScopedServices<foundation::SetUiServices> installed{&ui};
};

void WaitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 500 && !condition(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

}  // namespace

TEST_F(Prompts, WorkerWaitsForTheWindowThreadsAnswer) {
    ui.SetProgressDialogOpen(true);
    ui.HoldPrompts(true);
    prompts.answer = 2;   // yes to all
    std::atomic<bool> returned{false};
    int32_t answer = -7;
    int result = -7;
    std::u16string name = u"track01.wav";
    std::thread worker([&] {
        result = RunUserPrompt(1, 0, LangString(kStrNameExists), reinterpret_cast<intptr_t>(name.c_str()),
                               nullptr, &answer, nullptr);
        returned = true;
    });
    WaitFor([&] { return ui.PendingPosts() == 1; });
    ASSERT_EQ(ui.PendingPosts(), 1u);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned);
    ui.HoldPrompts(false);
    worker.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(answer, 2);
    ASSERT_EQ(prompts.threads.size(), 1u);
    EXPECT_EQ(prompts.threads[0], ui.WindowThreadId());
    EXPECT_EQ(ui.DispatchThreads(), std::vector<std::thread::id>{ui.WindowThreadId()});

    // The caller keeps the answer as the standing one; the next question is
    // not put.
    StandingOverwriteAnswer = answer;
    EXPECT_EQ(AskOverwriteName(nullptr, u"track02.wav"), 2);
    EXPECT_EQ(prompts.kinds.size(), 1u);
}

TEST_F(Prompts, OutTextPassesToTheCaller) {
    ui.SetProgressDialogOpen(true);
    prompts.answer = 1;
    prompts.outText = u"secret";
    int32_t answer = 0;
    std::u16string out = u"unset";
    std::thread worker([&] { EXPECT_EQ(RunUserPrompt(6, 0, u"", 0, nullptr, &answer, &out), 0); });
    worker.join();
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(out, u"secret");
}

TEST_F(Prompts, AFailedPostAnswersCancel) {
    ui.SetProgressDialogOpen(true);
    ui.SetPostFails(true);
    struct Row {
        int32_t kind;
        int32_t cancel;
    };
    for (Row row : {Row{1, 4}, Row{2, 2}, Row{3, 2}, Row{5, 2}, Row{6, 2}, Row{7, 2}}) {
        int32_t answer = 0;   // 0 is "yes, overwrite" for kind 1
        std::u16string out = u"untouched";
        EXPECT_EQ(RunUserPrompt(row.kind, 0, u"q", 0, nullptr, &answer, &out), -1) << row.kind;
        EXPECT_EQ(answer, row.cancel) << row.kind;
        EXPECT_EQ(out, u"untouched");
    }
    EXPECT_TRUE(prompts.kinds.empty());

    auto request = std::make_shared<UserPromptRequest>();
    request->kind = 3;
    request->answer = 1;
    EXPECT_EQ(RunUserPromptRequest(request), -1);
    EXPECT_EQ(request->answer, 2);
    EXPECT_EQ(request->outHandle, nullptr);
}

TEST_F(Prompts, AWindowThatGoesAwayAnswersCancel) {
    std::atomic<int> result{-7};
    int32_t answer = 0;
    std::thread worker;
    {
        ScriptedUiServices window;
        ScopedServices<foundation::SetUiServices> scope(&window);
        window.SetProgressDialogOpen(true);
        window.HoldPrompts(true);
        worker = std::thread([&] { result = RunUserPrompt(1, 0, u"q", 0, nullptr, &answer, nullptr); });
        WaitFor([&] { return window.PendingPosts() == 1; });
        ASSERT_EQ(window.PendingPosts(), 1u);
    }
    worker.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(answer, 4);
    EXPECT_TRUE(prompts.kinds.empty());
}

TEST_F(Prompts, WithoutAProgressDialogThePromptRunsHere) {
    prompts.answer = 3;
    int32_t answer = 0;
    EXPECT_EQ(RunUserPrompt(1, 0, u"q", 0, nullptr, &answer, nullptr), 0);
    EXPECT_EQ(answer, 3);
    ASSERT_EQ(prompts.threads.size(), 1u);
    EXPECT_EQ(prompts.threads[0], std::this_thread::get_id());
    EXPECT_EQ(ui.PendingPosts(), 0u);
}

// The file-exists dialog gets the asker's context only in mode 2; in any
// other mode it gets none (-1).
TEST_F(Prompts, FileExistsPassesItsContextOnlyInMode2) {
    int object = 0;
    const struct {
        intptr_t mode;
        void* expected;
    } rows[] = {{0, NoPromptContext()}, {1, NoPromptContext()}, {2, &object}};
    for (const auto& row : rows) {
        int32_t answer = -1;
        EXPECT_EQ(RunUserPrompt(1, row.mode, u"q", 0, &object, &answer, nullptr), 0);
        ASSERT_FALSE(prompts.contexts.empty());
        EXPECT_EQ(prompts.contexts.back(), row.expected) << "mode " << row.mode;
    }
}

TEST_F(Prompts, KindsTheFoundationAnswersItself) {
    // 7: the wrong-password question is a box.
    ui.QueueBoxAnswer(kIdOk);
    int32_t answer = 0;
    RunUserPrompt(7, 0, u"", 0, nullptr, &answer, nullptr);
    EXPECT_EQ(answer, 1);
    RunUserPrompt(7, 0, u"", 0, nullptr, &answer, nullptr);   // nothing pressed: cancel
    EXPECT_EQ(answer, 2);
    auto boxes = ui.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].request.text, u"The password is wrong. ");
    EXPECT_EQ(boxes[0].request.flags, 33u);

    // 9: the chooser's shared choice is cleared first.
    foundation::ChosenSessionIndex() = 5;
    RunUserPrompt(9, 0, u"", 0, nullptr, &answer, nullptr);
    EXPECT_EQ(prompts.chosenAtShow, -1);

    // 8 in console mode: nothing. An unknown kind: cancel, nothing shown.
    ConsoleMode = true;
    RunUserPrompt(8, 0, u"new", 0, nullptr, &answer, nullptr);
    answer = 0;
    RunUserPrompt(42, 0, u"", 0, nullptr, &answer, nullptr);
    EXPECT_EQ(answer, 2);
    EXPECT_EQ(prompts.kinds, std::vector<int32_t>{9});
}

TEST_F(Prompts, ConsoleModeAsksOnTheCallingThread) {
    ConsoleMode = true;
    ui.SetProgressDialogOpen(true);
    ui.QueueConsoleLine(u"maybe");
    ui.QueueConsoleLine(u"YESALL");
    std::u16string name = u"a.iso";
    int32_t answer = -1;
    EXPECT_EQ(RunUserPrompt(1, 0, u"exists", reinterpret_cast<intptr_t>(name.c_str()), nullptr, &answer, nullptr), 0);
    EXPECT_EQ(answer, 2);
    EXPECT_EQ(ui.ConsoleLines(), (std::vector<std::u16string>(2, u"a.iso: exists(Yes/No/YesAll/NoAll/Cancel):")));
    EXPECT_EQ(RunUserPrompt(1, 0, u"exists", 0, nullptr, &answer, nullptr), 0);
    EXPECT_EQ(answer, 4);   // end of input
    EXPECT_TRUE(prompts.kinds.empty());
    EXPECT_EQ(ui.PendingPosts(), 0u);
}

TEST(ConsolePrompt, FileExistsAnswersFromARealPipe) {
    struct Row {
        std::string input;
        int answer;
        int questions;
    };
    const Row rows[] = {
        {"y\n", 0, 1},          {"Yes\n", 0, 1},        {" yes \r\n", 0, 1},   {"n\n", 1, 1},
        {"NO\n", 1, 1},         {"yesall\n", 2, 1},     {"NoAll\n", 3, 1},     {"c\n", 4, 1},
        {"Cancel", 4, 1},       {"maybe\nYESALL\n", 2, 2}, {"", 4, 1},         {"maybe\n", 4, 2},
        {"yess\nno all\nx\n", 4, 4},
    };
    for (const Row& row : rows) {
        int in[2], out[2];
        ASSERT_EQ(pipe(in), 0);
        ASSERT_EQ(pipe(out), 0);
        ASSERT_EQ(write(in[1], row.input.data(), row.input.size()), static_cast<ssize_t>(row.input.size()));
        close(in[1]);
        ConsoleUiServices console(in[0], out[1]);
        EXPECT_EQ(console.AskFileExistsOnConsole(u"x.iso", u"The file already exists."), row.answer) << row.input;
        close(out[1]);
        std::string printed;
        char buffer[512];
        ssize_t n;
        while ((n = read(out[0], buffer, sizeof buffer)) > 0) printed.append(buffer, static_cast<size_t>(n));
        close(in[0]);
        close(out[0]);
        std::string question = "x.iso: The file already exists.(Yes/No/YesAll/NoAll/Cancel):";
        std::string expected;
        for (int i = 0; i < row.questions; ++i) expected += question;
        EXPECT_EQ(printed, expected + "\r\n") << row.input;
    }
}

TEST(ConsolePrompt, AskStringOffersTheChoices) {
    int in[2], out[2];
    ASSERT_EQ(pipe(in), 0);
    ASSERT_EQ(pipe(out), 0);
    const std::string input = "ok\n  Y \n";
    ASSERT_EQ(write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    close(in[1]);
    ConsoleUiServices console(in[0], out[1]);
    EXPECT_EQ(console.ConsoleAskString(u"f.iso: Overwrite?", kAskYes | kAskNo), static_cast<int>(kAskYes));
    EXPECT_EQ(console.ConsoleAskString(u"Retry?", kAskOk | kAskCancel), static_cast<int>(kAskCancel));
    // End of input never passes for consent, whatever was offered.
    EXPECT_EQ(console.ConsoleAskString(u"Again?", kAskYes | kAskNo), static_cast<int>(kAskCancel));
    close(out[1]);
    char buffer[512] = {};
    ssize_t n = read(out[0], buffer, sizeof buffer - 1);
    close(in[0]);
    close(out[0]);
    EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0),
              "f.iso: Overwrite?(y/n): f.iso: Overwrite?(y/n): Retry?(Ok/Cancel): \r\nAgain?(y/n): \r\n");
}

TEST(ConsolePrompt, TakesOnlyItsLineFromASharedInput) {
    int in[2], out[2];
    ASSERT_EQ(pipe(in), 0);
    ASSERT_EQ(pipe(out), 0);
    const std::string input = "n\nnext command\n";
    ASSERT_EQ(write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    close(in[1]);
    ConsoleUiServices console(in[0], out[1]);
    EXPECT_EQ(console.AskFileExistsOnConsole(u"x", u"y"), 1);
    char buffer[64] = {};
    ssize_t n = read(in[0], buffer, sizeof buffer - 1);
    EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0), "next command\n");
    for (int fd : {in[0], out[0], out[1]}) close(fd);
}

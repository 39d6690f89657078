// Behind the console front end: a password is read between the echo markers
// "<E0>" and "<E1>" (also when the input ends), and a console whose session is
// gone ends the process with the console-lost code.

#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

#include "foundation/console.h"
#include "foundation/console_prompts.h"
#include "foundation/operation_status.h"
#include "foundation/user_prompt.h"

namespace {

using namespace foundation;

std::string AskPassword(const std::string& input, UserPromptRequest& request) {
    std::FILE* in = ::fmemopen(const_cast<char*>(input.data()), input.size(), "r");
    char* buffer = nullptr;
    size_t size = 0;
    std::FILE* out = ::open_memstream(&buffer, &size);
    request.kind = prompt_kind::kPassword;
    ConsolePrompts(in, out).Show(request);
    std::fclose(in);
    std::fclose(out);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

TEST(ConsoleMarkers, PasswordBetweenEchoMarkersInConsoleMode) {
    const struct {
        bool consoleMode;
        std::string input;
        std::string output;
        std::u16string password;
    } rows[] = {
        {true, "secret\n", "Please input password:<E0><E1>", u"secret"},
        // Input that ends before an answer is told, after the echo is back.
        {true, "", "Please input password:<E0><E1>\r\nNo password was given.\r\n", u""},
        {false, "secret\n", "Please input password:", u"secret"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.output);
        ConsoleMode = row.consoleMode;
        UserPromptRequest request;
        EXPECT_EQ(AskPassword(row.input, request), row.output);
        EXPECT_EQ(request.outText, row.password);
    }
    ConsoleMode = false;
}

class LostSession final : public IConsoleSessionServices {
public:
    bool SessionAlive() override { return false; }
};

TEST(ConsoleMarkersDeathTest, LostSessionEndsWithConsoleLostCode) {
    EXPECT_EXIT(
        {
            LostSession lost;
            SetConsoleSessionServices(&lost);
            ConsoleWriteString(u"x");
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(kExitConsoleLost), "");
}

}  // namespace

#include "foundation/prompts.h"

#include "foundation/prompt_services.h"
#include "foundation/messages.h"
#include "foundation/strings.h"
#include "platform/text.h"

namespace foundation {

namespace {

std::u16string_view Trimmed(std::u16string_view text) {
    while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == u' ' || text.back() == u'\t' || text.back() == u'\r'))
        text.remove_suffix(1);
    return text;
}

// Kind 1 carries the name as a NUL-terminated text in its value.
std::u16string_view NameOf(const UserPromptRequest& request) {
    if (request.value == 0) return {};
    return std::u16string_view(reinterpret_cast<const char16_t*>(request.value));
}

}  // namespace

int32_t PromptCancelAnswer(int32_t kind) {
    UserPromptRequest probe;
    probe.kind = kind;
    foundation::AnswerCancel(probe);
    return probe.answer;
}

int ParseFileExistsAnswer(std::u16string_view line) {
    line = Trimmed(line);
    struct Choice {
        std::u16string_view word;
        int answer;
    };
    static constexpr Choice kChoices[] = {
        {u"yes", 0}, {u"y", 0},     {u"no", 1},     {u"n", 1},
        {u"yesall", 2}, {u"noall", 3}, {u"cancel", 4}, {u"c", 4},
    };
    for (const Choice& c : kChoices)
        if (platform::EqualsNoCase(line, c.word)) return c.answer;
    return -1;
}

void DispatchUserPrompt(UserPromptRequest& request) {
    switch (request.kind) {
    case foundation::prompt_kind::kFileExists:
        if (ConsoleMode) {
            request.answer = CurrentUiServices().AskFileExistsOnConsole(NameOf(request), request.text);
        } else {
            // Only mode 2 (an audio track) has an object for the dialog to
            // show; any other mode passes none.
            if (request.data != 2) request.context = NoPromptContext();
            foundation::PromptServices().Show(request);
        }
        break;
    case foundation::prompt_kind::kWrongPassword: {
        if (ConsoleMode) {
            // The console asks its own yes/no line.
            foundation::PromptServices().Show(request);
            break;
        }
        int box = AppMessageBox(LangString(kStrPasswordWrong), kMbOkCancel | kMbIconQuestion);
        request.answer = box == kIdOk ? 1 : 2;
        break;
    }
    case foundation::prompt_kind::kNameChangeNotice:
        if (!ConsoleMode) foundation::PromptServices().Show(request);
        break;
    case foundation::prompt_kind::kChooseSession:
        foundation::ChosenSessionIndex().store(-1);
        foundation::PromptServices().Show(request);
        break;
    case foundation::prompt_kind::kCreateVolume:
    case foundation::prompt_kind::kVolumeRequired:
    case foundation::prompt_kind::kVolumeRequiredByFormat:
    case foundation::prompt_kind::kMissingVolumes:
    case foundation::prompt_kind::kPassword:
    case foundation::prompt_kind::kAddProgress:
        foundation::PromptServices().Show(request);
        break;
    default:
        foundation::AnswerCancel(request);
        break;
    }
    request.Complete();
}

int RunUserPromptRequest(const std::shared_ptr<UserPromptRequest>& request) {
    UiServices& ui = CurrentUiServices();
    if (ConsoleMode || !ui.ProgressDialogOpen()) {
        DispatchUserPrompt(*request);
        return 0;
    }
    // The window thread holds its own reference to the request, so whatever
    // happens here it never writes into freed memory.
    if (!ui.PostUserPrompt(request)) {
        foundation::AnswerCancel(*request);
        return -1;
    }
    request->Wait();
    return 0;
}

int RunUserPrompt(int32_t kind, intptr_t data, std::u16string_view text, intptr_t value, void* context,
                  int32_t* answer, std::u16string* outText) {
    auto request = std::make_shared<UserPromptRequest>();
    request->kind = kind;
    request->data = data;
    request->text = std::u16string(text);
    request->value = value;
    request->context = context;
    if (RunUserPromptRequest(request) != 0) {
        // A question never put must not read as "yes, overwrite" (answer 0).
        if (answer) *answer = PromptCancelAnswer(kind);
        return -1;
    }
    if (answer) *answer = request->answer;
    if (outText) *outText = std::move(request->outText);
    return 0;
}

}  // namespace foundation

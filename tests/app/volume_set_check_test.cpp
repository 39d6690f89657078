// A set of DAA volumes written by our save engine, with volumes moved to
// another folder: before the set is converted the user is told which are
// missing and points at their folder (asked again while they are still not
// there), skips them where allowed, or cancels, which writes nothing.

#include "app/volume_set_check.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "app/dialog_services.h"
#include "app/save_engine.h"
#include "foundation/missing_volumes_question.h"
#include "foundation/operation_status.h"
#include "foundation/prompt_services.h"
#include "foundation/prompts.h"
#include "foundation/services.h"
#include "tests/containers/chunk_image_fixture.h"
#include "tests/support/test_support.h"

namespace {

using chunktest::U;
using qvtest::RunOk;
using qvtest::ShellQuote;

struct Answer {
    int32_t answer = foundation::kIdCancel;
    std::u16string folder;
    int32_t skip = 0;
};

// Answers the missing-volumes questions in order and keeps what each showed.
class VolumeFace final : public foundation::IPromptServices {
public:
    std::deque<Answer> answers;
    std::vector<std::vector<std::u16string>> shown;
    std::vector<bool> skipOffered;
    void Show(foundation::UserPromptRequest& request) override {
        foundation::AnswerCancel(request);
        if (request.kind != foundation::prompt_kind::kMissingVolumes || answers.empty()) return;
        const auto* question = static_cast<const foundation::MissingVolumesQuestion*>(request.context);
        shown.push_back(question ? question->missing : std::vector<std::u16string>{});
        skipOffered.push_back(request.data != 0);
        const Answer a = answers.front();
        answers.pop_front();
        request.answer = a.answer;
        request.outText = a.folder;
        request.outFlag = a.skip;
    }
};

class VolumeSetCheck : public ::testing::Test {
protected:
    qvtest::TempDir dir_;
    qvtest::TempDir config_;
    chunktest::Readers readers_;
    VolumeFace face_;
    foundation::ScopedServices<foundation::SetPromptServices> faceScope_{&face_};

    void SetUp() override {
        setenv("QV_CONFIG_DIR", config_.path().c_str(), 1);
        app::InstallDialogServices();
        // Over three volumes of the smallest size the save engine takes.
        RunOk("cd " + ShellQuote(dir_.path()) + " && mkdir tree && head -c 3200000 /dev/urandom > tree/r.bin"
              " && echo hi > tree/a.txt && xorriso -as mkisofs -quiet -J -o t.iso tree 2>/dev/null");
        image::DocumentPtr doc = chunktest::Open(dir_ / "t.iso");
        ASSERT_TRUE(doc);
        doc->splitOutput = 1;
        doc->volumeSize = app::kMinVolumeBytes;
        ASSERT_EQ(app::SaveDocument(*doc, U(dir_ / "v.daa"), -1, nullptr), 0);
        // Volumes 2 and 3 of the set go elsewhere.
        RunOk("cd " + ShellQuote(dir_.path()) + " && ls v.part04.daa >/dev/null && mkdir moved"
              " && mv v.part02.daa v.part03.daa moved/");
    }
    void TearDown() override {
        app::RemoveDialogServices();
        unsetenv("QV_CONFIG_DIR");
    }

    // Saved as one ISO image without a further question, the set gives back
    // the file it was made from.
    void ExpectConvertsWhole(image::ImageContext& doc, const std::string& name) {
        const size_t asked = face_.shown.size();
        doc.splitOutput = 0;
        ASSERT_EQ(app::SaveDocument(doc, U(dir_ / name), -1, nullptr), 0);
        EXPECT_EQ(face_.shown.size(), asked);
        RunOk("isoinfo -J -x /r.bin -i " + ShellQuote(dir_ / name) + " | cmp - " + ShellQuote(dir_ / "tree/r.bin"));
        std::filesystem::remove(dir_ / name);
    }
};

TEST_F(VolumeSetCheck, AnswersToTheMissingVolumesQuestion) {
    struct Row {
        const char* name;
        bool maySkip;
        bool inPlace;
        std::vector<Answer> answers;
        int32_t expected;
        size_t asked;
        bool readsWhole;   // every sector reads back as the source's
    };
    const std::u16string moved = U(dir_ / "moved");
    const std::u16string nowhere = U(dir_ / "nowhere");
    const Row rows[] = {
        {"cancel", true, false, {{foundation::kIdCancel, moved, 0}}, app::kVolumesCancelled, 1, false},
        {"their folder", false, false, {{foundation::kIdOk, moved, 0}}, app::kVolumesReady, 1, true},
        {"a folder without them asks again", false, false,
         {{foundation::kIdOk, nowhere, 0}, {foundation::kIdOk, U(dir_.path()), 0}, {foundation::kIdOk, moved, 0}},
         app::kVolumesReady, 3, true},
        {"skipped where allowed", true, false, {{foundation::kIdOk, u"", 1}}, app::kVolumesReady, 1, false},
        {"skip not allowed asks again", false, false, {{foundation::kIdOk, u"", 1}, {foundation::kIdCancel, u"", 0}},
         app::kVolumesCancelled, 2, false},
        {"kept in place: another folder is not taken", false, true,
         {{foundation::kIdOk, moved, 0}, {foundation::kIdCancel, u"", 0}}, app::kVolumesCancelled, 2, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        image::DocumentPtr doc = chunktest::Open(dir_ / "v.part01.daa");
        ASSERT_TRUE(doc);
        face_.answers.assign(row.answers.begin(), row.answers.end());
        face_.shown.clear();
        face_.skipOffered.clear();
        EXPECT_EQ(app::OpenDocumentVolumesOrAsk(*doc, doc->imagePath, row.maySkip, row.inPlace), row.expected);
        ASSERT_EQ(face_.shown.size(), row.asked);
        EXPECT_EQ(face_.shown.front(), (std::vector<std::u16string>{u"v.part02.daa", u"v.part03.daa"}));
        EXPECT_EQ(face_.skipOffered.front(), row.maySkip);
        if (row.readsWhole) ExpectConvertsWhole(*doc, "whole.iso");
    }
}

TEST_F(VolumeSetCheck, ConvertingTheSetAsksFirstAndCancelWritesNothing) {
    image::DocumentPtr doc = chunktest::Open(dir_ / "v.part01.daa");
    ASSERT_TRUE(doc);
    doc->splitOutput = 0;
    face_.answers = {{foundation::kIdCancel, u"", 0}};
    EXPECT_EQ(app::SaveDocument(*doc, U(dir_ / "out.iso"), -1, nullptr), -1);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusFailed);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "out.iso"));
    ASSERT_EQ(face_.skipOffered.size(), 1u);
    EXPECT_FALSE(face_.skipOffered.front());

    face_.answers = {{foundation::kIdOk, U(dir_ / "moved"), 0}};
    EXPECT_EQ(app::SaveDocument(*doc, U(dir_ / "out.iso"), -1, nullptr), 0);
    RunOk("isoinfo -J -x /r.bin -i " + ShellQuote(dir_ / "out.iso") + " | cmp - " + ShellQuote(dir_ / "tree/r.bin"));
    // All at hand: nothing more is asked.
    RunOk("mv " + ShellQuote(dir_ / "moved") + "/* " + ShellQuote(dir_.path()));
    image::DocumentPtr whole = chunktest::Open(dir_ / "v.part01.daa");
    ASSERT_TRUE(whole);
    EXPECT_EQ(app::OpenDocumentVolumesOrAsk(*whole, whole->imagePath, false), app::kVolumesReady);
    EXPECT_EQ(face_.shown.size(), 2u);
}

}  // namespace

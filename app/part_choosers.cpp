#include "app/part_choosers.h"

#include "filesystems/disk/partition_chooser_services.h"
#include "filesystems/wim/wim_image_chooser_services.h"
#include "foundation/language.h"
#include "foundation/messages_ui.h"
#include "foundation/prompt_services.h"
#include "foundation/prompts.h"
#include "foundation/sizes.h"
#include "image/document/image_context.h"
#include "image/document/session_chooser_services.h"
#include "image/sheets/track_list.h"
#include "platform/format.h"
#include "platform/last_error.h"

namespace app {
namespace {

std::u16string Text(uint32_t id, std::u16string_view english) { return foundation::GetLangString(id, english); }

class PartChoosers final : public image::ISessionChooserServices,
                           public filesystems::IPartitionChooserServices,
                           public filesystems::IWimImageChooserServices {
public:
    int ChooseSession(image::ImageContext* ctx, bool buildTree) override {
        foundation::ChosenSessionIndex().store(-1);
        // Only an image that holds more than one session is asked about.
        if (!buildTree || !ctx || !ctx->trackList || ctx->trackList->sessionCount < 2) return 0;
        const int chosen = AskChooserQuestion(SessionQuestion(*ctx->trackList));
        foundation::ChosenSessionIndex().store(chosen);
        return chosen < 0 ? -1 : 0;
    }
    int ChooseDiskPartition(image::ImageContext&, const std::vector<filesystems::DiskPartitionRow>& rows) override {
        // A disk of one partition leaves nothing to choose: asking would only
        // stop unattended console runs on the commonest disk images.
        if (rows.size() == 1) return 0;
        return AskChooserQuestion(PartitionQuestion(rows));
    }
    int ChooseWimImage(image::ImageContext*, int32_t imageCount) override {
        const int chosen = AskChooserQuestion(WimImageQuestion(imageCount));
        if (chosen < 0) platform::SetLastError(platform::kErrorCancelled);
        return chosen;
    }
};

PartChoosers& Choosers() {
    static PartChoosers choosers;
    return choosers;
}

}  // namespace

ChooserQuestion WimImageQuestion(int32_t imageCount) {
    ChooserQuestion q;
    q.caption = Text(1640, u"Import Image");
    q.columns = {u"Image"};
    q.columnPercents = {90};
    for (int32_t i = 1; i <= imageCount; ++i) q.rows.push_back({platform::Format(u"%d", int(i))});
    return q;
}

ChooserQuestion PartitionQuestion(const std::vector<filesystems::DiskPartitionRow>& rows) {
    ChooserQuestion q;
    q.caption = Text(1650, u"Import Partition");
    q.columns = {Text(1630, u"Partition"), Text(30010, u"Type"), Text(30020, u"Size")};
    q.columnPercents = {20, 40, 35};
    for (size_t i = 0; i < rows.size(); ++i) {
        std::u16string type;
        filesystems::GetPartitionClassName(rows[i].partitionClass, type);
        // Sectors of 512 bytes: 2048 to the megabyte, counted in 64 bits.
        const uint64_t megabytes = rows[i].sectorCount / 2048;
        q.rows.push_back({platform::Format(u"%d", int(i + 1)), type,
                          platform::Format(u"%I64u MB", static_cast<unsigned long long>(megabytes))});
    }
    return q;
}

ChooserQuestion SessionQuestion(const image::TrackList& list) {
    ChooserQuestion q;
    q.columns = {Text(1720, u"Session"), Text(1730, u"Size")};
    q.columnPercents = {50, 40};
    q.caption = Text(0, u"Import Session");
    const std::u16string session = Text(1720, u"Session");
    for (int32_t s = 0; s < list.sessionCount; ++s) {
        const int64_t bytes = image::GetSessionBytes(&list, s);
        q.rows.push_back({platform::Format(u"%s %d", session, int(s + 1)),
                          foundation::FormatSizeKbMb(bytes > 0 ? uint64_t(bytes) : 0)});
    }
    // The last session is what a drive would show.
    q.selected = list.sessionCount > 0 ? list.sessionCount - 1 : 0;
    return q;
}

std::u16string ChooserQuestionText(const ChooserQuestion& question) {
    std::u16string text = question.caption;
    for (size_t i = 0; i < question.rows.size(); ++i) {
        text += platform::Format(u"\r\n%d.", int(i + 1));
        for (const std::u16string& cell : question.rows[i]) text += u"  " + cell;
    }
    return text;
}

int AskChooserQuestion(const ChooserQuestion& question) {
    if (question.rows.empty()) return -1;
    foundation::ChosenSessionIndex().store(-1);
    int32_t answer = foundation::kIdCancel;
    ChooserQuestion asked = question;
    if (foundation::RunUserPrompt(foundation::prompt_kind::kChooseSession, 0, ChooserQuestionText(question), 0,
                                  &asked, &answer, nullptr) != 0)
        return -1;
    const int32_t chosen = foundation::ChosenSessionIndex().load();
    if (answer != foundation::kIdOk || chosen < 0 || size_t(chosen) >= question.rows.size()) return -1;
    return chosen;
}

void InstallPartChoosers() {
    image::SetSessionChooserServices(&Choosers());
    filesystems::SetPartitionChooserServices(&Choosers());
    filesystems::SetWimImageChooserServices(&Choosers());
}

void RemovePartChoosers() {
    image::SetSessionChooserServices(nullptr);
    filesystems::SetPartitionChooserServices(nullptr);
    filesystems::SetWimImageChooserServices(nullptr);
}

}  // namespace app

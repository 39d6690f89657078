// The questions both programs ask through the dialog services, answered by a
// scripted face: the password of a DAA image written by our save engine
// (limits refused, characters the code page cannot hold refused, a wrong one
// asked again, the answer kept while the file is unchanged), and the first
// volume of a set opened from a later one, on hand-built volume headers.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/dialog_services.h"
#include "app/save_engine.h"
#include "containers/daa/daa_container.h"
#include "containers/mzp/mzp_format.h"
#include "foundation/messages_scripted.h"
#include "foundation/scripted_prompts.h"
#include "foundation/services.h"
#include "image/document/password_services.h"
#include "tests/containers/chunk_image_fixture.h"
#include "tests/support/test_support.h"

namespace {

using chunktest::U;
using qvtest::RunOk;
using qvtest::ShellQuote;

struct Environment {
    qvtest::TempDir config;
    chunktest::Readers readers;
    Environment() {
        setenv("QV_CONFIG_DIR", config.path().c_str(), 1);
        setenv("QV_ANSI_CODEPAGE", "1252", 1);
        app::ClearPasswordCache();
        app::InstallDialogServices();
    }
    ~Environment() {
        app::RemoveDialogServices();
        app::ClearPasswordCache();
        unsetenv("QV_ANSI_CODEPAGE");
        unsetenv("QV_CONFIG_DIR");
    }
};

foundation::ScriptedAnswer Typed(std::u16string text) {
    foundation::ScriptedAnswer a;
    a.answer = foundation::kIdOk;
    a.outText = std::move(text);
    return a;
}

foundation::ScriptedAnswer Cancelled() {
    foundation::ScriptedAnswer a;
    a.answer = foundation::kIdCancel;
    return a;
}

// The image saved as DAA with the password "Secret".
void MakePasswordDaa(const qvtest::TempDir& dir) {
    chunktest::MakeIso(dir);
    image::DocumentPtr doc = chunktest::Open(dir / "t.iso");
    ASSERT_TRUE(doc);
    doc->modified = 2;
    doc->passwordEnabled = 1;
    std::string("Secret").copy(doc->writePassword.data(), 6);
    ASSERT_EQ(app::SaveDocument(*doc, U(dir / "p.daa"), -1, nullptr), 0);
}

bool OpensWithPassword(const qvtest::TempDir& dir) {
    image::DocumentPtr doc = chunktest::Open(dir / "p.daa");
    return doc && doc->daaReader && !doc->daaReader->passwordRefused;
}

TEST(DialogServices, AsksForThePasswordOfADaaImageUntilRightOrStopped) {
    Environment environment;
    qvtest::TempDir dir;
    MakePasswordDaa(dir);
    struct Row {
        const char* name;
        std::vector<foundation::ScriptedAnswer> typed;   // kind 6 answers, in order
        std::vector<int> boxes;                          // box answers: refusals and "wrong, try again?"
        bool opens;
        size_t asked;                                    // password questions put
        size_t boxesShown;                               // with the open's own report when it fails
    };
    const std::u16string tooLong(65, u'p');
    const Row rows[] = {
        {"the right password", {Typed(u"Secret")}, {}, true, 1, 0},
        {"cancelled", {Cancelled()}, {}, false, 1, 1},
        {"wrong, then stopped", {Typed(u"secret")}, {foundation::kIdCancel}, false, 1, 2},
        {"wrong, then right", {Typed(u"secret"), Typed(u"Secret")}, {foundation::kIdOk}, true, 2, 1},
        {"over the 64-byte limit: refused, asked again", {Typed(tooLong), Typed(u"Secret")}, {foundation::kIdOk}, true, 2,
         1},
        {"not in the code page: refused, not made '?'", {Typed(u"ab\u5bc6\u7801"), Typed(u"Secret")}, {foundation::kIdOk},
         true, 2, 1},
        {"a NUL would end it early: refused", {Typed(std::u16string(u"Sec\0ret", 7)), Cancelled()}, {foundation::kIdOk},
         false, 2, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        app::ClearPasswordCache();
        foundation::ScriptedPrompts prompts;
        for (const auto& t : row.typed) prompts.Push(t);
        foundation::ScriptedUiServices ui;
        for (int b : row.boxes) ui.QueueBoxAnswer(b);
        foundation::ScopedServices<foundation::SetPromptServices> promptScope{&prompts};
        foundation::ScopedServices<foundation::SetUiServices> uiScope{&ui};
        EXPECT_EQ(OpensWithPassword(dir), row.opens);
        size_t asked = 0;
        for (const auto& shown : prompts.Shown()) asked += shown.kind == foundation::prompt_kind::kPassword ? 1 : 0;
        EXPECT_EQ(asked, row.asked);
        EXPECT_EQ(ui.Boxes().size(), row.boxesShown);
    }
}

TEST(DialogServices, KeepsAPasswordOnlyWhileTheFileIsUnchanged) {
    Environment environment;
    qvtest::TempDir dir;
    MakePasswordDaa(dir);
    foundation::ScriptedPrompts prompts;
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetPromptServices> promptScope{&prompts};
    foundation::ScopedServices<foundation::SetUiServices> uiScope{&ui};
    prompts.Push(Typed(u"Secret"));
    ASSERT_TRUE(OpensWithPassword(dir));
    EXPECT_TRUE(OpensWithPassword(dir));   // from the cache: nothing left to answer with
    EXPECT_EQ(prompts.Shown().size(), 1u);
    RunOk("touch -d '2001-02-03 04:05:06' " + ShellQuote(dir / "p.daa"));
    EXPECT_FALSE(OpensWithPassword(dir));  // asked again; the empty queue cancels
    EXPECT_EQ(prompts.Shown().size(), 2u);
}

TEST(DialogServices, CommandLinePasswordAnswersOnce) {
    Environment environment;
    qvtest::TempDir dir;
    MakePasswordDaa(dir);
    foundation::ScriptedPrompts prompts;
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetPromptServices> promptScope{&prompts};
    foundation::ScopedServices<foundation::SetUiServices> uiScope{&ui};
    app::SetCommandLinePassword(u"Secret");
    EXPECT_TRUE(OpensWithPassword(dir));
    EXPECT_TRUE(prompts.Shown().empty());
    app::ClearPasswordCache();
    EXPECT_FALSE(OpensWithPassword(dir));   // used up: asked, and the empty queue cancels
    EXPECT_EQ(prompts.Shown().size(), 1u);
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> DaaVolumeHeader(size_t length) {
    std::vector<uint8_t> bytes(length, 0);
    const char magic[] = "DAA VOL";
    std::copy(magic, magic + std::min<size_t>(8, length), bytes.begin());
    return bytes;
}

std::vector<uint8_t> XdiPartHeader() {
    std::vector<uint8_t> bytes(40, 0);
    const uint8_t head[] = {'X', 'D', 'I', 0, 40, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0, 40, 0, 0, 0};
    std::copy(std::begin(head), std::end(head), bytes.begin());
    return bytes;
}

TEST(DialogServices, OpensASetFromItsFirstVolume) {
    Environment environment;
    const auto mzp = containers::mzp::BuildVolumeHeader();
    struct File {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    struct Row {
        const char* name;
        std::vector<File> files;
        const char* named;
        const char* expected;   // "" when the open is given up
        size_t boxes;
    };
    const std::vector<uint8_t> plain(100, 'x');
    const Row rows[] = {
        {"a later DAA volume opens the first", {{"x.d00", DaaVolumeHeader(40)}, {"x.daa", plain}}, "x.d00", "x.daa", 0},
        {"the first in another case", {{"x.d00", DaaVolumeHeader(40)}, {"X.DAA", plain}}, "x.d00", "X.DAA", 0},
        {"a self-extracting first volume", {{"x.d00", DaaVolumeHeader(40)}, {"x.exe", plain}}, "x.d00", "x.exe", 0},
        {"no first volume: said, and given up", {{"x.d00", DaaVolumeHeader(40)}}, "x.d00", "", 1},
        {"39 bytes hold no volume header", {{"x.d00", DaaVolumeHeader(39)}}, "x.d00", "x.d00", 0},
        {"the first volume itself", {{"x.daa", plain}}, "x.daa", "x.daa", 0},
        {"an MZP volume", {{"x.part02.mzp", {mzp.begin(), mzp.end()}}, {"x.part01.mzp", plain}}, "x.part02.mzp",
         "x.part01.mzp", 0},
        {"an XDI part", {{"x.part03.xdi", XdiPartHeader()}, {"x.part01.xdi", plain}}, "x.part03.xdi", "x.part01.xdi",
         0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::TempDir dir;
        for (const File& f : row.files) WriteBytes(dir / f.name, f.bytes);
        foundation::ScriptedUiServices ui;
        foundation::ScopedServices<foundation::SetUiServices> uiScope{&ui};
        std::u16string path = U(dir / row.named);
        foundation::RedirectToFirstVolume(path);
        EXPECT_EQ(path, *row.expected ? U(dir / row.expected) : std::u16string());
        EXPECT_EQ(ui.Boxes().size(), row.boxes);
    }
}

}  // namespace

#include "foundation/language.h"
#include "foundation/language_menu.h"
#include "foundation/operation_status.h"
#include "tests/foundation/language_file_builder.h"

#include <gtest/gtest.h>

#include <memory>

using namespace foundation;
using langtest::LangFileBuilder;

namespace {

// A menu as plain data: items are commands (id), separators (id 0) or popups.
struct FakeMenu : TranslatableMenu {
    struct Item {
        std::u16string text;
        uint32_t command = 0;
        std::unique_ptr<FakeMenu> popup;
    };
    std::vector<Item> items;

    FakeMenu& Command(uint32_t id, std::u16string text) {
        items.push_back({std::move(text), id, nullptr});
        return *this;
    }
    FakeMenu& Sub(std::u16string text, std::unique_ptr<FakeMenu> popup) {
        items.push_back({std::move(text), 0, std::move(popup)});
        return *this;
    }
    int ItemCount() const override { return static_cast<int>(items.size()); }
    bool IsPopup(int p) const override { return items[static_cast<size_t>(p)].popup != nullptr; }
    uint32_t CommandId(int p) const override { return items[static_cast<size_t>(p)].command; }
    TranslatableMenu* Popup(int p) override { return items[static_cast<size_t>(p)].popup.get(); }
    void SetText(int p, std::u16string_view text) override { items[static_cast<size_t>(p)].text = text; }
    const std::u16string& Text(int p) const { return items[static_cast<size_t>(p)].text; }
    FakeMenu& At(int p) { return *items[static_cast<size_t>(p)].popup; }
};

std::unique_ptr<FakeMenu> Menu() { return std::make_unique<FakeMenu>(); }

// File / (New > ..., Open, Reopen > recent..., separator, Exit) and Edit.
std::unique_ptr<FakeMenu> MainMenu() {
    auto newMenu = Menu();
    newMenu->Command(33001, u"&Image");
    auto recent = Menu();
    recent->Command(32841, u"1 a.iso").Command(33002, u"Clear");
    auto file = Menu();
    file->Sub(u"&New", std::move(newMenu))
        .Command(32846, u"&New image")
        .Command(32847, u"&Open")
        .Sub(u"&Reopen", std::move(recent))
        .Command(0, u"")
        .Command(32858, u"E&xit");
    auto edit = Menu();
    edit->Command(32956, u"&Copy").Command(32999, u"Other");
    auto root = Menu();
    root->Sub(u"&File", std::move(file)).Sub(u"&Edit", std::move(edit));
    return root;
}

}  // namespace

TEST(LanguageMenu, TranslatesByKeyAndCommand) {
    auto file = ParseLangFile(LangFileBuilder::Language(1031, u"German", u"Deutsch")
                                  .Strings({{10, u"   Neu"}, {260, u"&Kopieren"}})
                                  .Owner(128, {{0xFFFF, u"|0", u"&Datei"},
                                               {0xFFFF, u"|0|3", u"&Zuletzt"},
                                               {0xFFFF, u"|1", u"&Bearbeiten"},
                                               {32847, std::nullopt, u"&\u00d6ffnen"},
                                               {32999, std::nullopt, u""},
                                               {33001, std::nullopt, u"&Abbild"},
                                               {33002, std::nullopt, u"Leeren"},
                                               {32956, std::nullopt, u"ignored: shared text wins"}})
                                  .Build());
    ASSERT_TRUE(file);
    SetCurrentLangFile(std::shared_ptr<const CLangFile>(std::move(file)));
    auto menu = MainMenu();
    TranslateMenuFromFile(*menu, *CurrentLangFile(), 128);
    EXPECT_EQ(menu->Text(0), u"&Datei");
    EXPECT_EQ(menu->Text(1), u"&Bearbeiten");
    FakeMenu& fileMenu = menu->At(0);
    // "|0|0" before command 32846 takes string 10, leading blanks removed.
    EXPECT_EQ(fileMenu.Text(0), u"Neu");
    EXPECT_EQ(fileMenu.At(0).Text(0), u"&Abbild");
    EXPECT_EQ(fileMenu.Text(2), u"&\u00d6ffnen");
    // The recent-file popup (32858 two places on) gets its title, not its items.
    EXPECT_EQ(fileMenu.Text(3), u"&Zuletzt");
    EXPECT_EQ(fileMenu.At(3).Text(1), u"Clear");
    EXPECT_EQ(fileMenu.Text(5), u"E&xit");
    FakeMenu& edit = menu->At(1);
    EXPECT_EQ(edit.Text(0), u"&Kopieren");
    EXPECT_EQ(edit.Text(1), u"Other");   // empty entry: built-in text stays
    SetCurrentLangFile(nullptr);
}

TEST(LanguageMenu, NewPopupKeepsAnEntryOfItsOwn) {
    auto file = ParseLangFile(LangFileBuilder().Owner(128, {{0xFFFF, u"|0|0", u"  Nouveau"}}).Build());
    ASSERT_TRUE(file);
    auto menu = MainMenu();
    TranslateMenuFromFile(*menu, *file, 128);
    EXPECT_EQ(menu->At(0).Text(0), u"Nouveau");
    EXPECT_EQ(menu->Text(0), u"&File");
}

TEST(LanguageDialog, ControlTexts) {
    auto file = ParseLangFile(LangFileBuilder()
                                  .Strings({{30870, u"Jawohl"}})
                                  .Owner(230, {{1, std::nullopt, u"entry for 1"},
                                               {1001, std::nullopt, u"Titel"},
                                               {1002, std::nullopt, u""},
                                               {1003, std::nullopt, u"Durchsuchen"}})
                                  .Build());
    ASSERT_TRUE(file);
    SetCurrentLangFile(std::shared_ptr<const CLangFile>(std::move(file)));
    const CLangFile& f = *CurrentLangFile();
    EXPECT_EQ(TranslatedControlText(f, 230, 1, u"OK"), u"Jawohl");
    EXPECT_EQ(TranslatedControlText(f, 230, 2, u"Cancel"), u"Cancel");
    EXPECT_EQ(TranslatedControlText(f, 230, 1, u"Close"), u"entry for 1");
    EXPECT_EQ(TranslatedControlText(f, 230, 1001, u"Title"), u"Titel");
    EXPECT_FALSE(TranslatedControlText(f, 230, 1002, u"Label"));
    EXPECT_FALSE(TranslatedControlText(f, 230, 1003, u"..."));
    EXPECT_FALSE(TranslatedControlText(f, 231, 1001, u"Title"));
    SetCurrentLangFile(nullptr);

    ResetProcessStateForTests();
    EXPECT_FALSE(LaunchedModeCaption());
    LaunchedVirtualDriveMode = true;
    EXPECT_EQ(LaunchedModeCaption(), u"Quendravine Virtual Drive");
    LaunchedVirtualDriveMode = false;
    LaunchedMountMode = true;
    EXPECT_EQ(LaunchedModeCaption(), u"Quendravine");
    ResetProcessStateForTests();
}

TEST(LanguageMenu, ItemTextsAndLanguageRows) {
    EXPECT_EQ(MenuItemText(33216, u"given"), u"&List");
    EXPECT_EQ(MenuItemText(40000, u"given"), u"given");
    EXPECT_EQ(LanguageMenuText(u"German", u"Deutsch"), u"German (Deutsch)");
    EXPECT_EQ(LanguageMenuCommand(0), 33153u);
    EXPECT_EQ(LanguageMenuCommand(49), 33202u);
}

TEST(LanguageMenu, BuiltInTextsComeBackWithoutAFile) {
    // The template the main menu was built from.
    MenuTemplateNode root;
    root.popup = true;
    MenuTemplateNode file{u"&File", 0, true, {}};
    file.children.push_back({u"&New", 0, true, {{u"&Image", 33001, false, {}}}});
    file.children.push_back({u"&New image", 32846, false, {}});
    file.children.push_back({u"&Open", 32847, false, {}});
    file.children.push_back({u"&Reopen", 0, true, {{u"Recent File", 32841, false, {}}, {u"Clear", 33002, false, {}}}});
    file.children.push_back({u"", 0, false, {}});
    file.children.push_back({u"E&xit", 32858, false, {}});
    MenuTemplateNode edit{u"&Edit", 0, true, {{u"&Copy", 32956, false, {}}, {u"Other", 32999, false, {}}}};
    root.children = {file, edit};

    auto german = ParseLangFile(LangFileBuilder().Owner(128, {{0xFFFF, u"|0", u"&Datei"},
                                                              {32847, std::nullopt, u"\u00d6ffnen"},
                                                              {33001, std::nullopt, u"Abbild"}})
                                    .Build());
    ASSERT_TRUE(german);
    auto menu = MainMenu();
    SetCurrentLangFile(std::shared_ptr<const CLangFile>(std::move(german)));
    ApplyMenuLanguage(*menu, 128, root, true);
    EXPECT_EQ(menu->Text(0), u"&Datei");
    EXPECT_EQ(menu->At(0).At(0).Text(0), u"Abbild");

    SetCurrentLangFile(nullptr);
    ApplyMenuLanguage(*menu, 128, root, true);   // English and "only when not English": untouched
    EXPECT_EQ(menu->Text(0), u"&Datei");
    ApplyMenuLanguage(*menu, 128, root, false);
    EXPECT_EQ(menu->Text(0), u"&File");
    EXPECT_EQ(menu->At(0).Text(2), u"&Open");
    EXPECT_EQ(menu->At(0).At(0).Text(0), u"&Image");
    // Texts made at run time stay; shared command texts win over the template.
    EXPECT_EQ(menu->At(0).At(3).Text(0), u"1 a.iso");
    EXPECT_EQ(menu->At(1).Text(0), u"&Copy to Clipboard\tCtrl+C");
}

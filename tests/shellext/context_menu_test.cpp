// The extension's submenu for each kind of selection, made of real files,
// folders and FIFOs, with a stand-in drive table and the drive helper present
// or not: the whole menu is compared as text.

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "foundation/language.h"
#include "foundation/settings.h"
#include "platform/text.h"
#include "shellext/class_factory.h"
#include "shellext/menu_dump.h"
#include "shellext/shell_extension.h"
#include "tests/shellext/drop_list.h"
#include "tests/support/test_support.h"
#include "vdrive/drive_table.h"

namespace {

using namespace shellext;

// One settings store, runtime folder and work folder for the whole program:
// the runtime folder is taken once per process.
struct Place {
    qvtest::TempDir root;
    std::string work;
    std::string helperDir;
    Place() {
        setenv("QV_CONFIG_DIR", (root / "config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
        qvtest::RunOk("mkdir -m 700 " + qvtest::ShellQuote(root / "run") + " && mkdir -p " +
                      qvtest::ShellQuote(root / "work") + " " + qvtest::ShellQuote(root / "helper") +
                      " && touch " + qvtest::ShellQuote(root / "helper/qvhelper") + " && chmod 755 " +
                      qvtest::ShellQuote(root / "helper/qvhelper"));
        work = root / "work";
        helperDir = root / "helper";
    }
};

Place& ThePlace() {
    static Place place;
    return place;
}

struct Built {
    std::string dump;
    HRESULT result = 0;
    HRESULT initialized = 0;
    std::vector<MenuEntry> entries;
};

CShellExtension* NewExtension() {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(GetClassObject(&CLSID_ShellExtension, &IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    IContextMenu* menu = nullptr;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
    factory->Release();
    return static_cast<CShellExtension*>(menu);
}

Built BuildMenu(const std::vector<std::string>& selection, uint32_t flags = CMF_NORMAL, uint32_t lastId = 0x7FFF) {
    std::vector<std::u16string> names;
    for (const std::string& s : selection) names.push_back(platform::Utf8ToUtf16(s));
    qvtest::DropList drop(names);
    CShellExtension* extension = NewExtension();
    Built built;
    built.initialized = static_cast<IShellExtInit*>(extension)->Initialize(nullptr, &drop, nullptr);
    Menu menu;
    built.result = extension->QueryContextMenu(&menu, 0, 100, lastId, flags);
    built.dump = DumpMenu(menu);
    built.entries = extension->Entries();
    static_cast<IContextMenu*>(extension)->Release();
    EXPECT_EQ(drop.References(), 1u);
    return built;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

void SetDrives(const std::string& letters) {
    std::vector<vdrive::VirtualDriveEntry> drives;
    for (size_t i = 0; i < letters.size(); ++i) {
        drives.push_back({uint32_t(i), char16_t(letters[i])});
        qvtest::RunOk("mkdir -p " + qvtest::ShellQuote(vdrive::DriveFolder(char16_t(letters[i]))));
    }
    ASSERT_TRUE(vdrive::WriteDriveTable(drives));
}

const char* const kCountMenuSmall = R"(  &Set Number of Drives >
    Disable  [drives-0]
    ----
    1 Drives  [drives-1]
    2 Drives  [drives-2]
    3 Drives  [drives-3]
    4 Drives  [drives-4]
    5 Drives  [drives-5]
    6 Drives  [drives-6]
    7 Drives  [drives-7]
    8 Drives  [drives-8]
    ----
    More >
      9 Drives  [drives-9]
      10 Drives  [drives-10]
      11 Drives  [drives-11]
      12 Drives  [drives-12]
      13 Drives  [drives-13]
      14 Drives  [drives-14]
      15 Drives  [drives-15]
      16 Drives  [drives-16]
      17 Drives  [drives-17]
      18 Drives  [drives-18]
      19 Drives  [drives-19]
      20 Drives  [drives-20]
      21 Drives  [drives-21]
      22 Drives  [drives-22]
      23 Drives  [drives-23]
)";

const char* const kOptionsMenu = R"(  Set Drive Options >
    Auto&start  [autostart]
    Auto&mount  [automount] checked
    ----
    &Configuration...  [configure-drives]
)";

std::string CountMenuChecking(const std::string& item) {
    return Replace(kCountMenuSmall, item + "]\n", item + "] checked\n");
}

struct Row {
    std::string name;
    std::string setup;                    // shell commands run in the work folder
    std::vector<std::string> selection;   // names in the work folder ("/" alone: the root)
    std::string drives;                   // letters of the stand-in drive table
    bool installed;
    uint32_t defaultType;
    std::string expected;                 // $W is the work folder
};

TEST(ShellContextMenu, MenuBySelection) {
    Place& place = ThePlace();
    const std::string installedTail = "  ----\n" + CountMenuChecking("drives-0") + kOptionsMenu;
    const std::string install = "  ----\n  Install Quendravine Virtual Drive(Freeware)...  [install-drive]\n";
    const std::vector<Row> rows = {
        {"one image: burn, extract, no drive yet", "touch a.iso", {"a.iso"}, "", true, 0,
         "Quendravine >\n  Burn...  [burn]\n  ----\n  Extract &to  [extract-to]\n  E&xtract here  [extract-here]\n"
         "  Extract here using file names for folders  [extract-by-name]\n  ----\n  <No Drive>  [no-drive] grayed\n" +
             installedTail},
        {"one archive, one drive, helper missing", "touch a.zip", {"a.zip"}, "D", false, 0,
         "Quendravine >\n  Extract &to  [extract-to]\n  E&xtract here  [extract-here]\n"
         "  Extract here using file names for folders  [extract-by-name]\n" + install},
        {"one archive, two drives: a mount submenu", "touch a.7z", {"a.7z"}, "DE", true, 0,
         "Quendravine >\n  Extract &to  [extract-to]\n  E&xtract here  [extract-here]\n"
         "  Extract here using file names for folders  [extract-by-name]\n  ----\n  Mount $W/a.7z to >\n"
         "    Drive [D:] <No media>  [mount-0]\n    Drive [E:] <No media>  [mount-1]\n  ----\n" +
             CountMenuChecking("drives-2") + kOptionsMenu},
        {"a folder with 7z as the default type", "mkdir -p pics", {"pics"}, "", false, 1,
         "Quendravine >\n  Add to archive...  [add-to-archive]\n  &Add to pics.7z  [add-to]\n" + install},
        {"two files in one folder", "mkdir -p a && touch a/x.txt a/y.txt", {"a/x.txt", "a/y.txt"}, "", false, 0,
         "Quendravine >\n  Add to archive...  [add-to-archive]\n  &Add to a.zip  [add-to]\n" + install},
        {"an archive and a text file: packing only", "touch m.zip m.txt", {"m.zip", "m.txt"}, "", false, 0,
         "Quendravine >\n  Add to archive...  [add-to-archive]\n  &Add to work.zip  [add-to]\n" + install},
        {"two archives: packing and extracting", "touch p.zip q.rar", {"p.zip", "q.rar"}, "", false, 3,
         "Quendravine >\n  Add to archive...  [add-to-archive]\n  &Add to work.iso  [add-to]\n  ----\n"
         "  Extract &to  [extract-to]\n  E&xtract here  [extract-here]\n"
         "  Extract here using file names for folders  [extract-by-name]\n" + install},
        {"a FIFO named like an archive is no folder", "rm -f f.zip && mkfifo f.zip", {"f.zip"}, "", false, 0,
         "Quendravine >\n  Extract &to  [extract-to]\n  E&xtract here  [extract-here]\n"
         "  Extract here using file names for folders  [extract-by-name]\n" + install},
        {"a folder named like an archive is packed", "mkdir -p dir.zip", {"dir.zip"}, "", false, 0,
         "Quendravine >\n  Add to archive...  [add-to-archive]\n  &Add to dir.zip.zip  [add-to]\n" + install},
        {"a leading dot starts no extension", "touch .zip", {".zip"}, "", false, 0,
         "Quendravine >\n  Add to archive...  [add-to-archive]\n  &Add to .zip.zip  [add-to]\n" + install},
        {"the root folder gets no packing items", "", {"/"}, "", false, 0, "Quendravine >\n" +
         install.substr(7)},
        {"names with &, %s and a line break", "touch 'R&D %s' \"$(printf 'l\\nf.txt')\"", {"R&D %s"}, "", false, 0,
         "Quendravine >\n  Add to archive...  [add-to-archive]\n  &Add to R&D %s.zip  [add-to]\n" + install},
        {"a line break in a name stays on its line", "", {"l\nf.txt"}, "", false, 0,
         "Quendravine >\n  Add to archive...  [add-to-archive]\n  &Add to l f.zip  [add-to]\n" + install},
        {"a virtual-drive root with nothing mounted", "", {"$DRIVE_E"}, "DE", true, 0,
         "Quendravine >\n  Mount Archive to Drive [E:] <No media>  [mount-drive]\n"
         "  Unmount Drive [E:]  [unmount-empty] grayed\n  ----\n  &Unmount All Drives  [unmount-all]\n" +
             CountMenuChecking("drives-2") + kOptionsMenu + "  ----\n  Add to archive...  [add-to-archive]\n"
             "  &Add to E.zip  [add-to]\n"},
        {"five drives: the count is checked, More follows", "touch n.txt", {"n.txt"}, "DEFGH", true, 0,
         "Quendravine >\n  Add to archive...  [add-to-archive]\n  &Add to n.zip  [add-to]\n  ----\n" +
             CountMenuChecking("drives-5") + kOptionsMenu},
    };
    foundation::WriteSettingDword(u"DefaultFileType", 0);
    foundation::SetVirtualDriveDword(u"Flags", 2);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (!row.setup.empty()) qvtest::RunOk("cd " + qvtest::ShellQuote(place.work) + " && " + row.setup);
        SetDrives(row.drives);
        foundation::SetVirtualDriveString(u"Install_Dir", row.installed ? platform::Utf8ToUtf16(place.helperDir)
                                                                        : platform::Utf8ToUtf16(place.root / "none"));
        foundation::WriteSettingDword(u"DefaultFileType", row.defaultType);
        std::vector<std::string> selection;
        for (const std::string& name : row.selection) {
            if (name == "/") selection.push_back("/");
            else if (name == "$DRIVE_E") selection.push_back(vdrive::DriveFolder(u'E'));
            else selection.push_back(place.work + "/" + name);
        }
        const Built built = BuildMenu(selection);
        EXPECT_EQ(built.initialized, S_OK);
        EXPECT_EQ(built.dump, Replace(row.expected, "$W", place.work));
    }
}

// Twelve drives list every count at once and end with a separator.
TEST(ShellContextMenu, TwelveDrivesListEveryCount) {
    Place& place = ThePlace();
    qvtest::RunOk("touch " + qvtest::ShellQuote(place.work + "/t.txt"));
    SetDrives("DEFGHIJKLMNO");
    foundation::SetVirtualDriveString(u"Install_Dir", platform::Utf8ToUtf16(place.helperDir));
    const Built built = BuildMenu({place.work + "/t.txt"});
    std::string counts = "  &Set Number of Drives >\n    Disable  [drives-0]\n    ----\n";
    for (int n = 1; n <= 23; ++n)
        counts += "    " + std::to_string(n) + " Drives  [drives-" + std::to_string(n) + "]" + (n == 12 ? " checked" : "") + "\n";
    counts += "    ----\n";
    EXPECT_NE(built.dump.find(counts + "  Set Drive Options >\n"), std::string::npos) << built.dump;
}

// What the packing items carry, the flags that build nothing, the count of ids.
TEST(ShellContextMenu, ArgumentsFlagsAndIds) {
    Place& place = ThePlace();
    SetDrives("");
    foundation::SetVirtualDriveString(u"Install_Dir", platform::Utf8ToUtf16(place.root / "none"));
    foundation::WriteSettingDword(u"DefaultFileType", 9);   // out of range: zip
    qvtest::RunOk("mkdir -p " + qvtest::ShellQuote(place.work + "/d/pack"));
    Built built = BuildMenu({place.work + "/d/pack/"});
    ASSERT_EQ(built.entries.size(), 3u);
    EXPECT_EQ(built.entries[0].kind, 1u);
    EXPECT_EQ(built.entries[0].argument.value_or(u""), platform::Utf8ToUtf16(place.work + "/d/pack.zip"));
    EXPECT_EQ(built.entries[1].help, u"Add selected items to " + platform::Utf8ToUtf16(place.work + "/d/pack.zip"));
    // The submenu, two items, a separator and the install item: five ids.
    EXPECT_EQ(built.result, 5);

    EXPECT_EQ(BuildMenu({place.work + "/d/pack"}, CMF_DEFAULTONLY).dump, "");
    EXPECT_EQ(BuildMenu({place.work + "/d/pack"}, CMF_NOVERBS).result, 0);
    EXPECT_NE(BuildMenu({place.work + "/d/pack"}, CMF_EXPLORE).dump, "");
    // The file manager's last id is never passed: the submenu and two items.
    const Built narrow = BuildMenu({place.work + "/d/pack"}, CMF_NORMAL, 102);
    EXPECT_EQ(narrow.result, 3);
    EXPECT_EQ(narrow.dump, "Quendravine >\n  Add to archive...  [add-to-archive]\n  &Add to pack.zip  [add-to]\n");

    // An empty drop list is no selection: nothing to build on.
    const Built none = BuildMenu({});
    EXPECT_EQ(none.initialized, E_FAIL);
    EXPECT_EQ(none.dump, "");
}

// A translation whose conversions differ from the English text is not used.
TEST(ShellContextMenu, TranslationWithOtherConversionsFallsBack) {
    Place& place = ThePlace();
    SetDrives("");
    foundation::WriteSettingDword(u"DefaultFileType", 0);
    qvtest::RunOk("touch " + qvtest::ShellQuote(place.work + "/lang.txt"));
    auto file = std::make_shared<foundation::CLangFile>();
    file->languageId = foundation::GetLanguageSetting();
    file->entries.push_back({0, 30050, false, u"", u"%s%s%n"});
    file->entries.push_back({0, 30040, false, u"", u"Zum Archiv..."});
    foundation::SetCurrentLangFile(file);
    const Built built = BuildMenu({place.work + "/lang.txt"});
    foundation::SetCurrentLangFile(nullptr);
    EXPECT_NE(built.dump.find("  Zum Archiv...  [add-to-archive]\n  &Add to lang.zip  [add-to]\n"), std::string::npos)
        << built.dump;
}

}  // namespace

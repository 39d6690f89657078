// The dispatch inside the extension object: what GetCommandString and
// InvokeCommand answer, and the run-from-archive command (an entry no menu
// builds) with the contents dialog's choice stood in, checked through a
// recording window program.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/services.h"
#include "foundation/settings.h"
#include "platform/text.h"
#include "shellext/class_factory.h"
#include "shellext/shell_extension.h"
#include "shellext/verbs.h"
#include "tests/shellext/drop_list.h"
#include "tests/support/test_support.h"

namespace {

using namespace shellext;

class ChosenRun final : public IArchiveRunServices {
public:
    ArchiveRunChoice RunArchiveContentsDialog(const std::u16string& archivePath) override {
        asked = archivePath;
        return choice;
    }
    ArchiveRunChoice choice;
    std::u16string asked;
};

struct Fixture {
    qvtest::TempDir dir;
    // Outlives the extension, which holds a reference to it.
    qvtest::DropList drop{std::vector<std::u16string>{platform::Utf8ToUtf16(dir / "a.zip")}};
    CShellExtension* extension = nullptr;
    Fixture() {
        setenv("QV_CONFIG_DIR", (dir / "config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (dir / "run").c_str(), 1);
        qvtest::RunOk("mkdir -m 700 " + qvtest::ShellQuote(dir / "run") + " && mkdir " + qvtest::ShellQuote(dir / "bin") +
                      " && touch " + qvtest::ShellQuote(dir / "a.zip"));
        qvtest::WriteFileText(dir / "bin/quendravine",
                              "#!/bin/sh\nprintf '%s\\n' \"$1\" > \"$0.args\"\niconv -f UTF-16LE -t UTF-8 \"$2\" >> \"$0.args\"\n"
                              "rm -f \"$2\"\ntouch \"$0.done\"\n");
        qvtest::RunOk("chmod 755 " + qvtest::ShellQuote(dir / "bin/quendravine"));
        foundation::WriteSettingString(u"Install_Dir", platform::Utf8ToUtf16(dir / "bin"));
        IClassFactory* factory = nullptr;
        GetClassObject(&CLSID_ShellExtension, &IID_IClassFactory, reinterpret_cast<void**>(&factory));
        IContextMenu* menu = nullptr;
        factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu));
        factory->Release();
        extension = static_cast<CShellExtension*>(menu);
        static_cast<IShellExtInit*>(extension)->Initialize(nullptr, &drop, nullptr);
        static_cast<IShellExtInit*>(extension)->Initialize(nullptr, nullptr, nullptr);
        static_cast<IShellExtInit*>(extension)->Initialize(nullptr, &drop, nullptr);
    }
    ~Fixture() {
        static_cast<IContextMenu*>(extension)->Release();
        unsetenv("QV_CONFIG_DIR");
    }
    std::string Recorded() {
        for (int i = 0; i < 200 && qvtest::Run("test -e " + qvtest::ShellQuote(dir / "bin/quendravine.done")).exitCode; ++i)
            qvtest::Run("sleep 0.05");
        const qvtest::CommandResult r = qvtest::Run("cat " + qvtest::ShellQuote(dir / "bin/quendravine.args"));
        qvtest::Run("rm -f " + qvtest::ShellQuote(dir / "bin/quendravine.args") + " " + qvtest::ShellQuote(dir / "bin/quendravine.done"));
        return r.exitCode == 0 ? r.output : std::string();
    }
};

TEST(ShellDispatch, CommandStringsAndVerbs) {
    Fixture f;
    Menu menu;
    static_cast<IContextMenu*>(f.extension)->QueryContextMenu(&menu, 0, 10, 100, CMF_NORMAL);
    ASSERT_FALSE(f.extension->Entries().empty());
    const MenuEntry& first = f.extension->Entries()[0];   // "Extract &to", its help text longer than 5
    char16_t buffer[64];
    auto ask = [&](uintptr_t id, uint32_t type, uint32_t cch) {
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        EXPECT_EQ(static_cast<IContextMenu*>(f.extension)->GetCommandString(id, type, nullptr,
                                                                             reinterpret_cast<char*>(buffer), cch),
                  S_OK);
        return std::u16string(buffer, std::find(std::begin(buffer), std::end(buffer), u'\0'));
    };
    EXPECT_EQ(ask(first.offset, GCS_VERBW, 64), u"Extract &to");
    EXPECT_EQ(ask(first.offset, GCS_HELPTEXTW, 10), first.help.substr(0, 5));
    EXPECT_EQ(ask(999, GCS_HELPTEXTW, 64), u"");
    ask(first.offset, GCS_VERBA, 64);
    EXPECT_EQ(buffer[0], u'#') << "narrow requests write nothing";
    ask(first.offset, GCS_VERBW, 0);
    EXPECT_EQ(buffer[0], u'#') << "no room writes nothing";

    static const char verbText[] = "open";
    CMINVOKECOMMANDINFO info{sizeof(CMINVOKECOMMANDINFO), 0, 0x1234, verbText, nullptr, nullptr, 1};
    EXPECT_EQ(static_cast<IContextMenu*>(f.extension)->InvokeCommand(&info), E_INVALIDARG);
    info.lpVerb = reinterpret_cast<const char*>(uintptr_t(0x10000 + first.offset));
    EXPECT_EQ(static_cast<IContextMenu*>(f.extension)->InvokeCommand(&info), E_INVALIDARG);
    info.lpVerb = reinterpret_cast<const char*>(uintptr_t(777));
    EXPECT_EQ(static_cast<IContextMenu*>(f.extension)->InvokeCommand(&info), E_INVALIDARG);
    EXPECT_EQ(OwnerWindow(), 0x1234u);
    info.lpVerb = reinterpret_cast<const char*>(uintptr_t(first.offset));
    EXPECT_EQ(static_cast<IContextMenu*>(f.extension)->InvokeCommand(&info), S_OK);
    EXPECT_EQ(f.Recorded(), "-pf\n-c OPEN " + (f.dir / "a.zip") + "\r\n-c EXTRACT_DLG " + f.dir.path() + "\r\n");
    SetOwnerWindow(0);
}

TEST(ShellDispatch, RunFromArchive) {
    Fixture f;
    ChosenRun chosen;
    foundation::ScopedServices<SetArchiveRunServices> scope(&chosen);
    f.extension->AddEntryForTest(kKindOpenOrRun, u"");
    const uint32_t offset = f.extension->Entries().back().offset;

    chosen.choice = ArchiveRunChoice{true, true, -1, u"pack/setup.exe"};
    EXPECT_TRUE(f.extension->DispatchCommand(offset));
    EXPECT_EQ(chosen.asked, platform::Utf8ToUtf16(f.dir / "a.zip"));
    const std::string recorded = f.Recorded();
    // The work folder is the run's own, private and kept for the program.
    const size_t at = recorded.find("-c EXTRACT_TO ");
    ASSERT_NE(at, std::string::npos) << recorded;
    const std::string folder = recorded.substr(at + 14, recorded.find("\r\n", at) - at - 14);
    EXPECT_EQ(recorded, "-pf\n-c OPEN " + (f.dir / "a.zip") + "\r\n-c EXTRACT_TO " + folder + "\r\n-c EXEC " + folder +
                            "/pack/setup.exe\r\n-c EXIT\r\n");
    EXPECT_EQ(qvtest::RunOk("stat -c %a " + qvtest::ShellQuote(folder)), "700\n");
    qvtest::RunOk("rmdir " + qvtest::ShellQuote(folder));

    // An item path that climbs out of the folder, or a cancelled dialog: nothing runs.
    for (const ArchiveRunChoice& refused : {ArchiveRunChoice{true, true, -1, u"../../bin/sh"}, ArchiveRunChoice{}}) {
        chosen.choice = refused;
        EXPECT_FALSE(f.extension->DispatchCommand(offset));
    }
    qvtest::Run("sleep 0.3");
    EXPECT_NE(qvtest::Run("test -e " + qvtest::ShellQuote(f.dir / "bin/quendravine.args")).exitCode, 0);
    EXPECT_EQ(qvtest::RunOk("find " + qvtest::ShellQuote(f.dir / "run") + " -name 'command-*'"), "");
}

}  // namespace

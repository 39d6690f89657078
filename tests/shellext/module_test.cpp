// libqvshell.so as a file manager loads it: its exported names, the COM rules
// of its factory and object, and what registration leaves in the settings
// store and the file managers' folders.

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <set>
#include <sstream>
#include <string>

#include "foundation/settings.h"
#include "foundation/shell_integration_services.h"
#include "platform/text.h"
#include "shellext/com.h"
#include "shellext/file_manager_entries.h"
#include "shellext/shell_integration.h"
#include "tests/shellext/drop_list.h"
#include "tests/support/test_support.h"

namespace {

using namespace shellext;

const std::string kModule = std::string(QV_PROGRAM_DIR) + "/libqvshell.so";

struct Module {
    void* handle = dlopen(kModule.c_str(), RTLD_NOW | RTLD_LOCAL);
    DllGetClassObjectFn getClassObject = handle ? reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject")) : nullptr;
    DllCanUnloadNowFn canUnloadNow = handle ? reinterpret_cast<DllCanUnloadNowFn>(dlsym(handle, "DllCanUnloadNow")) : nullptr;
    DllRegisterServerFn registerServer = handle ? reinterpret_cast<DllRegisterServerFn>(dlsym(handle, "DllRegisterServer")) : nullptr;
    DllRegisterServerFn unregisterServer = handle ? reinterpret_cast<DllRegisterServerFn>(dlsym(handle, "DllUnregisterServer")) : nullptr;
    ~Module() {
        if (handle) dlclose(handle);
    }
};

TEST(ShellModule, ExportsExactlyTheFourEntryPoints) {
    const std::string symbols = qvtest::RunOk("nm -D --defined-only " + qvtest::ShellQuote(kModule));
    std::set<std::string> names;
    std::istringstream lines(symbols);
    std::string address, type, name;
    while (lines >> address >> type >> name) names.insert(name);
    EXPECT_EQ(names, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                            "DllUnregisterServer"}))
        << symbols;
}

template <typename T>
T* Get(IUnknown* object, const GUID& iid, HRESULT expected = S_OK) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(object->QueryInterface(iid, &out), expected);
    return static_cast<T*>(out);
}

TEST(ShellModule, FactoryObjectAndUnloading) {
    for (int load = 0; load < 2; ++load) {
        SCOPED_TRACE(load == 0 ? "first load" : "after dlclose");
        Module module;
        ASSERT_NE(module.getClassObject, nullptr) << dlerror();
        void* out = reinterpret_cast<void*>(1);
        const GUID other = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
        EXPECT_EQ(module.getClassObject(&other, &IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(module.getClassObject(&CLSID_ShellExtension, &IID_IClassFactory, nullptr), E_POINTER);
        EXPECT_EQ(module.getClassObject(&CLSID_ShellExtension, &IID_IContextMenu, &out), E_NOINTERFACE);
        EXPECT_EQ(module.canUnloadNow(), S_OK) << "a refused factory is gone";

        IClassFactory* factory = nullptr;
        ASSERT_EQ(module.getClassObject(&CLSID_ShellExtension, &IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
        EXPECT_EQ(factory->LockServer(1), S_OK);
        EXPECT_EQ(factory->LockServer(0), S_OK);
        EXPECT_EQ(module.canUnloadNow(), S_FALSE);
        IUnknown* fake = factory;
        EXPECT_EQ(factory->CreateInstance(fake, IID_IUnknown, &out), CLASS_E_NOAGGREGATION);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu, nullptr), E_POINTER);

        IUnknown* object = nullptr;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
        EXPECT_EQ(factory->Release(), 0u);
        EXPECT_EQ(module.canUnloadNow(), S_FALSE) << "the object still lives";

        // IUnknown is the IShellExtInit pointer; IPersist and IPersistFile one
        // pointer; every interface answers for the same object.
        auto* init = Get<IShellExtInit>(object, IID_IShellExtInit);
        auto* menu = Get<IContextMenu>(init, IID_IContextMenu);
        auto* persist = Get<IPersistFile>(menu, IID_IPersistFile);
        auto* persistBase = Get<IPersist>(persist, IID_IPersist);
        auto* drop = Get<IDropTarget>(persist, IID_IDropTarget);
        EXPECT_EQ(static_cast<void*>(object), static_cast<void*>(init));
        EXPECT_EQ(static_cast<void*>(Get<IUnknown>(drop, IID_IUnknown)), static_cast<void*>(init));
        EXPECT_NE(static_cast<void*>(menu), static_cast<void*>(init));
        EXPECT_EQ(static_cast<void*>(persistBase), static_cast<void*>(persist));
        EXPECT_EQ(Get<void>(menu, IID_IClassFactory, E_NOINTERFACE), nullptr);
        EXPECT_EQ(object->AddRef(), 8u);   // one from creation, six found interfaces, this one

        // A second Initialize gives the first data object back.
        qvtest::DropList first(std::vector<std::u16string>{u"/a"}), second(std::vector<std::u16string>{u"/b"});
        EXPECT_EQ(init->Initialize(nullptr, &first, nullptr), S_OK);
        EXPECT_EQ(first.References(), 2u);
        EXPECT_EQ(init->Initialize(nullptr, &second, nullptr), S_OK);
        EXPECT_EQ(first.References(), 1u);
        EXPECT_EQ(init->Initialize(nullptr, nullptr, nullptr), E_FAIL);
        EXPECT_EQ(second.References(), 1u);

        // Drops with nothing to drop: refused on entry, nothing started on drop.
        qvtest::DropList empty(std::vector<uint8_t>(20, 0));
        uint32_t effect = 7;
        EXPECT_EQ(drop->DragEnter(&empty, 0, POINTL{}, &effect), E_INVALIDARG);
        EXPECT_EQ(effect, DROPEFFECT_NONE);
        EXPECT_EQ(drop->Drop(&empty, 0, POINTL{}, &effect), S_OK);
        EXPECT_EQ(effect, DROPEFFECT_COPY);
        EXPECT_EQ(persist->GetClassID(nullptr), E_NOTIMPL);
        EXPECT_EQ(persist->Load(u"/x.zip", 0), S_OK);

        for (int i = 0; i < 7; ++i) object->Release();
        EXPECT_EQ(module.canUnloadNow(), S_FALSE);
        EXPECT_EQ(object->Release(), 0u);
        EXPECT_EQ(module.canUnloadNow(), S_OK);
    }
}

TEST(ShellModule, RegistrationRowsAndFileManagerEntries) {
    qvtest::TempDir dir;
    setenv("QV_CONFIG_DIR", (dir / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir / "xdgconfig").c_str(), 1);
    Module module;
    ASSERT_NE(module.registerServer, nullptr);
    ASSERT_EQ(module.registerServer(), S_OK);
    const std::string user = qvtest::RunOk("cat " + qvtest::ShellQuote(dir / "config/user.reg"));
    const std::string machine = qvtest::RunOk("cat " + qvtest::ShellQuote(dir / "config/machine.reg"));
    const std::string clsid = "{A6630968-27DC-8DB8-9BCE-E12B3198A9B1}";
    for (const std::string& expected :
         {"[Software\\Classes\\CLSID\\" + clsid + "]\n@=\"Quendravine\"",
          "[Software\\Classes\\CLSID\\" + clsid + "\\InProcServer32]\n@=\"" + kModule + "\"\n\"ThreadingModel\"=\"Apartment\"",
          "[Software\\Classes\\*\\shellex\\ContextMenuHandlers\\Quendravine]\n@=\"" + clsid + "\"",
          "[Software\\Classes\\Folder\\shellex\\ContextMenuHandlers\\Quendravine]\n@=\"" + clsid + "\"",
          "[Software\\Classes\\Directory\\shellex\\ContextMenuHandlers\\Quendravine]\n@=\"" + clsid + "\"",
          "[Software\\Classes\\Quendravine.ZIP\\shellex\\DropHandler]\n@=\"" + clsid + "\""}) {
        EXPECT_NE(user.find(expected), std::string::npos) << expected << "\n" << user;
    }
    EXPECT_NE(machine.find("\"" + clsid + "\"=\"Quendravine\""), std::string::npos) << machine;

    const std::string dolphin = dir / "data/kio/servicemenus/quendravine.desktop";
    EXPECT_EQ(qvtest::Run("desktop-file-validate " + qvtest::ShellQuote(dolphin)).output, "");
    EXPECT_EQ(qvtest::Run("test -x " + qvtest::ShellQuote(dolphin)).exitCode, 0);
    const std::string listing = qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) +
                                              " && find data xdgconfig -type f | sort");
    EXPECT_EQ(listing,
              "data/kio/servicemenus/quendravine.desktop\n"
              "data/nautilus/scripts/Quendravine - Add to archive\n"
              "data/nautilus/scripts/Quendravine - Burn...\n"
              "data/nautilus/scripts/Quendravine - Extract here\n"
              "data/nautilus/scripts/Quendravine - Extract to...\n"
              "data/nautilus/scripts/Quendravine - Mount on the first virtual drive\n"
              "data/nemo/actions/quendravine-add-to.nemo_action\n"
              "data/nemo/actions/quendravine-burn.nemo_action\n"
              "data/nemo/actions/quendravine-extract-here.nemo_action\n"
              "data/nemo/actions/quendravine-extract-to.nemo_action\n"
              "data/nemo/actions/quendravine-mount-0.nemo_action\n"
              "xdgconfig/caja/scripts/Quendravine - Add to archive\n"
              "xdgconfig/caja/scripts/Quendravine - Burn...\n"
              "xdgconfig/caja/scripts/Quendravine - Extract here\n"
              "xdgconfig/caja/scripts/Quendravine - Extract to...\n"
              "xdgconfig/caja/scripts/Quendravine - Mount on the first virtual drive\n");

    ASSERT_EQ(module.unregisterServer(), S_OK);
    const std::string after = qvtest::RunOk("cat " + qvtest::ShellQuote(dir / "config/user.reg"));
    EXPECT_EQ(after.find("InProcServer32"), std::string::npos);
    EXPECT_EQ(after.find("[Software\\Classes\\CLSID\\" + clsid + "]"), std::string::npos);
    EXPECT_EQ(after.find("[Software\\Classes\\*\\"), std::string::npos);
    // What unregistration has always left in place.
    EXPECT_NE(after.find("Folder\\shellex\\ContextMenuHandlers\\Quendravine"), std::string::npos);
    EXPECT_NE(after.find("Directory\\shellex\\ContextMenuHandlers\\Quendravine"), std::string::npos);
    EXPECT_NE(after.find("Quendravine.ZIP\\shellex\\DropHandler"), std::string::npos);
    EXPECT_NE(qvtest::RunOk("cat " + qvtest::ShellQuote(dir / "config/machine.reg")).find(clsid), std::string::npos);
    EXPECT_EQ(qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) + " && find data xdgconfig -type f"), "");
    unsetenv("QV_CONFIG_DIR");
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CONFIG_HOME");
}

// The scripts and the service menu hand each selected name to qvshell as one
// argument, whatever qvshell's own path holds; nothing in a name runs.
TEST(ShellModule, FileManagerEntriesPassNamesAsGiven) {
    qvtest::TempDir dir;
    setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir / "xdgconfig").c_str(), 1);
    const std::string folder = dir / "odd 'folder\" $x";
    const std::string qvshell = folder + "/qvshell";
    qvtest::RunOk("mkdir -p " + qvtest::ShellQuote(folder));
    qvtest::WriteFileText(qvshell, "#!/bin/sh\nfor a in \"$@\"; do printf '<%s>\\n' \"$a\"; done > \"$(dirname \"$0\")/args\"\n");
    qvtest::RunOk("chmod 755 " + qvtest::ShellQuote(qvshell));
    const std::vector<FileManagerEntry> entries = BuildFileManagerEntries(qvshell);
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CONFIG_HOME");
    const std::string names = "'/tmp/a b' '-x' '$(touch pwned)' '/c\"d'";
    const std::string expectedTail = "<--> </tmp/a b> <-x> <$(touch pwned)> </c\"d> ";
    int scripts = 0;
    for (const FileManagerEntry& entry : entries) {
        const std::string path = dir / ("entry" + std::to_string(scripts));
        qvtest::WriteFileText(path, entry.text);
        if (entry.path.find("/scripts/") != std::string::npos) {
            qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) + " && sh " + qvtest::ShellQuote(path) + " " + names);
        } else if (entry.path.find("servicemenus") != std::string::npos) {
            qvtest::RunOk("cp " + qvtest::ShellQuote(path) + " " + qvtest::ShellQuote(dir / "q.desktop"));
            qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) + " && gio launch q.desktop /tmp/a\\ b /tmp/x");
            for (int i = 0; i < 100 && qvtest::Run("test -s " + qvtest::ShellQuote(folder + "/args")).exitCode != 0; ++i)
                qvtest::Run("sleep 0.05");
            EXPECT_EQ(qvtest::RunOk("tr '\\n' ' ' < " + qvtest::ShellQuote(folder + "/args")),
                      "<--menu> <--> </tmp/a b> </tmp/x> ");
            qvtest::RunOk("rm -f " + qvtest::ShellQuote(folder + "/args"));
            continue;
        } else {
            continue;
        }
        ++scripts;
        const std::string args = qvtest::RunOk("tr '\\n' ' ' < " + qvtest::ShellQuote(folder + "/args"));
        // "<--invoke> <verb> " and then the names, untouched.
        const size_t verbEnd = args.find("> ", 11);
        EXPECT_EQ(args.substr(0, 12), "<--invoke> <") << entry.path;
        EXPECT_EQ(args.substr(verbEnd + 2), expectedTail) << entry.path;
        qvtest::RunOk("rm -f " + qvtest::ShellQuote(folder + "/args"));
    }
    EXPECT_EQ(scripts, 10);
    EXPECT_NE(qvtest::Run("test -e " + qvtest::ShellQuote(dir / "pwned")).exitCode, 0);
}

// The program's shell-integration switch runs qvshell of the install folder,
// which writes the file managers' entries, and takes them away again.
TEST(ShellModule, IntegrationSwitchRunsQvshell) {
    qvtest::TempDir dir;
    setenv("QV_CONFIG_DIR", (dir / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir / "xdgconfig").c_str(), 1);
    ASSERT_TRUE(foundation::WriteSettingString(u"Install_Dir", platform::Utf8ToUtf16(QV_PROGRAM_DIR)));
    shellext::InstallShellIntegration();
    const std::string menu = dir / "data/kio/servicemenus/quendravine.desktop";
    ASSERT_TRUE(foundation::SetShellIntegration(true));
    EXPECT_EQ(qvtest::Run("test -x " + qvtest::ShellQuote(menu)).exitCode, 0);
    EXPECT_NE(qvtest::RunOk("cat " + qvtest::ShellQuote(menu)).find("qvshell\" --invoke extract-here -- %F"), std::string::npos);
    ASSERT_TRUE(foundation::SetShellIntegration(false));
    EXPECT_NE(qvtest::Run("test -e " + qvtest::ShellQuote(menu)).exitCode, 0);
    foundation::SetShellIntegrationServices(nullptr);
    unsetenv("QV_CONFIG_DIR");
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CONFIG_HOME");
}

}  // namespace

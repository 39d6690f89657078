// qvshell: the file managers' way into the shell extension, and its test host.
// It loads libqvshell.so from its own folder and drives it as a file manager
// would: the selected files go in as a file-drop list, the extension builds
// its menu, and a command is invoked by the name of its kind
// (shellext/verbs.h), whatever the language of the menu.
//
//   qvshell --menu [--] FILE...           print the menu built for the files
//   qvshell --invoke VERB [--] FILE...    run that command of the menu
//   qvshell --drop ARCHIVE [--] FILE...   drop the files onto the archive
//   qvshell --register | --unregister     (un)register, with the file managers' entries
//
// Exit codes: 0 done, 1 the library failed, 2 bad arguments or a command not
// offered for the files.

#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/folders.h"
#include "platform/text.h"
#include "shellext/com.h"
#include "shellext/drop_files.h"
#include "shellext/menu_dump.h"
#include "shellext/verbs.h"

// The sanitizer build's leak check: the extension's dialogs bring the
// desktop's bus and font libraries, which keep a few allocations until the
// process ends, none of ours.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\nleak:libfontconfig.so\n";
}

namespace {

using namespace shellext;

constexpr uint32_t kFirstId = 1;
constexpr uint32_t kLastId = 0x7FFF;

int Usage() {
    std::fputs("usage: qvshell --menu [--] FILE...\n"
               "       qvshell --invoke VERB [--] FILE...\n"
               "       qvshell --drop ARCHIVE [--] FILE...\n"
               "       qvshell --register | --unregister\n",
               stderr);
    return 2;
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "qvshell: %s\n", text.c_str());
    return 2;
}

// The file-drop list handed to the extension; one reference per holder.
class DropList final : public IDataObject {
public:
    explicit DropList(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    HRESULT QueryInterface(const GUID& iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (!(iid == IID_IUnknown) && !(iid == IID_IDataObject)) return E_NOINTERFACE;
        *object = static_cast<IDataObject*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++references_; }
    // Lives on the host's stack: the count only tells whether the extension
    // gave back what it took.
    ULONG Release() override { return --references_; }
    HRESULT GetData(const FORMATETC* format, STGMEDIUM* medium) override {
        if (!format || !medium) return E_INVALIDARG;
        if (format->cfFormat != CF_HDROP || (format->tymed & TYMED_HGLOBAL) == 0) return DV_E_FORMATETC;
        *medium = STGMEDIUM{TYMED_HGLOBAL, bytes_.data(), bytes_.size(), nullptr, nullptr};
        return S_OK;
    }
    ULONG References() const { return references_; }

private:
    std::vector<uint8_t> bytes_;
    ULONG references_ = 1;
};

struct Library {
    void* handle = nullptr;
    DllGetClassObjectFn getClassObject = nullptr;
    DllRegisterServerFn registerServer = nullptr;
    DllRegisterServerFn unregisterServer = nullptr;
    ~Library() {
        if (handle) dlclose(handle);
    }
};

bool LoadLibrary(Library& library) {
    std::string folder;
    std::u16string wide;
    if (!platform::GetProgramFolder(wide)) return false;
    folder = platform::Utf16ToUtf8(wide);
    library.handle = dlopen((folder + "/libqvshell.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library.handle) {
        std::fprintf(stderr, "qvshell: %s\n", dlerror());
        return false;
    }
    library.getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(library.handle, "DllGetClassObject"));
    library.registerServer = reinterpret_cast<DllRegisterServerFn>(dlsym(library.handle, "DllRegisterServer"));
    library.unregisterServer = reinterpret_cast<DllRegisterServerFn>(dlsym(library.handle, "DllUnregisterServer"));
    return library.getClassObject && library.registerServer && library.unregisterServer;
}

// The names as the extension gets them: absolute, and each one that is there.
bool ReadFiles(const std::vector<const char*>& args, std::vector<std::u16string>& files) {
    std::string cwd;
    for (const char* arg : args) {
        std::string path(arg);
        std::u16string wide;
        if (!platform::Utf8ToUtf16Strict(path, wide)) {
            Fail("a file name is not valid UTF-8: nothing was done");
            return false;
        }
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            Fail(path + ": " + std::strerror(errno) + ": nothing was done");
            return false;
        }
        if (path.empty() || path[0] != '/') {
            if (cwd.empty()) {
                char* here = ::getcwd(nullptr, 0);
                if (!here) return false;
                cwd = here;
                ::free(here);
            }
            path = cwd + "/" + path;
        }
        files.push_back(platform::Utf8ToUtf16(path));
    }
    if (files.empty()) {
        Usage();
        return false;
    }
    return true;
}

const MenuItem* FindVerb(const Menu& menu, const std::string& verb) {
    for (const MenuItem& item : menu.items) {
        if (item.submenu) {
            if (const MenuItem* found = FindVerb(*item.submenu, verb)) return found;
        } else if (!item.separator && !item.grayed && VerbOfKind(item.data) == verb) {
            return &item;
        }
    }
    return nullptr;
}

template <typename Interface>
Interface* Query(IUnknown* object, const GUID& iid) {
    void* out = nullptr;
    return Succeeded(object->QueryInterface(iid, &out)) ? static_cast<Interface*>(out) : nullptr;
}

int RunMenu(Library& library, const std::vector<std::u16string>& files, const std::string& verb, bool dump) {
    IClassFactory* factory = nullptr;
    if (!Succeeded(library.getClassObject(&CLSID_ShellExtension, &IID_IClassFactory, reinterpret_cast<void**>(&factory))))
        return 1;
    IShellExtInit* init = nullptr;
    const HRESULT created = factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init));
    factory->Release();
    if (!Succeeded(created)) return 1;
    DropList drop(BuildDropFiles(files));
    int code = 1;
    if (Succeeded(init->Initialize(nullptr, &drop, nullptr))) {
        if (IContextMenu* context = Query<IContextMenu>(init, IID_IContextMenu)) {
            Menu menu;
            context->QueryContextMenu(&menu, 0, kFirstId, kLastId, CMF_NORMAL);
            if (dump) {
                std::fputs(DumpMenu(menu).c_str(), stdout);
                code = 0;
            } else if (const MenuItem* item = FindVerb(menu, verb)) {
                CMINVOKECOMMANDINFO info{sizeof(CMINVOKECOMMANDINFO), 0, 0,
                                         reinterpret_cast<const char*>(uintptr_t(item->id - kFirstId)), nullptr,
                                         nullptr, 1};
                code = Succeeded(context->InvokeCommand(&info)) ? 0 : 1;
            } else {
                code = Fail("\"" + verb + "\" is not offered for these files");
            }
            context->Release();
        }
    }
    init->Release();
    return code;
}

int RunDrop(Library& library, const std::u16string& archive, const std::vector<std::u16string>& files) {
    IClassFactory* factory = nullptr;
    if (!Succeeded(library.getClassObject(&CLSID_ShellExtension, &IID_IClassFactory, reinterpret_cast<void**>(&factory))))
        return 1;
    IUnknown* object = nullptr;
    const HRESULT created = factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object));
    factory->Release();
    if (!Succeeded(created)) return 1;
    int code = 1;
    IPersistFile* persist = Query<IPersistFile>(object, IID_IPersistFile);
    IDropTarget* target = Query<IDropTarget>(object, IID_IDropTarget);
    if (persist && target) {
        persist->Load(archive.c_str(), 0);
        DropList drop(BuildDropFiles(files));
        uint32_t effect = 0;
        if (Succeeded(target->DragEnter(&drop, 0, POINTL{0, 0}, &effect)) &&
            Succeeded(target->Drop(&drop, 0, POINTL{0, 0}, &effect)))
            code = 0;
    }
    if (persist) persist->Release();
    if (target) target->Release();
    object->Release();
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string mode = argv[1];
    Library library;
    if (mode == "--register" || mode == "--unregister") {
        if (argc != 2) return Usage();
        if (!LoadLibrary(library)) return 1;
        const HRESULT hr = mode == "--register" ? library.registerServer() : library.unregisterServer();
        if (!Succeeded(hr)) std::fprintf(stderr, "qvshell: %s failed (%08x)\n", mode.c_str() + 2, uint32_t(hr));
        return Succeeded(hr) ? 0 : 1;
    }
    int at = 2;
    std::string verb;
    std::u16string archive;
    if (mode == "--invoke" || mode == "--drop") {
        if (argc < 4) return Usage();
        verb = argv[at++];
        if (mode == "--drop") {
            std::vector<std::u16string> target;
            if (!ReadFiles({verb.c_str()}, target)) return 2;
            archive = target[0];
        }
    } else if (mode != "--menu") {
        return Usage();
    }
    if (at < argc && std::strcmp(argv[at], "--") == 0) ++at;
    std::vector<std::u16string> files;
    if (!ReadFiles(std::vector<const char*>(argv + at, argv + argc), files)) return 2;
    if (!LoadLibrary(library)) return 1;
    if (mode == "--drop") return RunDrop(library, archive, files);
    return RunMenu(library, files, verb, mode == "--menu");
}

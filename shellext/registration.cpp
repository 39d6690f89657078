#include "shellext/registration.h"

#include "foundation/registry.h"
#include "platform/format.h"
#include "shellext/file_manager_entries.h"
#include "shellext/program_start.h"

namespace shellext {
namespace {

using foundation::RegistryHive;

constexpr std::u16string_view kClasses = u"Software\\Classes\\";
constexpr std::u16string_view kApproved = u"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

struct Row {
    RegistryHive hive;
    std::u16string key;
    std::u16string name;
    std::u16string data;
};

}  // namespace

std::u16string ClsidText() {
    const GUID& g = CLSID_ShellExtension;
    return platform::Format(u"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.data1, unsigned(g.data2),
                            unsigned(g.data3), unsigned(g.data4[0]), unsigned(g.data4[1]), unsigned(g.data4[2]),
                            unsigned(g.data4[3]), unsigned(g.data4[4]), unsigned(g.data4[5]), unsigned(g.data4[6]),
                            unsigned(g.data4[7]));
}

HRESULT RegisterShellExtension() {
    const std::u16string clsid = ClsidText();
    const std::u16string library = LibraryFilePath();
    const std::u16string classes(kClasses);
    const Row rows[] = {
        {RegistryHive::CurrentUser, classes + u"CLSID\\" + clsid, u"", u"Quendravine"},
        {RegistryHive::CurrentUser, classes + u"CLSID\\" + clsid + u"\\InProcServer32", u"", library},
        {RegistryHive::CurrentUser, classes + u"CLSID\\" + clsid + u"\\InProcServer32", u"ThreadingModel", u"Apartment"},
        {RegistryHive::CurrentUser, classes + u"*\\shellex\\ContextMenuHandlers\\Quendravine", u"", clsid},
        {RegistryHive::CurrentUser, classes + u"Folder\\shellex\\ContextMenuHandlers\\Quendravine", u"", clsid},
        {RegistryHive::CurrentUser, classes + u"Directory\\shellex\\ContextMenuHandlers\\Quendravine", u"", clsid},
        {RegistryHive::CurrentUser, classes + u"Quendravine.ZIP\\shellex\\DropHandler", u"", clsid},
        {RegistryHive::LocalMachine, std::u16string(kApproved), clsid, u"Quendravine"},
    };
    for (const Row& row : rows) {
        if (!foundation::RegistryWrite(row.hive, row.key, row.name, foundation::RegistryValue::String(row.data)))
            return SELFREG_E_CLASS;
    }
    return InstallFileManagerEntries() ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterShellExtension() {
    const std::u16string clsid = ClsidText();
    const std::u16string classes(kClasses);
    for (const std::u16string& key : {classes + u"CLSID\\" + clsid + u"\\InProcServer32", classes + u"CLSID\\" + clsid,
                                      classes + u"*\\shellex\\ContextMenuHandlers\\Quendravine"}) {
        if (!foundation::RegistryDeleteKey(RegistryHive::CurrentUser, key)) return SELFREG_E_CLASS;
    }
    foundation::RegistryDeleteKey(RegistryHive::LocalMachine, std::u16string(kApproved) + u"\\Quendravine");
    return RemoveFileManagerEntries() ? S_OK : SELFREG_E_CLASS;
}

}  // namespace shellext

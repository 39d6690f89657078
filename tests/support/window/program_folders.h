#pragma once
// A window test's own configuration, runtime and install folders: the
// program reads its settings, runtime objects and language files from them
// instead of the user's, and starts from the built-in language.

#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "foundation/language.h"
#include "foundation/registry.h"
#include "foundation/settings.h"
#include "platform/text.h"

namespace qvtest {

inline void UsePrivateProgramFolders(const std::string& config, const std::string& runtime, const std::string& install) {
    setenv("QV_CONFIG_DIR", config.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    foundation::ResetLanguageStateForTests();
    foundation::RegistryWrite(foundation::RegistryHive::LocalMachine, foundation::kInstallKey, u"Install_Dir",
                              foundation::RegistryValue::String(platform::Utf8ToUtf16(install)));
    mkdir((install + "/Lang").c_str(), 0700);
}

}  // namespace qvtest

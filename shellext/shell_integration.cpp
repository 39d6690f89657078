#include "shellext/shell_integration.h"

#include "foundation/shell_integration_services.h"
#include "platform/process.h"
#include "platform/sync.h"

namespace shellext {
namespace {

// Registration writes a few small files: it is done well within this.
constexpr uint32_t kRegisterWaitMs = 10000;

class QvshellIntegration final : public foundation::IShellIntegrationServices {
public:
    void ApplyShellIntegration(bool on, const std::u16string& installDir) override {
        if (installDir.empty()) return;
        auto process = platform::Process::Start({installDir + u"/qvshell", on ? u"--register" : u"--unregister"});
        if (process) process->Wait(kRegisterWaitMs);
    }
};

}  // namespace

void InstallShellIntegration() {
    static QvshellIntegration integration;
    foundation::SetShellIntegrationServices(&integration);
}

}  // namespace shellext

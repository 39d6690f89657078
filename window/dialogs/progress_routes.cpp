#include "window/dialogs/progress_routes.h"

#include <memory>

#include "window/dialogs/progress_prompts.h"
#include "window/dialogs/save_progress.h"

namespace dialogs::ui {

namespace {

struct Routes {
    std::unique_ptr<ProgressUiServices> faces;
    foundation::UiServices* previous = nullptr;
};

Routes& Installed() {
    static Routes routes;
    return routes;
}

}  // namespace

void InstallProgressRoutes(foundation::UiServices& windowFace) {
    RemoveProgressRoutes();
    Routes& routes = Installed();
    routes.faces = std::make_unique<ProgressUiServices>(windowFace);
    routes.previous = foundation::SetUiServices(routes.faces.get());
    InstallSaveProgress();
}

void RemoveProgressRoutes() {
    Routes& routes = Installed();
    if (!routes.faces) return;
    RemoveSaveProgress();
    foundation::SetUiServices(routes.previous);
    routes.faces.reset();
    routes.previous = nullptr;
}

}  // namespace dialogs::ui

#include "app/ui/window_program.h"

#include <QApplication>
#include <QMainWindow>

namespace app::ui {

int RunWindowProgram(int argc, char** argv) {
    QApplication application(argc, argv);
    QMainWindow frame;
    frame.setWindowTitle(QStringLiteral("Quendravine"));
    frame.show();
    return application.exec();
}

}  // namespace app::ui

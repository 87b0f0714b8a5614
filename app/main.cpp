#include "app/ErrorBox.h"
#include "app/GatePicture.h"
#include "app/uEmulador.h"

#include <QApplication>

using namespace Catraca;

int main(int, char *argv[])
{
    // The program takes no arguments: only the program's name reaches the
    // toolkit, so nothing on the command line changes how it runs.
    static char fallbackName[] = "Emulador";
    int toolkitArgc = 1;
    char *toolkitArgv[] = {argv[0] ? argv[0] : fallbackName, nullptr};
    QApplication application(toolkitArgc, toolkitArgv);
    application.setWindowIcon(GatePicture::ProgramIcon());
    ErrorBox::Install();

    // Building the window runs its start-up; an error there is shown before
    // the window appears.
    T_FrmEmulador mainWindow;
    mainWindow.show();
    return application.exec();
}

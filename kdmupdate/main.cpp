// kdmupdate: the KDM-9 firmware update tool.
#include "Form1.h"
#include "Program.h"

#include "devicelink/UnitCommands.h"
#include "ui/ProgramLifetime.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Form1 decides when the program ends: not while the microcontroller
    // write window is on screen, not inside a download.
    QApplication::setQuitOnLastWindowClosed(false);
    kdm::ui::exitOnTerminationSignals();

    kdm::ui::UnitConnection connection(kdm::KdmupdateIdentities);
    kdm::ui::TickTimer ticks;
    kdm::ui::QtFileDialogs dialogs;
    kdmupdate::Program program{connection.link(), ticks, dialogs, kdm::ui::endProgramAtOnce};

    kdmupdate::Form1 form1(program);
    form1.show();
    return QApplication::exec();
}

// kdmtool: the KDM-9 video signal adjustment tool.
#include "Form1.h"
#include "Program.h"

#include "devicelink/UnitCommands.h"
#include "ui/ProgramLifetime.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The program ends when Form1 closes, whatever other windows are open.
    QApplication::setQuitOnLastWindowClosed(false);
    kdm::ui::exitOnTerminationSignals();

    kdm::ui::UnitConnection connection(kdm::KdmtoolIdentities);
    kdm::ui::TickTimer ticks;
    kdm::ui::QtFileDialogs dialogs;
    kdmtool::Program program{connection.link(), ticks, dialogs, kdm::ui::endProgramAtOnce};

    kdmtool::Form1 form1(program);
    form1.show();
    return QApplication::exec();
}

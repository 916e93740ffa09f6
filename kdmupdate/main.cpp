// kdmupdate: the KDM-9 firmware update tool.
#include "Form1.h"

#include "ui/ProgramLifetime.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    kdm::ui::exitOnTerminationSignals();

    kdmupdate::Form1 form1;
    form1.show();
    return QApplication::exec();
}

// kdmtool's main window: connects to the unit at start-up, shows whether it is
// connected, opens the tool windows and starts the command-file download.
// Closing it closes the device handles and ends the program.
#pragma once

#include "Program.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class QLineEdit;
class QPushButton;

namespace kdmtool {

class Form2;
class Form5;
class Form6;

class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(Program &program, QWidget *parent = nullptr);
    ~Form1() override; // tool windows still open go with it, without their close handling

    // Runs LocateDevice once and shows the outcome.
    void connect();

    // The command-file download: asks for a file and writes it into the
    // unit's flash at DownloadAddress, with its steps and verdict in Text1.
    // While it runs, nothing else in the program reaches the unit: the four
    // buttons and every tool window are disabled, and closing Form1 ends the
    // program only once the download has finished. Does nothing when called
    // inside a download.
    void download();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // Shows the single instance of a tool window, loading it first when it is
    // not loaded (a window that was closed is loaded afresh).
    template <typename Window> void showToolWindow(QPointer<Window> &window)
    {
        if (!window) {
            window = new Window(m_program);
            window->setAttribute(Qt::WA_DeleteOnClose);
            m_toolWindows.append(window.data());
        }
        window->show();
        window->raise();
        window->activateWindow();
    }

    Program &m_program;
    QList<QPointer<QWidget>> m_toolWindows;
    QPointer<Form5> m_form5;
    QPointer<Form6> m_form6;
    QPointer<Form2> m_form2;
    bool m_downloadRunning = false;
    bool m_closeRequested = false;
    QLineEdit *Text1;
    QPushButton *Command1;
    QPushButton *Command2;
    QPushButton *Command10;
    QPushButton *Command3;
};

} // namespace kdmtool

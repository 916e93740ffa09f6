// The microcontroller write window: asks the user to start the unit's own
// microcontroller write, sends the one command that starts it, then tells the
// user to wait for the unit's LED and quit. The write runs inside the unit;
// the PC neither waits for it nor hears of its end.
#pragma once

#include "Program.h"

#include <QPixmap>
#include <QWidget>

class QPlainTextEdit;
class QPushButton;

namespace kdmupdate {

class Form2 : public QWidget {
    Q_OBJECT
public:
    explicit Form2(Program &program, QWidget *parent = nullptr);

signals:
    // The window's load: its first showing.
    void loaded();
    // Cancel: the window hides and stays loaded.
    void cancelled();
    // Exit: the user asks to end the program.
    void exitRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void microcontrollerWrite();

    Program &m_program;
    bool m_loaded = false;
    QPixmap m_background;
    QPushButton *Command1;
    QPushButton *Command2;
    QPlainTextEdit *Text1;
    QPushButton *Command3;
};

} // namespace kdmupdate

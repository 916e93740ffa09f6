// The on-screen remote control "KDM-9　リモコン": 32 picture buttons, each
// pressing one key of the unit's remote control. The panel keeps no state.
#pragma once

#include "Program.h"

#include <QImage>
#include <QWidget>

class QGroupBox;
class QLabel;

namespace kdmtool {

class Form2 : public QWidget {
    Q_OBJECT
public:
    explicit Form2(Program &program, QWidget *parent = nullptr);

    const QImage &background() const { return m_background; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Program &m_program;
    QImage m_background;
    QGroupBox *Frame1;
    QGroupBox *Frame3;
    QGroupBox *Frame5;
    QGroupBox *Frame4;
    QGroupBox *Frame2;
    QLabel *Label2;
    QLabel *Label1;
};

} // namespace kdmtool

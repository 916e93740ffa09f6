// The capture window, "KDM-9 Capture Tool": reads the unit's current input
// frame line by line into the program's FrameBuffer and shows it as it
// arrives, saves it as a bitmap, and works the unit's four stored-image slots.
//
// Loading the window returns the unit to its live picture, selects its RGB
// input and checks that its FPGA selection is B2; without B2 only the slot
// buttons and exit stay usable until the window is loaded again.
#pragma once

#include "FrameCapture.h"
#include "Program.h"

#include <QWidget>

#include <array>
#include <cstdint>

class QAbstractButton;
class QCheckBox;
class QTimer;

namespace kdmtool {

class CapturePicture;
class StatusTextBox;

class Form5 : public QWidget {
    Q_OBJECT
public:
    explicit Form5(Program &program, QWidget *parent = nullptr);

protected:
    // While a capture or a REC sequence runs, closing hides the window and
    // lets the sequence end first: a capture stops after its current line and
    // still sends FreezeSet. The window closes once the sequence has ended.
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    class SequenceScope;

    void load();
    void record();                  // Command1, REC
    void capture();                 // Command2
    void saveBitmap();              // Command4
    void showStoredImage(int slot); // Command6 to Command9
    void showLivePicture();         // Command10
    void advanceCaptureTicks();     // Timer1

    // Reads the frame line by line into FrameBuffer. A lost report leaves
    // zeros and the transfer goes on; a unit that answers none of more
    // reports in a row than a line has ends it, with the no-picture text.
    void transferFrame(const CaptureGeometry &geometry);
    void fitPicture(const CaptureGeometry &geometry);
    // Resets CaptureTicks and processes events until it has reached `ticks`.
    void waitCaptureTicks(int ticks);

    Program &m_program;

    std::int16_t CaptureTicks = 0;
    std::int16_t FreezeState = 0;
    std::int16_t StopRequested = 0;

    int m_sequencesRunning = 0;
    bool m_closeWhenIdle = false;

    CapturePicture *Picture1;
    QAbstractButton *Command6;
    QAbstractButton *Command7;
    QAbstractButton *Command8;
    QAbstractButton *Command9;
    QCheckBox *Check1;
    QCheckBox *Check2;
    QCheckBox *Check3;
    QCheckBox *Check4;
    QAbstractButton *Command10;
    QAbstractButton *Command1;
    QAbstractButton *Command2;
    QAbstractButton *Command3;
    QAbstractButton *Command4;
    QAbstractButton *Command5;
    StatusTextBox *Text1;
    QTimer *Timer1;

    std::array<QCheckBox *, 4> m_slotUsed;
};

} // namespace kdmtool

// The timing window "入出力映像信号調整": fourteen scroll bars over the
// unit's timing registers, each committed change written at once; "data save"
// and "data load" store the register block in a file and bring it back.
//
// When first shown it reads the block from the unit (TimingAccess open, ten
// reads with pauses); closing it tells the unit that timing access ends.
// An opening that lost a reply shows what it read but offers nothing that
// writes or saves; the window is closed and opened again to read afresh.
// While one of its sequences pauses, its controls are disabled, so neither a
// second load nor a bar change can run inside it. Closing the window during a
// pause ends the sequence there: the unit gets TimingWriteEnd for any writes
// already sent, then the TimingAccess close, once. Destroyed without a close
// (the program ends from the main window) it sends nothing.
#pragma once

#include "Program.h"
#include "TimingAdjustment.h"

#include <QString>
#include <QWidget>

#include <array>

class QGroupBox;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace kdmtool {

class Form6 : public QWidget {
    Q_OBJECT
public:
    explicit Form6(Program &program, QWidget *parent = nullptr);

    // True from creation until the opening has read the block, and while a
    // file load runs.
    bool isLoading() const { return m_loading; }

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void loadFromUnit();
    void saveData();
    void loadData();

    // The value-changed handling of the bar for TimingParameters[index].
    void valueChanged(std::size_t index, int value);
    // Sets every bar from the mirror, in table order.
    void showMirror();
    // Sets one bar; a value above the bar's range widens it so that bar and
    // mirror agree and nothing is written back.
    void showValue(std::size_t index, int value);

    TimingAdjustment::Pause pauseWhileOpen();
    void setLoading(bool loading);

    Program &m_program;
    TimingAdjustment m_timing;
    // What the shared file dialog last held: the save pattern or the last file chosen.
    QString m_dialogFileName;
    bool m_loading = true;
    // What the opening found; until it has ended nothing is offered.
    TimingAdjustment::Opening m_opening = TimingAdjustment::Opening::Interrupted;
    bool m_openingStarted = false;
    bool m_closed = false;

    QGroupBox *Frame1;
    QGroupBox *Frame2;
    QGroupBox *Frame3;
    QGroupBox *Frame4;
    QPushButton *Command1;
    QPushButton *Command2;
    // Named after their parameters (h2pos, h2pos_txt, ...), in table order.
    std::array<QScrollBar *, TimingParameters.size()> m_bars{};
    std::array<QLineEdit *, TimingParameters.size()> m_texts{};
};

} // namespace kdmtool

#include "Form2.h"

#include "Backgrounds.h"
#include "devicelink/UnitCommands.h"
#include "ui/Fonts.h"
#include "ui/Controls.h"
#include "ui/Twips.h"

#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>

namespace kdmupdate {

namespace {

const QString Caption = QStringLiteral("KDM-9 CPU書き込み");
const QString OfferText = QStringLiteral("マイコン書き込みボタンを押してください。\n"
                                         "マイコン書き込み中はKDM-9の電源を切らないでください\n"
                                         "。\n");
const QString WaitText = QStringLiteral("KDM-9のLEDが点滅終了するまでお待ちください。\n");
const QString QuitText = QStringLiteral("点滅終了後、本ソフトを終了してください。");

} // namespace

using kdm::ui::namedControl;
using kdm::ui::twipsRect;

Form2::Form2(Program &program, QWidget *parent)
    : QWidget(parent), m_program(program),
      Command1(namedControl<QPushButton>(this, "Command1", twipsRect(120, 960, 1695, 495),
                                         QStringLiteral("マイコン\u3000書き込み"))),
      Command2(
          namedControl<QPushButton>(this, "Command2", twipsRect(4320, 960, 1695, 495), QStringLiteral("キャンセル"))),
      Text1(new QPlainTextEdit(this)),
      Command3(namedControl<QPushButton>(this, "Command3", twipsRect(2160, 960, 1695, 495), QStringLiteral("終了")))
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(Caption);
    setFixedSize(kdm::ui::twipsSize(6195, 1635));
    m_background = circuitBoardBackground(size());

    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(twipsRect(120, 120, 5895, 735));
    Text1->setFont(kdm::ui::msPGothic(11.25));
    Text1->setReadOnly(true);
    // Three lines fill the box exactly, as the texts were written for it.
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->document()->setDocumentMargin(1);
    Text1->setPlainText(OfferText);

    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Text1);
    setTabOrder(Text1, Command3);

    QObject::connect(Command1, &QPushButton::clicked, this, &Form2::microcontrollerWrite);
    QObject::connect(Command2, &QPushButton::clicked, this, [this] {
        emit cancelled();
        hide();
    });
    QObject::connect(Command3, &QPushButton::clicked, this, &Form2::exitRequested);
}

void Form2::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_loaded) {
        m_loaded = true;
        emit loaded();
    }
}

void Form2::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_background);
}

void Form2::microcontrollerWrite()
{
    Text1->setPlainText(WaitText + QuitText);
    Command2->setEnabled(false);
    Command1->setEnabled(false);
    // Bytes 2 to 7 go out as the previous command left them.
    kdm::DeviceLink &link = m_program.link;
    link.CommandReport[0] = kdm::code(kdm::Command::MicrocontrollerWrite);
    link.CommandReport[1] = 0;
    link.SendOutputReport(link.CommandReport);
}

} // namespace kdmupdate

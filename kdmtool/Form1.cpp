#include "Form1.h"

#include "Form2.h"
#include "Form5.h"
#include "Form6.h"

#include "ui/Fonts.h"
#include "ui/Twips.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QPushButton>

namespace kdmtool {

namespace {

const QString Caption = QStringLiteral("KDM-9 映像信号調整TOOL Ver 0.80");
const QString UnitFoundText = QStringLiteral("ＫＤＭ－９  Ｃｏｎｎｅｃｔ");
const QString UnitNotFoundText = QStringLiteral("ＫＤＭ－９\u3000No\u3000Ｃｏｎｎｅｃｔ");

QPushButton *button(QWidget *parent, const char *name, const QString &caption, QRect geometry)
{
    auto *control = new QPushButton(caption, parent);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(geometry);
    return control;
}

} // namespace

using kdm::ui::twipsRect;

Form1::Form1(Program &program, QWidget *parent)
    : QWidget(parent), m_program(program), Text1(new QLineEdit(this)),
      Command1(button(this, "Command1", QStringLiteral("入出力映像信号調整"), twipsRect(240, 1200, 1815, 495))),
      Command2(button(this, "Command2", QStringLiteral("リモートコントロール"), twipsRect(2160, 1200, 1815, 495))),
      Command10(button(this, "Command10", QStringLiteral("vomo cmd\u3000load"), twipsRect(4080, 1200, 1575, 495))),
      Command3(button(this, "Command3", QStringLiteral("キャプチャー"), twipsRect(5760, 1200, 1575, 495)))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(Caption);
    setFixedSize(kdm::ui::twipsSize(7395, 1890));

    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(twipsRect(360, 360, 6135, 495));
    Text1->setFont(kdm::ui::msPGothic(11.25));
    Text1->setReadOnly(true);

    setTabOrder(Text1, Command10);
    setTabOrder(Command10, Command1);
    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Command3);

    QObject::connect(Command3, &QPushButton::clicked, this, [this] { showToolWindow(m_form5); });
    QObject::connect(Command1, &QPushButton::clicked, this, [this] { showToolWindow(m_form6); });
    QObject::connect(Command2, &QPushButton::clicked, this, [this] { showToolWindow(m_form2); });

    connect();
}

Form1::~Form1()
{
    for (const QPointer<QWidget> &window : std::as_const(m_toolWindows))
        delete window.data();
}

void Form1::connect()
{
    const bool found = m_program.link.LocateDevice() == -1;
    Text1->setText(found ? UnitFoundText : UnitNotFoundText);
    for (QPushButton *control : {Command1, Command2, Command3, Command10})
        control->setEnabled(found);
}

void Form1::closeEvent(QCloseEvent *event)
{
    m_program.link.CloseHandles();
    event->accept();
    m_program.endProgram();
}

} // namespace kdmtool

#include "Form1.h"

#include "Form2.h"
#include "Form5.h"
#include "Form6.h"

#include "flash/FlashDownload.h"
#include "ui/Fonts.h"
#include "ui/QtDownloadWindow.h"
#include "ui/Controls.h"
#include "ui/Twips.h"

#include <QCloseEvent>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>

namespace kdmtool {

namespace {

const QString Caption = QStringLiteral("KDM-9 映像信号調整TOOL Ver 0.80");
const QString UnitFoundText = QStringLiteral("ＫＤＭ－９  Ｃｏｎｎｅｃｔ");
const QString UnitNotFoundText = QStringLiteral("ＫＤＭ－９\u3000No\u3000Ｃｏｎｎｅｃｔ");
const QString OpenFileTitle = QStringLiteral("ファイルを開く");

// Flash address of the command file.
constexpr std::int32_t CommandFileAddress = 0xE8000;

// Disables the given widgets that are enabled now, and enables them again
// when it goes; a widget deleted meanwhile is skipped.
class WidgetsDisabled {
public:
    explicit WidgetsDisabled(const QList<QWidget *> &widgets)
    {
        for (QWidget *widget : widgets) {
            if (widget->isEnabled()) {
                widget->setEnabled(false);
                m_disabled.append(widget);
            }
        }
    }
    ~WidgetsDisabled()
    {
        for (const QPointer<QWidget> &widget : std::as_const(m_disabled))
            if (widget)
                widget->setEnabled(true);
    }
    WidgetsDisabled(const WidgetsDisabled &) = delete;
    WidgetsDisabled &operator=(const WidgetsDisabled &) = delete;

private:
    QList<QPointer<QWidget>> m_disabled;
};

} // namespace

using kdm::ui::namedControl;
using kdm::ui::twipsRect;

Form1::Form1(Program &program, QWidget *parent)
    : QWidget(parent), m_program(program), Text1(new QLineEdit(this)),
      Command1(namedControl<QPushButton>(this, "Command1", twipsRect(240, 1200, 1815, 495),
                                         QStringLiteral("入出力映像信号調整"))),
      Command2(namedControl<QPushButton>(this, "Command2", twipsRect(2160, 1200, 1815, 495),
                                         QStringLiteral("リモートコントロール"))),
      Command10(namedControl<QPushButton>(this, "Command10", twipsRect(4080, 1200, 1575, 495),
                                          QStringLiteral("vomo cmd\u3000load"))),
      Command3(
          namedControl<QPushButton>(this, "Command3", twipsRect(5760, 1200, 1575, 495), QStringLiteral("キャプチャー")))
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
    QObject::connect(Command10, &QPushButton::clicked, this, [this] {
        m_program.DownloadAddress = CommandFileAddress;
        download();
    });

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

void Form1::download()
{
    if (m_downloadRunning)
        return;
    m_downloadRunning = true;
    const auto finished = qScopeGuard([this] {
        m_downloadRunning = false;
        if (m_closeRequested)
            close();
    });

    const QString path = m_program.dialogs.openFile(this, {OpenFileTitle, {}, {}, {}});
    if (path.isEmpty())
        return;

    // Every open tool window can send to the unit.
    QList<QWidget *> controls{Command1, Command2, Command3, Command10};
    for (const QPointer<QWidget> &window : std::as_const(m_toolWindows))
        if (window)
            controls.append(window);
    const WidgetsDisabled disabled(controls);

    kdm::ui::QtDownloadWindow window(m_program.ticks, Text1, Text1);
    kdm::flash::FlashDownload procedure(m_program.link, window, kdm::flash::VideoToolStyle, m_program.checksumWait);
    // The verdict in Text1 is the only outcome this window has.
    static_cast<void>(procedure.download_f(QFile::encodeName(path).toStdString(), m_program.DownloadAddress));
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Ending now would leave the unit inside the flash stream, taking the
    // next program's first commands as image data.
    if (m_downloadRunning) {
        m_closeRequested = true;
        event->ignore();
        return;
    }
    m_program.link.CloseHandles();
    event->accept();
    m_program.endProgram();
}

} // namespace kdmtool

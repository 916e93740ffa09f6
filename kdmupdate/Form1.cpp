#include "Form1.h"

#include "Backgrounds.h"
#include "Form2.h"
#include "PackageText.h"
#include "devicelink/UnitCommands.h"
#include "flash/FlashDownload.h"
#include "ui/Fonts.h"
#include "ui/QtDownloadWindow.h"
#include "ui/Controls.h"
#include "ui/Twips.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

#include <algorithm>

namespace kdmupdate {

namespace {

const QString Caption = QStringLiteral("KDM-9 アップデート\u3000ツール\u3000Ver1.01");
const QString UnitRecognised = QStringLiteral("KDM-9を認識しました。");
const QString ConnectedNormally = QStringLiteral("正常接続されています。");
const QString UnitNotRecognised = QStringLiteral("KDM-9を認識できません。");
const QString SwitchOnAndRestart = QStringLiteral("KDM-9の電源を入れて本ソフトを再起動してください。");
const QString DoNotSwitchOff = QStringLiteral("KDM-9の電源を切らないでください。");
const QString UpdateFinished = QStringLiteral("アップデート\u3000正常終了");
const QString WriteErrorBefore = QStringLiteral("書き込みエラーが発生しました。(");
const QString WriteErrorAfter = QStringLiteral(")");
const QString FileOpenError = QStringLiteral("ファイル オープン\u3000エラー");
const QString OpenFileTitle = QStringLiteral("ファイルを開く");
const QString PackagePattern = QStringLiteral("*.v5b");

constexpr int PresencePauseTicks = 3;

QLineEdit *textLine(QWidget *parent, const char *name, QRect geometry)
{
    auto *control = new QLineEdit(parent);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(geometry);
    control->setFont(kdm::ui::msPGothic(11.25));
    control->setReadOnly(true);
    return control;
}

QString displayPath(const std::filesystem::path &path)
{
    return QDir::toNativeSeparators(QString::fromStdU16String(path.u16string()));
}

std::filesystem::path toPath(const QString &text)
{
    return std::filesystem::path(text.toStdU16String());
}

std::string utf8(const std::filesystem::path &path)
{
    return displayPath(path).toStdString();
}

} // namespace

using kdm::ui::namedControl;
using kdm::ui::twipsRect;

Form1::Form1(Program &program, QWidget *parent)
    : QWidget(parent), m_program(program), Text1(textLine(this, "Text1", twipsRect(120, 240, 8175, 375))),
      Command21(namedControl<QPushButton>(this, "Command21", twipsRect(1680, 2520, 2895, 375),
                                          QStringLiteral("アップデート"))),
      Picture1(new QFrame(this)), Shape1(new QWidget(Picture1)),
      Text2(textLine(this, "Text2", twipsRect(120, 960, 8175, 375))),
      Command1(namedControl<QPushButton>(this, "Command1", twipsRect(6840, 2520, 1095, 375), QStringLiteral("終了")))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(Caption);
    setFixedSize(kdm::ui::twipsSize(8415, 3240));
    m_background = frontPanelBackground(size());

    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setGeometry(twipsRect(120, 1680, 5000, 500));
    Picture1->setFrameShape(QFrame::Box);
    Picture1->setAutoFillBackground(true);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(twipsRect(0, 0, 15, 495));
    Shape1->setAutoFillBackground(true);
    QPalette bar = Shape1->palette();
    bar.setColor(QPalette::Window, QColor(0, 0, 160));
    Shape1->setPalette(bar);

    setTabOrder(Text1, Command21);
    setTabOrder(Command21, Text2);
    setTabOrder(Text2, Command1);

    m_downloadWindow = std::make_unique<kdm::ui::QtDownloadWindow>(m_program.ticks, Text1, Text2, Shape1);
    QObject::connect(Command21, &QPushButton::clicked, this, &Form1::runUpdate);
    QObject::connect(Command1, &QPushButton::clicked, this, &Form1::requestEnd);

    presenceCheck();
}

Form1::~Form1()
{
    delete m_form2.data();
}

void Form1::presenceCheck()
{
    kdm::DeviceLink &link = m_program.link;
    link.LocateDevice();
    link.SendOutputReport(kdm::code(kdm::Command::PresenceQuery), 0, 0, 0, 0, 0, 0, 0);
    link.ReceiveInputReport();
    const std::vector<std::uint8_t> &reply = link.ReplyReport();
    const bool answered = std::any_of(reply.begin() + 1, reply.begin() + 9, [](std::uint8_t b) { return b != 0; });
    m_program.ticks.pause(PresencePauseTicks);
    if (answered) {
        Text1->setText(UnitRecognised);
        Text2->setText(ConnectedNormally);
    } else {
        Text1->setText(UnitNotRecognised);
        Command21->setEnabled(false);
        Text2->setText(SwitchOnAndRestart);
    }
}

void Form1::runUpdate()
{
    const QString chosen = m_program.dialogs.openFile(
        this, {OpenFileTitle, QCoreApplication::applicationDirPath(), PackagePattern, PackagePattern});
    if (chosen.isEmpty())
        return;
    Text2->setText(DoNotSwitchOff);

    QFile package(chosen);
    if (!package.open(QIODevice::ReadOnly)) {
        Text1->setText(FileOpenError);
        return;
    }
    const QByteArray bytes = package.readAll();
    const bool readFailed = package.error() != QFileDevice::NoError;
    package.close();
    if (readFailed) {
        Text1->setText(FileOpenError);
        return;
    }
    const std::vector<kdm::flash::PackageRecord> records = kdm::flash::parsePackage(decodePackageText(bytes));
    const std::filesystem::path folder = toPath(QFileInfo(chosen).absolutePath());

    Command21->setEnabled(false);
    Command1->setEnabled(false);
    m_running = true;
    RunEnd end;
    if (const auto problem = kdm::flash::checkPackageImages(records, folder))
        end.failedImage = problem->image;
    else
        end = runRecords(records, folder);
    if (end.failedImage)
        Text1->setText(WriteErrorBefore + displayPath(*end.failedImage) + WriteErrorAfter);
    else if (!end.stopped) // a run that Exit or a close cut short did not end normally
        Text1->setText(UpdateFinished);
    m_running = false;
    Command1->setEnabled(true);
    Command21->setEnabled(true);
    if (m_endRequested)
        endNow();
}

Form1::RunEnd Form1::runRecords(const std::vector<kdm::flash::PackageRecord> &records,
                                const std::filesystem::path &folder)
{
    for (const kdm::flash::PackageRecord &record : records) {
        // Closing the window or Exit during a run stop it between two records,
        // never inside a download.
        if (m_endRequested)
            return {std::nullopt, true};
        const std::filesystem::path image = kdm::flash::imagePath(folder, record.file);
        if (!runRecord(record, image))
            return {image, false};
    }
    return {};
}

bool Form1::runRecord(const kdm::flash::PackageRecord &record, const std::filesystem::path &image)
{
    using kdm::flash::RecordKind;
    const std::optional<RecordKind> kind = kdm::flash::recordKind(record.kind);
    if (!kind)
        return true; // a kind the tool does not know does nothing
    m_program.DownloadAddress = static_cast<std::int32_t>(kdm::flash::parseAddress(record.address).value_or(0));
    switch (*kind) {
    case RecordKind::Download:
        return download_f(image);
    case RecordKind::DownloadHex:
    case RecordKind::DownloadHexProg:
        return hex_f(image);
    case RecordKind::DownloadHexProgWrite:
        if (!hex_f(image))
            return false;
        showMicrocontrollerWindow();
        return true;
    case RecordKind::DownloadHexShort:
        return hex_f_short(image);
    }
    return true;
}

kdm::flash::FlashDownload Form1::flashDownload()
{
    return kdm::flash::FlashDownload(m_program.link, *m_downloadWindow, kdm::flash::UpdateToolStyle,
                                     m_program.checksumWait);
}

bool Form1::download_f(const std::filesystem::path &path)
{
    return flashDownload().download_f(path, m_program.DownloadAddress);
}

bool Form1::bindownload(const std::filesystem::path &path)
{
    return flashDownload().bindownload(m_program.ImageBuffer, utf8(path), m_program.DownloadAddress);
}

bool Form1::bindownload_short(const std::filesystem::path &path)
{
    return flashDownload().bindownload_short(m_program.ImageBuffer, utf8(path), m_program.DownloadAddress);
}

bool Form1::hex_f(const std::filesystem::path &path)
{
    return hexDownload(path, kdm::flash::HexImageKind::Full);
}

bool Form1::hex_f_short(const std::filesystem::path &path)
{
    return hexDownload(path, kdm::flash::HexImageKind::Short);
}

bool Form1::hexDownload(const std::filesystem::path &path, kdm::flash::HexImageKind kind)
{
    if (!kdm::flash::readHexRecordFile(path, kind, m_program.ImageBuffer)) {
        Text1->setText(FileOpenError);
        return false;
    }
    m_program.DownloadAddress = static_cast<std::int32_t>(kdm::flash::targetOf(kind).downloadAddress);
    return kind == kdm::flash::HexImageKind::Full ? bindownload(path) : bindownload_short(path);
}

void Form1::showMicrocontrollerWindow()
{
    if (!m_form2) {
        m_form2 = new Form2(m_program);
        m_form2->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(m_form2, &Form2::loaded, Command21, [this] { Command21->setEnabled(false); });
        QObject::connect(m_form2, &Form2::cancelled, Command21, [this] {
            Command21->setEnabled(true);
            QMetaObject::invokeMethod(this, &Form1::endWhenNoWindowIsLeft, Qt::QueuedConnection);
        });
        QObject::connect(m_form2, &Form2::exitRequested, this, &Form1::requestEnd);
        QObject::connect(m_form2, &QObject::destroyed, this, &Form1::endWhenNoWindowIsLeft, Qt::QueuedConnection);
    }
    m_form2->show();
}

void Form1::requestEnd()
{
    if (m_running) {
        m_endRequested = true;
        return;
    }
    endNow();
}

void Form1::endNow()
{
    m_program.link.CloseHandles();
    m_program.endProgram();
}

void Form1::closeEvent(QCloseEvent *event)
{
    if (m_running) {
        // The unit is never left inside a download: the run stops after the
        // current record and the program ends then.
        event->ignore();
        m_endRequested = true;
        return;
    }
    event->accept();
    m_closed = true;
    if (!microcontrollerWindowOnScreen())
        endNow();
}

bool Form1::microcontrollerWindowOnScreen() const
{
    return m_form2 && m_form2->isVisible();
}

// The program goes on while the microcontroller write window is on screen,
// so that its write button still reaches the unit after the main window has
// closed; it ends when that window goes too.
void Form1::endWhenNoWindowIsLeft()
{
    if (m_closed && !microcontrollerWindowOnScreen())
        endNow();
}

void Form1::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_background);
}

} // namespace kdmupdate

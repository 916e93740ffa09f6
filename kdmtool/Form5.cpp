#include "Form5.h"

#include "BitmapFile.h"
#include "CapturePicture.h"
#include "CapturePictures.h"
#include "RemoteKey.h"
#include "StatusTextBox.h"

#include "devicelink/UnitCommands.h"
#include "ui/Fonts.h"
#include "ui/Twips.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <filesystem>
#include <optional>

namespace kdmtool {

namespace {

const QString Caption = QStringLiteral("KDM-9 Capture Tool");
const QString ReadyText = QStringLiteral("KDM-9 Capture 準備完了\r\n"
                                         "キャプチャー操作中は本体やリモコンのボタンを操作しないでください。");
const QString FpgaText = QStringLiteral("KDM-9 FPGA SELECTをB2にしてください。 \r\n"
                                        "KDM-9と本アプリを再スタートしてください。");
const QString NoPictureText = QStringLiteral("入力映像が無いか、不適切です。");
const QString SaveFailedText = QStringLiteral("BMPファイルを保存できませんでした。");
const QString SaveDialogTitle = QStringLiteral("ファイルを保存");
const QString BitmapFilter = QStringLiteral("24ﾋﾞｯﾄ ﾋﾞｯﾄﾏｯﾌﾟ(*.bmp)");

// "画面情報：水平SIZE= 640dot , 垂直SIZE= 480dot , RGB　24bit": each number
// with a space before it, an ideographic space before "24bit".
QString frameSizeText(const CaptureGeometry &geometry)
{
    return QStringLiteral("画面情報：水平SIZE= %1dot , 垂直SIZE= %2dot , RGB\u300024bit")
        .arg(geometry.CaptureWidth)
        .arg(geometry.CaptureHeight);
}

// ImageMemory byte 1: recording into slot n is three steps, with pauses of
// CaptureTicks after the first two; showing slot n is one.
constexpr std::array<std::array<std::uint8_t, 3>, 4> RecordSteps{{
    {0xA0, 0xC0, 0x80},
    {0xA5, 0xC5, 0x85},
    {0xAA, 0xCA, 0x8A},
    {0xAF, 0xCF, 0x8F},
}};
constexpr std::array<int, 3> TicksAfterRecordStep{1, 4, 0};
constexpr std::array<std::uint8_t, 4> ShowStoredImage{0xC0, 0xC4, 0xC8, 0xCC};
constexpr std::uint8_t LivePicture = 0x80;

constexpr std::uint8_t RgbKey = 23; // the remote control's RGB key
constexpr std::uint8_t FpgaSelectionB2 = 2;
constexpr int CaptureTickMilliseconds = 100;
constexpr int CaptureTickModulus = 4096;

// Where the picture box sits at design, and the area a frame is centred over.
constexpr int PictureAreaLeft = 1440;
constexpr int PictureAreaWidth = 8000;
constexpr int PictureHeight = 4500;

// Sets the command code, and byte 1 when given (otherwise it goes out as the
// previous command left it), sends CommandReport and reads the one reply.
void exchange(kdm::DeviceLink &link, kdm::Command command, std::optional<std::uint8_t> byte1 = std::nullopt)
{
    link.CommandReport[0] = kdm::code(command);
    if (byte1)
        link.CommandReport[1] = *byte1;
    link.SendOutputReport(link.CommandReport);
    link.ReceiveInputReport();
}

template <typename Control> Control *control(QWidget *parent, const char *name, const QString &caption, QRect geometry)
{
    auto *made = new Control(parent);
    made->setObjectName(QLatin1String(name));
    made->setText(caption);
    made->setGeometry(geometry);
    return made;
}

QToolButton *pictureButton(QWidget *parent, const char *name, const QString &caption, QRect geometry,
                           const QPixmap &picture)
{
    auto *button = control<QToolButton>(parent, name, caption, geometry);
    button->setIcon(picture);
    button->setIconSize(QSize(ButtonPictureWidth, ButtonPictureHeight));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    return button;
}

} // namespace

using kdm::ui::twipsRect;

// Counts a sequence that processes events while it runs, so that closing the
// window waits for it; closes the window at the end when that was asked for.
class Form5::SequenceScope {
public:
    explicit SequenceScope(Form5 &window) : m_window(&window) { ++window.m_sequencesRunning; }
    ~SequenceScope()
    {
        if (m_window && --m_window->m_sequencesRunning == 0 && m_window->m_closeWhenIdle)
            m_window->close();
    }
    SequenceScope(const SequenceScope &) = delete;
    SequenceScope &operator=(const SequenceScope &) = delete;

    bool windowAlive() const { return !m_window.isNull(); }

private:
    QPointer<Form5> m_window;
};

Form5::Form5(Program &program, QWidget *parent) : QWidget(parent), m_program(program)
{
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(Caption);
    setWindowIcon(cameraPicture().copy(ButtonPictureWidth / 4, 0, ButtonPictureHeight, ButtonPictureHeight));
    setFixedSize(kdm::ui::twipsSize(9540, 6240));

    Picture1 = new CapturePicture(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setGeometry(twipsRect(PictureAreaLeft, 0, PictureAreaWidth, PictureHeight));

    Command6 = control<QPushButton>(this, "Command6", QStringLiteral("画像1"), twipsRect(120, 360, 855, 735));
    Command7 = control<QPushButton>(this, "Command7", QStringLiteral("画像2"), twipsRect(120, 1320, 855, 735));
    Command8 = control<QPushButton>(this, "Command8", QStringLiteral("画像3"), twipsRect(120, 2400, 855, 735));
    Command9 = control<QPushButton>(this, "Command9", QStringLiteral("画像4"), twipsRect(120, 3480, 855, 735));
    Check1 = control<QCheckBox>(this, "Check1", QString(), twipsRect(1080, 600, 255, 255));
    Check2 = control<QCheckBox>(this, "Check2", QString(), twipsRect(1080, 1560, 255, 255));
    Check3 = control<QCheckBox>(this, "Check3", QString(), twipsRect(1080, 2640, 255, 255));
    Check4 = control<QCheckBox>(this, "Check4", QString(), twipsRect(1080, 3720, 255, 255));
    Command10 = control<QPushButton>(this, "Command10", QStringLiteral("再生"), twipsRect(120, 4560, 855, 735));
    Command1 = control<QPushButton>(this, "Command1", QStringLiteral("REC"), twipsRect(1320, 4560, 1215, 855));
    Command2 = pictureButton(this, "Command2", QStringLiteral("キャプチャー"), twipsRect(3000, 4560, 1215, 855),
                             cameraPicture());
    Command3 =
        pictureButton(this, "Command3", QStringLiteral("停止"), twipsRect(4680, 4560, 1095, 855), blackCrossPicture());
    Command4 = pictureButton(this, "Command4", QStringLiteral("BMP保存"), twipsRect(6240, 4560, 1095, 855),
                             floppyDiskPicture());
    Command5 = pictureButton(this, "Command5", QStringLiteral("終了"), twipsRect(7800, 4560, 1095, 855), doorPicture());

    Text1 = new StatusTextBox(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(twipsRect(1200, 5520, 7455, 615));
    Text1->setFont(kdm::ui::msPGothic(12));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(CaptureTickMilliseconds);

    m_slotUsed = {Check1, Check2, Check3, Check4};
    Command10->setEnabled(false);

    QWidget *const tabOrder[] = {Picture1, Command2, Command3, Command4, Command1, Command5, Text1,  Command6,
                                 Command7, Command8, Command9, Check1,   Check2,   Check3,   Check4, Command10};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(Command1, &QAbstractButton::clicked, this, &Form5::record);
    connect(Command2, &QAbstractButton::clicked, this, &Form5::capture);
    connect(Command3, &QAbstractButton::clicked, this, [this] { StopRequested = 1; });
    connect(Command4, &QAbstractButton::clicked, this, &Form5::saveBitmap);
    connect(Command5, &QAbstractButton::clicked, this, &QWidget::close);
    const std::array<QAbstractButton *, 4> slotButtons{Command6, Command7, Command8, Command9};
    for (int slot = 0; slot < int(slotButtons.size()); ++slot)
        connect(slotButtons[std::size_t(slot)], &QAbstractButton::clicked, this,
                [this, slot] { showStoredImage(slot); });
    connect(Command10, &QAbstractButton::clicked, this, &Form5::showLivePicture);
    connect(Timer1, &QTimer::timeout, this, &Form5::advanceCaptureTicks);
    Timer1->start();

    load();
}

void Form5::load()
{
    kdm::DeviceLink &link = m_program.link;
    FreezeState = 0;
    Command4->setEnabled(false); // no frame yet
    exchange(link, kdm::Command::ImageMemory, LivePicture);
    pressRemoteKey(link, RgbKey);
    exchange(link, kdm::Command::FrameInfo); // byte 1 still holds the key
    if (link.ReplyReport()[5] == FpgaSelectionB2) {
        Text1->setText(ReadyText);
        return;
    }
    for (QAbstractButton *button : {Command1, Command2, Command3, Command4})
        button->setEnabled(false);
    Text1->setText(FpgaText);
}

void Form5::closeEvent(QCloseEvent *event)
{
    if (m_sequencesRunning > 0) {
        m_closeWhenIdle = true;
        hide();
        event->ignore();
        return;
    }
    event->accept();
}

void Form5::showEvent(QShowEvent *event)
{
    m_closeWhenIdle = false; // shown again before a sequence ended: stay open
    QWidget::showEvent(event);
}

void Form5::advanceCaptureTicks()
{
    CaptureTicks = static_cast<std::int16_t>((CaptureTicks + 1) & (CaptureTickModulus - 1));
}

void Form5::waitCaptureTicks(int ticks)
{
    const QPointer<Form5> self(this);
    CaptureTicks = 0;
    while (self && self->CaptureTicks < ticks)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void Form5::record()
{
    const SequenceScope scope(*this);
    kdm::DeviceLink &link = m_program.link;
    const auto unused = std::find_if(m_slotUsed.begin(), m_slotUsed.end(),
                                     [](const QCheckBox *used) { return used->checkState() == Qt::Unchecked; });
    if (unused != m_slotUsed.end()) {
        (*unused)->setChecked(true);
        const auto &steps = RecordSteps[static_cast<std::size_t>(unused - m_slotUsed.begin())];
        // Once begun, the recording is carried to its end, so the unit is not
        // left halfway through it.
        for (std::size_t step = 0; step < steps.size(); ++step) {
            exchange(link, kdm::Command::ImageMemory, steps[step]);
            if (TicksAfterRecordStep[step] > 0)
                waitCaptureTicks(TicksAfterRecordStep[step]);
        }
    }
    if (scope.windowAlive())
        Command10->setEnabled(false);
}

void Form5::showStoredImage(int slot)
{
    exchange(m_program.link, kdm::Command::ImageMemory, ShowStoredImage[static_cast<std::size_t>(slot)]);
    Command10->setEnabled(true);
}

void Form5::showLivePicture()
{
    exchange(m_program.link, kdm::Command::ImageMemory, LivePicture);
    Command10->setEnabled(false);
}

void Form5::capture()
{
    const SequenceScope scope(*this);
    kdm::DeviceLink &link = m_program.link;
    const auto freezeState = static_cast<std::uint8_t>(FreezeState); // set at load only
    for (QAbstractButton *button : {Command1, Command2, Command4, Command5})
        button->setEnabled(false);
    StopRequested = 0;

    exchange(link, kdm::Command::FrameInfo);
    const CaptureGeometry geometry = geometryFromFrameInfo(link.ReplyReport());
    if (sizeAccepted(geometry))
        transferFrame(geometry);
    else
        Text1->setText(NoPictureText);

    if (scope.windowAlive()) {
        for (QAbstractButton *button : {Command1, Command2, Command5})
            button->setEnabled(true);
        // A refused first capture leaves nothing to save.
        Command4->setEnabled(!m_program.FrameBuffer.empty());
    }
    exchange(link, kdm::Command::FreezeSet, freezeState);
}

void Form5::transferFrame(const CaptureGeometry &geometry)
{
    fitPicture(geometry);
    Text1->setText(frameSizeText(geometry));

    // The geometry is taken over only now that the size check has passed, so
    // it always describes what FrameBuffer holds. FrameBuffer is replaced by
    // nothing but a capture, and no other capture can start before this one
    // ends: this window's capture button is disabled, and a closed window
    // stays until its capture has ended, so no second one is loaded.
    m_program.captureGeometry = geometry;
    m_program.FrameBuffer.assign(frameBufferBytes(geometry), 0);
    LineAssembler assembler(geometry, m_program.FrameBuffer);

    kdm::DeviceLink &link = m_program.link;
    const auto reports = static_cast<std::uint8_t>(reportsPerLine(geometry));
    const QPointer<Form5> self(this);
    // Receives in a row that brought no report. More of them than a line has
    // reports means the unit has stopped answering (unplugged, switched off),
    // not just lost a report or a line: each further line would wait out a
    // time-out per report, hours for a whole frame, only to store the zeros
    // FrameBuffer already holds.
    int unanswered = 0;
    while (assembler.line() < geometry.CaptureHeight) {
        link.CommandReport[0] = kdm::code(kdm::Command::LineRead);
        link.CommandReport[1] = reports;
        link.SendOutputReport(link.CommandReport);
        for (int report = 0; report < reports; ++report) {
            link.ReceiveInputReport();
            unanswered = link.replyArrived() ? 0 : unanswered + 1;
            if (unanswered > reports) {
                Text1->setText(NoPictureText);
                return;
            }
            assembler.take(std::span(link.ReplyReport()).subspan(1, LinePayloadBytes));
        }
        const int y = assembler.line();
        assembler.endLine();
        Picture1->addLine(assembler.row(y));

        // Other handlers run here, between two lines, never inside one. A
        // hidden window (closed, or the program ending) stops the capture too.
        QCoreApplication::processEvents();
        if (!self || StopRequested == 1 || isHidden())
            return;
    }
}

void Form5::fitPicture(const CaptureGeometry &geometry)
{
    const double width = double(geometry.CaptureWidth) * PictureHeight / geometry.CaptureHeight;
    const double left = (PictureAreaWidth - width) / 2 + PictureAreaLeft;
    Picture1->setGeometry(qRound(left / kdm::ui::TwipsPerPixel), 0, qRound(width / kdm::ui::TwipsPerPixel),
                          kdm::ui::twips(PictureHeight));
    Picture1->startFrame(geometry.CaptureWidth, geometry.CaptureHeight);
}

void Form5::saveBitmap()
{
    const SequenceScope scope(*this); // the dialog runs an event loop of its own
    const kdm::ui::FileDialogRequest request{SaveDialogTitle, m_program.dialogs.documentsFolder(), QString(),
                                             BitmapFilter};
    const QString chosen = m_program.dialogs.saveFile(this, request);
    if (chosen.isEmpty() || !scope.windowAlive())
        return;
    const std::filesystem::path file = withBitmapExtension(std::filesystem::path(chosen.toStdU16String()));
    const CaptureGeometry &geometry = m_program.captureGeometry;
    if (WriteBitmapFile(file, geometry.CaptureWidth, geometry.CaptureHeight, m_program.FrameBuffer) !=
        BitmapWriteOutcome::Written)
        Text1->setText(SaveFailedText);
}

} // namespace kdmtool

#include "Form6.h"

#include "ui/Fonts.h"
#include "ui/Controls.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace kdmtool {

namespace {

Q_LOGGING_CATEGORY(timingLog, "kdm.timing", QtWarningMsg)

const QString Caption = QStringLiteral("入出力映像信号調整");
const std::array<QString, 4> FrameCaptions{QStringLiteral("入力信号タイミング"), QStringLiteral("入力信号Clamp"),
                                           QStringLiteral("出力同期タイミング"), QStringLiteral("出力信号タイミング")};
const QString SaveCaption = QStringLiteral("data save");
const QString LoadCaption = QStringLiteral("data load");
const QString SaveTitle = QStringLiteral("VOMO-5 入出力映像タイミングDataを保存");
const QString LoadTitle = QStringLiteral("VOMO-5 入出力映像タイミングDataを読込");
const QString FileNamePattern = QStringLiteral("vomo5_syc*.bin");
const QString InitialValueText = QStringLiteral("000");

QString labelText(const TimingParameter &parameter)
{
    if (QLatin1String(parameter.name) == QLatin1String("clamp_width"))
        return QStringLiteral("clamp width");
    return QString::fromLatin1(parameter.name);
}

// Geometry in twips. Frames: left, top, width, height, in frame order.
constexpr std::array<std::array<int, 4>, 4> FrameGeometry{{
    {120, 120, 3855, 2295},
    {4320, 240, 3735, 1455},
    {4320, 1920, 3855, 2295},
    {120, 2520, 3855, 2295},
}};
constexpr std::array<int, 4> RowTops{360, 840, 1320, 1800};
constexpr std::array<int, 2> ClampRowTops{240, 720}; // Frame2
constexpr int RowHeight = 375;
constexpr int LabelLeft = 60;
constexpr int LabelGap = 15;
constexpr int TwoByteBarLeft = 720;
constexpr int TwoByteBarWidth = 2175;
constexpr int OneByteBarLeft = 1440;
constexpr int OneByteBarWidth = 1455;
constexpr int TextLeft = 3000;
constexpr int TextWidth = 615;

QGroupBox *frame(QWidget *parent, int number)
{
    const auto &g = FrameGeometry[static_cast<std::size_t>(number - 1)];
    auto *box = new QGroupBox(FrameCaptions[static_cast<std::size_t>(number - 1)], parent);
    box->setObjectName(QStringLiteral("Frame%1").arg(number));
    box->setGeometry(kdm::ui::twipsRect(g[0], g[1], g[2], g[3]));
    return box;
}

void reportFailure(const QString &what)
{
    // The window has no status line and shows no message box: the alert
    // sound says that nothing was done, the log says why.
    qCDebug(timingLog).noquote() << what;
    QApplication::beep();
}

} // namespace

using kdm::ui::namedControl;
using kdm::ui::twipsRect;

Form6::Form6(Program &program, QWidget *parent)
    : QWidget(parent), m_program(program), m_timing(program), Frame1(frame(this, 1)), Frame2(frame(this, 2)),
      Frame3(frame(this, 3)), Frame4(frame(this, 4)),
      Command1(namedControl<QPushButton>(this, "Command1", twipsRect(4440, 4440, 1695, 495), SaveCaption)),
      Command2(namedControl<QPushButton>(this, "Command2", twipsRect(6480, 4440, 1695, 495), LoadCaption))
{
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(Caption);
    setFont(kdm::ui::msPGothic(9));
    setFixedSize(kdm::ui::twipsSize(8280, 5100));

    const std::array<QGroupBox *, 4> frames{Frame1, Frame2, Frame3, Frame4};
    for (std::size_t index = 0; index < TimingParameters.size(); ++index) {
        const TimingParameter &parameter = TimingParameters[index];
        QGroupBox *box = frames[static_cast<std::size_t>(parameter.frame - 1)];
        const auto row = static_cast<std::size_t>(parameter.row);
        const int top = parameter.frame == 2 ? ClampRowTops[row] : RowTops[row];
        const bool twoBytes = parameter.highOffset >= 0;
        const int barLeft = twoBytes ? TwoByteBarLeft : OneByteBarLeft;
        const QString name = QString::fromLatin1(parameter.name);

        auto *label = new QLabel(labelText(parameter), box);
        label->setGeometry(twipsRect(LabelLeft, top, barLeft - LabelLeft - LabelGap, RowHeight));

        auto *bar = new QScrollBar(Qt::Horizontal, box);
        bar->setObjectName(name);
        bar->setGeometry(twipsRect(barLeft, top, twoBytes ? TwoByteBarWidth : OneByteBarWidth, RowHeight));
        bar->setRange(0, parameter.maximum);
        bar->setSingleStep(1);
        bar->setPageStep(1);
        // Positions passed while the thumb is dragged are not committed; the
        // release is.
        bar->setTracking(false);
        // A scroll bar inverts its keys by default (Left would raise the value).
        bar->setInvertedControls(false);
        bar->setFocusPolicy(Qt::StrongFocus);
        QObject::connect(bar, &QScrollBar::valueChanged, this,
                         [this, index](int value) { valueChanged(index, value); });
        m_bars[index] = bar;

        auto *text = new QLineEdit(InitialValueText, box);
        text->setObjectName(name + QStringLiteral("_txt"));
        text->setGeometry(twipsRect(TextLeft, top, TextWidth, RowHeight));
        m_texts[index] = text;
    }

    QObject::connect(Command1, &QPushButton::clicked, this, &Form6::saveData);
    QObject::connect(Command2, &QPushButton::clicked, this, &Form6::loadData);
    setLoading(true);
}

void Form6::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The opening runs once the window is up, so that it can be closed while
    // the opening pauses.
    if (!m_openingStarted) {
        m_openingStarted = true;
        QTimer::singleShot(0, this, &Form6::loadFromUnit);
    }
}

void Form6::closeEvent(QCloseEvent *event)
{
    if (!m_closed) {
        m_closed = true;
        m_timing.concludeWrites();
        m_timing.closeAccess();
    }
    QWidget::closeEvent(event);
}

TimingAdjustment::Pause Form6::pauseWhileOpen()
{
    return [&ticks = m_program.ticks, window = QPointer<Form6>(this)] {
        ticks.pause(TimingAdjustment::PauseTicks);
        return window && !window->m_closed;
    };
}

void Form6::setLoading(bool loading)
{
    using Opening = TimingAdjustment::Opening;
    m_loading = loading;
    // Nothing is offered that would write to a block the unit cannot address
    // or that the opening did not read in full; a block with lost reads is not
    // saved either, since its file would bring the zeros back to the unit.
    const bool writable = !loading && m_opening == Opening::Read;
    for (QWidget *control : std::initializer_list<QWidget *>{Frame1, Frame2, Frame3, Frame4, Command2})
        control->setEnabled(writable);
    Command1->setEnabled(!loading && m_opening != Opening::Incomplete);
}

void Form6::loadFromUnit()
{
    if (m_closed)
        return;
    // Opened while a flash download holds the link: every read would come back
    // as zeros. Try again once the download has let go.
    if (m_program.link.isClaimed()) {
        QTimer::singleShot(kdm::ui::TickTimer::TickMilliseconds, this, &Form6::loadFromUnit);
        return;
    }
    const TimingAdjustment::Pause pause = pauseWhileOpen();
    const TimingAdjustment::Opening opening = m_timing.readFromUnit(pause);
    if (opening == TimingAdjustment::Opening::Interrupted)
        return; // the window is closed or gone: touch nothing
    m_opening = opening;
    showMirror();
    setLoading(false);
}

void Form6::saveData()
{
    const QString folder = m_program.dialogs.documentsFolder();
    if (folder.isEmpty())
        return;
    m_dialogFileName = FileNamePattern;
    const QString path = m_program.dialogs.saveFile(this, {SaveTitle, folder, FileNamePattern, {}});
    if (path.isEmpty())
        return;
    m_dialogFileName = path;
    if (const std::optional<QString> error = m_timing.saveFile(path))
        reportFailure(*error);
}

void Form6::loadData()
{
    const QString folder = m_program.dialogs.documentsFolder();
    if (folder.isEmpty())
        return;
    const QString path = m_program.dialogs.openFile(this, {LoadTitle, folder, m_dialogFileName, {}});
    // No file chosen: the mirror as it stands is written back.
    std::optional<TimingAdjustment::FileBlock> block;
    if (!path.isEmpty()) {
        m_dialogFileName = path;
        TimingAdjustment::FileRead file = TimingAdjustment::readFile(path);
        if (!file.block) {
            reportFailure(file.error);
            return;
        }
        block = file.block;
    }

    setLoading(true);
    const TimingAdjustment::Pause pause = pauseWhileOpen();
    switch (m_timing.writeFileBlock(block, pause)) {
    case TimingAdjustment::Loading::Interrupted:
        return; // the window is closed or gone: touch nothing
    case TimingAdjustment::Loading::Refused:
        reportFailure(QStringLiteral("timing data not loaded: the unit cannot be written now"));
        break;
    case TimingAdjustment::Loading::Written:
        showMirror();
        m_timing.concludeWrites();
        break;
    }
    setLoading(false);
}

void Form6::valueChanged(std::size_t index, int value)
{
    m_texts[index]->setText(QString::number(value));
    const TimingParameter &parameter = TimingParameters[index];
    if (m_timing.change(parameter, value) == TimingAdjustment::Change::Refused)
        showValue(index, m_timing.value(parameter)); // back to what the unit holds
}

void Form6::showMirror()
{
    for (std::size_t index = 0; index < TimingParameters.size(); ++index)
        showValue(index, m_timing.value(TimingParameters[index]));
}

void Form6::showValue(std::size_t index, int value)
{
    QScrollBar *bar = m_bars[index];
    // Widen first when the value lies above the range, narrow again after
    // it is set: a bar never clamps a value (which would write the clamped
    // value to the unit).
    if (value > bar->maximum())
        bar->setMaximum(value);
    bar->setValue(value);
    bar->setMaximum(std::max(TimingParameters[index].maximum, value));
}

} // namespace kdmtool

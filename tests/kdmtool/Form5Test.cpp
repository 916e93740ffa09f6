#include "kdmtool/Form5.h"

#include "kdmtool/CapturePicture.h"
#include "kdmtool/Form1.h"
#include "kdmtool/StatusTextBox.h"
#include "sim/TestPicture.h"
#include "support/ProgramFixture.h"
#include "ui/Twips.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

namespace kdmtool {
namespace {

using kdm::CommandBytes8;
using kdm::sim::Fault;
using kdm::sim::FrameSize;

constexpr std::uint8_t ImageMemory = 23;
constexpr std::uint8_t RemoteKey = 19;
constexpr std::uint8_t FrameInfo = 20;
constexpr std::uint8_t LineRead = 21;
constexpr std::uint8_t FreezeSet = 22;

const QString ReadyText = QStringLiteral("KDM-9 Capture 準備完了") + QStringLiteral("\r\n") +
                          QStringLiteral("キャプチャー操作中は本体やリモコンのボタンを操作しないでください。");
const QString FpgaText = QStringLiteral("KDM-9 FPGA SELECTをB2にしてください。") + QChar(0x20) +
                         QStringLiteral("\r\n") + QStringLiteral("KDM-9と本アプリを再スタートしてください。");
const QString NoPictureText = QStringLiteral("入力映像が無いか、不適切です。");

QString frameSizeText(int width, int height)
{
    return QStringLiteral("画面情報") + QChar(0xFF1A) +
           QStringLiteral("水平SIZE= %1dot , 垂直SIZE= %2dot , RGB").arg(width).arg(height) + QChar(0x3000) +
           QStringLiteral("24bit");
}

// Form5 on the simulated unit, loaded and shown the way Form1 shows it.
struct CaptureWindow : kdm::test::ToolFixture {
    explicit CaptureWindow(FrameSize frame = {640, 480}, std::uint8_t fpga = 2, bool load = true)
    {
        unit().setInputFrame(frame);
        unit().setFpgaSelection(fpga);
        if (load)
            open();
    }
    ~CaptureWindow() { delete form.data(); }

    void open()
    {
        form = new Form5(program);
        form->setAttribute(Qt::WA_DeleteOnClose);
        form->show();
    }

    template <typename T = QAbstractButton> T *child(const char *name) const
    {
        T *found = form->findChild<T *>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void click(const char *name) { QTest::mouseClick(child(name), Qt::LeftButton); }
    QString text() const { return child<StatusTextBox>("Text1")->text(); }
    bool enabled(const char *name) const { return child(name)->isEnabled(); }

    // The commands sent, without the data that came back.
    std::vector<CommandBytes8> commands() const
    {
        std::vector<CommandBytes8> sent;
        for (const auto &entry : transport.trace())
            if (entry.out)
                std::copy_n(entry.bytes.begin(), 8, sent.emplace_back().begin());
        return sent;
    }
    int count(std::uint8_t command) const
    {
        const auto sent = commands();
        return int(std::count_if(sent.begin(), sent.end(), [&](const CommandBytes8 &c) { return c[0] == command; }));
    }

    // Runs `action` in the yield after line `line` of a capture (counted from 0).
    void afterLine(int line, std::function<void()> action)
    {
        transport.setTraceSink([this, line, action, lineReads = 0](std::string_view entry) mutable {
            if (entry.starts_with("OUT 15") && lineReads++ == line)
                QTimer::singleShot(0, form, action);
        });
    }

    QPointer<Form5> form;
};

using Bgr = std::array<std::uint8_t, 3>;

Bgr frameBufferPixel(const Program &program, int x, int y)
{
    const auto at = (std::size_t(y) * std::size_t(program.captureGeometry.CaptureWidth) + std::size_t(x)) * 3;
    return {program.FrameBuffer[at], program.FrameBuffer[at + 1], program.FrameBuffer[at + 2]};
}

Bgr testPixel(int x, int y, FrameSize frame)
{
    const kdm::sim::Rgb rgb = kdm::sim::testPicture(x, y, frame.width, frame.height);
    return {rgb.b, rgb.g, rgb.r};
}

// Row y of the FrameBuffer holds the unit's picture (black past its width),
// or is all black when `transferred` is false.
void expectRow(const Program &program, FrameSize frame, int y, bool transferred)
{
    for (int x = 0; x < program.captureGeometry.CaptureWidth; ++x) {
        const Bgr expected = transferred && x < frame.width ? testPixel(x, y, frame) : Bgr{};
        ASSERT_EQ(frameBufferPixel(program, x, y), expected) << "pixel " << x << ", " << y;
    }
}

TEST(Form5, ControlsHaveTheirCaptionsPlacesAndTabOrder)
{
    CaptureWindow window;
    Form5 &form = *window.form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("KDM-9 Capture Tool"));
    EXPECT_EQ(form.size(), QSize(636, 416));

    struct Control {
        const char *name;
        QString caption;
        QRect twips;
    };
    const Control controls[] = {
        {"Picture1", {}, {1440, 0, 8000, 4500}},
        {"Command2", QStringLiteral("キャプチャー"), {3000, 4560, 1215, 855}},
        {"Command3", QStringLiteral("停止"), {4680, 4560, 1095, 855}},
        {"Command4", QStringLiteral("BMP保存"), {6240, 4560, 1095, 855}},
        {"Command1", QStringLiteral("REC"), {1320, 4560, 1215, 855}},
        {"Command5", QStringLiteral("終了"), {7800, 4560, 1095, 855}},
        {"Text1", {}, {1200, 5520, 7455, 615}},
        {"Command6", QStringLiteral("画像1"), {120, 360, 855, 735}},
        {"Command7", QStringLiteral("画像2"), {120, 1320, 855, 735}},
        {"Command8", QStringLiteral("画像3"), {120, 2400, 855, 735}},
        {"Command9", QStringLiteral("画像4"), {120, 3480, 855, 735}},
        {"Check1", {}, {1080, 600, 255, 255}},
        {"Check2", {}, {1080, 1560, 255, 255}},
        {"Check3", {}, {1080, 2640, 255, 255}},
        {"Check4", {}, {1080, 3720, 255, 255}},
        {"Command10", QStringLiteral("再生"), {120, 4560, 855, 735}},
    };
    QStringList expectedOrder;
    for (const Control &c : controls) {
        const QWidget *widget = window.child<QWidget>(c.name);
        ASSERT_NE(widget, nullptr);
        expectedOrder << QLatin1String(c.name);
        EXPECT_EQ(widget->geometry(), kdm::ui::twipsRect(c.twips.x(), c.twips.y(), c.twips.width(), c.twips.height()))
            << c.name;
        if (const auto *button = qobject_cast<const QAbstractButton *>(widget)) {
            EXPECT_EQ(button->text(), c.caption) << c.name;
        }
    }

    // Following the focus chain from Picture1 meets the controls in tab order.
    QStringList order;
    QWidget *widget = window.child<QWidget>("Picture1");
    do {
        if (expectedOrder.contains(widget->objectName()) && !order.contains(widget->objectName()))
            order << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != window.child<QWidget>("Picture1"));
    EXPECT_EQ(order, expectedOrder);

    for (const char *name : {"Command2", "Command3", "Command4", "Command5"}) {
        const QAbstractButton *button = window.child(name);
        EXPECT_EQ(button->iconSize(), QSize(64, 32)) << name;
        EXPECT_FALSE(button->icon().pixmap(64, 32).toImage().isNull()) << name;
    }
    EXPECT_TRUE(window.child("Command1")->icon().isNull());

    const auto *text1 = window.child<StatusTextBox>("Text1");
    EXPECT_EQ(text1->font().pointSizeF(), 12.0);

    const auto *timer = window.child<QTimer>("Timer1");
    EXPECT_EQ(timer->interval(), 100);
    EXPECT_TRUE(timer->isActive());
}

TEST(Form5, LoadReturnsToLiveSelectsRgbAndFindsTheFpgaAtB2)
{
    CaptureWindow window;
    const std::vector<CommandBytes8> sent = window.commands();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0][0], ImageMemory);
    EXPECT_EQ(sent[0][1], 0x80);
    EXPECT_EQ(sent[1][0], RemoteKey);
    EXPECT_EQ(sent[1][1], 23);
    EXPECT_EQ(sent[2][0], FrameInfo);
    EXPECT_EQ(sent[2][1], 23); // not set by FrameInfo
    EXPECT_EQ(window.unit().keyLog(), std::vector<std::uint8_t>{23});

    EXPECT_EQ(window.text(), ReadyText);
    struct State {
        const char *name;
        bool enabled;
    };
    for (const State &s :
         {State{"Command1", true}, State{"Command2", true}, State{"Command3", true}, State{"Command4", false},
          State{"Command5", true}, State{"Command10", false}, State{"Command6", true}, State{"Command9", true}})
        EXPECT_EQ(window.enabled(s.name), s.enabled) << s.name;
}

TEST(Form5, LoadWithoutFpgaB2RefusesCaptureAndSaysSo)
{
    struct Case {
        const char *what;
        std::uint8_t fpga;
        bool replyDropped;
    };
    for (const Case &c : {Case{"selection B1", 1, false}, Case{"unit does not answer", 2, true}}) {
        SCOPED_TRACE(c.what);
        CaptureWindow window({640, 480}, c.fpga, false);
        if (c.replyDropped)
            window.transport.addFault({Fault::Kind::DropReply, 3});
        window.open();

        EXPECT_EQ(window.text(), FpgaText);
        for (const char *name : {"Command1", "Command2", "Command3", "Command4", "Command10"})
            EXPECT_FALSE(window.enabled(name)) << name;
        for (const char *name : {"Command5", "Command6", "Command7", "Command8", "Command9"})
            EXPECT_TRUE(window.enabled(name)) << name;

        // The slot buttons still work; play becomes usable after one.
        window.click("Command7");
        EXPECT_EQ(window.commands().back()[1], 0xC4);
        EXPECT_TRUE(window.enabled("Command10"));
    }
}

TEST(Form5, Captures640x480PixelForPixel)
{
    CaptureWindow window;
    window.transport.clearTrace();
    window.click("Command2");

    const Program &program = window.program;
    EXPECT_EQ(program.captureGeometry, (CaptureGeometry{640, 640, 640, 480}));
    ASSERT_EQ(program.FrameBuffer.size(), 921600u);
    for (int y = 0; y < 480; ++y)
        expectRow(program, {640, 480}, y, true);

    // FrameInfo, one LineRead of 30 reports per line, FreezeSet with the freeze state 0.
    const std::vector<CommandBytes8> sent = window.commands();
    ASSERT_EQ(sent.size(), 1u + 480u + 1u);
    EXPECT_EQ(sent.front()[0], FrameInfo);
    for (std::size_t line = 1; line <= 480; ++line) {
        ASSERT_EQ(sent[line][0], LineRead);
        ASSERT_EQ(sent[line][1], 30);
    }
    EXPECT_EQ(sent.back()[0], FreezeSet);
    EXPECT_EQ(sent.back()[1], 0);
    EXPECT_EQ(window.transport.trace().size(), 1u + 1u + 480u * 31u + 2u);

    EXPECT_EQ(window.text(), frameSizeText(640, 480));
    for (const char *name : {"Command1", "Command2", "Command3", "Command4", "Command5"})
        EXPECT_TRUE(window.enabled(name)) << name;
    EXPECT_EQ(window.child("Command1")->text(), QStringLiteral("REC"));

    // The picture box is fitted to 4:3 and centred over the picture area, and shows the frame.
    const auto *picture = window.child<CapturePicture>("Picture1");
    EXPECT_EQ(picture->geometry(), QRect(163, 0, 400, 300)); // 6000 twips wide from 2440
    const QImage shown = picture->frame();
    ASSERT_EQ(shown.size(), QSize(640, 480));
    for (const QPoint p : {QPoint(0, 0), QPoint(639, 0), QPoint(100, 200), QPoint(639, 479), QPoint(320, 400)}) {
        const Bgr bgr = frameBufferPixel(program, p.x(), p.y());
        EXPECT_EQ(shown.pixel(p), qRgb(bgr[2], bgr[1], bgr[0])) << p.x() << ", " << p.y();
    }
}

TEST(Form5, ReportedWidth641DropsThePaddingAndBlanksTheAddedColumns)
{
    CaptureWindow window({641, 120});
    window.transport.clearTrace();
    window.click("Command2");

    const Program &program = window.program;
    EXPECT_EQ(program.captureGeometry, (CaptureGeometry{641, 704, 644, 120}));
    EXPECT_EQ(window.commands()[1][1], 33);
    for (int y = 0; y < 120; ++y)
        expectRow(program, {641, 120}, y, true); // columns 641 to 643 black
    const kdm::sim::Rgb padding = kdm::sim::SimulatedUnit::PaddingColour;
    for (std::size_t at = 0; at < program.FrameBuffer.size(); at += 3)
        ASSERT_FALSE(program.FrameBuffer[at] == padding.b && program.FrameBuffer[at + 1] == padding.g &&
                     program.FrameBuffer[at + 2] == padding.r)
            << "padding at byte " << at;
    EXPECT_EQ(window.text(), frameSizeText(644, 120));
}

TEST(Form5, RefusedCaptureKeepsThePreviousFrameAndSendsFreezeSet)
{
    CaptureWindow window({128, 101});
    window.click("Command2");
    const CaptureGeometry previous = window.program.captureGeometry;
    const std::vector<std::uint8_t> previousFrame = window.program.FrameBuffer;
    const QImage previousPicture = window.child<CapturePicture>("Picture1")->frame();

    for (const FrameSize refused :
         {FrameSize{64, 480}, FrameSize{1985, 480}, FrameSize{640, 100}, FrameSize{640, 1300}, FrameSize{0, 0}}) {
        SCOPED_TRACE(testing::Message() << refused.width << " x " << refused.height);
        window.unit().setInputFrame(refused);
        window.transport.clearTrace();
        window.click("Command2");

        EXPECT_EQ(window.text(), NoPictureText);
        const std::vector<CommandBytes8> sent = window.commands();
        ASSERT_EQ(sent.size(), 2u);
        EXPECT_EQ(sent[0][0], FrameInfo);
        EXPECT_EQ(sent[1][0], FreezeSet);
        EXPECT_EQ(sent[1][1], 0);
        EXPECT_EQ(window.program.captureGeometry, previous);
        EXPECT_EQ(window.program.FrameBuffer, previousFrame);
        EXPECT_EQ(window.child<CapturePicture>("Picture1")->frame(), previousPicture);
        for (const char *name : {"Command1", "Command2", "Command4", "Command5"})
            EXPECT_TRUE(window.enabled(name)) << name;
    }
}

TEST(Form5, RefusedFirstCaptureOffersNothingToSave)
{
    CaptureWindow window({0, 0});
    window.click("Command2");
    EXPECT_EQ(window.text(), NoPictureText);
    EXPECT_TRUE(window.program.FrameBuffer.empty());
    EXPECT_FALSE(window.enabled("Command4"));
    EXPECT_TRUE(window.enabled("Command2"));
    EXPECT_EQ(window.commands().back()[0], FreezeSet);
}

TEST(Form5, LargestAndSmallestAcceptedFramesAreTransferred)
{
    for (const FrameSize frame : {FrameSize{1984, 1299}, FrameSize{65, 101}}) {
        SCOPED_TRACE(frame.width);
        CaptureWindow window(frame);
        window.transport.setRecordTrace(false);
        window.click("Command2");
        EXPECT_EQ(window.program.captureGeometry.CaptureHeight, frame.height);
        for (const int y : {0, frame.height / 2, frame.height - 1})
            expectRow(window.program, frame, y, true);
        EXPECT_EQ(window.text(), frameSizeText(window.program.captureGeometry.CaptureWidth, frame.height));
    }
}

TEST(Form5, StopTakesEffectAfterTheCurrentLine)
{
    CaptureWindow window;
    window.afterLine(10, [&] {
        EXPECT_TRUE(window.enabled("Command3"));
        for (const char *name : {"Command1", "Command2", "Command4", "Command5"})
            EXPECT_FALSE(window.enabled(name)) << name;
        window.click("Command3");
    });
    window.transport.clearTrace();
    window.click("Command2");

    EXPECT_EQ(window.count(LineRead), 11);
    EXPECT_EQ(window.commands().back()[0], FreezeSet);
    for (int y = 0; y < 480; ++y)
        expectRow(window.program, {640, 480}, y, y <= 10);
    // Lines 0 to 10 are drawn, the rest of the box keeps its background.
    auto *picture = window.child<CapturePicture>("Picture1");
    EXPECT_EQ(picture->frame().height(), 11);
    const Bgr bgr = frameBufferPixel(window.program, 5, 10);
    EXPECT_EQ(picture->frame().pixel(5, 10), qRgb(bgr[2], bgr[1], bgr[0]));
    const QImage box = picture->grab().toImage();
    EXPECT_EQ(box.pixelColor(5, 3), QColor(Qt::white)); // the top of the white bar
    EXPECT_EQ(box.pixelColor(5, 100), picture->background());
    for (const char *name : {"Command1", "Command2", "Command4", "Command5"})
        EXPECT_TRUE(window.enabled(name)) << name;

    // The next capture starts afresh.
    window.transport.setTraceSink(nullptr);
    window.click("Command2");
    expectRow(window.program, {640, 480}, 479, true);
}

TEST(Form5, LostLineReportsLeaveZerosAndTheTransferGoesOn)
{
    CaptureWindow window({640, 120});
    // Reports 1 to 3 are the load's, 4 the capture's FrameInfo, 5 + y the LineRead of line y.
    window.transport.addFault({Fault::Kind::DropReply, 5 + 7});
    window.click("Command2");
    for (int y = 0; y < 120; ++y)
        expectRow(window.program, {640, 120}, y, y != 7);
    EXPECT_EQ(window.text(), frameSizeText(640, 120));
}

TEST(Form5, ClosingDuringACaptureStopsItAndStillSendsFreezeSet)
{
    CaptureWindow window;
    window.afterLine(10, [&] { EXPECT_FALSE(window.form->close()); }); // closes once the capture has ended
    window.transport.clearTrace();
    window.click("Command2");

    EXPECT_EQ(window.count(LineRead), 11);
    EXPECT_EQ(window.commands().back()[0], FreezeSet);
    expectRow(window.program, {640, 480}, 10, true);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.form.isNull());
}

TEST(Form5, ProgramEndDuringACaptureStopsIt)
{
    CaptureWindow window;
    window.afterLine(3, [&] { window.form->hide(); }); // what ending the program does to every window
    window.transport.clearTrace();
    window.click("Command2");
    EXPECT_EQ(window.count(LineRead), 4);
    EXPECT_EQ(window.commands().back()[0], FreezeSet);
}

TEST(Form5, ClosingDuringRecFinishesTheRecordingFirst)
{
    CaptureWindow window;
    window.child<QTimer>("Timer1")->setInterval(1);
    window.transport.setTraceSink([&](std::string_view entry) {
        if (entry.starts_with("OUT 17 A0"))
            QTimer::singleShot(0, window.form, [&] { window.form->close(); });
    });
    window.transport.clearTrace();
    window.click("Command1");

    const std::vector<CommandBytes8> sent = window.commands();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[2][1], 0x80);
    EXPECT_TRUE(window.form->isHidden());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.form.isNull());
}

TEST(Form5, RecFillsTheSlotsInOrderWithTheirWaits)
{
    CaptureWindow window;
    auto *timer = window.child<QTimer>("Timer1");
    timer->setInterval(1); // the waits count Timer1's ticks, not milliseconds
    int ticks = 0;
    QObject::connect(timer, &QTimer::timeout, [&] { ++ticks; });
    std::vector<int> ticksAtSend;
    window.transport.setTraceSink([&](std::string_view entry) {
        if (entry.starts_with("OUT"))
            ticksAtSend.push_back(ticks);
    });

    const std::array<std::array<std::uint8_t, 3>, 4> expected{
        {{160, 192, 128}, {165, 197, 133}, {170, 202, 138}, {175, 207, 143}}};
    const char *checks[] = {"Check1", "Check2", "Check3", "Check4"};
    for (std::size_t slot = 0; slot < 4; ++slot) {
        SCOPED_TRACE(slot + 1);
        window.click("Command6"); // play becomes usable; REC makes it unusable again
        window.transport.clearTrace();
        ticksAtSend.clear();
        window.click("Command1");

        const std::vector<CommandBytes8> sent = window.commands();
        ASSERT_EQ(sent.size(), 3u);
        for (std::size_t step = 0; step < 3; ++step) {
            EXPECT_EQ(sent[step][0], ImageMemory);
            EXPECT_EQ(sent[step][1], expected[slot][step]);
        }
        EXPECT_EQ(ticksAtSend[1] - ticksAtSend[0], 1);
        EXPECT_EQ(ticksAtSend[2] - ticksAtSend[1], 4);
        for (std::size_t k = 0; k < 4; ++k)
            EXPECT_EQ(window.child<QCheckBox>(checks[k])->isChecked(), k <= slot) << checks[k];
        EXPECT_FALSE(window.enabled("Command10"));
    }

    window.click("Command6");
    window.transport.clearTrace();
    window.click("Command1"); // every slot used: nothing is sent
    EXPECT_TRUE(window.commands().empty());
    EXPECT_FALSE(window.enabled("Command10"));

    window.child<QCheckBox>("Check2")->setChecked(false);
    window.click("Command1");
    const std::vector<CommandBytes8> sent = window.commands();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0][1], 165);
    EXPECT_EQ(sent[1][1], 197);
    EXPECT_EQ(sent[2][1], 133);
    EXPECT_TRUE(window.child<QCheckBox>("Check2")->isChecked());
}

TEST(Form5, ImageButtonsShowStoredImagesAndPlayReturnsToLive)
{
    CaptureWindow window;
    const std::pair<const char *, std::uint8_t> buttons[] = {
        {"Command6", 192}, {"Command7", 196}, {"Command8", 200}, {"Command9", 204}};
    for (const auto &[name, value] : buttons) {
        window.transport.clearTrace();
        window.click(name);
        ASSERT_EQ(window.commands().size(), 1u) << name;
        EXPECT_EQ(window.commands()[0][0], ImageMemory);
        EXPECT_EQ(window.commands()[0][1], value) << name;
        EXPECT_TRUE(window.enabled("Command10")) << name;
    }
    window.transport.clearTrace();
    window.click("Command10");
    ASSERT_EQ(window.commands().size(), 1u);
    EXPECT_EQ(window.commands()[0][1], 128);
    EXPECT_FALSE(window.enabled("Command10"));
}

TEST(Form5, SavesTheFrameAsABitmap)
{
    QTemporaryDir folder;
    CaptureWindow window({65, 101});
    window.dialogs.documents = folder.path();
    window.click("Command2");
    ASSERT_TRUE(window.enabled("Command4"));

    window.dialogs.answers = {folder.filePath(QStringLiteral("shot.jpg"))};
    window.click("Command4");

    ASSERT_EQ(window.dialogs.requests.size(), 1);
    const kdm::ui::FileDialogRequest &request = window.dialogs.requests[0].request;
    EXPECT_EQ(window.dialogs.requests[0].kind, kdm::test::ScriptedDialogs::Kind::Save);
    EXPECT_EQ(request.title, QStringLiteral("ファイルを保存"));
    EXPECT_EQ(request.folder, folder.path());
    // Half-width katakana: "24ﾋﾞｯﾄ ﾋﾞｯﾄﾏｯﾌﾟ(*.bmp)".
    EXPECT_EQ(request.filter,
              QStringView(u"24\uFF8B\uFF9E\uFF6F\uFF84 \uFF8B\uFF9E\uFF6F\uFF84\uFF8F\uFF6F\uFF8C\uFF9F(*.bmp)"));

    const QString saved = folder.filePath(QStringLiteral("shot.bmp"));
    std::ifstream in(saved.toStdString(), std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_EQ(bytes.size(), 54u + 68u * 101u * 3u);
    EXPECT_TRUE(std::equal(window.program.FrameBuffer.begin(), window.program.FrameBuffer.end(), bytes.begin() + 54));
    const QImage image(saved);
    ASSERT_EQ(image.size(), QSize(68, 101));
    for (const QPoint p : {QPoint(0, 0), QPoint(64, 0), QPoint(65, 50), QPoint(67, 100), QPoint(30, 90)}) {
        const Bgr expected = p.x() < 65 ? testPixel(p.x(), p.y(), {65, 101}) : Bgr{};
        EXPECT_EQ(image.pixel(p), qRgb(expected[2], expected[1], expected[0])) << p.x() << ", " << p.y();
    }
    EXPECT_EQ(window.text(), frameSizeText(68, 101)); // success says nothing

    // Cancelled: nothing is written.
    window.click("Command4");
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("shot.bmp")});
}

TEST(Form5, FailedSaveSaysSoAndKeepsTheEarlierFile)
{
    QTemporaryDir folder;
    CaptureWindow window({65, 101});
    window.click("Command2");
    window.dialogs.answers = {folder.filePath(QStringLiteral("missing/shot"))};
    window.click("Command4");
    EXPECT_EQ(window.text(), QStringLiteral("BMPファイルを保存できませんでした。"));
    EXPECT_TRUE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

TEST(Form5, SaveAfterARefusedCaptureWritesThePreviousFrame)
{
    QTemporaryDir folder;
    CaptureWindow window({65, 101});
    window.click("Command2");
    window.unit().setInputFrame({1985, 480});
    window.click("Command2");
    window.dialogs.answers = {folder.filePath(QStringLiteral("previous"))};
    window.click("Command4");
    const QImage image(folder.filePath(QStringLiteral("previous.bmp")));
    EXPECT_EQ(image.size(), QSize(68, 101));
}

TEST(Form5, MainWindowOpensOneCaptureWindowAndAFreshOneAfterClosing)
{
    kdm::test::ToolFixture fixture;
    Form1 form1(fixture.program);
    form1.show();
    auto *capture = form1.findChild<QAbstractButton *>(QStringLiteral("Command3"));
    auto captureWindows = [] {
        int count = 0;
        for (QWidget *window : QApplication::topLevelWidgets())
            count += qobject_cast<Form5 *>(window) != nullptr;
        return count;
    };

    QTest::mouseClick(capture, Qt::LeftButton);
    QTest::mouseClick(capture, Qt::LeftButton);
    EXPECT_EQ(captureWindows(), 1);
    EXPECT_EQ(fixture.unit().keyLog().size(), 1u); // loaded once

    for (QWidget *window : QApplication::topLevelWidgets())
        if (qobject_cast<Form5 *>(window))
            window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(captureWindows(), 0);
    QTest::mouseClick(capture, Qt::LeftButton);
    EXPECT_EQ(captureWindows(), 1);
    EXPECT_EQ(fixture.unit().keyLog().size(), 2u); // loaded afresh
}

} // namespace
} // namespace kdmtool

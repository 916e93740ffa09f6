#include "kdmtool/Form1.h"
#include "kdmtool/Form6.h"

#include "support/ProgramFixture.h"
#include "support/TraceReports.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace kdmtool {
namespace {

using kdm::Command;
using kdm::CommandBytes8;
using kdm::test::ScriptedDialogs;
using kdm::test::sentReports;

constexpr std::uint16_t Base = kdm::sim::SimulatedUnit::DefaultTimingBase; // 0x1240

// The unit's values as the simulated unit comes up, in table order.
constexpr std::array<int, 14> UnitValues{300, 36, 1344, 806, 12, 10, 1056, 628, 128, 4, 216, 800, 27, 600};

struct WindowFixture : kdm::test::ToolFixture {
    WindowFixture()
    {
        // Pauses count ticks; fast ticks keep the tests quick without changing what is sent.
        ticks.timer()->setInterval(1);
        dialogs.documents = documents.path();
        transport.setTraceSink([this](std::string_view line) {
            if (onReport)
                onReport(line);
        });
    }

    // Opens the window as the main window does and waits for its opening to end.
    QPointer<Form6> open()
    {
        QPointer<Form6> window = new Form6(program);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window || !window->isLoading(); }));
        return window;
    }

    QString file(const char *name) const { return documents.filePath(QLatin1String(name)); }

    // A file in the documents folder holding `bytes`; its path.
    QString writeFile(const char *name, const QByteArray &bytes) const
    {
        QFile out(file(name));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        EXPECT_EQ(out.write(bytes), bytes.size());
        return out.fileName();
    }

    QTemporaryDir documents;
    // Called with every trace line as the report crosses the wire.
    std::function<void(std::string_view)> onReport;
};

template <typename Control> Control *control(QWidget *window, const QString &name)
{
    auto *found = window->findChild<Control *>(name);
    EXPECT_NE(found, nullptr) << name.toStdString();
    return found;
}

QScrollBar *bar(QWidget *window, const char *name)
{
    return control<QScrollBar>(window, QLatin1String(name));
}

QString text(QWidget *window, const char *name)
{
    return control<QLineEdit>(window, QLatin1String(name) + QStringLiteral("_txt"))->text();
}

// Calls `action` (from the event loop, so inside a pause) once the n-th
// report with the given command code has gone out.
std::function<void(std::string_view)> afterReport(Command command, int n, std::function<void()> action)
{
    auto seen = std::make_shared<int>(0);
    const std::string prefix =
        QStringLiteral("OUT %1 ").arg(kdm::code(command), 2, 16, QLatin1Char('0')).toUpper().toStdString();
    return [=](std::string_view line) {
        if (line.starts_with(prefix) && ++*seen == n)
            QTimer::singleShot(0, action);
    };
}

QPoint subControlCentre(QScrollBar *scrollBar, QStyle::SubControl part)
{
    QStyleOptionSlider option;
    option.initFrom(scrollBar);
    option.orientation = scrollBar->orientation();
    option.state |= QStyle::State_Horizontal;
    option.minimum = scrollBar->minimum();
    option.maximum = scrollBar->maximum();
    option.sliderPosition = scrollBar->sliderPosition();
    option.sliderValue = scrollBar->value();
    option.singleStep = scrollBar->singleStep();
    option.pageStep = scrollBar->pageStep();
    option.subControls = QStyle::SC_All;
    return scrollBar->style()->subControlRect(QStyle::CC_ScrollBar, &option, part, scrollBar).center();
}

// The timing window the main window has on show.
Form6 *shownForm6()
{
    for (QWidget *window : QApplication::topLevelWidgets())
        if (auto *form6 = qobject_cast<Form6 *>(window); form6 && form6->isVisible())
            return form6;
    return nullptr;
}

std::vector<CommandBytes8> writes(const kdm::sim::SimTransport &transport)
{
    std::vector<CommandBytes8> sent = sentReports(transport);
    std::erase_if(sent, [](const CommandBytes8 &r) { return r[0] != 0x11 && r[0] != 0x12; });
    return sent;
}

CommandBytes8 groupReport(std::uint8_t command, int offset, const std::array<std::uint8_t, 257> &mirror)
{
    const auto n = static_cast<std::size_t>(offset);
    return {command,
            0,
            static_cast<std::uint8_t>((Base + offset) & 0xFF),
            static_cast<std::uint8_t>((Base + offset) >> 8),
            mirror[n],
            mirror[n + 1],
            mirror[n + 2],
            mirror[n + 3]};
}

TEST(Form6, HasItsControlsInTheirPlaces)
{
    WindowFixture f;
    Form6 window(f.program);

    EXPECT_EQ(window.windowTitle(), QStringLiteral("入出力映像信号調整"));
    EXPECT_EQ(window.size(), QSize(552, 340));
    struct Frame {
        const char *name;
        QString caption;
        QRect pixels;
    };
    for (const Frame &frame : {Frame{"Frame1", QStringLiteral("入力信号タイミング"), QRect(8, 8, 257, 153)},
                               Frame{"Frame2", QStringLiteral("入力信号Clamp"), QRect(288, 16, 249, 97)},
                               Frame{"Frame3", QStringLiteral("出力同期タイミング"), QRect(288, 128, 257, 153)},
                               Frame{"Frame4", QStringLiteral("出力信号タイミング"), QRect(8, 168, 257, 153)}}) {
        auto *box = control<QGroupBox>(&window, QLatin1String(frame.name));
        EXPECT_EQ(box->title(), frame.caption);
        EXPECT_EQ(box->geometry(), frame.pixels);
    }
    struct Row {
        const char *name;
        const char *frame;
        QRect barPixels;
        int maximum;
    };
    for (const Row &row :
         {Row{"h2pos", "Frame1", QRect(48, 24, 145, 25), 4095}, Row{"v2size", "Frame1", QRect(48, 120, 145, 25), 4095},
          Row{"clamp_start", "Frame2", QRect(96, 16, 97, 25), 255},
          Row{"clamp_width", "Frame2", QRect(96, 48, 97, 25), 255}, Row{"hsw", "Frame3", QRect(96, 88, 97, 25), 255},
          Row{"pv1pos", "Frame4", QRect(48, 56, 145, 25), 4095},
          Row{"ph1size", "Frame4", QRect(48, 88, 145, 25), 4095}}) {
        SCOPED_TRACE(row.name);
        QScrollBar *scrollBar = bar(&window, row.name);
        EXPECT_EQ(scrollBar->parentWidget()->objectName(), QLatin1String(row.frame));
        EXPECT_EQ(scrollBar->geometry(), row.barPixels);
        EXPECT_EQ(scrollBar->minimum(), 0);
        EXPECT_EQ(scrollBar->maximum(), row.maximum);
        EXPECT_EQ(scrollBar->singleStep(), 1);
        EXPECT_EQ(scrollBar->pageStep(), 1);
        EXPECT_EQ(scrollBar->value(), 0);
        auto *box = control<QLineEdit>(&window, QLatin1String(row.name) + QStringLiteral("_txt"));
        EXPECT_EQ(box->text(), QStringLiteral("000"));
        EXPECT_EQ(box->geometry(), QRect(200, row.barPixels.top(), 41, 25));
    }
    QStringList labels;
    for (const QLabel *label : window.findChildren<QLabel *>())
        labels << label->text();
    EXPECT_TRUE(labels.contains(QStringLiteral("clamp width")));
    EXPECT_TRUE(labels.contains(QStringLiteral("clamp_start")));
    EXPECT_FALSE(labels.contains(QStringLiteral("clamp_width")));
    EXPECT_EQ(labels.size(), 14);
    EXPECT_EQ(control<QPushButton>(&window, QStringLiteral("Command1"))->text(), QStringLiteral("data save"));
    EXPECT_EQ(control<QPushButton>(&window, QStringLiteral("Command1"))->geometry(), QRect(296, 296, 113, 33));
    EXPECT_EQ(control<QPushButton>(&window, QStringLiteral("Command2"))->text(), QStringLiteral("data load"));
    EXPECT_EQ(control<QPushButton>(&window, QStringLiteral("Command2"))->geometry(), QRect(432, 296, 113, 33));
}

TEST(Form6, OpeningReadsTheBlockAndSetsTheBarsWithoutWriting)
{
    WindowFixture f;
    for (int k : {6, 8}) // v2pos = 0 in the unit
        f.unit().setTimingRegister(static_cast<std::uint16_t>(Base + k), 0);

    QPointer<Form6> window = new Form6(f.program);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    // Until the block is read, nothing can be changed.
    EXPECT_FALSE(control<QGroupBox>(window, QStringLiteral("Frame1"))->isEnabled());
    EXPECT_FALSE(control<QPushButton>(window, QStringLiteral("Command2"))->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isLoading(); }));

    const std::vector<CommandBytes8> sent = sentReports(f.transport);
    ASSERT_EQ(sent.size(), 11u);
    EXPECT_EQ(sent[0][0], 0x0F);
    EXPECT_EQ(sent[0][1], 1);
    for (std::size_t block = 0; block < 10; ++block) {
        EXPECT_EQ(sent[block + 1][0], 0x10);
        EXPECT_EQ(sent[block + 1][2], 0x40 + 8 * block);
        EXPECT_EQ(sent[block + 1][3], 0x12);
    }
    for (std::size_t i = 0; i < TimingParameters.size(); ++i) {
        const char *name = TimingParameters[i].name;
        const int expected = i == 1 ? 0 : UnitValues[i];
        EXPECT_EQ(bar(window, name)->value(), expected) << name;
        // A bar that stays at 0 raises no change, so its box keeps "000".
        EXPECT_EQ(text(window, name), expected == 0 ? QStringLiteral("000") : QString::number(expected)) << name;
    }
    EXPECT_TRUE(control<QGroupBox>(window, QStringLiteral("Frame1"))->isEnabled());
    EXPECT_TRUE(control<QPushButton>(window, QStringLiteral("Command2"))->isEnabled());
    delete window;
}

TEST(Form6, BarsCommitOnArrowsTrackClicksKeysAndThumbReleaseOnly)
{
    WindowFixture f;
    QPointer<Form6> window = f.open();
    QScrollBar *h2pos = bar(window, "h2pos");
    ASSERT_EQ(h2pos->value(), 300);
    f.transport.clearTrace();

    const auto lastWrite = [&] {
        const std::vector<CommandBytes8> sent = sentReports(f.transport, Command::TimingWrite);
        return sent.empty() ? -1 : sent.back()[4] | (sent.back()[6] << 8);
    };

    QTest::mouseClick(h2pos, Qt::LeftButton, {}, subControlCentre(h2pos, QStyle::SC_ScrollBarAddLine));
    EXPECT_EQ(h2pos->value(), 301);
    EXPECT_EQ(text(window, "h2pos"), QStringLiteral("301"));
    EXPECT_EQ(writes(f.transport).size(), 2u); // TimingWrite, TimingWriteEnd
    EXPECT_EQ(lastWrite(), 301);

    QTest::mouseClick(h2pos, Qt::LeftButton, {}, subControlCentre(h2pos, QStyle::SC_ScrollBarAddPage));
    EXPECT_EQ(h2pos->value(), 302); // a click in the track is a step of 1
    EXPECT_EQ(lastWrite(), 302);

    h2pos->setFocus();
    QTest::keyClick(h2pos, Qt::Key_Left);
    EXPECT_EQ(h2pos->value(), 301);
    EXPECT_EQ(lastWrite(), 301);
    EXPECT_EQ(writes(f.transport).size(), 6u);

    // Dragging the thumb writes nothing until it is let go.
    const QPoint thumb = subControlCentre(h2pos, QStyle::SC_ScrollBarSlider);
    QTest::mousePress(h2pos, Qt::LeftButton, {}, thumb);
    QTest::mouseMove(h2pos, thumb + QPoint(30, 0));
    QTest::mouseMove(h2pos, thumb + QPoint(60, 0));
    EXPECT_GT(h2pos->sliderPosition(), 301);
    EXPECT_EQ(h2pos->value(), 301);
    EXPECT_EQ(text(window, "h2pos"), QStringLiteral("301"));
    EXPECT_EQ(writes(f.transport).size(), 6u);
    const int released = h2pos->sliderPosition();
    QTest::mouseRelease(h2pos, Qt::LeftButton, {}, thumb + QPoint(60, 0));
    EXPECT_EQ(h2pos->value(), released);
    EXPECT_EQ(writes(f.transport).size(), 8u);
    EXPECT_EQ(lastWrite(), released);
    EXPECT_EQ(f.unit().timingRegister(Base + 2) | (f.unit().timingRegister(Base + 4) << 8), released);

    // A change to 0 shows "0", not the initial "000".
    QScrollBar *vsw = bar(window, "vsw");
    vsw->setFocus();
    QTest::keyClick(vsw, Qt::Key_Home);
    EXPECT_EQ(vsw->value(), 0);
    EXPECT_EQ(text(window, "vsw"), QStringLiteral("0"));
    EXPECT_EQ(f.unit().timingRegister(Base + 50), 0);
    delete window;
}

TEST(Form6, AValueAboveTheRangeFromTheUnitWidensItsBarAndIsNotWrittenBack)
{
    WindowFixture f;
    f.unit().setTimingRegister(Base + 2, 0x88); // h2pos = 5000
    f.unit().setTimingRegister(Base + 4, 0x13);
    QPointer<Form6> window = f.open();

    QScrollBar *h2pos = bar(window, "h2pos");
    EXPECT_EQ(h2pos->value(), 5000);
    EXPECT_EQ(h2pos->maximum(), 5000);
    EXPECT_EQ(text(window, "h2pos"), QStringLiteral("5000"));
    EXPECT_EQ(bar(window, "pv1size")->value(), 600); // the bars after it are set too
    EXPECT_TRUE(writes(f.transport).empty());

    h2pos->setFocus();
    QTest::keyClick(h2pos, Qt::Key_Left);
    EXPECT_EQ(f.unit().timingRegister(Base + 2), 0x87);
    EXPECT_EQ(f.unit().timingRegister(Base + 4), 0x13);
    delete window;
}

TEST(Form6, ABlockTheUnitCannotAddressLeavesNothingToWrite)
{
    WindowFixture f;
    f.unit().setTimingBase(0xFFC0);
    QPointer<Form6> window = f.open();

    EXPECT_EQ(sentReports(f.transport).size(), 1u); // TimingAccess open, no reads
    for (const char *name : {"Frame1", "Frame2", "Frame3", "Frame4"})
        EXPECT_FALSE(control<QGroupBox>(window, QLatin1String(name))->isEnabled()) << name;
    EXPECT_FALSE(control<QPushButton>(window, QStringLiteral("Command2"))->isEnabled());
    EXPECT_TRUE(control<QPushButton>(window, QStringLiteral("Command1"))->isEnabled());
    window->close();
    EXPECT_EQ(sentReports(f.transport).back()[0], 0x0F);
    EXPECT_EQ(sentReports(f.transport).back()[1], 0);
}

TEST(Form6, TheOpeningWaitsForAFlashDownloadToLetGoOfTheLink)
{
    WindowFixture f;
    auto claim = f.link.claimExclusive();
    QPointer<Form6> window = new Form6(f.program);
    window->show();
    f.ticks.pause(10);
    EXPECT_TRUE(sentReports(f.transport).empty());
    EXPECT_TRUE(window->isLoading());

    claim.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isLoading(); }));
    EXPECT_EQ(bar(window, "h2pos")->value(), 300);
    delete window;
}

TEST(Form6, WhileAFlashDownloadHoldsTheLinkNothingIsTakenThatCannotBeWritten)
{
    WindowFixture f;
    QPointer<Form6> window = f.open();
    const QString other = f.writeFile("other.bin", QByteArray(257, 0x01));
    const auto mirror = f.program.TimingMirror;
    f.transport.clearTrace();
    auto claim = f.link.claimExclusive();
    ASSERT_TRUE(claim);

    QScrollBar *h2pos = bar(window, "h2pos");
    h2pos->setFocus();
    QTest::keyClick(h2pos, Qt::Key_Right);
    EXPECT_EQ(h2pos->value(), 300); // back to what the unit holds
    EXPECT_EQ(text(window, "h2pos"), QStringLiteral("300"));
    f.dialogs.answers = {other};
    QTest::mouseClick(control<QPushButton>(window, QStringLiteral("Command2")), Qt::LeftButton);
    f.ticks.pause(5);

    EXPECT_EQ(f.program.TimingMirror, mirror);
    EXPECT_EQ(bar(window, "v2pos")->value(), 36);
    EXPECT_FALSE(window->isLoading());
    claim.reset();
    EXPECT_TRUE(f.transport.trace().empty());
    delete window;
}

TEST(Form6, ClosingSendsTheAccessCloseAndTheNextOpeningReadsAfresh)
{
    WindowFixture f;
    Form1 form1(f.program);
    auto *openButton = control<QPushButton>(&form1, QStringLiteral("Command1"));
    QTest::mouseClick(openButton, Qt::LeftButton);
    QPointer<Form6> first = shownForm6();
    ASSERT_TRUE(first);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !first->isLoading(); }));

    QTest::mouseClick(openButton, Qt::LeftButton); // already open: shown again, nothing read
    f.ticks.pause(5);
    EXPECT_EQ(sentReports(f.transport).size(), 11u);

    QScrollBar *h2pos = bar(first, "h2pos");
    h2pos->setFocus();
    QTest::keyClick(h2pos, Qt::Key_Right);
    first->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }));
    const std::vector<CommandBytes8> sent = sentReports(f.transport);
    ASSERT_EQ(sent.size(), 14u);
    EXPECT_EQ(sent[13][0], 0x0F);
    EXPECT_EQ(sent[13][1], 0);
    EXPECT_FALSE(f.unit().timingAccessOpen());

    QTest::mouseClick(openButton, Qt::LeftButton);
    QPointer<Form6> second = shownForm6();
    ASSERT_TRUE(second);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !second->isLoading(); }));
    EXPECT_EQ(sentReports(f.transport).size(), 25u);
    EXPECT_EQ(bar(second, "h2pos")->value(), 301); // the unit kept the change
}

TEST(Form6, EndingTheProgramFromTheMainWindowSendsNoClose)
{
    WindowFixture f;
    auto form1 = std::make_unique<Form1>(f.program);
    form1->show();
    QTest::mouseClick(control<QPushButton>(form1.get(), QStringLiteral("Command1")), Qt::LeftButton);
    QPointer<Form6> window = shownForm6();
    ASSERT_TRUE(window);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isLoading(); }));

    form1->close();
    form1.reset(); // takes the tool windows with it, without their close handling
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(f.programEnds, 1);
    EXPECT_EQ(sentReports(f.transport, Command::TimingAccess).size(), 1u); // the open alone
    EXPECT_TRUE(f.unit().timingAccessOpen());
}

TEST(Form6, ClosingDuringTheOpeningEndsItThereWithOneClose)
{
    for (bool deleteOnClose : {true, false}) {
        SCOPED_TRACE(deleteOnClose ? "deleted on close" : "kept after close");
        WindowFixture f;
        QPointer<Form6> window = new Form6(f.program);
        window->setAttribute(Qt::WA_DeleteOnClose, deleteOnClose);
        f.onReport = afterReport(Command::TimingRead, 3, [&] { window->close(); });
        window->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window.isNull() || !window->isVisible(); }));
        f.ticks.pause(10);

        const std::vector<CommandBytes8> sent = sentReports(f.transport);
        ASSERT_EQ(sent.size(), 5u); // open, three reads, close
        EXPECT_EQ(sent[3][0], 0x10);
        EXPECT_EQ(sent[4][0], 0x0F);
        EXPECT_EQ(sent[4][1], 0);
        if (window) {
            EXPECT_EQ(bar(window, "h2pos")->value(), 0); // a closed window is not filled in
            window->close();
            EXPECT_EQ(sentReports(f.transport).size(), 5u);
            delete window;
        }
    }
}

TEST(Form6, DestroyedDuringTheOpeningItSendsNothingMore)
{
    WindowFixture f;
    QPointer<Form6> window = new Form6(f.program);
    f.onReport = afterReport(Command::TimingRead, 3, [&] { delete window; });
    window->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }));
    f.ticks.pause(10);
    EXPECT_EQ(sentReports(f.transport).size(), 4u); // open and three reads
}

TEST(Form6, SavesTheMirrorToTheChosenFile)
{
    WindowFixture f;
    QPointer<Form6> window = f.open();
    f.transport.clearTrace();
    f.dialogs.answers = {f.file("vomo5_syc1.bin")};
    QTest::mouseClick(control<QPushButton>(window, QStringLiteral("Command1")), Qt::LeftButton);

    ASSERT_EQ(f.dialogs.requests.size(), 1);
    const ScriptedDialogs::Request &request = f.dialogs.requests[0];
    EXPECT_EQ(request.kind, ScriptedDialogs::Kind::Save);
    EXPECT_EQ(request.request.title, QStringLiteral("VOMO-5 入出力映像タイミングDataを保存"));
    EXPECT_EQ(request.request.folder, f.documents.path());
    EXPECT_EQ(request.request.fileName, QStringLiteral("vomo5_syc*.bin"));
    QFile saved(f.file("vomo5_syc1.bin"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    ASSERT_EQ(bytes.size(), 257);
    for (int k = 0; k < 257; ++k)
        EXPECT_EQ(static_cast<std::uint8_t>(bytes[k]),
                  k < 80 ? f.unit().timingRegister(static_cast<std::uint16_t>(Base + k)) : 0)
            << k;
    EXPECT_TRUE(sentReports(f.transport).empty());
    delete window;
}

TEST(Form6, AFileSavedAndLoadedBackWritesNineteenGroupsAndOneEndAndMovesNoBar)
{
    WindowFixture f;
    QPointer<Form6> window = f.open();
    f.dialogs.answers = {f.file("round.bin"), f.file("round.bin")};
    QTest::mouseClick(control<QPushButton>(window, QStringLiteral("Command1")), Qt::LeftButton);
    f.transport.clearTrace();

    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (const TimingParameter &p : TimingParameters)
        spies.push_back(std::make_unique<QSignalSpy>(bar(window, p.name), &QScrollBar::valueChanged));
    QTest::mouseClick(control<QPushButton>(window, QStringLiteral("Command2")), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isLoading(); }));

    ASSERT_EQ(f.dialogs.requests.size(), 2);
    const ScriptedDialogs::Request &request = f.dialogs.requests[1];
    EXPECT_EQ(request.kind, ScriptedDialogs::Kind::Open);
    EXPECT_EQ(request.request.title, QStringLiteral("VOMO-5 入出力映像タイミングDataを読込"));
    EXPECT_EQ(request.request.folder, f.documents.path());
    EXPECT_EQ(request.request.fileName, f.file("round.bin")); // what the dialog last held

    std::vector<CommandBytes8> expected;
    for (int n = 0; n <= 72; n += 4)
        expected.push_back(groupReport(0x11, n, f.program.TimingMirror));
    expected.push_back(groupReport(0x12, 72, f.program.TimingMirror));
    EXPECT_EQ(sentReports(f.transport), expected);
    EXPECT_EQ(f.transport.repliesWaiting(), 0u);
    for (const auto &spy : spies)
        EXPECT_EQ(spy->count(), 0);
    delete window;
}

TEST(Form6, LoadingAFileWritesItsFirst256BytesAndSetsEveryBar)
{
    struct Case {
        const char *what;
        int size;
        std::uint8_t h2posHigh; // file byte 4
        int h2pos;
    };
    for (const Case &c : {Case{"256 bytes", 256, 0x03, 1000}, Case{"300 bytes", 300, 0x03, 1000},
                          Case{"h2pos above 4095", 257, 0x13, 0x13E8}}) {
        SCOPED_TRACE(c.what);
        WindowFixture f;
        QPointer<Form6> window = f.open();
        QByteArray bytes(c.size, 0);
        for (int k = 0; k < c.size; ++k)
            bytes[k] = static_cast<char>(k % 200);
        bytes[2] = static_cast<char>(0xE8);
        bytes[4] = static_cast<char>(c.h2posHigh);
        f.dialogs.answers = {f.writeFile("load.bin", bytes)};
        f.transport.clearTrace();

        QTest::mouseClick(control<QPushButton>(window, QStringLiteral("Command2")), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isLoading(); }));

        for (int k = 0; k < 256; ++k)
            EXPECT_EQ(f.program.TimingMirror[static_cast<std::size_t>(k)], static_cast<std::uint8_t>(bytes[k])) << k;
        EXPECT_EQ(f.program.TimingMirror[256], 0);
        EXPECT_EQ(bar(window, "h2pos")->value(), c.h2pos);
        EXPECT_EQ(text(window, "h2pos"), QString::number(c.h2pos));
        EXPECT_EQ(bar(window, "pv1size")->value(), 66 + 68 * 256); // the last bar is set too
        EXPECT_EQ(bar(window, "hsw")->value(), 48);
        const std::vector<CommandBytes8> sent = sentReports(f.transport);
        ASSERT_EQ(sent.size(), 20u);
        EXPECT_EQ(sent[0], groupReport(0x11, 0, f.program.TimingMirror));
        EXPECT_EQ(sent[19], groupReport(0x12, 72, f.program.TimingMirror));
        for (int k = 0; k < 76; ++k)
            EXPECT_EQ(f.unit().timingRegister(static_cast<std::uint16_t>(Base + k)),
                      static_cast<std::uint8_t>(bytes[k]))
                << k;
        delete window;
    }
}

TEST(Form6, AFileThatCannotBeReadInFullChangesNothingAndSendsNothing)
{
    WindowFixture f;
    QPointer<Form6> window = f.open();
    const QString shortFile = f.writeFile("short.bin", QByteArray(255, 0x7F));
    const auto mirror = f.program.TimingMirror;
    f.transport.clearTrace();

    for (const QString &path : {shortFile, f.file("missing.bin"), f.documents.path()}) {
        SCOPED_TRACE(path.toStdString());
        f.dialogs.answers = {path};
        QTest::mouseClick(control<QPushButton>(window, QStringLiteral("Command2")), Qt::LeftButton);
        f.ticks.pause(5);
        EXPECT_EQ(f.program.TimingMirror, mirror);
        EXPECT_TRUE(sentReports(f.transport).empty());
        EXPECT_EQ(bar(window, "h2pos")->value(), 300);
        EXPECT_TRUE(control<QPushButton>(window, QStringLiteral("Command2"))->isEnabled());
    }
    delete window;
}

TEST(Form6, NoFileChosenLoadsTheMirrorAsItStandsAndSavesNothing)
{
    WindowFixture f;
    QPointer<Form6> window = f.open();
    f.transport.clearTrace();

    QTest::mouseClick(control<QPushButton>(window, QStringLiteral("Command1")), Qt::LeftButton); // cancelled
    EXPECT_TRUE(QDir(f.documents.path()).isEmpty());
    QTest::mouseClick(control<QPushButton>(window, QStringLiteral("Command2")), Qt::LeftButton); // cancelled
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isLoading(); }));

    ASSERT_EQ(f.dialogs.requests.size(), 2);
    EXPECT_EQ(f.dialogs.requests[1].request.fileName, QStringLiteral("vomo5_syc*.bin")); // left from the save
    EXPECT_EQ(sentReports(f.transport, Command::TimingWrite).size(), 19u);
    EXPECT_EQ(sentReports(f.transport, Command::TimingWriteEnd).size(), 1u);
    EXPECT_EQ(bar(window, "h2pos")->value(), 300);
    delete window;
}

TEST(Form6, WithoutADocumentsFolderNoDialogIsShown)
{
    WindowFixture f;
    QPointer<Form6> window = f.open();
    f.dialogs.documents.clear();
    f.transport.clearTrace();
    QTest::mouseClick(control<QPushButton>(window, QStringLiteral("Command1")), Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>(window, QStringLiteral("Command2")), Qt::LeftButton);
    f.ticks.pause(5);
    EXPECT_TRUE(f.dialogs.requests.isEmpty());
    EXPECT_TRUE(sentReports(f.transport).empty());
    delete window;
}

TEST(Form6, ASecondLoadClickDuringALoadIsIgnored)
{
    WindowFixture f;
    QPointer<Form6> window = f.open();
    f.transport.clearTrace();
    auto *load = control<QPushButton>(window, QStringLiteral("Command2"));
    f.onReport = afterReport(Command::TimingWrite, 2, [&] { QTest::mouseClick(load, Qt::LeftButton); });

    QTest::mouseClick(load, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isLoading(); }));
    f.ticks.pause(5);
    EXPECT_EQ(f.dialogs.requests.size(), 1);
    EXPECT_EQ(sentReports(f.transport, Command::TimingWrite).size(), 19u);
    EXPECT_EQ(sentReports(f.transport, Command::TimingWriteEnd).size(), 1u);
    delete window;
}

TEST(Form6, ClosingDuringAFileLoadConcludesTheWritesSentAndClosesAccess)
{
    WindowFixture f;
    QPointer<Form6> window = f.open();
    f.transport.clearTrace();
    f.onReport = afterReport(Command::TimingWrite, 5, [&] { window->close(); });

    QTest::mouseClick(control<QPushButton>(window, QStringLiteral("Command2")), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }));
    f.ticks.pause(10);

    const std::vector<CommandBytes8> sent = sentReports(f.transport);
    ASSERT_EQ(sent.size(), 7u);
    EXPECT_EQ(sent[5], groupReport(0x12, 16, f.program.TimingMirror)); // repeats the fifth write
    EXPECT_EQ(sent[6][0], 0x0F);
    EXPECT_EQ(sent[6][1], 0);
}

} // namespace
} // namespace kdmtool

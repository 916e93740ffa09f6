#include "Sequences.h"

#include "kdmtool/Form1.h"
#include "kdmtool/Form2.h"
#include "kdmtool/Form5.h"
#include "kdmtool/Form6.h"
#include "kdmtool/StatusTextBox.h"
#include "kdmtool/TimingParameters.h"
#include "kdmupdate/Form1.h"
#include "kdmupdate/Form2.h"
#include "support/FlashWire.h"
#include "support/ProgramFixture.h"
#include "support/TraceReports.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

// QString values in failure messages, as text.
void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace kdm::hardening {

using namespace std::chrono_literals;

std::string_view name(Sequence sequence)
{
    constexpr std::string_view names[] = {"Startup",    "TimingWindow", "TimingLoad", "Capture",      "Rec",
                                          "RemoteKeys", "CommandFile",  "Presence",   "UpdatePackage"};
    return names[static_cast<std::size_t>(sequence)];
}

std::string_view name(Outcome outcome)
{
    constexpr std::string_view names[] = {
        "Connected",      "NotConnected",  "ShowsTheUnit",  "ReadOnly",      "ShowsWhatCame", "Loaded",
        "LoadedUnitGone", "Captured",      "Refused",       "Abandoned",     "FpgaMessage",   "Recorded",
        "RecordLost",     "AllKeys",       "KeysUntilGone", "WriteOk",       "WriteError",    "NoAnswer",
        "Recognised",     "NotRecognised", "Finished",      "FailedAtFirst", "ClosedMidway"};
    return names[static_cast<std::size_t>(outcome)];
}

void SequenceRun::closeWindow()
{
    ADD_FAILURE() << "this sequence runs in no window of its own to close";
}

void SequenceRun::markBodyStart()
{
    m_bodyStart = transport().reportsReceived();
}

flash::ChecksumWait SequenceRun::countTime(DeviceLink &link, ui::TickTimer &ticks)
{
    link.setDiagnostics([this](std::string_view line) {
        if (line.starts_with("no input report"))
            ++m_timeouts;
    });
    // Pauses count ticks: ticks as fast as the event loop turns keep the runs
    // quick without changing what is sent.
    ticks.timer()->setInterval(0);
    QObject::connect(ticks.timer(), &QTimer::timeout, [this] { ++m_ticks; });
    return {flash::DefaultChecksumWait,
            [this] { return std::chrono::steady_clock::time_point{} + m_timeouts * 1s + m_ticks * 10ms; }};
}

namespace {

// Texts the windows show.
const QString UnitFoundText = QStringLiteral("ＫＤＭ－９  Ｃｏｎｎｅｃｔ");
const QString UnitNotFoundText = QStringLiteral("ＫＤＭ－９") + QChar(0x3000) + QStringLiteral("No") + QChar(0x3000) +
                                 QStringLiteral("Ｃｏｎｎｅｃｔ");
const QString FpgaText = QStringLiteral("KDM-9 FPGA SELECTをB2にしてください。 \r\n"
                                        "KDM-9と本アプリを再スタートしてください。");
const QString NoPictureText = QStringLiteral("入力映像が無いか、不適切です。");
const QString SuccessVerdictStart = QStringLiteral("Chack sum=");
const QString UpdateSuccessVerdictStart = QStringLiteral("Check sum=");
const QString WriteErrorVerdictStart = QStringLiteral("Write error  rom=");
const QString NoAnswerVerdictStart = QStringLiteral("Write error  rom=応答なし file=");
const QString RecognisedText = QStringLiteral("KDM-9を認識しました。");
const QString NotRecognisedText = QStringLiteral("KDM-9を認識できません。");
const QString UpdateFinishedText = QStringLiteral("アップデート") + QChar(0x3000) + QStringLiteral("正常終了");
const QString UpdateWriteErrorStart = QStringLiteral("書き込みエラーが発生しました。(");

QString frameSizeText(int width, int height)
{
    return QStringLiteral("画面情報") + QChar(0xFF1A) +
           QStringLiteral("水平SIZE= %1dot , 垂直SIZE= %2dot , RGB").arg(width).arg(height) + QChar(0x3000) +
           QStringLiteral("24bit");
}

template <typename Control = QAbstractButton> Control *child(const QWidget *window, const char *name)
{
    Control *found = window ? window->findChild<Control *>(QLatin1String(name)) : nullptr;
    EXPECT_NE(found, nullptr) << name;
    return found;
}

void click(const QWidget *window, const char *name)
{
    if (auto *button = child(window, name))
        QTest::mouseClick(button, Qt::LeftButton);
}

bool enabled(const QWidget *window, const char *name)
{
    const QWidget *control = child<QWidget>(window, name);
    return control && control->isEnabled();
}

void expectEnabled(const QWidget *window, std::initializer_list<const char *> names, bool on)
{
    for (const char *name : names)
        EXPECT_EQ(enabled(window, name), on) << name;
}

// The visible top-level window of a class, if any.
template <typename Window> Window *shown()
{
    for (QWidget *window : QApplication::topLevelWidgets())
        if (auto *found = qobject_cast<Window *>(window); found && found->isVisible())
            return found;
    return nullptr;
}

// Lets windows closed with WA_DeleteOnClose go.
void deleteClosedWindows()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// Closes a tool window the way its close box does; true when it is gone.
template <typename Window> bool closeAndCheckGone(QPointer<Window> &window)
{
    if (!window)
        return false;
    window->close();
    deleteClosedWindows();
    return window.isNull();
}

std::size_t count(const sim::SimTransport &transport, Command command)
{
    return test::sentReports(transport, command).size();
}

void writeBytes(const QString &path, const std::vector<std::uint8_t> &bytes)
{
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> pattern(std::size_t size, int seed)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t k = 0; k < size; ++k)
        bytes[k] = static_cast<std::uint8_t>(k * 13 + static_cast<std::size_t>(seed));
    return bytes;
}

bool flashHolds(const sim::SimulatedUnit &unit, std::uint32_t address, const std::vector<std::uint8_t> &bytes)
{
    return std::equal(bytes.begin(), bytes.end(), unit.flash().begin() + address);
}

void unexpected(Outcome outcome)
{
    ADD_FAILURE() << name(outcome) << " is no outcome of this sequence";
}

// kdmtool on the simulated unit, its main window up.
class ToolRun : public SequenceRun {
public:
    explicit ToolRun(bool unitPresent) : f(unitPresent)
    {
        f.program.checksumWait = countTime(f.link, f.ticks);
        f.dialogs.documents = folder.path();
    }
    sim::SimTransport &transport() override { return f.transport; }

protected:
    void showMainWindow()
    {
        form1 = std::make_unique<kdmtool::Form1>(f.program);
        form1->show();
    }
    // Opens a tool window from its button in the main window.
    template <typename Window> QPointer<Window> openToolWindow(const char *button)
    {
        click(form1.get(), button);
        return shown<Window>();
    }
    void expectMainWindowEnabled(bool on)
    {
        expectEnabled(form1.get(), {"Command1", "Command2", "Command10", "Command3"}, on);
    }
    // The main window still closes, and with it the program.
    void expectProgramEndsOnClose()
    {
        EXPECT_TRUE(form1->close());
        EXPECT_EQ(f.programEnds, 1);
    }

    test::ToolFixture f;
    QTemporaryDir folder;
    std::unique_ptr<kdmtool::Form1> form1;
};

class StartupRun final : public ToolRun {
public:
    using ToolRun::ToolRun;
    void drive() override { showMainWindow(); }
    void expect(Outcome outcome) override
    {
        const QString text = child<QLineEdit>(form1.get(), "Text1")->text();
        switch (outcome) {
        case Outcome::Connected:
            EXPECT_EQ(text, UnitFoundText);
            expectMainWindowEnabled(true);
            click(form1.get(), "Command2"); // a tool window opens
            EXPECT_NE(shown<kdmtool::Form2>(), nullptr);
            break;
        case Outcome::NotConnected:
            EXPECT_EQ(text, UnitNotFoundText);
            expectMainWindowEnabled(false);
            break;
        default:
            unexpected(outcome);
        }
        expectProgramEndsOnClose();
    }
};

// The timing window of the main window, its opening ended.
class TimingRun : public ToolRun {
public:
    using ToolRun::ToolRun;

protected:
    void openTimingWindow()
    {
        showMainWindow();
        form6 = openToolWindow<kdmtool::Form6>("Command1");
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form6 || !form6->isLoading(); }, 60000));
    }
    // What the window offers and shows once a sequence of it has ended.
    struct Shown {
        std::string barsNotShowingTheMirror; // their names
        int writingControlsEnabled = 0;      // of the frames and data load
        bool saveEnabled = false;
    };
    Shown shownNow() const
    {
        Shown shown;
        for (const kdmtool::TimingParameter &parameter : kdmtool::TimingParameters) {
            const auto &mirror = f.program.TimingMirror;
            const int low = mirror[static_cast<std::size_t>(parameter.lowOffset)];
            const int high = parameter.highOffset < 0 ? 0 : mirror[static_cast<std::size_t>(parameter.highOffset)];
            const auto *bar = child<QScrollBar>(form6, parameter.name);
            if (!bar || bar->value() != high * 256 + low)
                shown.barsNotShowingTheMirror += std::string(parameter.name) + " ";
        }
        for (const char *control : {"Frame1", "Frame2", "Frame3", "Frame4", "Command2"})
            shown.writingControlsEnabled += enabled(form6, control) ? 1 : 0;
        shown.saveEnabled = enabled(form6, "Command1");
        return shown;
    }
    static constexpr int WritingControls = 5;

    // Closes the window, which must go and send the access close unless the unit went.
    void expectClosesWithAccessClose()
    {
        const std::size_t closesBefore = countAccessCloses();
        EXPECT_TRUE(closeAndCheckGone(form6));
        if (!transport().vanished()) {
            EXPECT_EQ(countAccessCloses(), closesBefore + 1);
        }
    }
    std::size_t countAccessCloses() const
    {
        const auto sent = test::sentReports(f.transport, Command::TimingAccess);
        return static_cast<std::size_t>(
            std::count_if(sent.begin(), sent.end(), [](const CommandBytes8 &r) { return r[1] == 0; }));
    }

    void closeWindow() override
    {
        if (form6)
            form6->close();
    }
    // The window went, with one access close; `writes` TimingWrites reached the unit before.
    void expectGoneMidway()
    {
        deleteClosedWindows();
        EXPECT_TRUE(form6.isNull());
        EXPECT_EQ(countAccessCloses(), 1u);
        EXPECT_FALSE(f.unit().timingAccessOpen());
    }

    QPointer<kdmtool::Form6> form6;
};

class TimingWindowRun final : public TimingRun {
public:
    using TimingRun::TimingRun;
    void drive() override
    {
        openTimingWindow();
        if (!form6)
            return; // closed during the opening
        m_opened = shownNow();
        expectClosesWithAccessClose();
    }
    void expect(Outcome outcome) override
    {
        EXPECT_EQ(m_opened.barsNotShowingTheMirror, "");
        switch (outcome) {
        case Outcome::ShowsTheUnit:
            EXPECT_EQ(f.program.TimingBase, f.unit().timingBase());
            for (std::uint16_t k = 0; k < 80; ++k)
                EXPECT_EQ(f.program.TimingMirror[k], f.unit().timingRegister(f.unit().timingBase() + k)) << k;
            EXPECT_EQ(m_opened.writingControlsEnabled, WritingControls);
            EXPECT_TRUE(m_opened.saveEnabled);
            EXPECT_FALSE(f.unit().timingAccessOpen());
            break;
        case Outcome::ReadOnly:
            EXPECT_EQ(m_opened.writingControlsEnabled, 0);
            EXPECT_FALSE(m_opened.saveEnabled);
            break;
        case Outcome::ShowsWhatCame:
            break; // nothing tells garbage from a block
        case Outcome::ClosedMidway:
            expectGoneMidway();
            EXPECT_LT(count(f.transport, Command::TimingRead), 10u);
            EXPECT_EQ(f.unit().timingWriteEnds(), 0);
            break;
        default:
            unexpected(outcome);
        }
    }

private:
    Shown m_opened;
};

class TimingLoadRun final : public TimingRun {
public:
    using TimingRun::TimingRun;
    void drive() override
    {
        openTimingWindow();
        markBodyStart();
        // A file whose values all lie inside their bars' ranges.
        m_file = pattern(257, 3);
        for (std::size_t k = 0; k < m_file.size(); ++k)
            m_file[k] = static_cast<std::uint8_t>(m_file[k] & 0x07);
        const QString path = folder.filePath(QStringLiteral("vomo5_syc1.bin"));
        writeBytes(path, m_file);
        f.dialogs.answers = {path};
        click(form6, "Command2");
    }
    void expect(Outcome outcome) override
    {
        if (outcome == Outcome::ClosedMidway) {
            // The writes that went out are concluded once.
            expectGoneMidway();
            EXPECT_LT(count(f.transport, Command::TimingWrite), 19u);
            EXPECT_EQ(f.unit().timingWriteEnds(), 1);
            return;
        }
        ASSERT_TRUE(form6);
        EXPECT_TRUE(std::equal(m_file.begin(), m_file.begin() + 256, f.program.TimingMirror.begin()));
        const Shown loaded = shownNow();
        EXPECT_EQ(loaded.barsNotShowingTheMirror, "");
        EXPECT_EQ(loaded.writingControlsEnabled, WritingControls);
        EXPECT_TRUE(loaded.saveEnabled);
        // A load writes mirror offsets 0 to 75.
        const std::uint16_t base = f.unit().timingBase();
        bool unitHoldsFile = true;
        for (std::uint16_t k = 0; k < 76; ++k)
            unitHoldsFile = unitHoldsFile && f.unit().timingRegister(base + k) == m_file[k];
        switch (outcome) {
        case Outcome::Loaded:
            EXPECT_TRUE(unitHoldsFile);
            EXPECT_EQ(f.unit().timingWriteEnds(), 1);
            break;
        case Outcome::LoadedUnitGone:
            EXPECT_EQ(f.unit().timingWriteEnds(), 0);
            break;
        default:
            unexpected(outcome);
        }
        expectClosesWithAccessClose();
    }

private:
    std::vector<std::uint8_t> m_file;
};

// The capture window of the main window, its load ended.
class CaptureWindowRun : public ToolRun {
public:
    using ToolRun::ToolRun;

protected:
    void openCaptureWindow()
    {
        f.unit().setInputFrame(Frame);
        showMainWindow();
        form5 = openToolWindow<kdmtool::Form5>("Command3");
        ASSERT_TRUE(form5);
        // CaptureTicks as fast as the event loop turns, for REC's waits.
        child<QTimer>(form5, "Timer1")->setInterval(0);
    }
    QString text() const { return form5 ? child<kdmtool::StatusTextBox>(form5, "Text1")->text() : QString(); }
    // The exit button closes the window.
    void expectExitCloses()
    {
        click(form5, "Command5");
        deleteClosedWindows();
        EXPECT_TRUE(form5.isNull());
    }

    void closeWindow() override
    {
        if (form5)
            form5->close();
    }
    bool goneAfterDeletes()
    {
        deleteClosedWindows();
        return form5.isNull();
    }

    static constexpr sim::FrameSize Frame{200, 150};
    QPointer<kdmtool::Form5> form5;
};

class CaptureRun final : public CaptureWindowRun {
public:
    using CaptureWindowRun::CaptureWindowRun;
    void drive() override
    {
        openCaptureWindow();
        click(form5, "Command2");
    }
    void expect(Outcome outcome) override
    {
        const std::size_t lines = count(f.transport, Command::LineRead);
        if (outcome == Outcome::ClosedMidway) {
            // The capture stopped after its line and the unit left the still picture.
            EXPECT_TRUE(goneAfterDeletes());
            EXPECT_LT(lines, std::size_t(Frame.height));
            EXPECT_EQ(test::sentReports(f.transport).back()[0], code(Command::FreezeSet));
            return;
        }
        ASSERT_TRUE(form5);
        switch (outcome) {
        case Outcome::Captured:
            EXPECT_EQ(text(), frameSizeText(Frame.width, Frame.height));
            EXPECT_EQ(lines, std::size_t(Frame.height));
            break;
        case Outcome::Refused:
            EXPECT_EQ(text(), NoPictureText);
            EXPECT_EQ(lines, 0u);
            break;
        case Outcome::Abandoned:
            EXPECT_EQ(text(), NoPictureText);
            EXPECT_LT(lines, std::size_t(Frame.height));
            break;
        case Outcome::FpgaMessage:
            EXPECT_EQ(text(), FpgaText);
            expectEnabled(form5, {"Command1", "Command2", "Command3", "Command4"}, false);
            break;
        default:
            unexpected(outcome);
        }
        if (outcome != Outcome::FpgaMessage) {
            expectEnabled(form5, {"Command1", "Command2", "Command5"}, true);
            // Only a transfer leaves a frame to save.
            EXPECT_EQ(enabled(form5, "Command4"), outcome != Outcome::Refused);
        }
        expectExitCloses();
    }
};

class RecRun final : public CaptureWindowRun {
public:
    using CaptureWindowRun::CaptureWindowRun;
    void drive() override
    {
        openCaptureWindow();
        markBodyStart();
        click(form5, "Command1");
    }
    void expect(Outcome outcome) override
    {
        if (outcome == Outcome::ClosedMidway) {
            // The recording was carried to its end before the window went.
            EXPECT_TRUE(goneAfterDeletes());
            EXPECT_TRUE(f.unit().storedImages()[0].has_value());
            EXPECT_EQ(count(f.transport, Command::ImageMemory), 1u + 3u); // the load's and REC's three
            return;
        }
        ASSERT_TRUE(form5);
        EXPECT_TRUE(child<QCheckBox>(form5, "Check1")->isChecked());
        expectEnabled(form5, {"Command1", "Command2", "Command5"}, true);
        EXPECT_FALSE(enabled(form5, "Command10"));
        switch (outcome) {
        case Outcome::Recorded:
            EXPECT_TRUE(f.unit().storedImages()[0].has_value());
            break;
        case Outcome::RecordLost:
            EXPECT_FALSE(f.unit().storedImages()[0].has_value());
            break;
        default:
            unexpected(outcome);
        }
        expectExitCloses();
    }
};

class RemoteKeysRun final : public ToolRun {
public:
    using ToolRun::ToolRun;
    void drive() override
    {
        showMainWindow();
        form2 = openToolWindow<kdmtool::Form2>("Command2");
        for (const Key &key : Keys)
            click(form2, key.name);
    }
    void expect(Outcome outcome) override
    {
        ASSERT_TRUE(form2);
        std::vector<std::uint8_t> codes;
        for (const Key &key : Keys)
            codes.push_back(key.code);
        const std::vector<std::uint8_t> &taken = f.unit().keyLog();
        switch (outcome) {
        case Outcome::AllKeys:
            EXPECT_EQ(taken, codes);
            break;
        case Outcome::KeysUntilGone: // the first ones, in order
            ASSERT_LT(taken.size(), codes.size());
            EXPECT_TRUE(std::equal(taken.begin(), taken.end(), codes.begin()));
            break;
        default:
            unexpected(outcome);
        }
        const std::size_t before = taken.size();
        click(form2, Keys[0].name); // a further click
        EXPECT_EQ(f.unit().keyLog().size(), before + (transport().vanished() ? 0 : 1));
        EXPECT_TRUE(closeAndCheckGone(form2));
    }

private:
    struct Key {
        const char *name;
        std::uint8_t code;
    };
    static constexpr Key Keys[] = {{"Command19", 0x17}, {"Command1", 0x05}, {"Command4", 0x18}};
    QPointer<kdmtool::Form2> form2;
};

class CommandFileRun final : public ToolRun {
public:
    using ToolRun::ToolRun;
    static constexpr std::uint32_t CommandFileAddress = 0xE8000;
    void drive() override
    {
        m_file = pattern(40000, 7);
        const QString path = folder.filePath(QStringLiteral("vomo.cmd"));
        writeBytes(path, m_file);
        showMainWindow();
        form2 = openToolWindow<kdmtool::Form2>("Command2"); // a tool window open during the download
        f.dialogs.answers = {path};
        click(form1.get(), "Command10");
    }
    void expect(Outcome outcome) override
    {
        const QString verdict = child<QLineEdit>(form1.get(), "Text1")->text();
        switch (outcome) {
        case Outcome::WriteOk:
        case Outcome::ClosedMidway: // the download is finished first
            EXPECT_TRUE(verdict.startsWith(SuccessVerdictStart)) << verdict.toStdString();
            EXPECT_TRUE(verdict.contains(QStringLiteral("  Write OK  rom="))) << verdict.toStdString();
            EXPECT_TRUE(flashHolds(f.unit(), CommandFileAddress, m_file));
            break;
        case Outcome::WriteError:
            EXPECT_TRUE(verdict.startsWith(WriteErrorVerdictStart)) << verdict.toStdString();
            break;
        case Outcome::NoAnswer:
            EXPECT_TRUE(verdict.startsWith(NoAnswerVerdictStart)) << verdict.toStdString();
            break;
        default:
            unexpected(outcome);
        }
        if (outcome == Outcome::ClosedMidway) {
            EXPECT_EQ(f.programEnds, 1); // then the program ended
            return;
        }
        expectMainWindowEnabled(true);
        ASSERT_TRUE(form2);
        EXPECT_TRUE(form2->isEnabled());
        expectProgramEndsOnClose();
    }
    void closeWindow() override { form1->close(); }

private:
    std::vector<std::uint8_t> m_file;
    QPointer<kdmtool::Form2> form2;
};

// kdmupdate on the simulated unit.
class UpdateRun : public SequenceRun {
public:
    explicit UpdateRun(bool unitPresent) : f(options(unitPresent))
    {
        f.program.checksumWait = countTime(f.link, f.ticks);
    }
    sim::SimTransport &transport() override { return f.transport; }

protected:
    static sim::SimTransport::Options options(bool unitPresent)
    {
        sim::SimTransport::Options options;
        options.present = unitPresent;
        return options;
    }
    QString text(const char *name) const { return child<QLineEdit>(form1.get(), name)->text(); }
    // Exit still ends the program.
    void expectExitEnds()
    {
        click(form1.get(), "Command1");
        EXPECT_EQ(f.programEnds, 1);
    }

    test::UpdateFixture f;
    QTemporaryDir folder;
    std::unique_ptr<kdmupdate::Form1> form1;
};

class PresenceRun final : public UpdateRun {
public:
    using UpdateRun::UpdateRun;
    void drive() override { form1 = std::make_unique<kdmupdate::Form1>(f.program); }
    void expect(Outcome outcome) override
    {
        switch (outcome) {
        case Outcome::Recognised:
            EXPECT_EQ(text("Text1"), RecognisedText);
            EXPECT_TRUE(enabled(form1.get(), "Command21"));
            break;
        case Outcome::NotRecognised:
            EXPECT_EQ(text("Text1"), NotRecognisedText);
            EXPECT_FALSE(enabled(form1.get(), "Command21"));
            break;
        default:
            unexpected(outcome);
        }
        EXPECT_TRUE(enabled(form1.get(), "Command1"));
        expectExitEnds();
    }
};

class UpdatePackageRun final : public UpdateRun {
public:
    using UpdateRun::UpdateRun;
    static constexpr std::uint32_t HexImageAddress = 0xF8000;
    static constexpr std::uint32_t PlainImageAddress = 0x30000;
    void drive() override
    {
        m_hexImage = pattern(64, 1);
        std::string hex = ":020000040000FA\r\n";
        for (std::size_t address = 0; address < m_hexImage.size(); address += 16) {
            char field[16];
            std::snprintf(field, sizeof field, ":10%04X00", unsigned(address));
            hex += field;
            for (std::size_t k = address; k < address + 16; ++k) {
                std::snprintf(field, sizeof field, "%02X", m_hexImage[k]);
                hex += field;
            }
            hex += "00\r\n"; // the reader skips record checksums
        }
        hex += ":00000001FF\r\n";
        std::ofstream(folder.filePath(QStringLiteral("main.hex")).toStdString(), std::ios::binary) << hex;
        m_plainImage = pattern(64, 2);
        writeBytes(folder.filePath(QStringLiteral("b.bin")), m_plainImage);
        const QString package = folder.filePath(QStringLiteral("update.v5b"));
        std::ofstream(package.toStdString(), std::ios::binary)
            << "download_hex_prog_write,main.hex,0\r\ndownload,b.bin,&h30000\r\n";

        form1 = std::make_unique<kdmupdate::Form1>(f.program);
        markBodyStart();
        f.dialogs.answers = {package};
        click(form1.get(), "Command21");
    }
    void expect(Outcome outcome) override
    {
        const bool secondWritten = flashHolds(f.unit(), PlainImageAddress, m_plainImage);
        // The microcontroller write is offered only for an image the unit verified.
        const bool microcontrollerWriteOffered = shown<kdmupdate::Form2>() != nullptr;
        switch (outcome) {
        case Outcome::Finished:
            EXPECT_EQ(text("Text1"), UpdateFinishedText);
            EXPECT_TRUE(text("Text2").startsWith(UpdateSuccessVerdictStart)) << text("Text2").toStdString();
            EXPECT_TRUE(flashHolds(f.unit(), HexImageAddress, m_hexImage));
            EXPECT_TRUE(secondWritten);
            EXPECT_TRUE(microcontrollerWriteOffered);
            break;
        case Outcome::FailedAtFirst:
            EXPECT_EQ(text("Text1"), UpdateWriteErrorStart +
                                         QDir::toNativeSeparators(folder.filePath(QStringLiteral("main.hex"))) +
                                         QStringLiteral(")"));
            EXPECT_TRUE(text("Text2").startsWith(WriteErrorVerdictStart)) << text("Text2").toStdString();
            EXPECT_FALSE(secondWritten);
            EXPECT_FALSE(microcontrollerWriteOffered);
            for (const CommandBytes8 &command : test::splitWire(f.transport.trace()).commands)
                EXPECT_FALSE(command[0] == code(Command::FlashWrite) && command[4] == (PlainImageAddress >> 16))
                    << "the second record ran";
            break;
        case Outcome::ClosedMidway:
            // The record in progress was finished, no further one started,
            // and nothing says the update ended normally.
            EXPECT_TRUE(flashHolds(f.unit(), HexImageAddress, m_hexImage));
            EXPECT_FALSE(secondWritten);
            EXPECT_NE(text("Text1"), UpdateFinishedText);
            EXPECT_EQ(f.programEnds, 1);
            return;
        default:
            unexpected(outcome);
        }
        expectEnabled(form1.get(), {"Command21", "Command1"}, true);
        expectExitEnds();
    }
    void closeWindow() override { form1->close(); }

private:
    std::vector<std::uint8_t> m_hexImage;
    std::vector<std::uint8_t> m_plainImage;
};

} // namespace

std::unique_ptr<SequenceRun> startRun(Sequence sequence, bool unitPresent)
{
    switch (sequence) {
    case Sequence::Startup:
        return std::make_unique<StartupRun>(unitPresent);
    case Sequence::TimingWindow:
        return std::make_unique<TimingWindowRun>(unitPresent);
    case Sequence::TimingLoad:
        return std::make_unique<TimingLoadRun>(unitPresent);
    case Sequence::Capture:
        return std::make_unique<CaptureRun>(unitPresent);
    case Sequence::Rec:
        return std::make_unique<RecRun>(unitPresent);
    case Sequence::RemoteKeys:
        return std::make_unique<RemoteKeysRun>(unitPresent);
    case Sequence::CommandFile:
        return std::make_unique<CommandFileRun>(unitPresent);
    case Sequence::Presence:
        return std::make_unique<PresenceRun>(unitPresent);
    case Sequence::UpdatePackage:
        return std::make_unique<UpdatePackageRun>(unitPresent);
    }
    return nullptr;
}

} // namespace kdm::hardening

// The command-file download of kdmtool's main window, on the simulated unit.
#include "kdmtool/Form1.h"

#include "support/FlashWire.h"
#include "support/ProgramFixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <numeric>

namespace kdmtool {
namespace {

using kdm::CommandBytes8;
using kdm::test::splitWire;

const QString FileError = QStringLiteral("ファイル オープン") + QChar(0x3000) + QStringLiteral("エラー");

QByteArray pattern(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 37 + 11) & 0xFF);
    return bytes;
}

QString successVerdict(const QByteArray &file)
{
    const auto sum = static_cast<std::uint16_t>(std::accumulate(
        file.begin(), file.end(), 0u, [](unsigned s, char c) { return s + static_cast<std::uint8_t>(c); }));
    const QString fourDigits = QStringLiteral("%1").arg(sum, 4, 16, QLatin1Char('0')).toUpper();
    const QString digits = QString::number(sum, 16).toUpper();
    return QStringLiteral("Chack sum=") + fourDigits + QStringLiteral("  Write OK  rom=") + digits +
           QStringLiteral(" file=") + digits;
}

struct CommandFileDownload : testing::Test {
    CommandFileDownload()
    {
        form.show();
        QObject::connect(text1, &QLineEdit::textChanged, [this](const QString &text) { text1History.append(text); });
    }

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        QFile file(folder.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    void clickLoad() { QTest::mouseClick(command10, Qt::LeftButton); }

    // Runs `handler` once from the event loop while the unit takes the data stream.
    void duringStream(std::function<void()> handler)
    {
        auto *timer = new QTimer(&form);
        timer->setInterval(0);
        QObject::connect(timer, &QTimer::timeout, [this, timer, handler] {
            if (fixture.unit().inWriteStream()) {
                timer->stop();
                handler();
            }
        });
        timer->start();
    }

    std::vector<std::uint8_t> flash(std::size_t size)
    {
        const auto begin = fixture.unit().flash().begin() + 0xE8000;
        return {begin, begin + static_cast<std::ptrdiff_t>(size)};
    }

    static std::vector<std::uint8_t> bytesOf(const QByteArray &file) { return {file.begin(), file.end()}; }

    std::vector<QPushButton *> buttons()
    {
        std::vector<QPushButton *> all;
        for (const char *name : {"Command1", "Command2", "Command3", "Command10"})
            all.push_back(form.findChild<QPushButton *>(name));
        return all;
    }

    kdm::test::ToolFixture fixture;
    QTemporaryDir folder;
    Form1 form{fixture.program};
    QLineEdit *text1 = form.findChild<QLineEdit *>(QStringLiteral("Text1"));
    QPushButton *command10 = form.findChild<QPushButton *>(QStringLiteral("Command10"));
    QStringList text1History;
};

TEST_F(CommandFileDownload, SixteenByteFileShowsEveryStepInText1)
{
    const QByteArray file = pattern(16);
    fixture.dialogs.answers = {writeFile(QStringLiteral("vomo.cmd"), file)};

    clickLoad();

    ASSERT_EQ(fixture.dialogs.requests.size(), 1);
    const kdm::ui::FileDialogRequest &request = fixture.dialogs.requests[0].request;
    EXPECT_EQ(fixture.dialogs.requests[0].kind, kdm::test::ScriptedDialogs::Kind::Open);
    EXPECT_EQ(request.title, QStringLiteral("ファイルを開く"));
    EXPECT_TRUE(request.folder.isEmpty() && request.fileName.isEmpty() && request.filter.isEmpty());
    EXPECT_EQ(fixture.program.DownloadAddress, 0xE8000);

    EXPECT_EQ(text1History,
              (QStringList{QStringLiteral("Download"), QStringLiteral("0byte"), QStringLiteral("8byte"),
                           QStringLiteral("Download End"), QStringLiteral("check sum start"), successVerdict(file)}));
    const kdm::test::FlashWire wire = splitWire(fixture.transport.trace());
    ASSERT_GE(wire.commands.size(), 4u);
    EXPECT_EQ(wire.commands[0], (CommandBytes8{4, 0, 0x00, 0x80, 0x0E, 0x55, 0xAA, 0x55}));
    EXPECT_EQ(wire.commands[1], (CommandBytes8{1, 0, 0x00, 0x80, 0x0E, 0x10, 0x00, 0x00}));
    EXPECT_EQ(wire.commands[2], (CommandBytes8{6, 0, 0x00, 0x80, 0x0E, 0x10, 0x00, 0x00}));
    EXPECT_EQ(wire.dataReports, 2u);
    EXPECT_EQ(flash(16), bytesOf(file));
    for (QPushButton *button : buttons())
        EXPECT_TRUE(button->isEnabled()) << button->objectName().toStdString();
}

TEST_F(CommandFileDownload, FortyThousandBytesEraseOneBlockAndTwoSectors)
{
    const QByteArray file = pattern(40000);
    fixture.dialogs.answers = {writeFile(QStringLiteral("vomo.cmd"), file)};

    clickLoad();

    EXPECT_EQ(text1History.count(QStringLiteral("Erace")), 1);
    EXPECT_EQ(text1History.count(QStringLiteral("9C38byte")), 1); // the last data report
    EXPECT_EQ(text1->text(), successVerdict(file));
    const kdm::test::FlashWire wire = splitWire(fixture.transport.trace());
    ASSERT_GE(wire.commands.size(), 3u);
    EXPECT_EQ(wire.commands[0], (CommandBytes8{5, 0, 0x00, 0x80, 0x0E, 0x55, 0xAA, 0x55}));
    EXPECT_EQ(wire.commands[1], (CommandBytes8{4, 0, 0x00, 0x00, 0x0F, 0x55, 0xAA, 0x55}));
    EXPECT_EQ(wire.commands[2], (CommandBytes8{4, 0, 0x00, 0x10, 0x0F, 0x55, 0xAA, 0x55}));
    EXPECT_EQ(flash(40000), bytesOf(file));
}

TEST_F(CommandFileDownload, CancelledDialogSendsNothingAndLeavesText1)
{
    const QString before = text1->text();
    clickLoad(); // no answer scripted: the dialog is cancelled

    EXPECT_EQ(fixture.dialogs.requests.size(), 1);
    EXPECT_TRUE(fixture.transport.trace().empty());
    EXPECT_EQ(text1->text(), before);
    EXPECT_TRUE(text1History.isEmpty());
    EXPECT_TRUE(command10->isEnabled());
}

TEST_F(CommandFileDownload, MissingOrEmptyFileSendsNothingAndSaysSo)
{
    for (const QString &path :
         {folder.filePath(QStringLiteral("missing.cmd")), writeFile(QStringLiteral("empty.cmd"), {})}) {
        SCOPED_TRACE(path.toStdString());
        text1->clear();
        text1History.clear();
        fixture.dialogs.answers = {path};
        clickLoad();
        EXPECT_EQ(text1History, QStringList{FileError}); // and nothing before it
        EXPECT_TRUE(fixture.transport.trace().empty());
        EXPECT_TRUE(command10->isEnabled());
    }
}

// During the stream another handler tries every way to reach the unit: the
// load button again, download() directly, the capture window's capture
// button, and a remote key sent as the remote control window sends it.
TEST_F(CommandFileDownload, NothingElseReachesTheUnitWhileItRuns)
{
    const QByteArray file = pattern(4000);
    fixture.dialogs.answers = {writeFile(QStringLiteral("vomo.cmd"), file),
                               writeFile(QStringLiteral("other.cmd"), pattern(8))};
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("Command3")), Qt::LeftButton);
    QWidget *captureWindow = nullptr;
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window->objectName() == QStringLiteral("Form5"))
            captureWindow = window;
    ASSERT_NE(captureWindow, nullptr);
    fixture.transport.clearTrace();

    std::vector<bool> enabledDuring;
    duringStream([&] {
        for (QPushButton *button : buttons())
            enabledDuring.push_back(button->isEnabled());
        enabledDuring.push_back(captureWindow->isEnabled());
        QTest::mouseClick(command10, Qt::LeftButton);
        form.download();
        QTest::mouseClick(captureWindow->findChild<QAbstractButton *>(QStringLiteral("Command2")), Qt::LeftButton);
        fixture.link.SendOutputReport(kdm::code(kdm::Command::RemoteKey), 0x05, 0, 0, 0, 0, 0, 0);
        fixture.link.ReceiveInputReport();
    });
    const std::size_t keysBefore = fixture.unit().keyLog().size();
    clickLoad();

    EXPECT_EQ(enabledDuring, std::vector<bool>(5, false));
    EXPECT_EQ(fixture.dialogs.requests.size(), 1);
    EXPECT_EQ(fixture.unit().keyLog().size(), keysBefore);
    const kdm::test::FlashWire wire = splitWire(fixture.transport.trace());
    EXPECT_EQ(wire.count(kdm::code(kdm::Command::LineRead)), 0u);
    EXPECT_EQ(wire.count(kdm::code(kdm::Command::FrameInfo)), 0u);
    EXPECT_EQ(text1->text(), successVerdict(file));
    EXPECT_EQ(flash(4000), bytesOf(file));
    for (QPushButton *button : buttons())
        EXPECT_TRUE(button->isEnabled()) << button->objectName().toStdString();
    EXPECT_TRUE(captureWindow->isEnabled());
}

TEST_F(CommandFileDownload, ClosingTheWindowEndsTheProgramOnlyAfterTheDownload)
{
    const QByteArray file = pattern(4000);
    fixture.dialogs.answers = {writeFile(QStringLiteral("vomo.cmd"), file)};
    bool closedAtOnce = true;
    int endsDuringStream = -1;
    duringStream([&] {
        closedAtOnce = form.close();
        endsDuringStream = fixture.programEnds;
    });

    clickLoad();

    EXPECT_FALSE(closedAtOnce);
    EXPECT_EQ(endsDuringStream, 0);
    EXPECT_EQ(fixture.programEnds, 1);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(fixture.unit().inWriteStream());
    EXPECT_EQ(text1->text(), successVerdict(file));
    EXPECT_EQ(flash(4000), bytesOf(file));
    // The handles were closed once the download had ended.
    const std::size_t reports = fixture.transport.trace().size();
    fixture.link.SendOutputReport(kdm::code(kdm::Command::RemoteKey), 0x05, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(fixture.transport.trace().size(), reports);
}

} // namespace
} // namespace kdmtool

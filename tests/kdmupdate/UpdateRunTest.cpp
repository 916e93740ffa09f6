#include "kdmupdate/Form1.h"
#include "kdmupdate/Form2.h"

#include "support/FlashWire.h"
#include "support/ProgramFixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStringEncoder>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>

namespace kdmupdate {
namespace {

namespace fs = std::filesystem;
using kdm::test::FlashWire;
using kdm::test::rangeReport;
using kdm::test::splitWire;
using kdm::test::UpdateFixture;

const QString Recognised = QStringLiteral("KDM-9を認識しました。");
const QString Finished = QStringLiteral("アップデート") + QChar(0x3000) + QStringLiteral("正常終了");
const QString FileOpenError = QStringLiteral("ファイル オープン") + QChar(0x3000) + QStringLiteral("エラー");

QString writeError(const fs::path &image)
{
    return QStringLiteral("書き込みエラーが発生しました。(") + QString::fromStdString(image.string()) + ")";
}

// A full hex-record image of `count` bytes from address 0, byte k = (k * 7 + seed) & 0xFF.
std::string hexImage(std::size_t count, int seed)
{
    std::string text = ":020000040000FA\r\n";
    for (std::size_t address = 0; address < count; address += 16) {
        char line[64];
        std::snprintf(line, sizeof line, ":10%04X00", unsigned(address));
        text += line;
        for (std::size_t k = address; k < address + 16; ++k) {
            std::snprintf(line, sizeof line, "%02X", unsigned((k * 7 + seed) & 0xFF));
            text += line;
        }
        text += "00\r\n";
    }
    return text + ":00000001FF\r\n";
}

std::uint8_t hexImageByte(std::size_t k, int seed)
{
    return static_cast<std::uint8_t>((k * 7 + seed) & 0xFF);
}

Form2 *visibleMicrocontrollerWindow()
{
    for (QWidget *window : QApplication::topLevelWidgets())
        if (auto *candidate = qobject_cast<Form2 *>(window); candidate && candidate->isVisible())
            return candidate;
    return nullptr;
}

class UpdateRun : public testing::Test {
protected:
    void SetUp() override
    {
        m_folder = fs::temp_directory_path() /
                   ("kdm9-update-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
    }
    void TearDown() override { fs::remove_all(m_folder); }

    fs::path write(const fs::path &name, const std::string &bytes)
    {
        const fs::path path = m_folder / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    // Writes the package and answers the open dialog with it.
    void choosePackage(const std::string &text)
    {
        const fs::path package = write("update.v5b", text);
        fixture.dialogs.answers = {QString::fromStdString(package.string())};
    }

    void clickUpdate(Form1 &form)
    {
        fixture.transport.clearTrace();
        form.findChild<QPushButton *>("Command21")->click();
    }

    QString text1(Form1 &form) { return form.findChild<QLineEdit *>("Text1")->text(); }

    // Runs a package whose one record opens the microcontroller write window;
    // the window it opened, or null.
    Form2 *runMicrocontrollerPackage(Form1 &form)
    {
        write("prog.hex", hexImage(0x20, 2));
        choosePackage("download_hex_prog_write,prog.hex,0\n");
        clickUpdate(form);
        return visibleMicrocontrollerWindow();
    }

    fs::path m_folder;
    UpdateFixture fixture;
};

TEST_F(UpdateRun, StartupWithTheUnitAsksOnceAndOffersUpdate)
{
    for (const kdm::UsbIdentity identity : {kdm::Kdm9Identity, kdm::Kdm9LoaderIdentity}) {
        kdm::sim::SimTransport::Options options;
        options.identity = identity;
        UpdateFixture present(options);
        Form1 form(present.program);
        EXPECT_EQ(form.windowTitle(), QStringLiteral("KDM-9 アップデート") + QChar(0x3000) + QStringLiteral("ツール") +
                                          QChar(0x3000) + QStringLiteral("Ver1.01"));
        EXPECT_EQ(form.findChild<QLineEdit *>("Text1")->text(), Recognised);
        EXPECT_EQ(form.findChild<QLineEdit *>("Text2")->text(), QStringLiteral("正常接続されています。"));
        EXPECT_TRUE(form.findChild<QPushButton *>("Command21")->isEnabled());
        const FlashWire wire = splitWire(present.transport.trace());
        ASSERT_EQ(wire.commands.size(), 1u);
        EXPECT_EQ(wire.commands[0], (kdm::CommandBytes8{2, 0, 0, 0, 0, 0, 0, 0}));
    }
}

TEST_F(UpdateRun, StartupWithoutTheUnitDisablesUpdate)
{
    kdm::sim::SimTransport::Options options;
    options.present = false;
    UpdateFixture absent(options);
    Form1 form(absent.program);
    EXPECT_EQ(form.findChild<QLineEdit *>("Text1")->text(), QStringLiteral("KDM-9を認識できません。"));
    EXPECT_EQ(form.findChild<QLineEdit *>("Text2")->text(),
              QStringLiteral("KDM-9の電源を入れて本ソフトを再起動してください。"));
    EXPECT_FALSE(form.findChild<QPushButton *>("Command21")->isEnabled());
    EXPECT_TRUE(form.findChild<QPushButton *>("Command1")->isEnabled());
}

TEST_F(UpdateRun, OpenDialogAsksForPackagesAndCancelDoesNothing)
{
    Form1 form(fixture.program);
    const QString before = text1(form);
    clickUpdate(form);
    ASSERT_EQ(fixture.dialogs.requests.size(), 1);
    const auto &request = fixture.dialogs.requests[0].request;
    EXPECT_EQ(request.title, QStringLiteral("ファイルを開く"));
    EXPECT_EQ(request.fileName, QStringLiteral("*.v5b"));
    EXPECT_EQ(request.filter, QStringLiteral("*.v5b"));
    EXPECT_EQ(text1(form), before);
    EXPECT_TRUE(fixture.transport.trace().empty());
}

TEST_F(UpdateRun, PackagesThatWriteNothingFinishNormally)
{
    for (const std::string package : {"", "download,image.bin\n", "firmware,image.bin,0\n"}) {
        SCOPED_TRACE(package);
        Form1 form(fixture.program);
        choosePackage(package);
        clickUpdate(form);
        EXPECT_EQ(text1(form), Finished);
        EXPECT_TRUE(fixture.transport.trace().empty());
        EXPECT_EQ(form.findChild<QLineEdit *>("Text2")->text(), QStringLiteral("KDM-9の電源を切らないでください。"));
    }
}

TEST_F(UpdateRun, PlainImageGoesToTheRecordsAddressAndUnknownKindsAreSkipped)
{
    std::string image(1000, '\0');
    std::iota(image.begin(), image.end(), 1);
    write("image.bin", image);
    Form1 form(fixture.program);
    choosePackage("upload,image.bin,0\r\ndownload,image.bin,0\r\n");
    clickUpdate(form);

    EXPECT_EQ(text1(form), Finished);
    const FlashWire wire = splitWire(fixture.transport.trace());
    ASSERT_EQ(wire.count(1), 1u);
    const auto write = std::find_if(wire.commands.begin(), wire.commands.end(), [](auto &c) { return c[0] == 1; });
    EXPECT_EQ(*write, rangeReport(1, 0, 1000));
    const auto &flash = fixture.unit().flash();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin(),
                           [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
    EXPECT_EQ(form.findChild<QLineEdit *>("Text2")->text().left(10), QStringLiteral("Check sum="));
}

TEST_F(UpdateRun, HexImagesGoToTheirFixedAreasWhateverTheAddressField)
{
    write("main.hex", hexImage(0x100, 3));
    write("loader.hex", hexImage(0x40, 5));
    Form1 form(fixture.program);
    choosePackage("download_hex,main.hex,&h12345\ndownload_hex_short,loader.hex,0\n");
    clickUpdate(form);

    EXPECT_EQ(text1(form), Finished);
    const FlashWire wire = splitWire(fixture.transport.trace());
    std::vector<kdm::CommandBytes8> writes;
    std::copy_if(wire.commands.begin(), wire.commands.end(), std::back_inserter(writes),
                 [](auto &c) { return c[0] == 1; });
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0], rangeReport(1, 0xF8000, 32760));
    EXPECT_EQ(writes[1], rangeReport(1, 0x1F1000, 4088));
    const auto &flash = fixture.unit().flash();
    EXPECT_EQ(flash[0xF8000 + 0x10], hexImageByte(0x10, 3));
    EXPECT_EQ(flash[0x1F1000 + 0x3F], hexImageByte(0x3F, 5));
    // The image buffer is never cleared: what the first image put past the
    // second one's end goes out again with the second.
    EXPECT_EQ(flash[0x1F1000 + 0x80], hexImageByte(0x80, 3));
}

TEST_F(UpdateRun, FailedRecordEndsTheRunWithItsPath)
{
    write("a.bin", std::string(64, 'a'));
    const fs::path second = write("b.bin", std::string(64, 'b'));
    write("c.bin", std::string(64, 'c'));
    fixture.unit().setChecksumError(1, 2); // the unit sums the second image wrong
    Form1 form(fixture.program);
    choosePackage("download,a.bin,&h10000\ndownload,b.bin,&h20000\ndownload,c.bin,&h30000\n");
    clickUpdate(form);

    EXPECT_EQ(text1(form), writeError(second));
    EXPECT_EQ(splitWire(fixture.transport.trace()).count(1), 2u); // the third is never written
    EXPECT_EQ(fixture.unit().flash()[0x30000], 0xFF);
    EXPECT_TRUE(form.findChild<QLineEdit *>("Text2")->text().startsWith(QStringLiteral("Write error")));
    EXPECT_TRUE(form.findChild<QPushButton *>("Command21")->isEnabled());
    EXPECT_TRUE(form.findChild<QPushButton *>("Command1")->isEnabled());
}

TEST_F(UpdateRun, PackageWithABadImageIsRefusedBeforeTheUnitIsTouched)
{
    write("a.bin", std::string(64, 'a'));
    write("good.hex", hexImage(0x20, 1));
    write("empty.bin", "");
    write("short.hex", ":020000040000FA\r\n:1000\r\n");
    write("nodata.hex", ":10000000000102030405060708090A0B0C0D0E0F00\r\n");
    struct Case {
        const char *name;
        std::string lastRecord;
        fs::path image;
    };
    for (const Case &c : {Case{"missing image", "download,missing.bin,0", m_folder / "missing.bin"},
                          Case{"empty image", "download,empty.bin,0", m_folder / "empty.bin"},
                          Case{"address that is no number", "download,a.bin,&hXYZ", m_folder / "a.bin"},
                          Case{"hex image with a short line", "download_hex,short.hex,0", m_folder / "short.hex"},
                          Case{"hex image without data", "download_hex_prog,nodata.hex,0", m_folder / "nodata.hex"},
                          Case{"missing hex image", "download_hex_short,gone.hex,0", m_folder / "gone.hex"}}) {
        SCOPED_TRACE(c.name);
        Form1 form(fixture.program);
        choosePackage("download,a.bin,&h10000\ndownload_hex,good.hex,0\n" + c.lastRecord + "\n");
        clickUpdate(form);
        EXPECT_EQ(text1(form), writeError(c.image));
        EXPECT_TRUE(fixture.transport.trace().empty());
        EXPECT_TRUE(form.findChild<QPushButton *>("Command21")->isEnabled());
    }
}

TEST_F(UpdateRun, UnreadablePackageSaysSo)
{
    Form1 form(fixture.program);
    fixture.dialogs.answers = {QString::fromStdString((m_folder / "none.v5b").string())};
    clickUpdate(form);
    EXPECT_EQ(text1(form), FileOpenError);
    EXPECT_TRUE(form.findChild<QPushButton *>("Command21")->isEnabled());
    EXPECT_TRUE(fixture.transport.trace().empty());
}

TEST_F(UpdateRun, WindowsPackagesWithBackslashesAndShiftJisNamesWork)
{
    write("画像/ファーム.bin", std::string(16, 'x'));
    const QString text = QStringLiteral("download,\"画像\\ファーム.bin\",&hE8000\r\n");
    QStringEncoder shiftJis("windows-31j");
    ASSERT_TRUE(shiftJis.isValid());
    const QByteArray bytes = shiftJis.encode(text);
    ASSERT_NE(bytes, text.toUtf8()); // really not UTF-8
    Form1 form(fixture.program);
    choosePackage(bytes.toStdString());
    clickUpdate(form);

    EXPECT_EQ(text1(form), Finished);
    EXPECT_EQ(fixture.unit().flash()[0xE8000], 'x');
}

TEST_F(UpdateRun, MicrocontrollerWindowOpensAndTheRunGoesOn)
{
    write("prog.hex", hexImage(0x20, 2));
    write("after.bin", std::string(8, 'z'));
    Form1 form(fixture.program);
    choosePackage("download_hex_prog_write,prog.hex,0\ndownload,after.bin,&h40000\n");
    clickUpdate(form);

    EXPECT_EQ(text1(form), Finished);
    EXPECT_EQ(fixture.unit().flash()[0x40000], 'z'); // the next record ran
    Form2 *shown = visibleMicrocontrollerWindow();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->windowTitle(), QStringLiteral("KDM-9 CPU書き込み"));
    // The run's end enables Update again, whatever the window's load did.
    EXPECT_TRUE(form.findChild<QPushButton *>("Command21")->isEnabled());
}

TEST_F(UpdateRun, MicrocontrollerWriteCarriesWhatTheLastChecksumLeft)
{
    Form1 form(fixture.program);
    Form2 *shown = runMicrocontrollerPackage(form);
    ASSERT_NE(shown, nullptr);

    fixture.transport.clearTrace();
    shown->findChild<QPushButton *>("Command1")->click();
    EXPECT_EQ(shown->findChild<QPlainTextEdit *>("Text1")->toPlainText(),
              QStringLiteral("KDM-9のLEDが点滅終了するまでお待ちください。\n点滅終了後、本ソフトを終了してください。"));
    EXPECT_FALSE(shown->findChild<QPushButton *>("Command1")->isEnabled());
    EXPECT_FALSE(shown->findChild<QPushButton *>("Command2")->isEnabled());
    EXPECT_TRUE(shown->findChild<QPushButton *>("Command3")->isEnabled());
    ASSERT_EQ(fixture.transport.trace().size(), 1u); // no reply is read
    EXPECT_EQ(fixture.transport.trace()[0].bytes,
              (std::vector<std::uint8_t>{11, 0, 0x00, 0x80, 0x0F, 0xF8, 0x7F, 0x00}));
    EXPECT_EQ(fixture.unit().microcontrollerWrites().size(), 1u);
}

TEST_F(UpdateRun, CancelledWindowComesBackAsItWasWithoutDisablingUpdate)
{
    Form1 form(fixture.program);
    auto *update = form.findChild<QPushButton *>("Command21");
    Form2 *first = runMicrocontrollerPackage(form);
    ASSERT_NE(first, nullptr);

    update->setEnabled(false);
    first->findChild<QPushButton *>("Command2")->click(); // Cancel
    EXPECT_FALSE(first->isVisible());
    EXPECT_TRUE(update->isEnabled());

    choosePackage("download_hex_prog_write,prog.hex,0\n");
    int loads = 0;
    QObject::connect(first, &Form2::loaded, [&] { ++loads; });
    clickUpdate(form);
    EXPECT_TRUE(first->isVisible()); // the same window, shown again
    EXPECT_TRUE(first->findChild<QPushButton *>("Command1")->isEnabled());
    EXPECT_TRUE(first->findChild<QPlainTextEdit *>("Text1")->toPlainText().startsWith(
        QStringLiteral("マイコン書き込みボタンを押してください。")));
    EXPECT_EQ(loads, 0); // shown again, not loaded again: Update is left alone
    EXPECT_TRUE(update->isEnabled());
}

TEST_F(UpdateRun, ClosingDuringARunEndsTheProgramOnlyAfterTheCurrentRecord)
{
    write("a.bin", std::string(40000, 'a'));
    write("b.bin", std::string(64, 'b'));
    Form1 form(fixture.program);
    form.show();
    choosePackage("download,a.bin,&h10000\ndownload,b.bin,&h20000\n");
    bool closed = true;
    bool streamOpenAtClose = false;
    QTimer::singleShot(0, [&] {
        streamOpenAtClose = fixture.unit().inWriteStream() || fixture.link.isClaimed();
        closed = form.close();
    });
    clickUpdate(form);

    EXPECT_TRUE(streamOpenAtClose);
    EXPECT_FALSE(closed); // refused while the download ran
    EXPECT_FALSE(fixture.unit().inWriteStream());
    EXPECT_EQ(fixture.unit().flash()[0x10000 + 39999], 'a'); // the record in progress was finished
    EXPECT_EQ(fixture.unit().flash()[0x20000], 0xFF);        // and no further one started
    EXPECT_EQ(fixture.programEnds, 1);
}

TEST_F(UpdateRun, ProgramLastsWhileTheMicrocontrollerWindowIsOnScreen)
{
    Form1 form(fixture.program);
    form.show();
    Form2 *writeWindow = runMicrocontrollerPackage(form);
    ASSERT_NE(writeWindow, nullptr);
    auto *update = form.findChild<QPushButton *>("Command21");

    ASSERT_TRUE(form.close());
    EXPECT_EQ(fixture.programEnds, 0);
    fixture.transport.clearTrace();
    writeWindow->findChild<QPushButton *>("Command1")->click();
    EXPECT_EQ(fixture.transport.trace().size(), 1u); // the write still reaches the unit

    QPointer<Form2> closing(writeWindow);
    update->setEnabled(false);
    writeWindow->close(); // the close box unloads the window ...
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    EXPECT_TRUE(closing.isNull());
    EXPECT_FALSE(update->isEnabled()); // ... without touching Update
    EXPECT_EQ(fixture.programEnds, 1); // and with both windows gone the program ends
}

TEST_F(UpdateRun, MicrocontrollerWindowExitEndsTheProgram)
{
    Form1 form(fixture.program);
    Form2 *writeWindow = runMicrocontrollerPackage(form);
    ASSERT_NE(writeWindow, nullptr);
    writeWindow->findChild<QPushButton *>("Command3")->click();
    EXPECT_EQ(fixture.programEnds, 1);
}

TEST_F(UpdateRun, HexReaderFailureSendsNothing)
{
    const fs::path broken = write("broken.hex", ":020000040000FA\r\n\r\n");
    Form1 form(fixture.program);
    fixture.transport.clearTrace();
    EXPECT_FALSE(form.hex_f(broken));
    EXPECT_FALSE(form.hex_f_short(m_folder / "missing.hex"));
    EXPECT_EQ(text1(form), FileOpenError);
    EXPECT_TRUE(fixture.transport.trace().empty());
}

TEST_F(UpdateRun, ProgressBarGrowsWithTheStream)
{
    write("a.bin", std::string(40000, 'a'));
    Form1 form(fixture.program);
    auto *bar = form.findChild<QWidget *>("Shape1");
    const int empty = bar->width();
    choosePackage("download,a.bin,&h10000\n");
    clickUpdate(form);
    // Touched every 16 reports, the last time short of the full 5000 twips.
    EXPECT_GT(bar->width(), empty);
    EXPECT_LE(bar->width(), form.findChild<QWidget *>("Picture1")->width());
    EXPECT_GT(bar->width(), 5000 / 15 - 3);
}

// The example package in tests/data/update-example holds one record of each kind.
TEST_F(UpdateRun, ExamplePackageWithEveryKindRunsEndToEnd)
{
    const fs::path example = fs::path(KDM_TEST_DATA_DIR) / "update-example";
    Form1 form(fixture.program);
    fixture.dialogs.answers = {QString::fromStdString((example / "update.v5b").string())};
    clickUpdate(form);

    ASSERT_EQ(text1(form), Finished);
    const auto &flash = fixture.unit().flash();
    for (std::size_t k : {0u, 1234u, 4999u})
        EXPECT_EQ(flash[0x100000 + k], (k * 7 + 5) & 0xFF) << k; // fpga\bitstream.bin
    EXPECT_EQ(flash[0x100000 + 5000], 0xFF);
    // Three full images went to 0xF8000 in turn; the last (mcu.hex, 0x100
    // bytes) lies over what main.hex left in the image buffer beyond it.
    EXPECT_EQ(flash[0xF8000 + 0x10], (0x10 * 13 + 2) & 0xFF);
    EXPECT_EQ(flash[0xF8000 + 0x1FF], (0x1FF * 13 + 1) & 0xFF);
    EXPECT_EQ(flash[0x1F1000 + 0x6F], (0x6F * 13 + 3) & 0xFF); // loader.hex, 14-byte records
    EXPECT_NE(visibleMicrocontrollerWindow(), nullptr);
    EXPECT_TRUE(fixture.unit().microcontrollerWrites().empty()); // only the user starts it
}

TEST_F(UpdateRun, ExitEndsTheProgramAndClosesTheHandles)
{
    Form1 form(fixture.program);
    form.findChild<QPushButton *>("Command1")->click();
    EXPECT_EQ(fixture.programEnds, 1);
    fixture.transport.clearTrace();
    fixture.link.SendOutputReport(2, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_TRUE(fixture.transport.trace().empty());
}

} // namespace
} // namespace kdmupdate

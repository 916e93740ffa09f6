// Both programs' windows on the system's HID devices, with a unit behind the
// kernel's uhid: a key of kdmtool's remote control, and a whole update
// package run by kdmupdate. Runs inside the guest.
#include "UhidUnitProcess.h"

#include "devicelink/UnitCommands.h"
#include "kdmtool/Form1.h"
#include "kdmtool/Form2.h"
#include "kdmupdate/Form1.h"
#include "kdmupdate/Form2.h"
#include "support/ScriptedDialogs.h"
#include "ui/ProgramLifetime.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;
using kdm::test::UhidUnitProcess;

template <typename Window> Window *visibleWindow()
{
    for (QWidget *window : QApplication::topLevelWidgets())
        if (auto *candidate = qobject_cast<Window *>(window); candidate && candidate->isVisible())
            return candidate;
    return nullptr;
}

class WindowsOnHidraw : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fs::exists("/dev/uhid"))
            << "this test needs the kernel's uhid: run it through tests/vm/run-in-guest";
        qunsetenv("KDM9_SIMULATOR"); // the programs' own start-up then takes the system's HID devices
    }
};

TEST_F(WindowsOnHidraw, RemoteControlKeyReachesTheUnit)
{
    UhidUnitProcess unit;
    ASSERT_TRUE(unit.ready()) << unit.error();
    kdm::ui::UnitConnection connection(kdm::KdmtoolIdentities);
    kdm::ui::TickTimer ticks;
    kdm::test::ScriptedDialogs dialogs;
    kdmtool::Program program{connection.link(), ticks, dialogs, [] {}};
    kdmtool::Form1 form(program);
    form.show();

    form.findChild<QPushButton *>("Command2")->click();
    auto *remote = visibleWindow<kdmtool::Form2>();
    ASSERT_NE(remote, nullptr);
    remote->findChild<QAbstractButton *>("Command1")->click(); // メニュー, key code 5
    ASSERT_TRUE(unit.waitForTrace("IN 13 05", std::chrono::seconds(10)));
    EXPECT_EQ(unit.traceLines("OUT").front().substr(0, 9), "OUT 13 05");
    EXPECT_EQ(connection.link().ReplyReport()[1], 0x13); // the unit's answer came back through hidraw
}

TEST_F(WindowsOnHidraw, UpdatePackageIsWrittenIntoTheFlash)
{
    const fs::path flashFile = fs::temp_directory_path() / "kdm9-guest-flash.bin";
    fs::remove(flashFile);
    UhidUnitProcess unit({"--flash", flashFile.string()});
    ASSERT_TRUE(unit.ready()) << unit.error();
    {
        kdm::ui::UnitConnection connection(kdm::KdmupdateIdentities);
        kdm::ui::TickTimer ticks;
        kdm::test::ScriptedDialogs dialogs;
        dialogs.answers = {
            QString::fromStdString((fs::path(KDM_TEST_DATA_DIR) / "update-example/update.v5b").string())};
        kdmupdate::Program program{connection.link(), ticks, dialogs, [] {}};
        kdmupdate::Form1 form(program);
        form.show();
        ASSERT_EQ(form.findChild<QLineEdit *>("Text1")->text(), QStringLiteral("KDM-9を認識しました。"));

        form.findChild<QPushButton *>("Command21")->click();
        EXPECT_EQ(form.findChild<QLineEdit *>("Text1")->text(),
                  QStringLiteral("アップデート") + QChar(0x3000) + QStringLiteral("正常終了"));
        auto *writeWindow = visibleWindow<kdmupdate::Form2>();
        ASSERT_NE(writeWindow, nullptr);
        writeWindow->findChild<QPushButton *>("Command1")->click();
    }
    ASSERT_EQ(unit.stop(), 0);

    std::ifstream file(flashFile, std::ios::binary);
    const std::vector<char> flash{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    ASSERT_EQ(flash.size(), 2u * 1024 * 1024);
    auto at = [&](std::size_t address) { return static_cast<std::uint8_t>(flash[address]); };
    EXPECT_EQ(at(0x100000 + 1234), (1234 * 7 + 5) & 0xFF);  // fpga\bitstream.bin at &h100000
    EXPECT_EQ(at(0xF8000 + 0x10), (0x10 * 13 + 2) & 0xFF);  // mcu.hex, the last full image
    EXPECT_EQ(at(0x1F1000 + 0x6F), (0x6F * 13 + 3) & 0xFF); // loader.hex, the short image
    EXPECT_EQ(unit.traceLines("OUT 0B 00").size(), 1u);     // the microcontroller write
}

} // namespace

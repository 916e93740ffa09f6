// kdmtool's main window started as the program starts it, on the system's HID
// devices, with a unit behind the kernel's uhid. Runs inside the guest.
#include "UhidUnitProcess.h"

#include "devicelink/UnitCommands.h"
#include "kdmtool/Form1.h"
#include "support/ScriptedDialogs.h"
#include "ui/ProgramLifetime.h"

#include <QLineEdit>

#include <gtest/gtest.h>

#include <filesystem>

namespace kdmtool {
namespace {

using kdm::test::UhidUnitProcess;

TEST(Form1OnHidraw, ShowsWhetherTheUnitIsConnectedAndReleasesItOnClosing)
{
    ASSERT_TRUE(std::filesystem::exists("/dev/uhid"))
        << "this test needs the kernel's uhid: run it through tests/vm/run-in-guest";
    qunsetenv("KDM9_SIMULATOR"); // the program's own start-up then takes the system's HID devices

    struct Case {
        const char *identity;
        QString text;
        bool connected;
    };
    for (const Case &c : {Case{"17a7:0002", QStringLiteral("ＫＤＭ－９  Ｃｏｎｎｅｃｔ"), true},
                          Case{"04d8:0001", QStringLiteral("ＫＤＭ－９\u3000No\u3000Ｃｏｎｎｅｃｔ"), false}}) {
        SCOPED_TRACE(c.identity);
        UhidUnitProcess unit({"--identity", c.identity});
        ASSERT_TRUE(unit.ready()) << unit.error();
        kdm::ui::UnitConnection connection(kdm::KdmtoolIdentities);
        ASSERT_EQ(connection.simulator(), nullptr);
        kdm::ui::TickTimer ticks;
        kdm::test::ScriptedDialogs dialogs;
        int programEnds = 0;
        Program program{connection.link(), ticks, dialogs, [&] { ++programEnds; }};

        Form1 form(program);
        form.show();
        EXPECT_EQ(form.findChild<QLineEdit *>("Text1")->text(), c.text);
        EXPECT_EQ(connection.link().UnitFound(), c.connected ? -1 : 0);

        if (c.connected) {
            // An exchange orders the unit's trace: it is open, and it is
            // released when the window closes.
            connection.link().SendOutputReport(kdm::code(kdm::Command::PresenceQuery), 0, 0, 0, 0, 0, 0, 0);
            connection.link().ReceiveInputReport();
            EXPECT_EQ(unit.openings(), std::vector<std::string>{"OPEN"});
            EXPECT_TRUE(form.close());
            EXPECT_TRUE(unit.waitForTrace("CLOSE", std::chrono::seconds(10))) << "the handles are closed";
        } else {
            EXPECT_TRUE(form.close());
        }
        EXPECT_EQ(programEnds, 1);
    }
}

} // namespace
} // namespace kdmtool

#include "kdmtool/Form1.h"

#include "support/ProgramFixture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace kdmtool {
namespace {

using kdm::test::ToolFixture;

QStringList buttonNames()
{
    return {QStringLiteral("Command1"), QStringLiteral("Command2"), QStringLiteral("Command3"),
            QStringLiteral("Command10")};
}

TEST(Form1, StartsConnectedWithEveryButtonEnabled)
{
    ToolFixture fixture(true);
    Form1 form(fixture.program);

    EXPECT_EQ(form.windowTitle(), QStringLiteral("KDM-9 映像信号調整TOOL Ver 0.80"));
    EXPECT_EQ(form.findChild<QLineEdit *>("Text1")->text(), QStringLiteral("ＫＤＭ－９  Ｃｏｎｎｅｃｔ"));
    for (const QString &name : buttonNames())
        EXPECT_TRUE(form.findChild<QPushButton *>(name)->isEnabled()) << name.toStdString();
    EXPECT_EQ(fixture.link.UnitFound(), -1);
    EXPECT_TRUE(fixture.transport.trace().empty()); // nothing is sent at start-up
}

TEST(Form1, StartsUnconnectedWithEveryButtonDisabled)
{
    ToolFixture fixture(false);
    Form1 form(fixture.program);

    EXPECT_EQ(form.findChild<QLineEdit *>("Text1")->text(), QStringLiteral("ＫＤＭ－９") + QChar(0x3000) +
                                                                QStringLiteral("No") + QChar(0x3000) +
                                                                QStringLiteral("Ｃｏｎｎｅｃｔ"));
    for (const QString &name : buttonNames())
        EXPECT_FALSE(form.findChild<QPushButton *>(name)->isEnabled()) << name.toStdString();
}

TEST(Form1, ControlsHaveTheirCaptionsAndPlaces)
{
    ToolFixture fixture(true);
    Form1 form(fixture.program);

    struct Control {
        const char *name;
        QString caption;
        QRect pixels; // twips / 15
    };
    for (const Control &c : {Control{"Command1", QStringLiteral("入出力映像信号調整"), QRect(16, 80, 121, 33)},
                             Control{"Command2", QStringLiteral("リモートコントロール"), QRect(144, 80, 121, 33)},
                             Control{"Command10", QStringLiteral("vomo cmd") + QChar(0x3000) + QStringLiteral("load"),
                                     QRect(272, 80, 105, 33)},
                             Control{"Command3", QStringLiteral("キャプチャー"), QRect(384, 80, 105, 33)}}) {
        const auto *button = form.findChild<QPushButton *>(c.name);
        ASSERT_NE(button, nullptr) << c.name;
        EXPECT_EQ(button->text(), c.caption) << c.name;
        EXPECT_EQ(button->geometry(), c.pixels) << c.name;
    }
    EXPECT_EQ(form.findChild<QLineEdit *>("Text1")->geometry(), QRect(24, 24, 409, 33));
    EXPECT_EQ(form.size(), QSize(493, 126));
}

TEST(Form1, ClosingClosesTheHandlesAndEndsTheProgram)
{
    ToolFixture fixture(true);
    Form1 form(fixture.program);
    form.show();

    EXPECT_TRUE(form.close());
    EXPECT_EQ(fixture.programEnds, 1);
    // The handles are gone: nothing more reaches the unit, and no search is made.
    fixture.link.SendOutputReport(15, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_TRUE(fixture.transport.trace().empty());
    EXPECT_EQ(fixture.link.UnitFound(), -1);
}

TEST(TickTimer, CountsModulo4096)
{
    kdm::ui::TickTimer ticks;
    ticks.setTimerTicks(4094);
    ticks.advance();
    EXPECT_EQ(ticks.TimerTicks(), 4095);
    ticks.advance();
    EXPECT_EQ(ticks.TimerTicks(), 0);
    EXPECT_EQ(ticks.timer()->objectName(), QStringLiteral("Timer1"));
    EXPECT_EQ(ticks.timer()->interval(), 10);
}

TEST(TickTimer, PauseReturnsOnceTheCountIsReachedAndLetsOtherHandlersRun)
{
    kdm::ui::TickTimer ticks;
    int otherHandlerRuns = 0;
    QTimer::singleShot(0, [&] { ++otherHandlerRuns; });
    ticks.setTimerTicks(100);
    ticks.pause(3);
    EXPECT_EQ(ticks.TimerTicks(), 3); // counted from 0, not from where it stood
    EXPECT_EQ(otherHandlerRuns, 1);
}

} // namespace
} // namespace kdmtool

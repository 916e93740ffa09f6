#include "kdmtool/Form1.h"
#include "kdmtool/Form2.h"
#include "kdmtool/RemotePictures.h"

#include "support/ProgramFixture.h"
#include "support/TraceReports.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTest>

#include <gtest/gtest.h>

namespace kdmtool {
namespace {

using kdm::CommandBytes8;
using kdm::test::sentReports;
using kdm::test::ToolFixture;

struct Key {
    const char *name;
    std::uint8_t code;
    QSize picture; // pixels
};

// Every key of the unit's remote control that the panel offers.
const Key Keys[] = {
    {"Command18", 0x00, {49, 41}}, {"Command17", 0x01, {41, 17}}, {"Command29", 0x15, {41, 17}},
    {"Command19", 0x17, {41, 17}}, {"Command30", 0x1B, {41, 17}}, {"Command35", 0x1E, {41, 17}},
    {"Command36", 0x16, {41, 17}}, {"Command20", 0x51, {25, 25}}, {"Command21", 0x0C, {41, 33}},
    {"Command27", 0x52, {25, 25}}, {"Command24", 0x08, {41, 33}}, {"Command22", 0x03, {41, 33}},
    {"Command25", 0x04, {41, 33}}, {"Command23", 0x10, {41, 33}}, {"Command26", 0x53, {25, 25}},
    {"Command28", 0x54, {25, 25}}, {"Command5", 0x40, {41, 17}},  {"Command6", 0x49, {41, 17}},
    {"Command31", 0x4B, {41, 17}}, {"Command32", 0x4C, {41, 17}}, {"Command33", 0x4D, {41, 17}},
    {"Command8", 0x4E, {41, 17}},  {"Command1", 0x05, {41, 33}},  {"Command2", 0x06, {41, 33}},
    {"Command3", 0x07, {41, 33}},  {"Command4", 0x18, {41, 33}},  {"Command16", 0x42, {41, 17}},
    {"Command10", 0x43, {41, 17}}, {"Command9", 0x46, {41, 17}},  {"Command11", 0x44, {41, 17}},
    {"Command13", 0x47, {41, 17}}, {"Command12", 0x45, {41, 17}},
};

PictureButton *key(QWidget *panel, const char *name)
{
    auto *button = panel->findChild<PictureButton *>(QLatin1String(name));
    EXPECT_NE(button, nullptr) << name;
    return button;
}

TEST(Form2, EveryKeySendsItsCodeWithTheLeftoverBytesAndReadsOneReply)
{
    ToolFixture f;
    Form2 panel(f.program);
    panel.show();
    EXPECT_EQ(panel.findChildren<PictureButton *>().size(), static_cast<qsizetype>(std::size(Keys)));

    // A TimingRead leaves its address and the previous bytes behind.
    f.link.CommandReport = {0x10, 0, 0x48, 0x12, 0xA1, 0xA2, 0xA3, 0xA4};
    f.link.SendOutputReport(f.link.CommandReport);
    f.link.ReceiveInputReport();
    f.transport.clearTrace();

    for (const Key &k : Keys) {
        SCOPED_TRACE(k.name);
        PictureButton *button = key(&panel, k.name);
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
        const std::vector<CommandBytes8> sent = sentReports(f.transport);
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent.back(), (CommandBytes8{0x13, k.code, 0x48, 0x12, 0xA1, 0xA2, 0xA3, 0xA4}));
        EXPECT_EQ(f.transport.repliesWaiting(), 0u);
        EXPECT_EQ(f.unit().keyLog().back(), k.code);
    }
    EXPECT_EQ(sentReports(f.transport).size(), std::size(Keys)); // one report per click
}

TEST(Form2, KeysShowTheirLabelsInPicturesOfTheirSize)
{
    ToolFixture f;
    Form2 panel(f.program);
    for (const Key &k : Keys) {
        SCOPED_TRACE(k.name);
        PictureButton *button = key(&panel, k.name);
        ASSERT_NE(button, nullptr);
        const QImage &picture = button->picture();
        EXPECT_EQ(picture.size(), k.picture);
        EXPECT_EQ(picture.depth(), 24);
        EXPECT_EQ(button->size(), k.picture);
        // The label is drawn: the face's middle holds more than one colour.
        QSet<QRgb> colours;
        for (int y = 3; y < picture.height() - 3; ++y)
            for (int x = 3; x < picture.width() - 3; ++x)
                colours.insert(picture.pixel(x, y));
        EXPECT_GT(colours.size(), 1);
        EXPECT_FALSE(button->accessibleName().isEmpty());
    }
    EXPECT_EQ(key(&panel, "Command18")->accessibleName(), QStringLiteral("自動調整"));
    EXPECT_EQ(key(&panel, "Command28")->accessibleName(), QStringLiteral("↘"));
    EXPECT_EQ(key(&panel, "Command18")->geometry(), QRect(8, 8, 49, 41));
    EXPECT_EQ(key(&panel, "Command12")->geometry(), QRect(176, 496, 41, 17));
    EXPECT_EQ(key(&panel, "Command28")->parentWidget()->objectName(), QStringLiteral("Frame3"));
    EXPECT_EQ(key(&panel, "Command28")->geometry(), QRect(188, 104, 25, 25));
    EXPECT_EQ(key(&panel, "Command13")->parentWidget()->objectName(), QStringLiteral("Frame2"));
}

TEST(Form2, WindowFramesAndBackgroundAreAsTheUnitsRemoteLooks)
{
    ToolFixture f;
    Form2 panel(f.program);
    EXPECT_EQ(panel.windowTitle(), QStringLiteral("KDM-9") + QChar(0x3000) + QStringLiteral("リモコン"));
    EXPECT_EQ(panel.size(), QSize(224, 579));
    EXPECT_EQ(panel.palette().color(QPalette::Window), QColor(100, 106, 149));

    struct Frame {
        const char *name;
        QString title;
        QRect pixels;
        QColor background;
    };
    const QColor field(110, 122, 153);
    for (const Frame &frame : {Frame{"Frame1", QStringLiteral("モードセレクト"), QRect(112, 56, 103, 41), field},
                               Frame{"Frame3", QString(), QRect(3, 136, 217, 169), QColor(215, 215, 204)},
                               Frame{"Frame5", QStringLiteral("ホーム"), QRect(0, 320, 169, 41), field},
                               Frame{"Frame4", QString(), QRect(48, 480, 57, 81), field},
                               Frame{"Frame2", QString(), QRect(112, 480, 57, 81), field}}) {
        SCOPED_TRACE(frame.name);
        auto *box = panel.findChild<QGroupBox *>(QLatin1String(frame.name));
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->title(), frame.title);
        EXPECT_EQ(box->geometry(), frame.pixels);
        EXPECT_EQ(box->palette().color(QPalette::Window), frame.background);
    }
    auto *overscan = panel.findChild<QLabel *>(QStringLiteral("Label2"));
    ASSERT_NE(overscan, nullptr);
    EXPECT_EQ(overscan->text(), QStringLiteral("オーバースキャン"));
    EXPECT_EQ(overscan->parentWidget()->objectName(), QStringLiteral("Frame4"));
    EXPECT_EQ(overscan->geometry(), QRect(8, 32, 49, 25));
    auto *brightness = panel.findChild<QLabel *>(QStringLiteral("Label1"));
    ASSERT_NE(brightness, nullptr);
    EXPECT_EQ(brightness->text(), QStringLiteral("明るさ"));
    EXPECT_EQ(brightness->geometry(), QRect(8, 37, 33, 17));

    // The field, with the logo drawn in its lower part only.
    const QImage &background = panel.background();
    EXPECT_EQ(background.size(), QSize(225, 579));
    EXPECT_EQ(background.depth(), 24);
    int upperOther = 0;
    int lowerOther = 0;
    for (int y = 0; y < background.height(); ++y)
        for (int x = 0; x < background.width(); ++x)
            if (QColor(background.pixel(x, y)) != field)
                ++(y < background.height() / 2 ? upperOther : lowerOther);
    EXPECT_EQ(upperOther, 0);
    EXPECT_GT(lowerOther, 200);
}

TEST(Form2, AKeyWithoutTheUnitSendsNothingAndReturns)
{
    ToolFixture f(false);
    Form2 panel(f.program);
    QTest::mouseClick(key(&panel, "Command1"), Qt::LeftButton);
    EXPECT_TRUE(f.transport.trace().empty());
}

TEST(Form2, TheMainWindowKeepsOnePanelAndLoadsAFreshOneAfterAClose)
{
    ToolFixture f;
    Form1 form1(f.program);
    auto *openButton = form1.findChild<QPushButton *>(QStringLiteral("Command2"));
    const auto panels = [] {
        QList<Form2 *> shown;
        for (QWidget *window : QApplication::topLevelWidgets())
            if (auto *panel = qobject_cast<Form2 *>(window); panel && panel->isVisible())
                shown << panel;
        return shown;
    };
    QTest::mouseClick(openButton, Qt::LeftButton);
    QTest::mouseClick(openButton, Qt::LeftButton);
    ASSERT_EQ(panels().size(), 1);
    QPointer<Form2> first = panels().front();
    EXPECT_TRUE(f.transport.trace().empty()); // the panel sends nothing of its own

    first->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }));
    QTest::mouseClick(openButton, Qt::LeftButton);
    ASSERT_EQ(panels().size(), 1);
}

} // namespace
} // namespace kdmtool

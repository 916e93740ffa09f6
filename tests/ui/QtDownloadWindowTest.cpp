#include "ui/QtDownloadWindow.h"

#include "ui/TickTimer.h"

#include <QLineEdit>

#include <string>

#include <gtest/gtest.h>

namespace kdm::ui {
namespace {

struct DownloadWindowControls : testing::Test {
    QWidget window;
    QLineEdit *status = new QLineEdit(&window);
    QLineEdit *verdict = new QLineEdit(&window);
    QWidget *bar = new QWidget(&window);
    TickTimer ticks;
};

TEST_F(DownloadWindowControls, TextsGoToTheirLinesAndTheBarIsSetInTwips)
{
    bar->setGeometry(0, 0, 1, 33);
    QtDownloadWindow download(ticks, status, verdict, bar);

    download.setStatus("Erace");
    download.setVerdict("Check sum=0A3F  Write OK  rom=A3F file=A3F");
    download.setProgress(5000);

    EXPECT_EQ(status->text(), QStringLiteral("Erace"));
    EXPECT_EQ(verdict->text(), QStringLiteral("Check sum=0A3F  Write OK  rom=A3F file=A3F"));
    EXPECT_EQ(bar->size(), QSize(333, 33));
    download.setStatus("ファイル オープン\u3000エラー");
    EXPECT_EQ(status->text(), QStringLiteral("ファイル オープン") + QChar(0x3000) + QStringLiteral("エラー"));
}

// Between display frames the controls are not repainted; once the download
// is over they are repainted as usual, even when it ended between frames.
TEST_F(DownloadWindowControls, ControlsRepaintAgainWhenTheDownloadEnds)
{
    int framesSkipped = 0;
    {
        QtDownloadWindow download(ticks, status, verdict, bar);
        // A stream's worth of reports: far more than one a display frame.
        for (int report = 0; report < 1000; ++report) {
            download.setStatus(std::to_string(report * 8) + "byte");
            download.processEvents();
            framesSkipped += status->updatesEnabled() ? 0 : 1;
        }
        EXPECT_EQ(status->text(), QStringLiteral("7992byte")); // the text itself is always current
        download.processEvents();
    }
    EXPECT_GT(framesSkipped, 0);
    EXPECT_TRUE(status->updatesEnabled());
    EXPECT_TRUE(verdict->updatesEnabled());
    EXPECT_TRUE(bar->updatesEnabled());
}

TEST_F(DownloadWindowControls, ControlDeletedDuringTheDownloadIsLeftAlone)
{
    QtDownloadWindow download(ticks, status, verdict, bar);
    delete status;
    delete bar;
    download.setStatus("Download");
    download.setProgress(100);
    download.processEvents();
    download.setVerdict("Write error  rom=1234 file=A3F");
    EXPECT_EQ(verdict->text(), QStringLiteral("Write error  rom=1234 file=A3F"));
}

} // namespace
} // namespace kdm::ui

#include "QtDownloadWindow.h"

#include "Logging.h"
#include "TickTimer.h"
#include "Twips.h"

#include <QCoreApplication>
#include <QLineEdit>

namespace kdm::ui {

namespace {

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

QtDownloadWindow::QtDownloadWindow(TickTimer &ticks, QLineEdit *statusLine, QLineEdit *verdictLine,
                                   QWidget *progressBar)
    : m_ticks(ticks), m_statusLine(statusLine), m_verdictLine(verdictLine), m_progressBar(progressBar)
{
}

QtDownloadWindow::~QtDownloadWindow()
{
    setRepainting(true);
}

void QtDownloadWindow::setStatus(std::string_view text)
{
    if (m_statusLine)
        m_statusLine->setText(fromUtf8(text));
}

void QtDownloadWindow::setVerdict(std::string_view text)
{
    const QString verdict = fromUtf8(text);
    qCDebug(flashLog).noquote() << verdict;
    if (m_verdictLine)
        m_verdictLine->setText(verdict);
}

void QtDownloadWindow::setProgress(int widthTwips)
{
    if (m_progressBar)
        m_progressBar->resize(twips(widthTwips), m_progressBar->height());
}

void QtDownloadWindow::pause(int ticks)
{
    setRepainting(true);
    m_ticks.pause(ticks);
}

void QtDownloadWindow::processEvents()
{
    const auto now = std::chrono::steady_clock::now();
    const bool frameDue = now - m_lastFrame >= FrameInterval;
    if (frameDue)
        m_lastFrame = now;
    setRepainting(frameDue);
    QCoreApplication::processEvents();
}

void QtDownloadWindow::setRepainting(bool on)
{
    for (QWidget *control :
         {static_cast<QWidget *>(m_statusLine), static_cast<QWidget *>(m_verdictLine), m_progressBar.data()})
        if (control && control->updatesEnabled() != on)
            control->setUpdatesEnabled(on);
}

} // namespace kdm::ui

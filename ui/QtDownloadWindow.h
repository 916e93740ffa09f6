// The flash download's window on Qt controls: the status and verdict lines
// (one control may serve as both), an optional progress bar, the main
// window's tick timer for pauses, and the event loop.
#pragma once

#include "flash/DownloadWindow.h"

#include <QPointer>

#include <chrono>

class QLineEdit;
class QWidget;

namespace kdm::ui {

class TickTimer;

class QtDownloadWindow final : public flash::DownloadWindow {
public:
    // `progressBar` is resized in width only; null when the window has none.
    // A control deleted while the download runs is left alone from then on.
    QtDownloadWindow(TickTimer &ticks, QLineEdit *statusLine, QLineEdit *verdictLine, QWidget *progressBar = nullptr);
    ~QtDownloadWindow() override;
    QtDownloadWindow(const QtDownloadWindow &) = delete;
    QtDownloadWindow &operator=(const QtDownloadWindow &) = delete;

    void setStatus(std::string_view text) override;
    void setVerdict(std::string_view text) override;
    void setProgress(int widthTwips) override;
    void pause(int ticks) override;
    void processEvents() override;

private:
    // The stream processes events before every data report, up to a thousand
    // times a second; repainting the controls each time would cost far more
    // than the report. Their texts change every time, but they are repainted
    // once a display frame, and always in a pause and at the end.
    static constexpr std::chrono::milliseconds FrameInterval{16};
    void setRepainting(bool on);

    TickTimer &m_ticks;
    QPointer<QLineEdit> m_statusLine;
    QPointer<QLineEdit> m_verdictLine;
    QPointer<QWidget> m_progressBar;
    std::chrono::steady_clock::time_point m_lastFrame{};
};

} // namespace kdm::ui

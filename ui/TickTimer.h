// A main window's Timer1 and its tick counter TimerTicks, used for the short
// pauses of the unit's multi-step sequences.
//
// Timer1 ticks every 10 ms, the shortest period a window timer has on the
// platform these tools come from, so a pause of n ticks lasts as long as the
// unit has always been given. A pause waits inside the event loop: windows
// stay live, and handlers of other windows may run while it waits.
#pragma once

#include <QObject>

#include <chrono>
#include <cstdint>

class QTimer;

namespace kdm::ui {

class TickTimer : public QObject {
    Q_OBJECT
public:
    static constexpr int TickMilliseconds = 10;
    static constexpr int TickModulus = 4096;

    // Creates and starts the timer, a child named "Timer1".
    explicit TickTimer(QObject *parent = nullptr);

    std::int16_t TimerTicks() const { return m_timerTicks; }
    void setTimerTicks(std::int16_t ticks) { m_timerTicks = ticks; }

    // Timer1's handler: TimerTicks = (TimerTicks + 1) AND 0x0FFF.
    void advance();

    // Sets TimerTicks to 0 and processes window events, waiting for them,
    // until TimerTicks has reached `ticks`. Other pauses started meanwhile
    // reset the counter too, which only makes this one longer.
    void pause(int ticks);

    // Time spent in pause() since the timer was made: where a long sequence
    // spends its time.
    std::chrono::nanoseconds pausedTotal() const { return m_pausedTotal; }

    QTimer *timer() const { return m_timer; }

private:
    QTimer *m_timer;
    std::int16_t m_timerTicks = 0;
    std::chrono::nanoseconds m_pausedTotal{0};
};

} // namespace kdm::ui

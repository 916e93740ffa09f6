#include "TickTimer.h"

#include <QCoreApplication>
#include <QTimer>

namespace kdm::ui {

TickTimer::TickTimer(QObject *parent) : QObject(parent), m_timer(new QTimer(this))
{
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(TickMilliseconds);
    connect(m_timer, &QTimer::timeout, this, &TickTimer::advance);
    m_timer->start();
}

void TickTimer::advance()
{
    m_timerTicks = static_cast<std::int16_t>((m_timerTicks + 1) & (TickModulus - 1));
}

void TickTimer::pause(int ticks)
{
    const auto start = std::chrono::steady_clock::now();
    m_timerTicks = 0;
    while (m_timerTicks < ticks)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    m_pausedTotal += std::chrono::steady_clock::now() - start;
}

} // namespace kdm::ui

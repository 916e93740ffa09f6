#include "ProgramLifetime.h"

#include "Logging.h"
#include "devicelink/HidapiTransport.h"
#include "sim/SimEnvironment.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <csignal>

namespace kdm::ui {

UnitConnection::UnitConnection(std::span<const UsbIdentity> identities)
{
    Transport *transport = nullptr;
    if (sim::simulatorRequested()) {
        m_simulator = std::make_unique<sim::Simulator>(sim::settingsFromEnvironment());
        for (const std::string &warning : m_simulator->warnings())
            qCWarning(simLog).noquote() << QString::fromStdString(warning);
        transport = &m_simulator->transport();
    } else {
        m_hidTransport = std::make_unique<HidapiTransport>();
        transport = m_hidTransport.get();
    }
    m_link = std::make_unique<DeviceLink>(*transport, identities);
    m_link->setDiagnostics([](std::string_view text) {
        qCDebug(linkLog).noquote() << QString::fromUtf8(text.data(), qsizetype(text.size()));
    });
}

UnitConnection::~UnitConnection() = default;

void endProgramAtOnce()
{
    // hide(), unlike close(), runs no window's close handling.
    for (QWidget *window : QApplication::topLevelWidgets())
        window->hide();
    // quit() would close every window first; exit() only ends the loop.
    QCoreApplication::exit(0);
}

namespace {

std::atomic<bool> terminationRequested{false};

extern "C" void onTerminationSignal(int)
{
    terminationRequested = true;
}

} // namespace

void exitOnTerminationSignals()
{
    std::signal(SIGINT, onTerminationSignal);
    std::signal(SIGTERM, onTerminationSignal);
    // A signal handler may do next to nothing; the event loop looks at the flag.
    auto *watch = new QTimer(QCoreApplication::instance());
    QObject::connect(watch, &QTimer::timeout, [] {
        if (terminationRequested)
            QCoreApplication::exit(0);
    });
    watch->start(100);
}

} // namespace kdm::ui

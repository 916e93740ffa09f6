// Diagnostic logging categories, off by default; switch them on with for
// example QT_LOGGING_RULES="kdm.*.debug=true".
#pragma once

#include <QLoggingCategory>

namespace kdm::ui {

Q_DECLARE_LOGGING_CATEGORY(linkLog)  // "kdm.link": discovery and exchanges
Q_DECLARE_LOGGING_CATEGORY(simLog)   // "kdm.sim": the simulated unit's settings
Q_DECLARE_LOGGING_CATEGORY(flashLog) // "kdm.flash": download steps

} // namespace kdm::ui

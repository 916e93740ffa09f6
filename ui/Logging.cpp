#include "Logging.h"

namespace kdm::ui {

Q_LOGGING_CATEGORY(linkLog, "kdm.link", QtWarningMsg)
Q_LOGGING_CATEGORY(simLog, "kdm.sim", QtWarningMsg)
Q_LOGGING_CATEGORY(flashLog, "kdm.flash", QtWarningMsg)

} // namespace kdm::ui

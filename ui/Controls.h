// Creating a window's controls: each is named as the window names it (so
// tests and diagnostics find it with findChild) and placed where it belongs.
#pragma once

#include <QLatin1String>
#include <QRect>
#include <QWidget>

#include <utility>

namespace kdm::ui {

// A new Control(arguments..., parent), named `name`, at `geometry`.
template <typename Control, typename... Arguments>
Control *namedControl(QWidget *parent, const char *name, QRect geometry, Arguments &&...arguments)
{
    auto *control = new Control(std::forward<Arguments>(arguments)..., parent);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(geometry);
    return control;
}

} // namespace kdm::ui

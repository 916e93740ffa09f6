// The text of an update package as UTF-8. Packages are written on Windows,
// most in the Japanese system code page (Shift-JIS, as Windows extends it);
// a package that is valid UTF-8 is taken as such.
#pragma once

#include <QByteArray>

#include <string>

namespace kdmupdate {

std::string decodePackageText(const QByteArray &bytes);

} // namespace kdmupdate

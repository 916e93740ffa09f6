#include "PackageText.h"

#include <QStringDecoder>

namespace kdmupdate {

std::string decodePackageText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString asUtf8 = utf8.decode(bytes);
    if (!utf8.hasError())
        return asUtf8.toStdString();
    // Windows' own mapping of Shift-JIS, so that names come out as Windows
    // wrote them; where Qt has no such codec, the system's code page.
    QStringDecoder windowsJapanese("windows-31j");
    QStringDecoder decoder =
        windowsJapanese.isValid() ? std::move(windowsJapanese) : QStringDecoder(QStringDecoder::System);
    return QString(decoder.decode(bytes)).toStdString();
}

} // namespace kdmupdate

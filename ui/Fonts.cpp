#include "Fonts.h"

#include <QStringList>

namespace kdm::ui {

QFont msPGothic(double points)
{
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP"),
                      QStringLiteral("Hiragino Kaku Gothic Pro"), QStringLiteral("Yu Gothic")});
    font.setPointSizeF(points);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

} // namespace kdm::ui

#include "Form1.h"

#include "ui/Twips.h"

namespace kdmupdate {

Form1::Form1(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("KDM-9 アップデート\u3000ツール\u3000Ver1.01"));
    setFixedSize(kdm::ui::twipsSize(8415, 3240));
}

} // namespace kdmupdate

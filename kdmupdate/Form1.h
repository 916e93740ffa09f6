// kdmupdate's main window.
#pragma once

#include <QWidget>

namespace kdmupdate {

class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(QWidget *parent = nullptr);
};

} // namespace kdmupdate

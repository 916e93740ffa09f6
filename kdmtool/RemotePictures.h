// The remote control panel's pictures, drawn in code: the key faces with
// their labels, the panel's background with the unit's logo, and a button
// that shows nothing but its picture.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

namespace kdmtool {

// The panel's field, also the colour of most of its group boxes.
inline const QColor PanelFieldColour{110, 122, 153};

inline constexpr QSize PanelBackgroundSize{225, 579};

// A 24-bit key face of the given size with `label` drawn as large as fits.
QImage keyPicture(QSize size, const QString &label);

// The field with the "KDM-9" logo in its lower part, 24-bit.
QImage panelBackground();

class PictureButton : public QAbstractButton {
    Q_OBJECT
public:
    PictureButton(QImage picture, QWidget *parent);

    const QImage &picture() const { return m_picture; }
    QSize sizeHint() const override { return m_picture.size(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_picture;
};

} // namespace kdmtool

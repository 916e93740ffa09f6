#include "Form2.h"

#include "RemoteKey.h"
#include "RemotePictures.h"
#include "ui/Fonts.h"
#include "ui/Twips.h"

#include <QGroupBox>
#include <QLabel>
#include <QPainter>

#include <array>
#include <cstdint>

namespace kdmtool {

namespace {

const QString Caption = QStringLiteral("KDM-9\u3000リモコン");
const QString ModeSelectTitle = QStringLiteral("モードセレクト");
const QString HomeTitle = QStringLiteral("ホーム");
const QString OverscanText = QStringLiteral("オーバースキャン");
const QString BrightnessText = QStringLiteral("明るさ");

const QColor WindowColour{100, 106, 149}; // under the background picture
const QColor LightFrameColour{215, 215, 204};
const QColor LabelTextColour{255, 255, 255};

// Where a key sits: the window itself or one of its group boxes.
enum class Holder { Window, Frame1, Frame3, Frame5, Frame4, Frame2 };

// Every key of the panel. Positions in twips, relative to the holder. The
// codes are the unit's own and follow no rule.
struct RemoteKeyControl {
    const char *name;
    const char *label; // drawn in the key's picture
    Holder holder;
    int left;
    int top;
    int width;
    int height;
    std::uint8_t code;
};

constexpr std::array<RemoteKeyControl, 32> Keys{{
    {"Command18", "自動調整", Holder::Window, 120, 120, 735, 615, 0x00},
    {"Command17", "VIDEO/S", Holder::Window, 1080, 360, 615, 255, 0x01},
    {"Command29", "D", Holder::Window, 1800, 360, 615, 255, 0x15},
    {"Command19", "RGB", Holder::Window, 2520, 360, 615, 255, 0x17},
    {"Command30", "ステータス", Holder::Window, 240, 1080, 615, 255, 0x1B},
    {"Command35", "−", Holder::Frame1, 120, 240, 615, 255, 0x1E},
    {"Command36", "+", Holder::Frame1, 840, 240, 615, 255, 0x16},
    {"Command20", "↖", Holder::Frame3, 180, 240, 375, 375, 0x51},
    {"Command21", "▲", Holder::Frame3, 1380, 240, 615, 495, 0x0C},
    {"Command27", "↗", Holder::Frame3, 2820, 240, 375, 375, 0x52},
    {"Command24", "◀", Holder::Frame3, 540, 840, 615, 495, 0x08},
    {"Command22", "ズーム", Holder::Frame3, 1380, 840, 615, 495, 0x03},
    {"Command25", "▶", Holder::Frame3, 2220, 840, 615, 495, 0x04},
    {"Command23", "▼", Holder::Frame3, 1380, 1440, 615, 495, 0x10},
    {"Command26", "↙", Holder::Frame3, 180, 1560, 375, 375, 0x53},
    {"Command28", "↘", Holder::Frame3, 2820, 1560, 375, 375, 0x54},
    {"Command5", "小", Holder::Frame3, 960, 2160, 615, 255, 0x40},
    {"Command6", "大", Holder::Frame3, 1680, 2160, 615, 255, 0x49},
    {"Command31", "A", Holder::Frame5, 120, 240, 615, 255, 0x4B},
    {"Command32", "B", Holder::Frame5, 960, 240, 615, 255, 0x4C},
    {"Command33", "C", Holder::Frame5, 1800, 240, 615, 255, 0x4D},
    {"Command8", "ホームREC", Holder::Window, 2640, 5040, 615, 255, 0x4E},
    {"Command1", "メニュー", Holder::Window, 120, 5520, 615, 495, 0x05},
    {"Command2", "▲/◀", Holder::Window, 960, 5520, 615, 495, 0x06},
    {"Command3", "▼/▶", Holder::Window, 1800, 5520, 615, 495, 0x07},
    {"Command4", "OK", Holder::Window, 2640, 5520, 615, 495, 0x18},
    {"Command16", "静止", Holder::Window, 120, 7440, 615, 255, 0x42},
    {"Command10", "+", Holder::Frame4, 120, 240, 615, 255, 0x43},
    {"Command9", "−", Holder::Frame4, 120, 840, 615, 255, 0x46},
    {"Command11", "+", Holder::Frame2, 120, 240, 615, 255, 0x44},
    {"Command13", "−", Holder::Frame2, 120, 840, 615, 255, 0x47},
    {"Command12", "アスペクト", Holder::Window, 2640, 7440, 615, 255, 0x45},
}};

QGroupBox *frame(QWidget *parent, const char *name, const QString &title, QRect geometry, const QColor &background)
{
    auto *box = new QGroupBox(title, parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(geometry);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, LabelTextColour);
    box->setPalette(palette);
    box->setAutoFillBackground(true);
    return box;
}

QLabel *label(QWidget *parent, const char *name, const QString &text, QRect geometry)
{
    auto *control = new QLabel(text, parent);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(geometry);
    control->setFont(kdm::ui::msPGothic(7.5));
    control->setWordWrap(true);
    return control;
}

} // namespace

using kdm::ui::twipsRect;

Form2::Form2(Program &program, QWidget *parent)
    : QWidget(parent), m_program(program), m_background(panelBackground()),
      Frame1(frame(this, "Frame1", ModeSelectTitle, twipsRect(1680, 840, 1545, 615), PanelFieldColour)),
      Frame3(frame(this, "Frame3", QString(), twipsRect(40, 2040, 3260, 2535), LightFrameColour)),
      Frame5(frame(this, "Frame5", HomeTitle, twipsRect(0, 4800, 2535, 615), PanelFieldColour)),
      Frame4(frame(this, "Frame4", QString(), twipsRect(720, 7200, 855, 1215), PanelFieldColour)),
      Frame2(frame(this, "Frame2", QString(), twipsRect(1680, 7200, 855, 1215), PanelFieldColour)),
      Label2(label(Frame4, "Label2", OverscanText, twipsRect(120, 480, 735, 375))),
      Label1(label(Frame2, "Label1", BrightnessText, twipsRect(120, 555, 495, 255)))
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(Caption);
    setFont(kdm::ui::msPGothic(9));
    setFixedSize(kdm::ui::twipsSize(3360, 8685));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, WindowColour);
    setPalette(palette);
    setAutoFillBackground(true);

    const auto holder = [this](Holder where) -> QWidget * {
        switch (where) {
        case Holder::Window:
            return this;
        case Holder::Frame1:
            return Frame1;
        case Holder::Frame3:
            return Frame3;
        case Holder::Frame5:
            return Frame5;
        case Holder::Frame4:
            return Frame4;
        case Holder::Frame2:
            return Frame2;
        }
        return this;
    };
    for (const RemoteKeyControl &key : Keys) {
        // Each picture is as large as its key: 41 x 17, 41 x 33, 25 x 25 or 49 x 41 pixels.
        const QRect geometry = twipsRect(key.left, key.top, key.width, key.height);
        const QString text = QString::fromUtf8(key.label);
        auto *button = new PictureButton(keyPicture(geometry.size(), text), holder(key.holder));
        button->setObjectName(QLatin1String(key.name));
        button->setGeometry(geometry);
        button->setAccessibleName(text);
        QObject::connect(button, &QAbstractButton::clicked, this,
                         [this, code = key.code] { pressRemoteKey(m_program.link, code); });
    }
}

void Form2::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_background);
}

} // namespace kdmtool

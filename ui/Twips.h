// Window geometry is laid out in twips (1/1440 inch). At 96 dpi that is 15
// twips to a logical pixel; Qt scales logical pixels on high-dpi screens.
#pragma once

#include <QRect>
#include <QSize>

namespace kdm::ui {

constexpr int TwipsPerPixel = 15;

constexpr int twips(int value)
{
    return (value + TwipsPerPixel / 2) / TwipsPerPixel;
}

constexpr QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

constexpr QSize twipsSize(int width, int height)
{
    return QSize(twips(width), twips(height));
}

} // namespace kdm::ui

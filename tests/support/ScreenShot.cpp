#include "ScreenShot.h"

#include <algorithm>
#include <cstdlib>

namespace {

bool isNear(QRgb pixel, QRgb colour, int tolerance)
{
    return std::abs(qRed(pixel) - qRed(colour)) <= tolerance && std::abs(qGreen(pixel) - qGreen(colour)) <= tolerance
           && std::abs(qBlue(pixel) - qBlue(colour)) <= tolerance;
}

}

ScreenShot::ScreenShot(const QImage& image)
    : m_image(image.convertToFormat(QImage::Format_RGB32))
{
}

double ScreenShot::fractionNear(const QRect& rectangle, const QColor& colour, int tolerance) const
{
    const QRect area = rectangle & m_image.rect();
    if (area.isEmpty())
        return 0;
    qint64 near = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            near += isNear(m_image.pixel(x, y), colour.rgb(), tolerance);
    return double(near) / (qint64(area.width()) * area.height());
}

bool ScreenShot::isUniform(const QRect& rectangle, int tolerance) const
{
    const QRect area = rectangle & m_image.rect();
    return !area.isEmpty() && fractionNear(area, m_image.pixelColor(area.topLeft()), tolerance) == 1;
}

bool ScreenShot::differsFrom(const ScreenShot& other, const QRect& rectangle, int tolerance) const
{
    const QRect area = rectangle & m_image.rect() & other.m_image.rect();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (!isNear(m_image.pixel(x, y), other.m_image.pixel(x, y), tolerance))
                return true;
    return false;
}

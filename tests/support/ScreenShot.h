#pragma once

// A picture of the screen, as a person sees it, and the questions a desktop test asks of it:
// how much of a rectangle shows a colour, whether a rectangle is one colour, whether two shots
// differ in a rectangle. Colours match within a tolerance: the largest difference of one channel.
// A value; rectangles are clipped to the picture.

#include <QColor>
#include <QImage>
#include <QRect>

class ScreenShot
{
public:
    ScreenShot() = default;
    explicit ScreenShot(const QImage& image);

    bool isNull() const { return m_image.isNull(); }
    const QImage& image() const { return m_image; }
    QColor colourAt(const QPoint& point) const { return m_image.pixelColor(point); }

    // The share (0 to 1) of the rectangle's pixels within `tolerance` of `colour`; 0 for a
    // rectangle outside the picture.
    double fractionNear(const QRect& rectangle, const QColor& colour, int tolerance = 16) const;
    // Every pixel of the rectangle is within `tolerance` of its first; false outside the picture.
    bool isUniform(const QRect& rectangle, int tolerance = 0) const;
    // Some pixel of the rectangle differs by more than `tolerance` from the same pixel of `other`.
    bool differsFrom(const ScreenShot& other, const QRect& rectangle, int tolerance = 0) const;

private:
    QImage m_image;
};

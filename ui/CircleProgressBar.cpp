#include "ui/CircleProgressBar.h"

#include <QPainter>
#include <QPainterPath>
#include <QPaintEvent>
#include <QStyle>
#include <QTimeLine>

namespace {

const QColor kBorderColor(0, 174, 239);
const QColor kGrooveColor(0, 174, 239);
const QColor kChunkColor(0, 66, 128);
const int kBusyTurnMs = 1000;
const double kBusyArcDegrees = 60.0;

} // namespace

CircleProgressBar::CircleProgressBar(QWidget* parent)
    : QProgressBar(parent)
    , m_busyTimeline(new QTimeLine(kBusyTurnMs, this))
{
    setMaximumHeight(40);
    setMinimumWidth(40);
    m_busyTimeline->setLoopCount(0);
    m_busyTimeline->setFrameRange(0, 100);
    // Frames count down, so the arc turns clockwise.
    m_busyTimeline->setDirection(QTimeLine::Backward);
    m_busyTimeline->setEasingCurve(QEasingCurve::Linear);
    setValue(0);
    setTextVisible(true);
    connect(m_busyTimeline, &QTimeLine::frameChanged, this, &CircleProgressBar::setBusyIndicatorValue);
    setMaximum(100);
    setMinimum(0);
}

void CircleProgressBar::setStartAngle(double degrees)
{
    m_startAngle = degrees;
}

void CircleProgressBar::setTransparentCenter(bool transparent)
{
    m_transparentCenter = transparent;
}

void CircleProgressBar::setValueVisible(bool visible)
{
    m_valueVisible = visible;
}

bool CircleProgressBar::isBusyAnimationRunning() const
{
    return m_busyTimeline->state() == QTimeLine::Running;
}

void CircleProgressBar::setBusyIndicatorValue(int value)
{
    m_busyIndicatorValue = value;
    update();
}

double CircleProgressBar::percentageForPaint(bool& busy)
{
    busy = minimum() == 0 && maximum() == 0;
    if (!busy) {
        m_busyTimeline->stop();
        return maximum() != 0 ? double(value()) / maximum() * 100.0 : double(value());
    }
    if (m_busyTimeline->state() != QTimeLine::NotRunning)
        return m_busyIndicatorValue;
    m_busyTimeline->start();
    m_busyIndicatorValue = 0;
    return 0.0;
}

void CircleProgressBar::paintEvent(QPaintEvent* event)
{
    bool busy = false;
    const double percentage = percentageForPaint(busy);
    const int w = width();
    const int h = height();
    const QPointF centre((w - 1) / 2, (h - 1) / 2);
    const double outerRx = 0.6 * (w / 2);
    const double outerRy = 0.6 * (h / 2);
    const double innerRx = 0.4 * (w / 2);
    const double innerRy = 0.4 * (h / 2);

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QRectF outerRect(0, 0, 0.6 * w, 0.6 * h);
    outerRect.moveCenter(centre);
    QRectF innerRect(0, 0, 0.4 * w, 0.4 * h);
    innerRect.moveCenter(centre);
    const bool showValue = !busy && m_valueVisible;
    if (showValue)
        painter.save();

    QPainterPath ring;
    ring.addEllipse(centre, outerRx, outerRy);
    ring.addEllipse(centre, innerRx, innerRy);
    painter.setPen(QPen(QBrush(kBorderColor), 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.setBrush(kGrooveColor);
    painter.drawPath(ring);

    const double startAngle = busy ? (percentage - 30.0) * 3.6 : m_startAngle;
    const double span = busy ? -kBusyArcDegrees : -3.6 * percentage;
    QPainterPath arc;
    arc.moveTo(centre);
    arc.arcTo(outerRect, startAngle, span);
    arc.moveTo(centre);
    arc.arcTo(innerRect, startAngle, span);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kChunkColor);
    painter.drawPath(arc.simplified());

    if (!m_transparentCenter) {
        painter.setBrush(Qt::white);
        painter.drawEllipse(centre, innerRx - 0.5, innerRy - 0.5);
    }
    if (showValue) {
        const QString text = minimum() == maximum()
                                 ? QString()
                                 : QString::number(int(percentage)) + QLatin1Char('%');
        painter.restore();
        style()->drawItemText(&painter, rect(), Qt::AlignCenter, palette(), true, text);
    }
    event->accept();
}

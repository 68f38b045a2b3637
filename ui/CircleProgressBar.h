#pragma once

// A progress bar drawn as a ring: the arc of the value turns clockwise from twelve o'clock, and a
// range of 0 .. 0 turns it into a busy indicator, a short arc circling once a second. GUI thread.

#include <QProgressBar>

class QTimeLine;

class CircleProgressBar : public QProgressBar
{
    Q_OBJECT

public:
    explicit CircleProgressBar(QWidget* parent = nullptr);

    // Stored only; they show at the next paint.
    void setStartAngle(double degrees);
    void setTransparentCenter(bool transparent);
    void setValueVisible(bool visible);

    bool isBusyAnimationRunning() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private slots:
    void setBusyIndicatorValue(int value);

private:
    // The percentage of the ring to draw; starts or stops the busy animation by the range.
    double percentageForPaint(bool& busy);

    double m_startAngle = 90.0;
    int m_busyIndicatorValue = 0;
    bool m_transparentCenter = true;
    bool m_valueVisible = false;
    QTimeLine* m_busyTimeline;   // child of the bar
};

// The ring progress bar as it paints: which part of the ring the arc covers, and when the busy
// animation runs.

#include "ui/CircleProgressBar.h"

#include <QImage>
#include <QtMath>
#include <QtTest>

class tst_CircleProgressBar : public QObject
{
    Q_OBJECT

private slots:
    void arcCoversThePercentage_data();
    void arcCoversThePercentage();
    void emptyRangeIsBusyUntilADeterminatePaint();
};

namespace {

const QRgb kChunk = qRgb(0, 66, 128);
const QRgb kGroove = qRgb(0, 174, 239);
const int kSide = 40;   // the bar is at most 40 pixels high

QImage paint(CircleProgressBar& bar)
{
    QImage image(kSide, kSide, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    bar.render(&image);
    return image;
}

// The colour in the middle of the ring, `degrees` clockwise from twelve o'clock.
QRgb ringAt(const QImage& image, double degrees)
{
    const double centre = (kSide - 1) / 2;
    const double radius = 0.5 * (kSide / 2);   // between the inner (0.4) and outer (0.6) radius
    const double angle = qDegreesToRadians(degrees);
    const QPoint point(qRound(centre + radius * qSin(angle)), qRound(centre - radius * qCos(angle)));
    return image.pixel(point) | 0xff000000;
}

} // namespace

void tst_CircleProgressBar::arcCoversThePercentage_data()
{
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");
    QTest::addColumn<QVector<bool>>("covered");   // at 45, 135, 225 and 315 degrees clockwise
    QTest::newRow("quarter") << 100 << 25 << QVector<bool>{true, false, false, false};
    QTest::newRow("whole") << 100 << 100 << QVector<bool>{true, true, true, true};
    QTest::newRow("none") << 100 << 0 << QVector<bool>{false, false, false, false};
    QTest::newRow("10 of 40") << 40 << 10 << QVector<bool>{true, false, false, false};
    QTest::newRow("three quarters") << 100 << 75 << QVector<bool>{true, true, true, false};
}

void tst_CircleProgressBar::arcCoversThePercentage()
{
    QFETCH(int, maximum);
    QFETCH(int, value);
    QFETCH(QVector<bool>, covered);
    CircleProgressBar bar;
    bar.resize(kSide, kSide);
    bar.setRange(0, maximum);
    bar.setValue(value);
    const QImage image = paint(bar);
    for (int quarter = 0; quarter < 4; ++quarter) {
        const double degrees = 45.0 + 90.0 * quarter;
        QCOMPARE(ringAt(image, degrees), covered[quarter] ? kChunk : kGroove);
    }
    QVERIFY(!bar.isBusyAnimationRunning());
}

void tst_CircleProgressBar::emptyRangeIsBusyUntilADeterminatePaint()
{
    CircleProgressBar bar;
    bar.resize(kSide, kSide);
    bar.setRange(0, 0);
    QVERIFY(!bar.isBusyAnimationRunning());   // started by the next paint, not by the range
    paint(bar);
    QVERIFY(bar.isBusyAnimationRunning());
    // The busy arc is a sixth of the ring: some of the ring is covered, not all of it.
    const QImage busy = paint(bar);
    int covered = 0;
    for (int step = 0; step < 36; ++step)
        covered += ringAt(busy, 10.0 * step + 5.0) == kChunk;
    QVERIFY2(covered >= 4 && covered <= 8, qPrintable(QString::number(covered)));

    bar.setRange(0, 100);
    QVERIFY(bar.isBusyAnimationRunning());
    paint(bar);
    QVERIFY(!bar.isBusyAnimationRunning());
}

QTEST_MAIN(tst_CircleProgressBar)
#include "tst_CircleProgressBar.moc"

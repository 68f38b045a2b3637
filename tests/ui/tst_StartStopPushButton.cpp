// The start/stop button clicked as a person does: which signal a click emits and which text shows.

#include "ui/StartStopPushButton.h"

#include <QSignalSpy>
#include <QtTest>

class tst_StartStopPushButton : public QObject
{
    Q_OBJECT

private slots:
    void clickAsksToStartUntilStarted();
    void startedClickAsksToStop();
};

namespace {

struct Clicks
{
    explicit Clicks(StartStopPushButton& button)
        : start(&button, &StartStopPushButton::startClicked)
        , stop(&button, &StartStopPushButton::stopClicked)
    {}
    QSignalSpy start;
    QSignalSpy stop;
};

const QString kFormText = QStringLiteral("Start to flash");

} // namespace

void tst_StartStopPushButton::clickAsksToStartUntilStarted()
{
    StartStopPushButton button;
    button.setText(kFormText);
    button.init(QStringLiteral("Stop"));
    button.show();
    Clicks clicks(button);

    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(clicks.start.count(), 1);
    QCOMPARE(clicks.stop.count(), 0);
    QVERIFY(!button.isStarted());  // the owner decides
    QCOMPARE(button.text(), kFormText);
}

void tst_StartStopPushButton::startedClickAsksToStop()
{
    StartStopPushButton button;
    button.setText(kFormText);
    button.init(QStringLiteral("Stop"));
    button.show();
    Clicks clicks(button);

    button.setStarted(true);
    QCOMPARE(button.text(), QStringLiteral("Stop"));
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(clicks.stop.count(), 1);
    QCOMPARE(clicks.start.count(), 0);

    button.flipStatus();
    QVERIFY(!button.isStarted());
    QCOMPARE(button.text(), kFormText);
}

QTEST_MAIN(tst_StartStopPushButton)
#include "tst_StartStopPushButton.moc"

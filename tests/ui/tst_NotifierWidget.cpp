// The notification panel inside a shown window: what it says, how big it opens, and that it
// closes when its message's time is over.

#include "RecordingLogSink.h"
#include "ui/NotifierWidget.h"

#include <QFile>
#include <QPropertyAnimation>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <QtTest>

#include <limits>
#include <memory>

namespace {

// The panel as the main window holds it: in a layout of a shown window.
struct Window
{
    Window()
    {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(notifier);
        window.resize(800, 600);
        window.show();
        sink.bind(*notifier);
    }

    QTextBrowser* browser() const { return notifier->findChild<QTextBrowser*>(QStringLiteral("m_pkTextBrowser")); }
    QWidget* ring() const { return notifier->findChild<QWidget*>(QStringLiteral("remainingProgress")); }
    QAbstractAnimation* animation(const char* name) const
    {
        return notifier->findChild<QAbstractAnimation*>(QLatin1String(name));
    }
    bool isCentred() const
    {
        return browser()->document()->firstBlock().blockFormat().alignment() & Qt::AlignHCenter;
    }
    // Open, or closed, and no longer moving.
    bool isSettled() const
    {
        return animation("showAnimation")->state() == QAbstractAnimation::Stopped
               && animation("hideAnimation")->state() == QAbstractAnimation::Stopped;
    }

    RecordingLogSink sink;
    QWidget window;
    NotifierWidget* notifier = new NotifierWidget(&window);
};

} // namespace

class tst_NotifierWidget : public QObject
{
    Q_OBJECT

private slots:
    void logsTheDuration_data();
    void logsTheDuration();
    void shortTextIsCentredInTheSmallestPanel();
    void wideTextOpensWiderAndIsNotCentred();
    void filePathShowsTheFile();
    void secondMessageReplacesTheFirst_data();
    void secondMessageReplacesTheFirst();
    void zeroDurationEndsClosed();
    void hiddenRingStillCountsDown();
};

void tst_NotifierWidget::logsTheDuration_data()
{
    QTest::addColumn<quint64>("duration");
    QTest::addColumn<int>("countdownMs");

    QTest::newRow("a few seconds") << quint64(3000) << 3000;
    QTest::newRow("beyond the timer's range") << quint64(std::numeric_limits<uint64_t>::max())
                                              << std::numeric_limits<int>::max();
}

void tst_NotifierWidget::logsTheDuration()
{
    QFETCH(quint64, duration);
    QFETCH(int, countdownMs);
    Window window;
    window.notifier->displayMessage(QStringLiteral("Unplug the device"), duration);

    QCOMPARE(window.sink.texts(Logger::INFO),
             QStringList{QStringLiteral("Displaying notification during %1 ms").arg(duration)});
    QCOMPARE(window.animation("countdownAnimation")->duration(), countdownMs);
    QCOMPARE(window.animation("countdownAnimation")->state(), QAbstractAnimation::Running);
    // A long message stays: the panel opens and is not closing.
    QTRY_VERIFY(window.isSettled());
    QVERIFY(window.notifier->width() > 0);
}

void tst_NotifierWidget::shortTextIsCentredInTheSmallestPanel()
{
    Window window;
    window.notifier->displayMessage(QStringLiteral("Done"), 60000);

    QVERIFY(window.isCentred());
    QVERIFY(window.browser()->toPlainText().contains(QStringLiteral("Done")));
    const QSize measured = window.notifier->findOptimalSize();
    QCOMPARE(measured, QSize(250, 80));
    QTRY_VERIFY(window.isSettled());
    QCOMPARE(window.notifier->maximumSize(), measured);
}

void tst_NotifierWidget::wideTextOpensWiderAndIsNotCentred()
{
    Window window;
    window.notifier->displayMessage(QStringLiteral("<pre>%1</pre>").arg(QString(120, QLatin1Char('W'))), 60000);

    QVERIFY(!window.isCentred());
    QTRY_VERIFY(window.isSettled());
    QVERIFY(window.notifier->maximumWidth() > 250);
    QVERIFY(window.notifier->maximumHeight() >= 80);
}

void tst_NotifierWidget::filePathShowsTheFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("notice.html"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<p>Hi</p>");
    file.close();
    Window window;
    window.notifier->displayMessage(path, 60000);

    QCOMPARE(window.browser()->source(), QUrl(QStringLiteral("file://") + path));
    QCOMPARE(window.browser()->toPlainText(), QStringLiteral("Hi"));
    QVERIFY(!window.isCentred());
}

void tst_NotifierWidget::secondMessageReplacesTheFirst_data()
{
    QTest::addColumn<int>("firstMs");
    QTest::addColumn<int>("secondMs");

    QTest::newRow("shorter second") << 60000 << 200;
    QTest::newRow("longer second") << 200 << 60000;
}

void tst_NotifierWidget::secondMessageReplacesTheFirst()
{
    QFETCH(int, firstMs);
    QFETCH(int, secondMs);
    Window window;
    QSignalSpy hiding(window.animation("hideAnimation"), &QAbstractAnimation::stateChanged);
    window.notifier->displayMessage(QStringLiteral("first"), uint64_t(firstMs));
    window.notifier->displayMessage(QStringLiteral("second"), uint64_t(secondMs));

    QVERIFY(window.browser()->toPlainText().contains(QStringLiteral("second")));
    QVERIFY(!window.browser()->toPlainText().contains(QStringLiteral("first")));
    QCOMPARE(window.animation("countdownAnimation")->duration(), secondMs);
    // The panel closes after the second message's time, and only then.
    QCOMPARE(hiding.wait(std::min(firstMs, secondMs) + 2000), secondMs < firstMs);
}

void tst_NotifierWidget::zeroDurationEndsClosed()
{
    Window window;
    window.notifier->displayMessage(QStringLiteral("Gone"), 0);

    QCOMPARE(window.animation("hideAnimation")->state(), QAbstractAnimation::Stopped);
    QTRY_VERIFY(window.animation("hideAnimation")->state() == QAbstractAnimation::Running);
    QTRY_VERIFY(window.isSettled());
    QCOMPARE(window.notifier->maximumSize(), QSize(0, 0));
}

void tst_NotifierWidget::hiddenRingStillCountsDown()
{
    Window window;
    window.notifier->setProgressVisible(false);
    window.notifier->displayMessage(QStringLiteral("Wait"), 400);

    QVERIFY(!window.ring()->isVisible());
    QCOMPARE(window.ring()->property("value").toInt(), 100);
    QTRY_COMPARE(window.ring()->property("value").toInt(), 0);
    QCOMPARE(window.animation("countdownAnimation")->state(), QAbstractAnimation::Stopped);
    window.notifier->setProgressVisible(true);
    QVERIFY(window.ring()->isVisible());
}

QTEST_MAIN(tst_NotifierWidget)
#include "tst_NotifierWidget.moc"

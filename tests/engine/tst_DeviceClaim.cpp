// A device's claim: the lock file where the README says, an flock that another process (here the
// util-linux `flock` program) and this one exclude each other by, gone when the claim is let go.

#include "core/ChildProcess.h"
#include "engine/DeviceClaim.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QtTest>

#include <memory>

class tst_DeviceClaim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void claimExcludesEveryOtherUntilLetGo();
    void deviceHeldByAnotherProcessIsRefused();

private:
    QString m_lockFile;
};

void tst_DeviceClaim::initTestCase()
{
    // The kernel's USB tree: the file is named after the port alone.
    qunsetenv("QLN_USB_SYSFS_ROOT");
    QVERIFY(!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"));
    QString error;
    const QString folder = DeviceClaim::folder(error);
    QCOMPARE(folder, qEnvironmentVariable("XDG_RUNTIME_DIR") + "/quillonlite");
    m_lockFile = folder + "/port-1-2.lock";
}

void tst_DeviceClaim::claimExcludesEveryOtherUntilLetGo()
{
    const PortNumber port = PortNumber::usbPort("1-2");
    std::unique_ptr<DeviceClaim> claim;
    QString error;
    QCOMPARE(DeviceClaim::take(port, claim, error), DeviceClaim::Taken);
    QVERIFY(claim);
    QVERIFY(QFileInfo::exists(m_lockFile));
    QCOMPARE(QFileInfo(QFileInfo(m_lockFile).path()).permissions() & 0x0077, QFileDevice::Permissions());

    // A second claim, even from this process, is refused; another port is free.
    std::unique_ptr<DeviceClaim> second;
    QCOMPARE(DeviceClaim::take(port, second, error), DeviceClaim::HeldElsewhere);
    QVERIFY(!second);
    std::unique_ptr<DeviceClaim> other;
    QCOMPARE(DeviceClaim::take(PortNumber::usbPort("1-3"), other, error), DeviceClaim::Taken);

    claim.reset();
    QVERIFY(!QFileInfo::exists(m_lockFile));
    QCOMPARE(DeviceClaim::take(port, second, error), DeviceClaim::Taken);
}

void tst_DeviceClaim::deviceHeldByAnotherProcessIsRefused()
{
    ChildProcess holder;
    holder.start("flock", {m_lockFile, "sh", "-c", "echo locked; exec sleep 60"});
    QVERIFY(holder.waitForReadyRead(30000));
    std::unique_ptr<DeviceClaim> claim;
    QString error;
    QCOMPARE(DeviceClaim::take(PortNumber::usbPort("1-2"), claim, error), DeviceClaim::HeldElsewhere);

    // The kernel drops the lock of a process that dies (`sleep` shares it: it goes a moment after
    // `flock` is reaped).
    holder.killGroup();
    QVERIFY(holder.waitForFinished(10000));
    QElapsedTimer clock;
    clock.start();
    DeviceClaim::Outcome outcome = DeviceClaim::HeldElsewhere;
    while ((outcome = DeviceClaim::take(PortNumber::usbPort("1-2"), claim, error)) == DeviceClaim::HeldElsewhere
           && clock.elapsed() < 10000)
        QTest::qWait(50);
    QVERIFY2(outcome == DeviceClaim::Taken, qPrintable(error));
}

QTEST_GUILESS_MAIN(tst_DeviceClaim)
#include "tst_DeviceClaim.moc"

// The device handle's casts: a cast shares the object's counts, and never brings back an object
// whose last strong reference is gone (a view looking its device up while the device is deleted).

#include "platform/device/Device.h"

#include <QtTest>

namespace {

class Phone : public Device
{
public:
    // `seenFromDestructor`: whether a cast from `weak` gave this object while it was being deleted.
    Phone(QWeakPointer<Device>* weak, bool* seenFromDestructor)
        : Device(DummyDevice(), nullptr)
        , m_weak(weak)
        , m_seen(seenFromDestructor)
    {
    }
    ~Phone() override { *m_seen = bool(SharedPointer<Device>(m_weak->toStrongRef()).dynamicCast<Phone>()); }

private:
    QWeakPointer<Device>* m_weak;
    bool* m_seen;
};

} // namespace

class tst_SharedPointer : public QObject
{
    Q_OBJECT

private slots:
    void castSharesTheCounts();
    void castNeverRevivesADyingObject();
};

void tst_SharedPointer::castSharesTheCounts()
{
    QWeakPointer<Device> weak;
    bool seen = true;
    DevicePtr device(new Phone(&weak, &seen));
    weak = device;
    const SharedPointer<Phone> phone = device.dynamicCast<Phone>();
    QVERIFY(phone);
    QVERIFY(!device.dynamicCast<QTimer>());   // another class: empty
    device.reset();
    QVERIFY(weak.toStrongRef());               // the cast keeps the object alive
}

void tst_SharedPointer::castNeverRevivesADyingObject()
{
    QWeakPointer<Device> weak;
    bool seen = true;
    DevicePtr device(new Phone(&weak, &seen));
    weak = device;
    device.reset();
    QVERIFY(!seen);
    QVERIFY(!SharedPointer<Device>(weak.toStrongRef()).dynamicCast<Phone>());
}

QTEST_GUILESS_MAIN(tst_SharedPointer)
#include "tst_SharedPointer.moc"

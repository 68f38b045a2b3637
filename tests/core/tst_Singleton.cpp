// The one-object rule of Singleton<T> and the texts of its exceptions.

#include "core/Singleton.h"

#include <QtTest>

// At namespace scope: the exception texts carry the mangled type name ("14UsbPortMapStub").
class UsbPortMapStub : public Singleton<UsbPortMapStub>
{
public:
    int value = 42;
};

class HashStoreStub : public Singleton<HashStoreStub>
{
};

namespace {

QString thrownText(const std::function<void()>& action)
{
    try {
        action();
    } catch (const SingletonException& exception) {
        return QString::fromStdString(exception.what());
    }
    return QString();
}

} // namespace

class tst_Singleton : public QObject
{
    Q_OBJECT

private slots:
    void instanceHandsOutTheRegisteredObject();
    void secondObjectIsRefusedAndFirstStays();
    void accessBeforeConstructionThrows();
};

void tst_Singleton::instanceHandsOutTheRegisteredObject()
{
    QVERIFY(!Singleton<UsbPortMapStub>::exists());
    {
        UsbPortMapStub map;
        QCOMPARE(UsbPortMapStub::instance(), &map);
        QCOMPARE(UsbPortMapStub::instance()->value, 42);
    }
    QVERIFY(!Singleton<UsbPortMapStub>::exists());
    // After the first one is gone, a new one registers normally.
    UsbPortMapStub again;
    QCOMPARE(UsbPortMapStub::instance(), &again);
}

void tst_Singleton::secondObjectIsRefusedAndFirstStays()
{
    UsbPortMapStub first;
    const QString text = thrownText([] { UsbPortMapStub second; });
    QCOMPARE(text, QStringLiteral("Double instanciation of 14UsbPortMapStub singleton"));
    // The refused object's destruction left the registration alone.
    QCOMPARE(UsbPortMapStub::instance(), &first);

    const QString heapText = thrownText([] { delete new UsbPortMapStub; });
    QVERIFY(!heapText.isEmpty());
    QCOMPARE(UsbPortMapStub::instance(), &first);
}

void tst_Singleton::accessBeforeConstructionThrows()
{
    QCOMPARE(thrownText([] { HashStoreStub::instance(); }),
             QStringLiteral("Try to access to a not initialized 13HashStoreStub singleton"));
}

QTEST_GUILESS_MAIN(tst_Singleton)
#include "tst_Singleton.moc"

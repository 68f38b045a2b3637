// The downloader backend beside the executable is found, loaded once and handed its objects back.

#include "platform/downloader/DravikDownloaderLibrary.h"

#include "TestDravikBackend.h"

#include <QCoreApplication>
#include <QDir>
#include <QtTest>

class tst_DravikDownloaderLibrary : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void backendBesideTheExecutableMakesDownloaders();
    void refusingBackendGivesNoDownloader();

private:
    TestDravikBackendScript* m_script = nullptr;
};

void tst_DravikDownloaderLibrary::initTestCase()
{
    QCOMPARE(DravikDownloaderLibrary::backendPath(),
             QDir(QCoreApplication::applicationDirPath()).absoluteFilePath("libdravik-dldr-api.so"));
    m_script = TestDravikBackend::script(DravikDownloaderLibrary::backendPath());
    QVERIFY2(m_script, "the test backend is not beside the test");
}

void tst_DravikDownloaderLibrary::init()
{
    m_script->reset();
}

void tst_DravikDownloaderLibrary::backendBesideTheExecutableMakesDownloaders()
{
    QString error;
    {
        const DravikDownloaderLibrary::DownloaderPtr first = DravikDownloaderLibrary::create(&error);
        const DravikDownloaderLibrary::DownloaderPtr second = DravikDownloaderLibrary::create(&error);
        QVERIFY2(first && second, qPrintable(error));
        QVERIFY(first.get() != second.get());
        QCOMPARE(first->getVersion(), std::string("4.2.1"));
        QCOMPARE(m_script->liveObjects, 2);
    }
    // Every object goes back to the backend that made it.
    QCOMPARE(m_script->liveObjects, 0);
    QCOMPARE(m_script->recordedCalls(),
             (QStringList{"alloc", "alloc", "getVersion", "dealloc", "dealloc"}));
}

void tst_DravikDownloaderLibrary::refusingBackendGivesNoDownloader()
{
    m_script->refuseAllocation = true;
    QString error;
    QVERIFY(!DravikDownloaderLibrary::create(&error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(m_script->recordedCalls(), QStringList{"alloc"});
}

QTEST_GUILESS_MAIN(tst_DravikDownloaderLibrary)
#include "tst_DravikDownloaderLibrary.moc"

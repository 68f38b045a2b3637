#include <QtTest>
class tst_DownloadManager : public QObject { Q_OBJECT };
QTEST_MAIN(tst_DownloadManager)
#include "tst_DownloadManager.moc"

#include <QtTest>
class tst_DownloadScheduling : public QObject { Q_OBJECT };
QTEST_MAIN(tst_DownloadScheduling)
#include "tst_DownloadScheduling.moc"

#include <QtTest>
class tst_DownloadCompletion : public QObject { Q_OBJECT };
QTEST_MAIN(tst_DownloadCompletion)
#include "tst_DownloadCompletion.moc"

// Every image the face names is compiled in and readable, at the path the face uses: the paths
// written in the face's sources and forms, and the battery gauge's, whose names are computed.

#include "ui/UiResources.h"

#include <QDirIterator>
#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

namespace {

// Every ":/icons/icons/..." path written whole in the sources and forms of `folders`.
QSet<QString> pathsNamedIn(const QStringList& folders)
{
    static const QRegularExpression path(QStringLiteral(":/icons/icons/[A-Za-z0-9_.-]+\\.(png|ico)"));
    QSet<QString> found;
    for (const QString& folder : folders) {
        QDirIterator files(QStringLiteral(QLN_SOURCE_DIR "/") + folder, {"*.cpp", "*.h", "*.ui"}, QDir::Files,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromUtf8(file.readAll());
            for (auto match = path.globalMatch(text); match.hasNext();)
                found.insert(match.next().captured());
        }
    }
    return found;
}

} // namespace

class tst_UiResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void imageLoads_data();
    void imageLoads();
};

void tst_UiResources::initTestCase()
{
    UiResources::init();
}

void tst_UiResources::imageLoads_data()
{
    QTest::addColumn<QString>("path");
    const QSet<QString> named = pathsNamedIn({QStringLiteral("ui"), QStringLiteral("app")});
    QVERIFY(named.size() > 20);
    for (const QString& path : named)
        QTest::newRow(qPrintable(path)) << path;
    for (const char* level : {"0percent2", "10percent", "20percent", "40percent", "60percent", "80percent", "100percent"})
        QTest::newRow(level) << QStringLiteral(":/icons/icons/battery_horizontal_%1.png").arg(QLatin1String(level));
}

void tst_UiResources::imageLoads()
{
    QFETCH(QString, path);
    QVERIFY2(!QImage(path).isNull(), qPrintable(path));
}

QTEST_MAIN(tst_UiResources)
#include "tst_UiResources.moc"

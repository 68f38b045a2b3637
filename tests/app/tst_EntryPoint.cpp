#include "app/EntryPoint.h"
#include "core/UsbPortMap.h"

#include <QRegularExpression>
#include <QtTest>

#include <functional>
#include <new>

using Body = std::function<int()>;
Q_DECLARE_METATYPE(Body)

namespace {

QString contentOf(FILE* file)
{
    std::fflush(file);
    std::rewind(file);
    QByteArray content;
    char buffer[512];
    size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        content.append(buffer, int(count));
    return QString::fromLocal8Bit(content);
}

const QString kTime = QStringLiteral("\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d");

} // namespace

class tst_EntryPoint : public QObject
{
    Q_OBJECT

private slots:
    void consoleLine_data();
    void consoleLine();
    void escapingExceptions_data();
    void escapingExceptions();
};

void tst_EntryPoint::consoleLine_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("tail");

    QTest::newRow("fatal") << int(FATAL) << "  FATAL  : text";
    QTest::newRow("warning") << int(WARNING) << "  WARNING: text";
    QTest::newRow("info") << int(INFO) << "  INFO   : text";
    QTest::newRow("trace") << int(TRACE) << "  TRACE  : text";
    QTest::newRow("unknown level") << 9 << "text";
}

void tst_EntryPoint::consoleLine()
{
    QFETCH(int, level);
    QFETCH(QString, tail);
    const QString line = QString::fromStdString(EntryPoint::getMessage(LOGLEVEL(level), "text"));
    QVERIFY2(QRegularExpression('^' + kTime + QRegularExpression::escape(tail) + '$').match(line).hasMatch(),
             qPrintable(line));
}

void tst_EntryPoint::escapingExceptions_data()
{
    QTest::addColumn<Body>("body");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("fatal"); // text of the FATAL line; empty: none

    QTest::newRow("result") << Body([] { return 5; }) << 5 << QString();
    QTest::newRow("memory exhausted") << Body([]() -> int { throw std::bad_alloc(); }) << 17 << "std::bad_alloc";
    QTest::newRow("second singleton") << Body([] {
        UsbPortMap first;
        UsbPortMap second;
        return 0;
    }) << 7 << "Double instanciation of " + QString::fromLatin1(typeid(UsbPortMap).name()) + " singleton";
    QTest::newRow("anything else") << Body([]() -> int { throw 42; }) << 7 << "Internal error";
}

void tst_EntryPoint::escapingExceptions()
{
    QFETCH(Body, body);
    QFETCH(int, code);
    QFETCH(QString, fatal);

    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    QVERIFY(out && err);
    {
        EntryPoint entryPoint(out, err);
        QCOMPARE(entryPoint.guarded(body), code);
        QCOMPARE(entryPoint.hasFailed(), !fatal.isEmpty());
    }
    const QString output = contentOf(out);
    const QString errors = contentOf(err);
    std::fclose(out);
    std::fclose(err);

    if (fatal.isEmpty()) {
        QCOMPARE(output, QString());
        QCOMPARE(errors, QString());
        return;
    }
    QVERIFY2(QRegularExpression('^' + kTime + "  FATAL  : " + QRegularExpression::escape(fatal) + "\n$")
                 .match(errors).hasMatch(), qPrintable(errors));
    QVERIFY2(QRegularExpression('^' + kTime + "  ERROR  : Quillon Lite exited with code " + QString::number(code) + "\n$")
                 .match(output).hasMatch(), qPrintable(output));
}

QTEST_GUILESS_MAIN(tst_EntryPoint)
#include "tst_EntryPoint.moc"

// The version functions that the program exports for outside tools.

#include "core/ChildProcess.h"
#include "core/QuillonLib.h"

#include <QtTest>

#include <dlfcn.h>

class tst_QuillonLib : public QObject
{
    Q_OBJECT

private slots:
    void versionTexts();
    void exportedByEveryProgramOfTheLibrary();
    void exportedByTheProgram();

private:
    static const QStringList& symbols();
};

const QStringList& tst_QuillonLib::symbols()
{
    static const QStringList names{QStringLiteral("QuillonLib_getVersion"), QStringLiteral("QuillonLib_getBuildDate"),
                                   QStringLiteral("_ZN10QuillonLib10getVersionEv"),
                                   QStringLiteral("_ZN10QuillonLib12getBuildDateEv")};
    return names;
}

void tst_QuillonLib::versionTexts()
{
    QCOMPARE(QByteArray(QuillonLib::getVersion()), QByteArray("5.3.2.0"));
    QCOMPARE(QByteArray(QuillonLib_getBuildDate()), QByteArray(QuillonLib::getBuildDate()));
    QCOMPARE(QByteArray(QuillonLib_getVersion()), QByteArray(QuillonLib::getVersion()));
}

void tst_QuillonLib::exportedByEveryProgramOfTheLibrary()
{
    // This test program calls them itself; the look-up goes through its dynamic symbol table.
    for (const QString& name : symbols())
        QVERIFY2(dlsym(RTLD_DEFAULT, qPrintable(name)) != nullptr, qPrintable(name));
    using Text = const char* (*)();
    const auto version = reinterpret_cast<Text>(dlsym(RTLD_DEFAULT, "QuillonLib_getVersion"));
    QCOMPARE(QByteArray(version()), QByteArray("5.3.2.0"));
}

void tst_QuillonLib::exportedByTheProgram()
{
    // The program calls none of them: they must be there all the same.
    ChildProcess nm;
    nm.start(QStringLiteral("nm"), {QStringLiteral("-D"), QStringLiteral("--defined-only"), QStringLiteral(QLN_PROGRAM)});
    QVERIFY2(nm.waitForFinished(60000), qPrintable(nm.errorString()));
    QCOMPARE(nm.exitCode(), 0);
    const QString table = QString::fromLatin1(nm.readAllStandardOutput());
    for (const QString& name : symbols())
        QVERIFY2(table.contains(QStringLiteral(" T ") + name + QLatin1Char('\n')), qPrintable(name));
}

QTEST_GUILESS_MAIN(tst_QuillonLib)
#include "tst_QuillonLib.moc"

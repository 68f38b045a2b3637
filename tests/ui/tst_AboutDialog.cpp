// The about box as the about action opens it: its fixed frameless size, the version lines read
// from the published build data and the downloaders (the simulator's dfu-util), and the two
// licence links, whatever their letter case.

#include "OpenedUrls.h"
#include "SimulatedDevices.h"
#include "app/ApplicationInfo.h"
#include "core/FMConst.h"
#include "ui/AboutDialog.h"
#include "ui/UiResources.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextDocument>
#include <QtTest>

#include <memory>

namespace {

QString plainText(const QLabel* label)
{
    QTextDocument document;
    document.setHtml(label->text());
    return document.toPlainText();
}

QString licenseFolder()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../Licenses");
}

} // namespace

class tst_AboutDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void isAFixedFramelessBox();
    void showsVersionsAndSupport();
    void linksOpenTheLicenceDocuments_data();
    void linksOpenTheLicenceDocuments();
    void clickingTheAgreementLinkOpensIt();
    void escapeAndCloseEndIt();

private:
    template <typename T>
    T* child(const QString& name) const
    {
        T* found = m_dialog->findChild<T*>(name);
        if (!found)
            qFatal("no %s", qPrintable(name));
        return found;
    }

    SimulatedDevices m_sim;
    std::unique_ptr<AboutDialog> m_dialog;
};

void tst_AboutDialog::initTestCase()
{
    ApplicationInfo::publish(*QCoreApplication::instance());
    UiResources::init();
    QVERIFY(m_sim.isValid());
    QVERIFY(FMConst::setTool(QStringLiteral("dfuDownloader"), m_sim.toolPath(QStringLiteral("dfu-util"))));
}

void tst_AboutDialog::init()
{
    m_dialog = std::make_unique<AboutDialog>();
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
}

void tst_AboutDialog::cleanup()
{
    m_dialog.reset();
}

void tst_AboutDialog::isAFixedFramelessBox()
{
    QCOMPARE(m_dialog->windowTitle(), QStringLiteral("About Zorvik® Quillon Lite"));
    QVERIFY(m_dialog->windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(m_dialog->size(), QSize(548, 400));
    QCOMPARE(m_dialog->minimumSize(), QSize(548, 400));
    QCOMPARE(m_dialog->maximumSize(), QSize(548, 400));
    m_dialog->resize(700, 500);
    QCOMPARE(m_dialog->size(), QSize(548, 400));
    QVERIFY(!child<QLabel>(QStringLiteral("label_title"))->pixmap(Qt::ReturnByValue).isNull());
    QVERIFY(!child<QLabel>(QStringLiteral("right_banner"))->pixmap(Qt::ReturnByValue).isNull());
}

void tst_AboutDialog::showsVersionsAndSupport()
{
    const QString versions = plainText(child<QLabel>(QStringLiteral("label_infos_version")));
    QVERIFY2(versions.contains(QStringLiteral("Version: 5.3.2.0 x64\n")), qPrintable(versions));
    QVERIFY2(versions.contains(QStringLiteral("Build date: ")), qPrintable(versions));
    QVERIFY2(versions.contains(QStringLiteral("Qt 5.15.")), qPrintable(versions));
    QVERIFY2(versions.contains(QStringLiteral("Dravik Downloader API unknown")), qPrintable(versions));
    QVERIFY2(versions.contains(QStringLiteral("DFU Downloader API 0.11")), qPrintable(versions));

    // The notice names the year of the published build time.
    const QString notice = plainText(child<QLabel>(QStringLiteral("label_copyright")));
    const int year =
        QDateTime::fromSecsSinceEpoch(qApp->property("APP_BUILD_TIMESTAMP").toLongLong()).date().year();
    QVERIFY2(notice.contains(QString::number(year)), qPrintable(notice));

    const QLabel* support = child<QLabel>(QStringLiteral("label_bug_report"));
    QVERIFY(plainText(support).startsWith(QStringLiteral("Report an issue:")));
    QVERIFY(support->openExternalLinks());
    // Every text is drawn at the configured pixel size; the heading bold and blue.
    QVERIFY(support->text().contains(QStringLiteral("font-size:11px; font-weight:600; color:#086db6;")));
    for (const QLabel* label : m_dialog->findChildren<QLabel*>()) {
        if (label->textFormat() != Qt::PlainText && !label->text().isEmpty())
            QVERIFY2(label->text().contains(QStringLiteral("font-size:11px; font-weight:400;")),
                     qPrintable(label->objectName()));
    }
    QCOMPARE(child<QPushButton>(QStringLiteral("pushButtonClose"))->text(), QStringLiteral("Close"));
}

void tst_AboutDialog::linksOpenTheLicenceDocuments_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("opened");  // path opened, empty for none

    const QString agreement = licenseFolder() + QStringLiteral("/Zorvik_Development_Tools_Limited_License_Agreement.txt");
    QTest::newRow("agreement") << "label_license" << "view_agreement" << agreement;
    QTest::newRow("agreement, other case") << "label_license" << "View_AGREEMENT" << agreement;
    QTest::newRow("third party") << "label_third_party_licenses" << "view_third_party_licenses" << licenseFolder();
    QTest::newRow("third party, other case")
        << "label_third_party_licenses" << "VIEW_Third_Party_Licenses" << licenseFolder();
    QTest::newRow("another link") << "label_license" << "view_agreements" << QString();
}

void tst_AboutDialog::linksOpenTheLicenceDocuments()
{
    QFETCH(QString, label);
    QFETCH(QString, link);
    QFETCH(QString, opened);

    // No licence folder beside the test: its absence changes nothing in the box.
    QVERIFY(!QFileInfo::exists(licenseFolder()));
    const OpenedUrls urls({QStringLiteral("file")});
    const QString before = plainText(child<QLabel>(QStringLiteral("label_infos_version")));
    emit child<QLabel>(label)->linkActivated(link);

    QCOMPARE(urls.urls, opened.isEmpty() ? QList<QUrl>() : QList<QUrl>{QUrl::fromLocalFile(opened)});
    QVERIFY(m_dialog->isVisible());
    QCOMPARE(plainText(child<QLabel>(QStringLiteral("label_infos_version"))), before);
}

void tst_AboutDialog::clickingTheAgreementLinkOpensIt()
{
    const OpenedUrls urls({QStringLiteral("file")});
    QLabel* label = child<QLabel>(QStringLiteral("label_license"));
    // The link is the label's only text, at its bottom left.
    const QPoint onLink(10, label->height() - label->fontMetrics().height() / 2 - 1);
    QTest::mouseClick(label, Qt::LeftButton, Qt::NoModifier, onLink);
    QTRY_COMPARE(urls.urls.size(), 1);
    QVERIFY(urls.urls.first().path().endsWith(QStringLiteral("/Licenses/Zorvik_Development_Tools_Limited_License_Agreement.txt")));
}

void tst_AboutDialog::escapeAndCloseEndIt()
{
    QSignalSpy finished(m_dialog.get(), &QDialog::finished);
    QTest::keyClick(m_dialog.get(), Qt::Key_Escape);
    QCOMPARE(finished.size(), 1);
    QVERIFY(!m_dialog->isVisible());

    m_dialog->show();
    QTest::mouseClick(child<QPushButton>(QStringLiteral("pushButtonClose")), Qt::LeftButton);
    QCOMPARE(finished.size(), 2);
    QCOMPARE(finished.last().first().toInt(), int(QDialog::Accepted));
}

QTEST_MAIN(tst_AboutDialog)
#include "tst_AboutDialog.moc"

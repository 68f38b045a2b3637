#include "ui/AboutDialog.h"

#include "tools/DFUFlashCommand.h"
#include "tools/DravikFlashCommand.h"
#include "ui_AboutDialog.h"

#include <QApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QUrl>

namespace {

const QLatin1String kAgreementLink("view_agreement");
const QLatin1String kThirdPartyLink("view_third_party_licenses");

// Every label is one rich-text document in the box's text colour, at the configured pixel size.
QString richText(int fontSize, const QString& paragraphs)
{
    return QStringLiteral(
               "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0//EN\" \"http://www.w3.org/TR/REC-html40/strict.dtd\">"
               "<html><head><meta name=\"qrichtext\" content=\"1\" /><style type=\"text/css\">"
               "p, li { white-space: pre-wrap; } p {margin:0px; -qt-block-indent:0; text-indent:0px;}"
               "</style></head><body style=\"font-size:%1px; font-weight:400; font-style:normal; "
               "color:#53575e; background-color:#ffffff;\">")
               .arg(fontSize)
           + paragraphs + QStringLiteral("</body></html>");
}

QString linkParagraph(const QString& target, const QString& text)
{
    return QStringLiteral("<p><a href=\"%1\">%2</a></p>").arg(target, text);
}

// The licence documents ship in a folder beside the executable's.
QString licenseFolder()
{
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + QStringLiteral("/../Licenses"));
}

} // namespace

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , ui(std::make_unique<Ui::AboutDialog>())
{
    ui->setupUi(this);
    setWindowTitle(tr("About ") + QCoreApplication::applicationName());
    ui->label_title->setPixmap(QPixmap(QStringLiteral(":/icons/icons/title_qln.png")));
    ui->label_title->repaint();
    connect(ui->pushButtonClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->label_license, &QLabel::linkActivated, this, &AboutDialog::onLinkActivated);
    connect(ui->label_third_party_licenses, &QLabel::linkActivated, this, &AboutDialog::onLinkActivated);
    fillTexts();
}

AboutDialog::~AboutDialog() = default;

void AboutDialog::fillTexts()
{
    const QCoreApplication* application = QCoreApplication::instance();
    const int fontSize = application->property("FONT_SIZE_ABOUT").toInt();
    const int buildYear =
        QDateTime::fromSecsSinceEpoch(application->property("APP_BUILD_TIMESTAMP").toLongLong()).date().year();

    ui->label_copyright->setText(richText(
        fontSize, QStringLiteral("<p>%1 writes firmware onto USB-attached devices. Build of %2.</p>")
                      .arg(QCoreApplication::applicationName().toHtmlEscaped())
                      .arg(buildYear)));
    ui->label_infos_version->setText(richText(
        fontSize, QStringLiteral("<p>Version: %1 %2<br>").arg(application->property("APP_FULL_VERSION").toString(),
                                                            application->property("APP_ARCH").toString())
                      + QStringLiteral("Build date: %1</p><br>").arg(application->property("APP_BUILD_TIME").toString())
                      + QStringLiteral("<p>Qt %1<br>").arg(QLatin1String(qVersion()))
                      + QStringLiteral("%1 API %2<br>").arg(DravikFlashCommand::toolName(), DravikFlashCommand::toolVersion())
                      + QStringLiteral("%1 API %2<br>").arg(DFUFlashCommand::toolName(), DFUFlashCommand::toolVersion())
                      + QStringLiteral("</p>")));
    ui->label_bug_report->setOpenExternalLinks(true);
    ui->label_bug_report->setText(richText(
        fontSize, QStringLiteral("<p style=\"font-size:%1px; font-weight:600; color:#086db6;\">Report an issue:</p>")
                          .arg(fontSize)
                      + QStringLiteral("<p>Please contact the Zorvik Customer team.</p>"
                                       "<p style=\"-qt-paragraph-type:empty;\"></p>")));
    ui->label_license->setText(richText(fontSize, linkParagraph(kAgreementLink, tr("View license agreement"))));
    ui->label_third_party_licenses->setText(
        richText(fontSize, linkParagraph(kThirdPartyLink, tr("View third party licenses"))));
}

void AboutDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    adjustSize();
    setFixedSize(size());
}

void AboutDialog::onLinkActivated(const QString& link)
{
    // The desktop's own handler reports a missing file or folder; the box stays as it is.
    const QString target = link.toLower();
    if (target == kAgreementLink) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(
            licenseFolder() + QDir::separator()
            + QStringLiteral("Zorvik_Development_Tools_Limited_License_Agreement.txt")));
    } else if (target == kThirdPartyLink) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(licenseFolder()));
    }
}

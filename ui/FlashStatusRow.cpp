#include "ui/FlashStatusRow.h"

#include "engine/FlashRunner.h"
#include "loader/FlashFileManager.h"
#include "model/FlashConfiguration.h"

#include <QLabel>
#include <QProgressBar>

#include <limits>

namespace {

QString progressStyle(const QString& base, const char* chunkColour)
{
    return base
           + QStringLiteral("QProgressBar::horizontal {text-align: center; border: 1px solid gray;"
                            "border-radius: 3px;background: white;padding: 1px;} "
                            "QProgressBar::chunk:horizontal {background-color: %1;}")
                 .arg(QLatin1String(chunkColour));
}

QString kindIconOf(DeviceState startState)
{
    switch (startState) {
    case DeviceState::DnxFirmware:
        return QStringLiteral(":/icons/icons/blank_file.png");
    case DeviceState::DnxOs:
        return QStringLiteral(":/icons/icons/fastboot_dnx_file.png");
    case DeviceState::ProvisioningOs:
        return QStringLiteral(":/icons/icons/fastboot_file.png");
    case DeviceState::MainOs:
        return QStringLiteral(":/icons/icons/ota_file.png");
    default:
        return QStringLiteral(":/icons/icons/unknown_file.png");
    }
}

} // namespace

FlashStatusRow::FlashStatusRow(QLabel* kindIcon, QProgressBar* progressBar, QLabel* status)
    : m_kindIcon(kindIcon)
    , m_progressBar(progressBar)
    , m_status(status)
{
    const QString base = progressBar->styleSheet();
    m_styleFlashing = progressStyle(base, "deepskyblue");
    m_styleSuccess = progressStyle(base, "lime");
    m_styleFailure = progressStyle(base, "red");
    m_styleInterrupted = progressStyle(base, "orange");
    m_progressBar->setStyleSheet(m_styleFlashing);
}

void FlashStatusRow::scaleToInt(uint64_t done, uint64_t total, int& scaledDone, int& scaledTotal)
{
    const uint64_t limit = uint64_t(std::numeric_limits<int>::max());
    const uint64_t larger = std::max(done, total);
    const uint64_t divisor = larger > limit ? larger / limit + 1 : 1;
    scaledDone = int(done / divisor);
    scaledTotal = int(total / divisor);
}

void FlashStatusRow::showRunner(const SharedPointer<FlashRunner>& runner)
{
    const QSharedPointer<FlashConfiguration> configuration = runner ? runner->getConfiguration() : nullptr;
    if (!configuration)
        return;
    const QSharedPointer<FlashFileManager> flashFile = configuration->getFlashFileManager<FlashFileManager>();
    m_kindIcon->setToolTip(flashFile ? flashFile->getFileInfo() : QStringLiteral("No file information"));
    m_kindIcon->setPixmap(QPixmap(kindIconOf(configuration->getStartState())));
}

void FlashStatusRow::showStart()
{
    m_progressBar->setStyleSheet(m_styleFlashing);
    show();
}

void FlashStatusRow::showProgress(uint64_t done, uint64_t total)
{
    show();
    int scaledDone = 0;
    int scaledTotal = 0;
    scaleToInt(done, total, scaledDone, scaledTotal);
    m_progressBar->setRange(0, scaledTotal);   // 0 .. 0: the bar's busy indicator
    m_progressBar->setValue(scaledDone);
}

void FlashStatusRow::showFinish(FlashTypes::FlashStatus status)
{
    switch (status) {
    case FlashTypes::FlashStatus::Success:
        m_progressBar->setStyleSheet(m_styleSuccess);
        break;
    case FlashTypes::FlashStatus::Failure:
        m_progressBar->setStyleSheet(m_styleFailure);
        break;
    case FlashTypes::FlashStatus::Interrupted:
        m_progressBar->setStyleSheet(m_styleInterrupted);
        break;
    }
    show();
}

void FlashStatusRow::showInfo(const QString& text)
{
    show();
    m_status->setText(text);
}

void FlashStatusRow::clear()
{
    m_progressBar->setStyleSheet(m_styleFlashing);
    m_status->setStyleSheet(QString());
    m_progressBar->hide();
    m_progressBar->setValue(0);
    m_progressBar->setMaximum(100);
    m_kindIcon->hide();
    m_status->clear();
}

void FlashStatusRow::show()
{
    m_progressBar->show();
    m_kindIcon->show();
}

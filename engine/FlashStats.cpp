#include "engine/FlashStats.h"

#include "core/ApplicationLog.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>

const QString FlashStats::fileStatsNameDefault = QStringLiteral("plovt-stats.csv");

namespace {

// A text from a device as one field of a line: no separator, no line break, no control character.
QString asField(const QString& text)
{
    QString field = text;
    for (QChar& c : field) {
        if (c == QLatin1Char(';') || c.category() == QChar::Other_Control
            || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char('_');
    }
    return field;
}

} // namespace

FlashStats::FlashStats()
    : m_fileName(QDir::homePath() + QLatin1Char('/') + fileStatsNameDefault)
{
}

FlashStats::~FlashStats()
{
    qDebug() << "destructor FileStat";
    if (m_file)
        m_file->close();
    m_file.reset();
    qDebug() << "destructor FileStat OK";
}

bool FlashStats::setStatsFile(const QString& name)
{
    if (m_file && m_fileName == name)
        return true;
    auto file = std::make_unique<QFile>(name);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        ApplicationLog::write(ERROR, QStringLiteral("FlashStats module cannot open %1 file").arg(name));
        return false;
    }
    m_stream.setDevice(nullptr);
    m_file = std::move(file);
    m_stream.setDevice(m_file.get());
    m_fileName = name;
    return true;
}

QString FlashStats::getStatFileName() const
{
    return m_fileName;
}

void FlashStats::setSaveStatsFile(bool enable, const QString& name)
{
    if (enable) {
        setStatsFile(name);
        ApplicationLog::write(INFO, QStringLiteral("Statistics record enabled to ") + name);
        return;
    }
    m_stream.setDevice(nullptr);
    m_file.reset();
    ApplicationLog::write(INFO, QStringLiteral("Statistics record stopped"));
}

QString FlashStats::statsLine(const QDateTime& now, const QString& serial, const QString& result,
                              const QString& detail)
{
    return QStringList{now.toString(QStringLiteral("yyyy.MM.dd")), now.toString(QStringLiteral("hh:mm:ss")),
                       asField(serial), result, detail}
        .join(QLatin1Char(';'));
}

void FlashStats::handleResult(FlashDevice2Ptr device, FlashTypes::FlashStatus status,
                              FlashTypes::CommandType type)
{
    const QString serial = device ? device->getSocSerial() : QStringLiteral("?");
    QString result;
    QString detail;
    switch (status) {
    case FlashTypes::FlashStatus::Success:
        incrSuccessFlash();
        result = detail = QStringLiteral("SUCCESS");
        break;
    case FlashTypes::FlashStatus::Interrupted:
        incrInterruptedFlash();
        result = detail = QStringLiteral("INTERRUPTED");
        break;
    case FlashTypes::FlashStatus::Failure:
        detail = countFailure(type);
        incrFailFlash();
        result = QStringLiteral("FAIL");
        break;
    default:
        break;
    }
    if (m_file)
        writeLine(statsLine(QDateTime::currentDateTime(), serial, result, detail));
}

QString FlashStats::countFailure(FlashTypes::CommandType type)
{
    using Type = FlashTypes::CommandType;
    switch (type) {
    case Type::Ifwi:
        incrFailFlashIFWI();
        return QStringLiteral("FAIL_IFWI");
    case Type::Fastboot:
    case Type::Adb:
    case Type::Shell:
    case Type::Popup:
    case Type::Notifier:
    case Type::Sleep:
    case Type::Token:
    case Type::WrongDeviceType:
        incrFailFlashOs();
        return QStringLiteral("FAIL_OS");
    case Type::Modem:
        incrFailFlashModem();
        return QStringLiteral("FAIL_MODEM");
    case Type::DeviceEnumeration:
    case Type::InitialDeviceState:
        incrFailAbdEnum();
        return QStringLiteral("FAIL_ENUM");
    case Type::Fls:
        incrFailFlashOs();
        return QStringLiteral("FAIL_FLS_FLASH");
    case Type::Dfu:
        incrFailDfu();
        return QStringLiteral("FAIL_DFU_FLASH");
    case Type::Controller:
        incrFailController();
        return QStringLiteral("FAIL_CONTROLLER");
    case Type::Internal:
        return QStringLiteral("FAIL_INTERNAL");
    default:
        return QString();
    }
}

void FlashStats::writeLine(const QString& line)
{
    ApplicationLog::write(TRACE, QStringLiteral("Writing flash result to the statistic file ..."));
    m_stream << line << '\n';
    m_stream.flush();
    if (m_stream.status() != QTextStream::Ok || m_file->error() != QFileDevice::NoError) {
        ApplicationLog::write(ERROR, QStringLiteral("Flash result '%1' could not be written to the statistic file %2: %3")
                                  .arg(line, m_fileName, m_file->errorString()));
        m_stream.resetStatus();
        m_file->unsetError();
        return;
    }
    ApplicationLog::write(INFO, QStringLiteral("Flash result '") + line.trimmed()
                             + QStringLiteral("' added to the statistic file"));
}

void FlashStats::emitGlobal()
{
    emit handsetGobalStatUpdated(quint64(m_success), quint64(m_failure), quint64(m_interrupted),
                                 quint64(m_total));
}

void FlashStats::update()
{
    emitGlobal();
    emit handsetIFWIFailure(m_ifwiFailures);
    emit handsetAdbEnumFailure(m_enumerationFailures);
    emit handsetModemFailure(m_modemFailures);
    emit handsetOsFailure(m_osFailures);
    emit handsetDfuFailure(m_dfuFailures);
}

void FlashStats::do_reset()
{
    m_total = m_success = m_interrupted = m_failure = 0;
    m_ifwiFailures = m_enumerationFailures = m_modemFailures = m_osFailures = 0;
    emitGlobal();
    emit handsetIFWIFailure(m_ifwiFailures);
    emit handsetAdbEnumFailure(m_enumerationFailures);
    emit handsetModemFailure(m_modemFailures);
    emit handsetOsFailure(m_osFailures);
}

void FlashStats::incrSuccessFlash()
{
    ++m_success;
    ++m_total;
    emitGlobal();
}

void FlashStats::incrInterruptedFlash()
{
    ++m_interrupted;
    ++m_total;
    emitGlobal();
}

void FlashStats::incrFailFlash()
{
    ++m_failure;
    ++m_total;
    emitGlobal();
}

void FlashStats::incrFailFlashIFWI()
{
    emit handsetIFWIFailure(++m_ifwiFailures);
}

void FlashStats::incrFailAbdEnum()
{
    emit handsetAdbEnumFailure(++m_enumerationFailures);
}

void FlashStats::incrFailFlashModem()
{
    emit handsetModemFailure(++m_modemFailures);
}

void FlashStats::incrFailFlashOs()
{
    emit handsetOsFailure(++m_osFailures);
}

void FlashStats::incrFailDfu()
{
    emit handsetDfuFailure(++m_dfuFailures);
}

void FlashStats::incrFailController()
{
    emit phoneControllerFailure(++m_controllerFailures);
}

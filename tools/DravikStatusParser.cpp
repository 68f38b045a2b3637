#include "tools/DravikStatusParser.h"

#include "engine/FlashRunner.h"

#include <QRegularExpression>

namespace {

constexpr uint64_t kPhaseSize = 100;
constexpr uint64_t kProgressScale = 2 * kPhaseSize;

// The kind is the longest run of letters, digits and dashes still followed by "--": a text that
// itself holds "--" moves into the kind.
const QString kStatusPattern =
    QStringLiteral("^DRAVIK-((?:[A-Z0-9a-z]|-)+)(?:--USBSN:([A-Z0-9a-z]*))?--(.*)");
const QRegularExpression::PatternOptions kStatusOptions =
    QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption;

} // namespace

DravikStatusParser::DravikStatusParser(const SharedPointer<FlashRunner>& runner,
                                       const QString& progressText)
    : m_runner(runner)
    , m_progressText(progressText)
{
}

void DravikStatusParser::parse(const QString& rawLine)
{
    const QString line = rawLine.trimmed();
    if (line.isEmpty())
        return;
    // Shared by the runs that parse at once: a QRegularExpression keeps no match.
    static const QRegularExpression statusPattern(kStatusPattern, kStatusOptions);
    const QRegularExpressionMatch status = statusPattern.match(line);
    if (!status.hasMatch()) {
        m_runner->logMessage(Logger::INFO, line);
        return;
    }
    const QString kind = status.captured(1);
    const QString text = status.captured(3).trimmed();
    if (kind == QLatin1String("LOG")) {
        m_runner->logMessage(Logger::DEBUG, line);
    } else if (kind == QLatin1String("PROGRESS")) {
        m_runner->logMessage(Logger::DEBUG, line);
        bool isNumber = false;
        const uint64_t percent = text.toULongLong(&isNumber, 10);
        if (isNumber) {
            m_runner->setCommandProgression(percent + m_progressOffset, kProgressScale);
            m_runner->setProgressionInfo(m_progressText);
        }
    } else if (kind == QLatin1String("STATUS")) {
        if (text.startsWith(QLatin1String("Error Code:"))) {
            m_runner->logMessage(text == QLatin1String("Error Code: 0 - Success") ? Logger::INFO : Logger::WARNING,
                                 line);
        } else if (text == QLatin1String("PASS")) {
            if (m_progressOffset != kPhaseSize) {
                m_progressOffset = kPhaseSize;
                m_runner->setCommandProgression(kPhaseSize, kProgressScale);
            }
        } else {
            m_runner->logMessage(Logger::INFO, line);
        }
    } else {
        m_runner->logMessage(line.contains(QLatin1String("BATI")) ? Logger::WARNING : Logger::DEBUG, line);
    }
}

void DravikStatusParser::parseStatusLine(const char* line, void* parser)
{
    if (parser && line)
        static_cast<DravikStatusParser*>(parser)->parse(QString::fromLocal8Bit(line));
}

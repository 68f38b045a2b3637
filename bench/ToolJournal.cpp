#include "ToolJournal.h"

#include "SimulatedDevices.h"

#include <algorithm>

namespace {

const QStringList& probeWords()
{
    static const QStringList words{QStringLiteral("getvar"), QStringLiteral("getprop"), QStringLiteral("get-state"),
                                   QStringLiteral("get-serialno")};
    return words;
}

} // namespace

bool ToolJournal::read(const SimulatedDevices& sim, double since, double until, QString& error)
{
    QString output;
    if (!sim.control({QStringLiteral("log"), QStringLiteral("--times")}, &output)) {
        error = QStringLiteral("the simulator's journal cannot be read: ") + output;
        return false;
    }
    *this = ToolJournal();
    for (const QString& line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        // "SECONDS PROGRAM ARGUMENTS..."
        QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        bool isTime = false;
        const double time = words.isEmpty() ? 0 : words.takeFirst().toDouble(&isTime);
        if (!isTime || words.isEmpty()) {
            error = QStringLiteral("not a journal line with its time: ") + line;
            return false;
        }
        if (time >= since && time <= until)
            add(time, words);
    }
    return true;
}

void ToolJournal::add(double time, const QStringList& words)
{
    ++m_calls;
    const int selector = words.indexOf(QStringLiteral("-s"));
    if (selector < 0 || selector + 1 >= words.size()) {
        if (words.contains(QStringLiteral("devices")))
            ++m_lists;
        else
            ++m_unaddressed;
        return;
    }
    DeviceCalls& calls = m_devices[words.at(selector + 1)];
    const QString command = words.value(selector + 2);
    if (words.first() == QLatin1String("fastboot") && command == QLatin1String("flash"))
        calls.flashTimes.push_back(time);
    else if (std::any_of(probeWords().begin(), probeWords().end(), [&](const QString& word) { return words.contains(word); }))
        ++calls.probes;
    else
        ++calls.others;
}

const ToolJournal::DeviceCalls& ToolJournal::device(const QString& serial) const
{
    static const DeviceCalls none;
    const auto found = m_devices.find(serial);
    return found == m_devices.end() ? none : found->second;
}

ToolJournal::DeviceCalls ToolJournal::total() const
{
    DeviceCalls sum;
    for (const auto& entry : m_devices) {
        sum.flashTimes.insert(sum.flashTimes.end(), entry.second.flashTimes.begin(), entry.second.flashTimes.end());
        sum.probes += entry.second.probes;
        sum.others += entry.second.others;
    }
    return sum;
}

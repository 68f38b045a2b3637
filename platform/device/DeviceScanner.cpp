#include "platform/device/DeviceScanner.h"

#include "platform/device/DeviceManager.h"

#include <QThread>

#include <algorithm>
#include <climits>

namespace {

bool isUnlimited(unsigned long long ms)
{
    return ms > static_cast<unsigned long long>(INT_MAX);
}

unsigned long waitTime(unsigned long long ms)
{
    return isUnlimited(ms) ? ULONG_MAX : static_cast<unsigned long>(ms);
}

} // namespace

DeviceScanner::DeviceScanner(const QString& name)
    : LoggedObject(name)
{
}

DeviceScanner::~DeviceScanner()
{
    stopScan();
    qDeleteAll(m_filters);
}

void DeviceScanner::addFilter(DeviceFilter* filter)
{
    if (!filter)
        return;
    QMutexLocker scanning(&m_scanMutex);
    filter->setLogger(this);
    m_filters.append(filter);
}

void DeviceScanner::setScanInterval(unsigned long long intervalMs)
{
    QMutexLocker locker(&m_mutex);
    m_intervalMs = intervalMs;
    m_wake.wakeAll();
}

unsigned long long DeviceScanner::getScanInterval() const
{
    QMutexLocker locker(&m_mutex);
    return m_intervalMs;
}

void DeviceScanner::startScan()
{
    QMutexLocker locker(&m_mutex);
    if (m_thread)
        return;
    m_stopRequested = false;
    // The first scan counts as asked for: a wait right after the start waits for its result.
    ++m_requested;
    m_thread = QThread::create([this] { run(); });
    m_thread->setObjectName(QStringLiteral("DeviceScanner"));
    m_thread->start();
}

void DeviceScanner::stopScan()
{
    QThread* thread = nullptr;
    {
        QMutexLocker locker(&m_mutex);
        thread = m_thread;
        m_stopRequested = true;
        m_wake.wakeAll();
    }
    // Asked from the scanning thread itself (a receiver of a direct signal): the loop ends after
    // this scan; waiting for it here would never return.
    if (!thread || QThread::currentThread() == thread)
        return;
    thread->wait();
    delete thread;
    QMutexLocker locker(&m_mutex);
    m_thread = nullptr;
    // Nobody may wait for a scan that will not come.
    m_completed = m_requested;
    m_scanDone.wakeAll();
}

bool DeviceScanner::isScanning() const
{
    QMutexLocker locker(&m_mutex);
    return m_thread && !m_stopRequested;
}

void DeviceScanner::scan()
{
    QMutexLocker locker(&m_mutex);
    ++m_requested;
    m_freshRequested = true;
    m_wake.wakeAll();
}

void DeviceScanner::requestScan()
{
    QMutexLocker locker(&m_mutex);
    ++m_requested;
    m_wake.wakeAll();
}

bool DeviceScanner::waitForScan(unsigned long long timeoutMs)
{
    QMutexLocker locker(&m_mutex);
    if (!m_thread || m_stopRequested) {
        const unsigned long long target = m_requested;
        const bool isFresh = takeFreshRequest();
        locker.unlock();
        scanOnce(isFresh);
        locker.relock();
        m_completed = std::max(m_completed, target);
        return true;
    }
    const unsigned long long target = m_requested;
    const QDeadlineTimer deadline = isUnlimited(timeoutMs) ? QDeadlineTimer(QDeadlineTimer::Forever)
                                                           : QDeadlineTimer(qint64(timeoutMs));
    while (m_completed < target) {
        if (!m_scanDone.wait(&m_mutex, deadline))
            return m_completed >= target;
    }
    return true;
}

void DeviceScanner::setManager(DeviceManager* manager)
{
    QMutexLocker scanning(&m_scanMutex);
    m_manager = manager;
}

void DeviceScanner::run()
{
    QMutexLocker locker(&m_mutex);
    while (!m_stopRequested) {
        const unsigned long long target = m_requested;
        const bool isFresh = takeFreshRequest();
        locker.unlock();
        scanOnce(isFresh);
        locker.relock();
        m_completed = std::max(m_completed, target);
        m_scanDone.wakeAll();
        if (!m_stopRequested && m_requested == target)
            m_wake.wait(&m_mutex, waitTime(m_intervalMs));
    }
}

bool DeviceScanner::takeFreshRequest()
{
    const bool isFresh = m_freshRequested;
    m_freshRequested = false;
    return isFresh;
}

void DeviceScanner::scanOnce(bool isFresh)
{
    QMutexLocker scanning(&m_scanMutex);
    DeviceManager* manager = m_manager;
    DeviceFilter::ScanContext context = manager ? manager->scanContext(this) : DeviceFilter::ScanContext();
    context.isFresh = isFresh;
    QList<DummyDevice> found;
    for (DeviceFilter* filter : m_filters)
        filter->beginScan(context);
    collect(m_filters, context, found);
    if (manager)
        manager->applyScan(this, found);
}

#include "download/DownloadTarget.h"

#include <QDir>
#include <QSaveFile>

DownloadTarget::DownloadTarget() = default;

DownloadTarget::~DownloadTarget() = default;

QIODevice* DownloadTarget::openDevice(QIODevice* device, QString& error)
{
    if (device == nullptr)
        error = QStringLiteral("Invalid output handle");
    else if (device->isOpen())
        error = QStringLiteral("File already open");
    else if (!device->open(QIODevice::WriteOnly))
        error = device->errorString();
    else
        m_device = device;
    return m_device;
}

QIODevice* DownloadTarget::openFile(const QString& path, QString& error)
{
    if (path.isEmpty()) {
        error = QStringLiteral("Invalid path");
        return nullptr;
    }
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash > 0) {
        const QString folder = path.left(slash);
        if (!QDir(folder).exists() && !QDir().mkpath(folder)) {
            error = QStringLiteral("Fail to create folder ") + QDir(folder).absolutePath();
            return nullptr;
        }
    }
    auto file = std::make_unique<QSaveFile>(path);
    // Unbuffered: each piece goes to the file as it arrives, and a failed write says why at once.
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        error = file->errorString();
        return nullptr;
    }
    m_file = std::move(file);
    m_device = m_file.get();
    return m_device;
}

bool DownloadTarget::close(bool keep, QString& error)
{
    if (m_file == nullptr) {
        if (m_device != nullptr && m_device->isOpen())
            m_device->close();
        return true;
    }
    const bool committed = !keep || m_file->commit();
    if (!committed)
        error = m_file->errorString();
    m_file.reset(); // uncommitted: discarded
    return committed;
}

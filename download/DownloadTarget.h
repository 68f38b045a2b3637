#pragma once

// Where one run of a download writes: the caller's device (opened and closed here, never owned), or a
// temporary file beside the target path that replaces the target only once committed. Owned by the
// run that writes through it, on that run's thread.

#include <QIODevice>
#include <QPointer>
#include <QString>

#include <memory>

class QSaveFile;

class DownloadTarget
{
public:
    DownloadTarget();
    // An uncommitted file is discarded: the target stays as it was.
    ~DownloadTarget();
    DownloadTarget(const DownloadTarget&) = delete;
    DownloadTarget& operator=(const DownloadTarget&) = delete;

    // The device to write into, opened write-only; null with the reason in `error`.
    QIODevice* openDevice(QIODevice* device, QString& error);
    // A temporary file beside `path` (its folder made when missing); null with the reason in `error`.
    QIODevice* openFile(const QString& path, QString& error);
    // Closes what was opened; a file replaces its target only when `keep`. False with the reason in
    // `error` when that fails.
    bool close(bool keep, QString& error);

private:
    QPointer<QIODevice> m_device;
    std::unique_ptr<QSaveFile> m_file;
};

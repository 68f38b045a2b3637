#pragma once

// Client of the repository server: downloads files into the local cache. So far it holds no
// downloads; only the question the hash cache asks of it exists. Called from any thread.

#include <QObject>
#include <QString>

class DownloadManager : public QObject
{
    Q_OBJECT

public:
    DownloadManager();
    ~DownloadManager() override;

    // True while a download into `path` (made absolute first) is pending or in progress. Never calls
    // back into the hash cache, which asks with its own lock held.
    virtual bool isDownloading(const QString& path) const;
};

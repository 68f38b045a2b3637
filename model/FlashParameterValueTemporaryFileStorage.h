#pragma once

// The temporary file of one temporary-file value in one run: created by the constructor inside
// the per-user root folder, removed by the destructor. Owned by the run's FlashRunner.

#include "model/FlashStorageArea.h"

#include <QString>

class FlashParameterValueTemporaryFileStorage : public FlashStorageArea
{
public:
    explicit FlashParameterValueTemporaryFileStorage(const QString& namePattern);
    ~FlashParameterValueTemporaryFileStorage() override;

    // Full path of the file; null when it could not be created.
    const QString& getPath() const;

    // "<temp>/lfm-temp-<uid>/": owned by the user, mode 0700. Computed once per process.
    static const QString& rootFolder();

private:
    QString m_path;
};

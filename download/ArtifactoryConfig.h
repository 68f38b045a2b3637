#pragma once

// Description of the repository servers of the download client: a version, texts, lists, two maps
// of shared server records and maps of named values. A plain value; nothing in the program fills or
// reads one yet.

#include "core/FlashVersion.h"

#include <QList>
#include <QPair>
#include <QSharedPointer>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <cstdint>
#include <map>

class ArtifactoryConfig
{
public:
    // One server; shared by every map that names it, destroyed with the last pointer to it.
    struct ArtifactoryServer
    {
        QString firstText;
        QString secondText;
        uint64_t plainValue = 0;
        QString thirdText;
    };
    using ServerMap = std::map<QString, QSharedPointer<ArtifactoryServer>>;

    // Every member empty; the version has no component, so it is not valid.
    ArtifactoryConfig();
    ~ArtifactoryConfig();

    FlashVersion version;
    QString firstText;
    QString secondText;
    QString thirdText;
    QStringList firstList;
    QStringList secondList;
    ServerMap firstServers;
    ServerMap secondServers;
    QString fourthText;
    QVariantMap firstValues;
    QString fifthText;
    QVariantMap secondValues;
    QVariantMap thirdValues;
    QList<QPair<QString, QString>> textPairs;
};

#pragma once

// One Notify call as the fake notification service records it, and the reader of its record
// file: one JSON object a line, {"appName", "summary", "body", "urgency" (the hint's byte, null
// when absent or not a byte), "expireTimeout", "actions"}. Header-only.

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

struct RecordedNotification
{
    static constexpr int kNoUrgency = -1;

    QString appName;
    QString summary;
    QString body;
    int urgency = kNoUrgency;
    int expireTimeout = 0;
    QStringList actions;

    // Every whole line of the record file at `path`, in the order of the calls; none while the file
    // is absent (no call yet). A line that is no JSON object is skipped and named in `error`.
    static QList<RecordedNotification> readAll(const QString& path, QString* error = nullptr)
    {
        QList<RecordedNotification> records;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return records;
        QList<QByteArray> lines = file.readAll().split('\n');
        lines.removeLast();   // what follows the last line end: nothing, or a line still being written
        for (const QByteArray& line : qAsConst(lines)) {
            const QJsonDocument document = QJsonDocument::fromJson(line);
            if (!document.isObject()) {
                if (error)
                    *error = QStringLiteral("not a record: ") + QString::fromUtf8(line);
                continue;
            }
            const QJsonObject object = document.object();
            RecordedNotification record;
            record.appName = object.value(QStringLiteral("appName")).toString();
            record.summary = object.value(QStringLiteral("summary")).toString();
            record.body = object.value(QStringLiteral("body")).toString();
            record.urgency = object.value(QStringLiteral("urgency")).toInt(kNoUrgency);
            record.expireTimeout = object.value(QStringLiteral("expireTimeout")).toInt();
            for (const QJsonValue& action : object.value(QStringLiteral("actions")).toArray())
                record.actions << action.toString();
            records << record;
        }
        return records;
    }
};

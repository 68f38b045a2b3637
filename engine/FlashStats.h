#pragma once

// Counts the outcomes of flashes since the program started, reports the counts by signals and,
// while recording is on, appends one ";"-separated line per finished flash to a statistics file.
// The flash manager owns the one instance and reaches handleResult through a queued connection, so
// results are counted one after the other on the manager's thread.

#include "core/FlashTypes.h"
#include "core/Singleton.h"
#include "engine/FlashDevice2.h"

#include <QObject>
#include <QString>
#include <QTextStream>

#include <memory>

class QFile;

class FlashStats : public QObject, public Singleton<FlashStats>
{
    Q_OBJECT

public:
    // Name of the statistics file in the user's home folder: "plovt-stats.csv".
    static const QString fileStatsNameDefault;

    FlashStats();
    ~FlashStats() override;

    // Opens `name` for appending (keeps the open file when it is that one already). On failure the
    // previous file, if any, stays in use and false is returned after an ERROR line.
    bool setStatsFile(const QString& name);
    QString getStatFileName() const;

    void incrSuccessFlash();
    void incrInterruptedFlash();
    void incrFailFlash();
    void incrFailFlashIFWI();
    void incrFailAbdEnum();
    void incrFailFlashModem();
    void incrFailFlashOs();
    void incrFailDfu();
    void incrFailController();

    // The line of one result: "yyyy.MM.dd;hh:mm:ss;serial;result;detail". Date and time come from
    // `now`; separators and line breaks in the serial become "_" so that it stays one field.
    static QString statsLine(const QDateTime& now, const QString& serial, const QString& result,
                             const QString& detail);

public slots:
    void handleResult(FlashDevice2Ptr device, FlashTypes::FlashStatus status,
                      FlashTypes::CommandType type);
    void setSaveStatsFile(bool enable, const QString& name);
    // Emits every counter's signal but the controller one.
    void update();
    // Zeroes the counters except the DFU and controller ones.
    void do_reset();

signals:
    void handsetGobalStatUpdated(quint64 success, quint64 failure, quint64 interrupted, quint64 total);
    void handsetIFWIFailure(int count);
    void handsetAdbEnumFailure(int count);
    void handsetModemFailure(int count);
    void handsetOsFailure(int count);
    void handsetDfuFailure(int count);
    void phoneControllerFailure(int count);

private:
    void emitGlobal();
    // Counts a failure of `type` and gives its detail word (empty for a type without counter).
    QString countFailure(FlashTypes::CommandType type);
    void writeLine(const QString& line);

    int m_total = 0;
    int m_success = 0;
    int m_interrupted = 0;
    int m_failure = 0;
    int m_ifwiFailures = 0;
    int m_enumerationFailures = 0;
    int m_modemFailures = 0;
    int m_osFailures = 0;
    int m_dfuFailures = 0;
    int m_controllerFailures = 0;
    std::unique_ptr<QFile> m_file;           // open while recording
    QString m_fileName;
    QTextStream m_stream;
};

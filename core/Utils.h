#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <set>

class ChildProcess;
class QIODevice;

// Static helpers shared by the whole program: running outside programs, splitting command lines,
// describing the host, hashing and copying files, ${key} references and the console password prompt.
// Callable from any thread unless a function says otherwise.
class Utils
{
public:
    Utils() = delete;

    // Runs `program` with `arguments` (never through a shell, in a process group of its own, standard
    // input closed) with stdout and stderr merged, waits up
    // to 5000 ms for the start and `timeoutMs` for the end (-1: no limit). Returns the exit code, or -1
    // when the program did not start, did not finish in time or crashed (each logged in its own
    // words). `output` receives the output up to its first NUL byte (UTF-8); `*success` is true
    // only for a normal exit with code 0.
    // A `process` handed over is used and left to the caller; it must belong to the calling thread.
    static int executeCmd(const QString& program, const QStringList& arguments, int timeoutMs,
                          bool verbose, bool* success, QString& output,
                          ChildProcess* process = nullptr);

    // Splits a command line into arguments: white space separates, '…' and "…" group (a backslash
    // before the same quote character gives that quote), touching pieces form one argument.
    static QStringList splitArguments(const QString& line);

    // Text shown for a command line: every part in double quotes.
    static QString commandDisplayText(const QString& program, const QStringList& arguments);

    // Host description for the start-up banner and saved logs: the system's pretty name followed by
    // the application's "APP_ARCH" property. Main thread only (unguarded cache).
    static QString getOsName();

    static QList<QHostAddress> getHostByName(const QString& hostName);
    static QList<QHostAddress> getHostAdresses();
    static QStringList getHostAdressesStringList();
    // Local IPv4 addresses beginning with "10." of the interfaces that are up.
    static QStringList getLocalHostAdress();

    // Lower-case hexadecimal digests; empty when the file cannot be read.
    static QString getFileSHA1(const QString& path);
    static QString getFileMD5(const QString& path);
    // Writes all of `bytes`. Qt reports a write that the system cut short (the disk filled up on the
    // way) as a success of fewer bytes, without a reason: writing the rest makes the system say why,
    // in the device's error text.
    static bool writeAll(QIODevice& device, const QByteArray& bytes);

    static qint64 diffMSec(const QDateTime& from, const QDateTime& to);

    // "<temp>/<baseName>-<uid>": this user's own folder in the shared temporary directory.
    static QString userTempFolderPath(const QString& baseName);
    // Creates userTempFolderPath(baseName) when missing and keeps it private: a real folder (no
    // symbolic link) that this user owns, mode 0700, or another account could plant or read our
    // files. Returns its path; empty, with `error` saying why, when it cannot be made private.
    static QString privateTempFolder(const QString& baseName, QString& error);
    // The same for any folder `path` (its parent must exist).
    static QString privateFolder(const QString& path, QString& error);

    // Private copy of the file in the per-user "lfm-short" folder of the temporary directory; the
    // given path when no copy could be made. The copy is never removed by this class.
    static QString copyFileToTempFolder(const QString& path);

    // Seconds since 1970-01-01 UTC; 0xffffffff when the text is no ISO 8601 date-time.
    static uint32_t getUTCTimeFromISODate(const QString& text);

    // True when the running Qt library is at least major.minor.patch.
    static bool checkQtRuntimeVersion(int major, int minor, int patch);

    // Reversible scrambling (repeating-key XOR), hexadecimal on the outside. Not encryption.
    static QByteArray encryptString(const QString& text);
    static QString decryptString(const QByteArray& hex);

    // Replaces every ${key} by values[key]; a missing key is removed or kept as written. An inserted
    // value is never searched again.
    static QString replaceMagicKeys(const QString& text, const QMap<QString, QString>& values,
                                    bool removeMissing);
    // Adds every key referenced as ${key} in `text` to `keys`.
    static void getMagicKeys(const QString& text, std::set<QString>& keys);

    // Prompts "Password: " and reads one line from standard input without echo; at the end of the
    // input returns what was read so far.
    static QString getPasswordFromConsole();
};

#pragma once

// Passwords of the repository servers by host address, plus one plain password for every host
// without an entry of its own; saved to and loaded from an INI file, one key per address text. The
// texts are kept as given (no ciphering) and never logged. Owned by its creator; one thread at a time.

#include <QHostAddress>
#include <QMap>
#include <QObject>
#include <QString>

class QSettings;

class PasswordManager : public QObject
{
    Q_OBJECT

public:
    PasswordManager();
    ~PasswordManager() override;

public slots:
    // Writes every entry to the file, which ends up holding exactly the store's hosts (other keys
    // stay); owner-only (0600) and replaced whole, so a failed write leaves the old file. False when
    // the file could not be written.
    bool save(const QString& fileName);
    // Sets one key per entry in `settings`; keys already there stay. False when `settings` reports an
    // error.
    bool save(QSettings& settings);
    // False, changing nothing, when the file does not exist.
    bool load(const QString& fileName);
    // Replaces every entry by the settings' top-level keys that are host addresses.
    bool load(QSettings& settings);

    void setPlainPassword(const QString& password);
    QString getPlainPassword() const;
    // A null address is ignored.
    void setHostPassword(const QHostAddress& host, const QString& password);
    // The host's own password, even an empty one; else the plain password; null for a null address.
    QString getHostPassword(const QHostAddress& host) const;
    // False for a null address or one without entry.
    bool unsetHostPassword(const QHostAddress& host);
    void clearPasswords();

private:
    QString m_plainPassword;
    QMap<QString, QString> m_hostPasswords; // QHostAddress::toString() → password
};

#pragma once

// The working folder of one unpacking, ".NAME.unpacking-XXXXXXXX" beside the output folder NAME:
// the archiver writes into its content folder, which replaces the output folder only when
// complete; whatever else is left is removed with the working folder. Its lock file (the same
// name with ".lock") is locked (flock) for the object's life and released by the kernel when the
// process dies, so a later unpacking tells an abandoned working folder from a live one. Owned by
// the unpacking that made it; one thread.

#include <QString>

class UnpackingFolder
{
public:
    // Makes the working folder; check isValid().
    explicit UnpackingFolder(const QString& outputFolder);
    // Removes the working folder and what it still holds, then its lock file.
    ~UnpackingFolder();
    UnpackingFolder(const UnpackingFolder&) = delete;
    UnpackingFolder& operator=(const UnpackingFolder&) = delete;

    bool isValid() const;
    // The folder the archiver unpacks into.
    QString contentPath() const;
    // Puts the content in place of the output folder; an earlier folder (or file) there goes into
    // the working folder, to be removed with it. False after the ERROR line.
    bool replaceOutput();

    // Removes the working folders that unpackings into `outputFolder` left behind when their
    // process died; those of running unpackings stay.
    static void removeAbandoned(const QString& outputFolder);

private:
    QString m_outputFolder;
    QString m_path;   // empty: none made
    int m_lock = -1;  // the locked lock file
};

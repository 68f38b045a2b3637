#pragma once

// Unpacks one ".zip", ".tgz" or ".tar.gz" archive with the 7z program (tool id "7z"): lists it
// first and refuses entries that would land outside the output folder, unpacks into a locked
// working folder beside the output folder (removing those that interrupted runs left), refuses
// links that point outside, records which archive the content came from, and renames it into
// place only on success, so a failed unpacking leaves no folder behind. 7z runs from an argument
// list in its own process group with standard input closed. Static only; the blocking form may run
// on any thread, the event form needs the calling thread's event loop
// (which goes on serving the thread's timers and signals meanwhile).

#include <QString>

class ArchiveUnpacker
{
public:
    ArchiveUnpacker() = delete;

    // The program that unpacks: the registered "7z" tool, else the default 7z path.
    static QString archiverPath();

    // True when `outputFolder` now holds exactly the archive's content and its stamp (an existing
    // folder is replaced). Every failure is logged where it is decided.
    static bool unpack(const QString& archive, const QString& outputFolder, bool withEvents);

    // For a program that is ending: kills the archivers running now, on every thread, with their
    // groups (their unpackings fail and leave no folder), and refuses every later unpacking.
    static void stopAll();
    static bool isStopped();
};

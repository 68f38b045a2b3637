#pragma once

// The entries of an archive as 7z lists them ("7z l -slt") or as they lie unpacked, and the
// judgement whether they can write or point anywhere but inside the output folder: absolute paths,
// ".." components, links whose target is absolute or climbs out, and entries written through a
// link are refused. Value type; any thread.

#include <QString>

#include <vector>

class ArchiveListing
{
public:
    struct Entry
    {
        QString path;
        bool isLink = false;
        QString linkTarget; // empty when the listing does not say (zip stores it as content)
        QString hardLink;   // target of a hard link, empty for other entries
    };

    // Reads the technical listing; entries start after the "----------" line.
    static ArchiveListing parse(const QString& listing);
    // The entries of an unpacked folder, links as they are stored (never followed). The zip form
    // keeps a link's target as its content, so only the unpacked folder shows where it points.
    static ArchiveListing ofFolder(const QString& root);

    const std::vector<Entry>& entries() const;
    // Why unpacking would escape the output folder, or a null text when it cannot.
    QString problem() const;

private:
    std::vector<Entry> m_entries;
};

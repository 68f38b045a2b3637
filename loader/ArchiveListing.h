#pragma once

// The entries of an archive as 7z lists them ("7z l -slt"), and the judgement whether unpacking
// them can write anywhere but inside the output folder: absolute paths, ".." components, links
// whose target lies outside, and entries written through a link are refused. Value type; any thread.

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

    const std::vector<Entry>& entries() const;
    // Why unpacking would escape the output folder, or a null text when it cannot.
    QString problem() const;

private:
    std::vector<Entry> m_entries;
};

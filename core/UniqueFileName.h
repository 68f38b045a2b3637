#pragma once

// Claims a file name that no other process uses: the file is created exclusively (O_EXCL), so two
// programs that pick the same name (two runs started in the same second) never share or truncate
// one file; the later one gets a numbered name beside it. Static only; any thread.

#include <QString>

class UniqueFileName
{
public:
    UniqueFileName() = delete;

    // Creates an empty file at `wanted`, or when that name is taken at "<base>-2.<suffix>",
    // "<base>-3.<suffix>" and so on, and returns the path created. Empty when no file could be
    // created (the folder is missing or not writable, or every numbered name is taken): `error`
    // says why.
    static QString claim(const QString& wanted, QString& error);
};

#pragma once

// The desktop face's start-up look at the disk of the system's temporary folder, where archives are
// unpacked and images staged: INFO with the free space, or a WARNING when it is at or below the
// warning threshold (3 GiB unless told otherwise). A folder whose disk cannot be asked gives one
// DEBUG line in the application log and nothing else.

#include <cstdint>

class LoggedObject;

class TempFolderSpace
{
public:
    explicit TempFolderSpace(uint64_t warningBytes);

    void report(const LoggedObject& log) const;

private:
    uint64_t m_warningBytes;
};

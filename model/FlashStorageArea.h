#pragma once

// Base of what a FlashRunner keeps for one parameter value during one run; the runner owns each
// storage and deletes it through this base when the run ends.
class FlashStorageArea
{
public:
    FlashStorageArea() = default;
    FlashStorageArea(const FlashStorageArea&) = delete;
    FlashStorageArea& operator=(const FlashStorageArea&) = delete;
    virtual ~FlashStorageArea();
};

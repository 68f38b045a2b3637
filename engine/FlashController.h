#pragma once

// Outside judge of flashes: the flash manager asks it before a flash is queued and when a flash
// ends, and follows its answers. Nothing in the program implements one; whoever sets it on the
// manager owns it and keeps it alive while flashes run. Called on the flash manager's thread
// (checkStart) and on the flash's pool thread (checkResult).

#include "core/FlashTypes.h"
#include "engine/FlashDevice2.h"
#include "platform/log/LoggedObject.h"

#include <QObject>

class FlashController : public QObject, public LoggedObject
{
    Q_OBJECT

public:
    // Answers of checkStart; any other value lets the flash start.
    enum StartAnswer { StartRefusedSilently = 1, StartRefusedAsFailure = 2 };
    // Answers of checkResult; any other value keeps the result without a word.
    enum ResultAnswer { ResultForceSuccess = 0, ResultKeep = 1, ResultForceFailure = 2 };

    FlashController();
    ~FlashController() override;

    virtual int checkStart(const FlashDevice2Ptr& device) = 0;
    virtual int checkResult(const FlashDevice2Ptr& device, FlashTypes::FlashStatus status,
                            FlashTypes::CommandType type) = 0;
};

#include "engine/FlashController.h"

FlashController::FlashController()
    : LoggedObject(QStringLiteral("Flash Controller"))
{
}

FlashController::~FlashController() = default;

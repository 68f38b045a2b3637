#include "model/FlashStorageArea.h"

FlashStorageArea::~FlashStorageArea() = default;

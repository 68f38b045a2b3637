#include "model/FlashFileContext.h"

FlashFileContext::~FlashFileContext() = default;

#include "download/ArtifactoryConfig.h"

ArtifactoryConfig::ArtifactoryConfig() = default;

ArtifactoryConfig::~ArtifactoryConfig() = default;

#pragma once

// The source tree's names live with the tree itself, below the application.
#include "model/SourceTreeIds.h"

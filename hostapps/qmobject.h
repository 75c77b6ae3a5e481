// Moved to util/qmobject.h; kept until its last includer follows.
#pragma once

#include "util/qmobject.h"

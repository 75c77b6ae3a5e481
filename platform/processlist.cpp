#include "platform/processlist.h"

ProcessList::~ProcessList() = default;

#include "platform/userdefaults.h"

UserDefaults::~UserDefaults() = default;

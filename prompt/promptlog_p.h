// The prompt's log messages: what went wrong with a window description or a
// binding in it, for whoever packages the helper.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcPrompt)

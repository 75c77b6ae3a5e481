#include "prompt/promptlog_p.h"

Q_LOGGING_CATEGORY(lcPrompt, "raruru.prompt", QtInfoMsg)

// The system log: where a desktop program says what the user may need to
// know when something went wrong and no window is there to say it.
#pragma once

#include <QString>

// Writes 'message' to the system log (syslog(3), facility LOG_USER) and to
// standard error, exactly as given; a message without a final newline gets
// one on standard error.
void systemLog(const QString &message);

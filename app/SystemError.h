#pragma once
// The system's reason for a failed file operation, in short Japanese words for the user.
#include <QString>

// errnum is an errno value (ENOSPC, EACCES, ...); one that has no Japanese text of its own
// is shown with its number and the system's English text.
QString SystemErrorText(int errnum);

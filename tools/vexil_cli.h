// What every vexil command shares: its exit statuses and usage errors.
#pragma once

enum { kExitOk = 0, kExitUsage = 1, kExitRejected = 2, kExitFailed = 3 };

// Prints "vexil: " and the message, with a pointer to --help, on stderr;
// returns kExitUsage.
__attribute__((format(printf, 1, 2))) int UsageError(const char* fmt, ...);

// What the add-on needs of the system's foundation library: the system log.
#pragma once

// Writes one diagnostic line to the system log (printf-style format).
void NSLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

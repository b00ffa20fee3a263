// The one diagnostic printer of the driver: a time-stamped line per failure on
// the console. Traces never reach the client.
#pragma once

namespace pravik {

// The line is "<time> ERROR: <source>: <function> - <message>". Device text is
// always passed as an argument of the format, never as the format.
void printTrace(const char* source, const char* function, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

}  // namespace pravik

#pragma once
// The last resort of a program of ours (the demo client, the tools): what would end it by a
// signal (an exception no one caught, a thread that could not start, Qt giving up when memory
// runs out) ends it instead with a line on stderr and an exit code a script can read. Set by
// the programs themselves, never by a library: the client's process keeps its own.

namespace standin {

// From the start of main(), before the application object: program names the lines,
// exitCode is what the process ends with.
void endWithMessageOnFailure(const char* program, int exitCode);

} // namespace standin

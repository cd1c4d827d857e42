// Descriptors 0, 1 and 2 closed when the process starts (a careless parent can start it so) would
// be taken by the next files the process opens: the client library's lock files among them, and
// the answer would be written into one. They are opened on /dev/null before anything else opens
// a file.
#pragma once

namespace xg {

void OpenMissingStandardStreams();

// Ends the answer on standard output: the reader (a web server waiting for the end of a CGI
// answer) sees the end of the output now rather than when the process exits. Descriptor 1 stays
// taken, by /dev/null, so that no file opened afterwards becomes the standard output.
void EndStandardOutput();

}  // namespace xg

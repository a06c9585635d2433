// QpToolInput.h - the input and output plumbing that qptool's offline subcommands share: reading a
// whole file or standard input with a size cap, writing a finished result in one piece, and
// recognising the help option. Not thread-safe: one subcommand runs per process.
#ifndef QPTOOL_INPUT_H
#define QPTOOL_INPUT_H

#include <cstddef>
#include <string>

namespace qptool {

// The most any subcommand reads into memory at once. The library's codecs take int lengths, and
// a tool fed a runaway pipe should refuse early rather than exhaust the machine.
constexpr size_t kMaxInput = 256u << 20;

// Reads all of inPath ("-" for standard input) into outData. On failure returns false with a
// one-line reason in outError that names the file ("cannot open x: No such file or directory").
bool readInput(const char* inPath, std::string& outData, std::string& outError);

// Opens inPath for reading ("-" is standard input); -1 with outError filled on failure.
int openInput(const char* inPath, std::string& outError);

// Reads up to inSize bytes, retrying after signals; the count, 0 at the end, -1 on an error.
long readSome(int inFd, char* outBuffer, size_t inSize);

// Writes all of inData to standard output and flushes; false when that fails.
bool writeOutput(const std::string& inData);

// "--help" or "-h".
bool isHelp(const char* inArg);

}  // namespace qptool

#endif

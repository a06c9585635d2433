// qptool's subcommands. Each takes the arguments that follow its name (argv[0] is the subcommand's
// own name) and returns the process exit code. They print results on standard output and every
// failure as one line on standard error, "qptool SUBCOMMAND: WHAT", naming the error code and its
// name when the library raised. Not thread-safe: one subcommand runs per process.
#ifndef QPTOOL_COMMANDS_H
#define QPTOOL_COMMANDS_H

#include <QpUtilsLib.h>

#include <string>

namespace qptool {

// Exit codes, documented in the man page and by --help.
enum ExitCode {
  kExitOk = 0,
  kExitFailed = 1,  // the library raised, or the node answered with an error
  kExitUsage = 2,   // unknown subcommand, option or missing argument
  kExitInput = 3,   // a file missing or unreadable, or input that does not parse
};

// Offline subcommands.
int runDigest(int argc, char** argv);
int runPacket(int argc, char** argv);
int runAddress(int argc, char** argv);
int runTime(int argc, char** argv);
int runError(int argc, char** argv);
int runB32(int argc, char** argv);
int runB64(int argc, char** argv);
int runConvert(int argc, char** argv);

// Subcommands that talk to a node.
int runDemo(int argc, char** argv);
int runProbe(int argc, char** argv);
int runPoolinfo(int argc, char** argv);

// Prints "qptool SUBCOMMAND: MESSAGE" and a newline on standard error; returns inCode.
int fail(const char* inSubcommand, const std::string& inMessage, int inCode);

// The one-line text of a caught library exception: its message, then the code and the code's
// name in parentheses, as in "Connection refused (error -10201 QP_CONNECTION_ERR)".
std::string describe(QpException& inException);

// The report of a library exception raised over the subcommand's input: exit 1 when the library
// ran out of memory (the input may well be fine), else exit 3 (the input was refused).
int failInput(const char* inSubcommand, QpException& inException);

}  // namespace qptool

#endif

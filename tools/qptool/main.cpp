// qptool: the dispatch over the subcommands, the global --help and --version, and each
// subcommand's --help, all from one table.
#include <cstdio>
#include <cstring>

#include "QpToolCommands.h"

namespace {

struct Subcommand {
  const char* mName;
  int (*mRun)(int, char**);
  const char* mUsage;  // one short block, ending in a newline
};

const Subcommand kSubcommands[] = {
    {"demo", qptool::runDemo,
     "usage: qptool demo [--log FILE]\n"
     "Starts a node on loopback, probes it and asks for pool information, printing every\n"
     "packet and the result; the library's log goes to FILE (default: a new temporary file).\n"},
    {"probe", qptool::runProbe,
     "usage: qptool probe ADDRESS [--timeout MS]\n"
     "Probes the node at ADDRESS (host[:port[:datagram port]]) over UDP and prints the reply\n"
     "(default time-out 5000 ms).\n"},
    {"poolinfo", qptool::runPoolinfo,
     "usage: qptool poolinfo ADDRESS [--timeout MS]\n"
     "Asks the node at ADDRESS (host[:port]) for pool information over TCP and prints it\n"
     "(default time-out 5000 ms).\n"},
    {"digest", qptool::runDigest,
     "usage: qptool digest [--md5|--sha256] [--type clip|blob] FILE...|-\n"
     "Prints the digest text and content address of each file (- for standard input).\n"},
    {"packet", qptool::runPacket,
     "usage: qptool packet dump [--framed|--bare] FILE|-\n"
     "Prints the fields of a packet image, with or without its marker and size.\n"},
    {"address", qptool::runAddress,
     "usage: qptool address LIST\n"
     "Prints the normalised addresses of a server address list, their ports and resolution,\n"
     "and its primary/secondary split.\n"},
    {"time", qptool::runTime,
     "usage: qptool time MILLIS|TEXT\n"
     "Converts between milliseconds since 1970 and the cluster's time text.\n"},
    {"error", qptool::runError,
     "usage: qptool error CODE\n"
     "Prints the name, message and exception class of an error code.\n"},
    {"b32", qptool::runB32,
     "usage: qptool b32 encode|decode\n"
     "Base32 from standard input to standard output.\n"},
    {"b64", qptool::runB64,
     "usage: qptool b64 encode|decode\n"
     "Base64 from standard input to standard output.\n"},
    {"convert", qptool::runConvert,
     "usage: qptool convert --from ENC --to ENC [--xml]\n"
     "Converts standard input to standard output. ENC: utf-8 utf-16 ucs-2 ucs-4 latin-1 ascii\n"
     "ebcdic ebcdicw (16- and 32-bit forms little-endian); --xml checks every character\n"
     "against the XML character rule.\n"},
};

void printHelp() {
  std::printf(
      "usage: qptool SUBCOMMAND [ARGUMENTS]    qptool SUBCOMMAND --help\n"
      "       qptool --help | --version\n\nSubcommands:\n");
  for (const Subcommand& vSub : kSubcommands) {
    // The first line of each usage block, without its "usage: " prefix.
    const char* vLine = vSub.mUsage + std::strlen("usage: ");
    std::printf("  %.*s\n", static_cast<int>(std::strchr(vLine, '\n') - vLine), vLine);
  }
  std::printf(
      "\nExit status: 0 success; 1 the library raised or the node answered with an error;\n"
      "2 usage error; 3 input error (file missing or unreadable, input that does not parse).\n"
      "Every failure is one line on standard error: \"qptool SUBCOMMAND: MESSAGE\".\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "qptool: missing SUBCOMMAND (see qptool --help)\n");
    return qptool::kExitUsage;
  }
  const char* vName = argv[1];
  if (std::strcmp(vName, "--help") == 0 || std::strcmp(vName, "-h") == 0) {
    printHelp();
    return qptool::kExitOk;
  }
  if (std::strcmp(vName, "--version") == 0) {
    std::printf("qptool %s\n", QPTOOL_VERSION);
    return qptool::kExitOk;
  }
  for (const Subcommand& vSub : kSubcommands) {
    if (std::strcmp(vName, vSub.mName) != 0) continue;
    if (argc >= 3 && std::strcmp(argv[2], "--help") == 0) {
      std::fputs(vSub.mUsage, stdout);
      return qptool::kExitOk;
    }
    return vSub.mRun(argc - 1, argv + 1);
  }
  std::fprintf(stderr, "qptool: unknown subcommand %s (see qptool --help)\n", vName);
  return qptool::kExitUsage;
}

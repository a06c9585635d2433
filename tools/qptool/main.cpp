// qptool: the dispatch over the subcommands, the global --help and --version, and each
// subcommand's --help, all from one table.
#include <cstdio>
#include <cstring>

#include "QpToolCommands.h"
#include "QpToolInput.h"

namespace {

struct Subcommand {
  const char* mName;
  int (*mRun)(int, char**);
  const char* mUsage;  // the usage line and what the subcommand does, ending in a newline
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
     "Prints one line per file: the digest text (MD5 by default: 26 characters; SHA-256: 52),\n"
     "two blanks, and the file's name (\"-\" for standard input):\n"
     "    TEXT  NAME\n"
     "With --type, the content address of the file follows the digest text: the MD5 digest text\n"
     "with the type character of a clip (e) or a blob (x) after its 13th character:\n"
     "    TEXT  ADDRESS  NAME\n"
     "Files are read in a fixed buffer, so memory does not grow with their size. When standard\n"
     "error is a terminal and a file is large, a progress bar is drawn there.\n"
     "Exit: 0 all files hashed; 2 usage error; 3 a file missing or unreadable (the others are\n"
     "still hashed); 1 the library failed.\n"},
    {"packet", qptool::runPacket,
     "usage: qptool packet dump [--framed|--bare] FILE|-\n"
     "Reads one packet image and prints the library's dump of it: \"SmartPacket\", then one line\n"
     "per field with its name, type and value. Field names are those of the message family that\n"
     "the image's NET_MESSAGEID names.\n"
     "The image may be framed (as on a stream connection: packet marker, length field, then the\n"
     "body from the magic \"FSP2\" on) or bare (the body alone, as in a datagram); by default the\n"
     "form is told from the first four bytes. --framed or --bare insists on one form.\n"
     "Exit: 0 dumped; 2 usage error; 3 the file is missing or unreadable, or the image is\n"
     "malformed; 1 the library failed otherwise.\n"},
    {"address", qptool::runAddress,
     "usage: qptool address LIST\n"
     "LIST is a comma-separated list of server addresses (host, host:port or host:port:port,\n"
     "optionally tagged primary= or secondary=; untagged ones are primary). Prints one line per\n"
     "address that resolves, primaries first:\n"
     "    ROLE  NORMALISED  host=HOST port=PORT datagram=PORT ip=A.B.C.D\n"
     "Addresses that do not resolve are left out, as the library's lists leave them out.\n"
     "Exit: 0 at least one address; 3 an address does not parse, or none resolves; 2 usage "
     "error.\n"},
    {"time", qptool::runTime,
     "usage: qptool time MILLIS|TEXT\n"
     "A count of milliseconds since 1970 is printed as cluster time (YYYY.MM.DD hh:mm:ss.mmm "
     "GMT);\n"
     "a cluster time text (YYYY.MM.DD hh:mm:ss[.mmm] GMT, may be given as several arguments) is\n"
     "printed as its count of milliseconds.\n"
     "Exit: 0 converted; 3 the time does not parse or lies outside 1970 to 9999; 2 usage error.\n"},
    {"error", qptool::runError,
     "usage: qptool error CODE\n"
     "CODE is an error code (such as -10006) or its name (such as QP_PARAM_ERR, in any case).\n"
     "Prints the code, its name, its message, the exception class that stands for it, that\n"
     "class's family and exception class value, and whether the failure may be retried.\n"
     "Exit: 0 known code; 3 unknown code; 2 usage error.\n"},
    {"b32", qptool::runB32,
     "usage: qptool b32 encode|decode\n"
     "encode: standard input as Base32 text (\"Z\" and the digits) and a newline on standard "
     "output.\n"
     "decode: the Base32 text on standard input (blanks and line breaks ignored) as bytes on\n"
     "standard output. Only the exact text that encode writes is accepted; nothing is written\n"
     "for invalid input.\n"
     "Exit: 0 done; 3 invalid input; 2 usage error.\n"},
    {"b64", qptool::runB64,
     "usage: qptool b64 encode|decode\n"
     "encode: standard input as Base64 (with \"=\" padding, on one line) and a newline.\n"
     "decode: Base64 on standard input (blanks and line breaks ignored) as bytes on standard\n"
     "output. Characters outside the alphabet, misplaced padding and leftover bits are refused;\n"
     "nothing is written for invalid input.\n"
     "Exit: 0 done; 3 invalid input; 2 usage error.\n"},
    {"convert", qptool::runConvert,
     "usage: qptool convert --from ENC --to ENC [--xml]\n"
     "Converts standard input from one encoding to another onto standard output.\n"
     "ENC: utf-8 utf-16 ucs-2 ucs-4 latin-1 ascii ebcdic ebcdicw. The 16-bit forms (utf-16,\n"
     "ucs-2, ebcdicw: the EBCDIC byte in the low half) and ucs-4 are read and written\n"
     "little-endian. Without --xml, malformed input becomes blanks, as the library's lenient\n"
     "conversions do; with --xml every character is checked against the XML character rule and\n"
     "the first one that fails stops the conversion. A NUL character is carried through, except\n"
     "under --xml. Nothing is written unless the whole input converts.\n"
     "Exit: 0 converted; 3 the input does not convert (or is not whole units); 2 usage error.\n"},
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
    // Help wherever it is asked for, from the one text each subcommand has.
    for (int i = 2; i < argc; ++i) {
      if (qptool::isHelp(argv[i])) {
        std::fputs(vSub.mUsage, stdout);
        return qptool::kExitOk;
      }
    }
    return vSub.mRun(argc - 1, argv + 1);
  }
  std::fprintf(stderr, "qptool: unknown subcommand %s (see qptool --help)\n", vName);
  return qptool::kExitUsage;
}

// qptool convert: standard input from one of the library's encodings to another on standard
// output; the conversion itself is QpToolCodecs.
#include "QpToolCodecs.h"
#include "QpToolCommands.h"
#include "QpToolInput.h"

namespace qptool {
namespace {}  // namespace

int runConvert(int argc, char** argv) {
  Encoding vFrom = kNone, vTo = kNone;
  bool vXml = false;
  for (int i = 1; i < argc; ++i) {
    const std::string vArg = argv[i];
    if (vArg == "--xml") {
      vXml = true;
    } else if (vArg == "--from" || vArg == "--to") {
      if (++i >= argc) return fail("convert", vArg + " needs an encoding", kExitUsage);
      const Encoding vEncoding = encodingOf(argv[i]);
      if (vEncoding == kNone)
        return fail("convert",
                    std::string("unknown encoding ") + argv[i] +
                        " (utf-8 utf-16 ucs-2 ucs-4 latin-1 ascii ebcdic ebcdicw)",
                    kExitUsage);
      (vArg == "--from" ? vFrom : vTo) = vEncoding;
    } else {
      return fail("convert", "unknown argument " + vArg, kExitUsage);
    }
  }
  if (vFrom == kNone || vTo == kNone)
    return fail("convert", "--from and --to are needed", kExitUsage);

  std::string vInput, vOutput, vError;
  if (!readInput("-", vInput, vError)) return fail("convert", vError, kExitInput);
  try {
    if (!convertText(vInput, vFrom, vTo, vXml, vOutput, vError))
      return fail("convert", vError, kExitInput);
  } catch (QpException& e) {
    return failInput("convert", e);
  }
  return writeOutput(vOutput) ? kExitOk : fail("convert", "cannot write the output", kExitFailed);
}

}  // namespace qptool

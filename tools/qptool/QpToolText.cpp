// qptool address, time, error, b32 and b64: small views of the library's address lists, cluster
// time, error table and text codecs. Every text from the command line or standard input is read
// by the library's own parsers; the tool only arranges their answers.
#include <cstdint>
#include <cstring>
#include <memory>

#include "QpToolCodecs.h"
#include "QpToolCommands.h"
#include "QpToolInput.h"

namespace qptool {
namespace {

// Handles the shared shape "SUB ARG" of the one-argument subcommands: returns -1 when the caller
// should go on, else the exit code.
int singleArgument(const char* inName, int argc, char** argv) {
  if (argc < 2) return fail(inName, "missing argument (see --help)", kExitUsage);
  if (argv[1][0] == '-' && argv[1][1] == '-')
    return fail(inName, std::string("unknown option ") + argv[1], kExitUsage);
  return -1;
}

struct QpFree {
  void operator()(void* inText) const { qp_free(inText); }
};
typedef std::unique_ptr<char, QpFree> QpText;

void appendAddresses(const char* inRole, QpAddressArray& inArray, std::string& ioOut) {
  for (int i = 0; i < inArray.getSize(); ++i) {
    const QpAddress vAddress(inArray.getConstAddress(i));
    const QpText vHost(vAddress.GetAddress());
    unsigned char vIp[4];
    const std::uint32_t vBinary = static_cast<std::uint32_t>(vAddress.GetBinaryInternetAddress());
    std::memcpy(vIp, &vBinary, sizeof vIp);  // network order: the first byte is the first number
    ioOut += std::string(inRole) + "  " + inArray.getConstAddress(i) + "  host=" + vHost.get() +
             " port=" + std::to_string(vAddress.GetPort()) +
             " datagram=" + std::to_string(vAddress.GetDatagramPort()) +
             " ip=" + std::to_string(vIp[0]) + "." + std::to_string(vIp[1]) + "." +
             std::to_string(vIp[2]) + "." + std::to_string(vIp[3]) + "\n";
  }
}

// The exception class, family and retry answer of a code, from the same table the library
// builds its classes from. False when no class stands for the code.
bool describeClass(long inCode, std::string& outText) {
  const char* vLeaf = nullptr;
  const char* vFamily = nullptr;
  int vClass = 0;
  bool vRetryable = false;
  switch (inCode) {
#define QP_ERROR(code, name, message, leaf, family, kind) \
  case code: {                                            \
    leaf vSample(0);                                      \
    vLeaf = #leaf;                                        \
    vFamily = #family;                                    \
    vClass = vSample.GetExceptionClass();                 \
    vRetryable = vSample.isRetryable();                   \
    break;                                                \
  }
#include "QpErrorTable.h"
#undef QP_ERROR
    default:
      return false;
  }
  static const char* const kClassValues[] = {"EC_GENERIC", "EC_NETWORK", "EC_SERVER", "EC_CLIENT"};
  outText = std::string("class      ") + vLeaf + "\nfamily     " + vFamily + " (" +
            kClassValues[vClass & 3] + ")\nretryable  " + (vRetryable ? "yes" : "no") + "\n";
  return true;
}

// The code of a name of the error table, compared without regard to case; false when unknown.
bool codeOfName(const char* inName, long& outCode) {
  for (long vCode = -10222; vCode <= 12; ++vCode) {
    const char* vName = QpError::GetErrorString(static_cast<short>(vCode));
    if (vName != nullptr && strcasecmp(vName, inName) == 0) {
      outCode = vCode;
      return true;
    }
    if (vCode == -10001) vCode = -1;  // on to 0 and the positive codes
  }
  return false;
}

}  // namespace

int runAddress(int argc, char** argv) {
  const int vEarly = singleArgument("address", argc, argv);
  if (vEarly >= 0) return vEarly;
  if (argc > 2)
    return fail("address", "one LIST argument (separate addresses by commas)", kExitUsage);
  try {
    const QpBasicStringBuffer vList(argv[1]);
    QpAddressArray vPrimary, vSecondary;
    vPrimary.storePrimaryAddresses(vList, 0, false);
    vSecondary.storeSecondaryAddresses(vList, 0, false);
    if (vPrimary.getSize() + vSecondary.getSize() == 0)
      return fail("address", "no address of the list resolves", kExitInput);
    std::string vOut;
    appendAddresses("primary", vPrimary, vOut);
    appendAddresses("secondary", vSecondary, vOut);
    return writeOutput(vOut) ? kExitOk : kExitFailed;
  } catch (QpException& e) {
    return failInput("address", e);
  }
}

int runTime(int argc, char** argv) {
  const int vEarly = singleArgument("time", argc, argv);
  if (vEarly >= 0) return vEarly;
  std::string vText = argv[1];
  if (vText.empty()) return fail("time", "empty argument", kExitUsage);
  for (int i = 2; i < argc; ++i) vText += std::string(" ") + argv[i];
  try {
    QpLong vMillis = 0;
    bool vIsCount = true;
    try {
      vMillis = QpStringConversion::stringToQpLong(vText.c_str(), 0);
    } catch (QpParameterException&) {
      vIsCount = false;
    }
    if (vIsCount) {
      QpTime vTime(vMillis);
      return writeOutput(std::string(vTime.getStringWithMilliseconds().toStringConst()) + "\n")
                 ? kExitOk
                 : kExitFailed;
    }
    const QpTime vTime(vText.c_str());
    return writeOutput(std::to_string(vTime.getTimeAsMilliseconds()) + "\n") ? kExitOk
                                                                             : kExitFailed;
  } catch (QpException& e) {
    return failInput("time", e);
  }
}

int runError(int argc, char** argv) {
  const int vEarly = singleArgument("error", argc, argv);
  if (vEarly >= 0) return vEarly;
  if (argc > 2) return fail("error", "one CODE at a time", kExitUsage);
  long vCode = 0;
  try {
    vCode = static_cast<long>(QpStringConversion::stringToQpLong(argv[1], 0));
  } catch (QpParameterException&) {
    if (!codeOfName(argv[1], vCode))
      return fail("error", std::string("unknown error name ") + argv[1], kExitInput);
  }
  const bool vInRange = vCode >= -32768 && vCode <= 32767;
  const char* vName = vInRange ? QpError::GetErrorString(static_cast<short>(vCode)) : nullptr;
  const char* vMessage = vInRange ? QpError::GetMessageString(static_cast<short>(vCode)) : nullptr;
  if (vName == nullptr && vMessage == nullptr)
    return fail("error", "unknown error code " + std::to_string(vCode), kExitInput);
  std::string vOut = "code       " + std::to_string(vCode) + "\nname       " +
                     (vName ? vName : "(none)") + "\nmessage    " + (vMessage ? vMessage : "") +
                     "\n";
  std::string vClass;
  vOut += describeClass(vCode, vClass) ? vClass : "class      (none)\n";
  return writeOutput(vOut) ? kExitOk : kExitFailed;
}

int runB32(int argc, char** argv) {
  const int vEarly = singleArgument("b32", argc, argv);
  if (vEarly >= 0) return vEarly;
  const std::string vAction = argv[1];
  if (argc > 2 || (vAction != "encode" && vAction != "decode"))
    return fail("b32", "expected encode or decode", kExitUsage);
  std::string vInput, vData, vError;
  if (!readInput("-", vInput, vError)) return fail("b32", vError, kExitInput);
  try {
    if (vAction == "encode") {
      const QpText vText(QpBase32::encode(vInput.data(), static_cast<int>(vInput.size())));
      return writeOutput(std::string(vText.get()) + "\n") ? kExitOk : kExitFailed;
    }
    if (!decodeBase32(vInput, vData, vError)) return fail("b32", vError, kExitInput);
    return writeOutput(vData) ? kExitOk : kExitFailed;
  } catch (QpOutOfMemException& e) {
    return fail("b32", describe(e), kExitFailed);
  } catch (QpException& e) {
    return fail("b32", "invalid Base32 input: " + describe(e), kExitInput);
  }
}

int runB64(int argc, char** argv) {
  const int vEarly = singleArgument("b64", argc, argv);
  if (vEarly >= 0) return vEarly;
  const std::string vAction = argv[1];
  if (argc > 2 || (vAction != "encode" && vAction != "decode"))
    return fail("b64", "expected encode or decode", kExitUsage);
  std::string vInput, vData, vError;
  if (!readInput("-", vInput, vError)) return fail("b64", vError, kExitInput);
  if (vAction == "encode") return writeOutput(encodeBase64(vInput) + "\n") ? kExitOk : kExitFailed;
  if (!decodeBase64(vInput, vData)) return fail("b64", "invalid Base64 input", kExitInput);
  return writeOutput(vData) ? kExitOk : kExitFailed;
}

}  // namespace qptool

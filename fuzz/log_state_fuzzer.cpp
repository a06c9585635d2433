// Feeds outside input to the logging configuration: the first byte chooses a state file
// (read, written and read back: the options must survive the round trip and keep their
// invariants) or a set of environment values (split at '\n', one variable each, in the order
// below), whose options must keep the same invariants. The filter texts must also convert both
// ways without loss of any named bit.
#include <algorithm>
#include <tuple>

#include "fuzz_support.h"

namespace {

using qpfuzz::check;

// clang-format off
const char* const kVariables[] = {
    "QPLIBRARY_LOG_FILE_DEBUG", "QPLIBRARY_LOG_DEBUG_FILTER", "QP_LOG_STATE_PATH",
    "QP_LOG_STATE_POLL_INTERVAL", "QP_LOG_DISABLE_CALLBACK", "QP_LOGPATH", "QP_LOGLEVEL",
    "QP_LOGFILTER", "QP_LOGFORMAT", "QP_LOGKEEP", "QP_LOG_MAX_SIZE", "QP_LOG_MAX_OVERFLOWS"};
// clang-format on

void checkInvariants(const _logOptions& inO) {
  check(inO.level >= 0 && inO.level <= 8 && (inO.format == 1 || inO.format == 2));
  check(inO.creationOpt >= 1 && inO.creationOpt <= 3);
  // The debugging override (";a") sets append alone and leaves the creation option as it is.
  check(inO.newLogFileName != nullptr || inO.append == (inO.creationOpt == 2));
  check(inO.keepExisting == (inO.creationOpt == 3) && !(inO.format == 1 && inO.append));
}

int namedBits() {
  static const int sBits = QpLogging::GetFilterOpts(
      "POOL,RETRY,XML,API,NET,TRANSACTION,PACKET,EXCEPTION,REFS,MOPI,STREAM,CSOD,CSO,CORE,LFS,"
      "MD5,SHA,LIB,CSO_TRANSACTIONS,CSO_STORAGE_UNIT,SCRATCH,CSO_REPLICATOR,APP");
  return sBits;
}

void checkFilterRoundTrip(int inMask) {
  char* vText = QpLogging::FilterOptsToString(inMask);
  const int vBack = QpLogging::GetFilterOpts(vText);
  qp_free(vText);
  check(vBack == (inMask == ALL ? ALL : (inMask & namedBits())));
}

void fuzzStateFile(const uint8_t* inData, size_t inSize) {
  std::string sIn, sOut;
  if (!qpfuzz::tempFile("log_state_fuzz_in", sIn, inData, inSize)) return;
  qpfuzz::tempFile("log_state_fuzz_out", sOut);
  for (const char* vName : kVariables) unsetenv(vName);
  QpLoggingState vState(const_cast<char*>(sIn.c_str()));
  _logOptions vRead = vState.getLogOptions();
  checkInvariants(vRead);
  checkFilterRoundTrip(vRead.components);
  vState.writeToFile(sOut.c_str());
  QpLoggingState vBack(const_cast<char*>(sOut.c_str()));
  _logOptions vAgain = vBack.getLogOptions();
  // A filter is written by its names, so bits without one (STATS) do not come back, and one
  // that names nothing is written as absent and reads back as ALL. The state path is the file's.
  const int vNamed = namedBits();
  if ((vRead.components & vNamed) == 0 ||
      (vRead.components & vNamed) == (vAgain.components & vNamed))
    vAgain.components = vRead.components;
  const std::string vPath = vRead.path != nullptr ? vRead.path : "<none>";
  check(vPath == (vAgain.path != nullptr ? vAgain.path : "<none>"));
  auto vFields = [](const _logOptions& inO) {
    return std::make_tuple(inO.format, inO.level, inO.creationOpt, inO.maxOverflows,
                           inO.pollIntervalInMins, inO.components, inO.append, inO.keepExisting,
                           inO.disableCallback, inO.maxSizeInKb);
  };
  check(vFields(vRead) == vFields(vAgain));
}

void fuzzEnvironment(const uint8_t* inData, size_t inSize) {
  const std::string vText(reinterpret_cast<const char*>(inData), inSize);
  size_t vStart = 0;
  for (const char* vName : kVariables) {
    const size_t vEnd = std::min(vText.find('\n', vStart), vText.size());
    const std::string vValue = vStart > vText.size() ? "-" : vText.substr(vStart, vEnd - vStart);
    vStart = vEnd + 1;
    // A lone '-' stands for an unset variable; setenv stops at an embedded NUL, as the
    // environment would.
    if (vValue == "-") unsetenv(vName);
    if (vValue != "-") setenv(vName, vValue.c_str(), 1);
  }
  _logOptions vOptions;
  QpLogging::GetEnvVarOptions(vOptions);
  checkInvariants(vOptions);
  checkFilterRoundTrip(vOptions.components);
  qp_free(vOptions.newLogFileName);
  for (const char* vName : kVariables) unsetenv(vName);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  if (inSize == 0) return 0;
  try {
    if (inData[0] & 1)
      fuzzEnvironment(inData + 1, inSize - 1);
    else
      fuzzStateFile(inData + 1, inSize - 1);
  } catch (QpException&) {
  }
  return 0;
}

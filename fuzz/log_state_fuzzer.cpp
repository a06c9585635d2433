// Feeds outside input to the logging configuration: the first byte chooses a state file
// (read, written and read back: the options must survive the round trip and keep their
// invariants) or a set of environment values (split at '\n', one variable each, in the order
// below), whose options must keep the same invariants. The filter texts must also convert both
// ways without loss of any named bit.
#include <QpUtilsLib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <unistd.h>

namespace {

const char* const kVariables[] = {"QPLIBRARY_LOG_FILE_DEBUG",
                                  "QPLIBRARY_LOG_DEBUG_FILTER",
                                  "QP_LOG_STATE_PATH",
                                  "QP_LOG_STATE_POLL_INTERVAL",
                                  "QP_LOG_DISABLE_CALLBACK",
                                  "QP_LOGPATH",
                                  "QP_LOGLEVEL",
                                  "QP_LOGFILTER",
                                  "QP_LOGFORMAT",
                                  "QP_LOGKEEP",
                                  "QP_LOG_MAX_SIZE",
                                  "QP_LOG_MAX_OVERFLOWS"};

std::string tempPath(const char* inTag) {
  return std::string("/tmp/qp_log_state_fuzz_") + inTag + "_" + std::to_string(getpid());
}

void checkInvariants(const _logOptions& inOptions) {
  if (inOptions.level < 0 || inOptions.level > 8) __builtin_trap();
  if (inOptions.format != 1 && inOptions.format != 2) __builtin_trap();
  if (inOptions.creationOpt < 1 || inOptions.creationOpt > 3) __builtin_trap();
  // The debugging override (";a") sets append alone and leaves the creation option as it is.
  if (inOptions.newLogFileName == nullptr && inOptions.append != (inOptions.creationOpt == 2))
    __builtin_trap();
  if (inOptions.keepExisting != (inOptions.creationOpt == 3)) __builtin_trap();
  if (inOptions.format == 1 && inOptions.append) __builtin_trap();
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
  const int vExpected = inMask == ALL ? ALL : (inMask & namedBits());
  if (vBack != vExpected) __builtin_trap();
}

void fuzzStateFile(const uint8_t* inData, size_t inSize) {
  static const std::string sIn = tempPath("in"), sOut = tempPath("out");
  FILE* vFile = std::fopen(sIn.c_str(), "wb");
  if (vFile == nullptr) return;
  std::fwrite(inData, 1, inSize, vFile);
  std::fclose(vFile);
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
  if (vPath != (vAgain.path != nullptr ? vAgain.path : "<none>")) __builtin_trap();
  auto vFields = [](const _logOptions& inO) {
    return std::make_tuple(inO.format, inO.level, inO.creationOpt, inO.maxOverflows,
                           inO.pollIntervalInMins, inO.components, inO.append, inO.keepExisting,
                           inO.disableCallback, inO.maxSizeInKb);
  };
  if (vFields(vRead) != vFields(vAgain)) __builtin_trap();
}

void fuzzEnvironment(const uint8_t* inData, size_t inSize) {
  std::string vText(reinterpret_cast<const char*>(inData), inSize);
  size_t vStart = 0;
  for (const char* vName : kVariables) {
    if (vStart > vText.size()) {
      unsetenv(vName);
      continue;
    }
    size_t vEnd = vText.find('\n', vStart);
    if (vEnd == std::string::npos) vEnd = vText.size();
    std::string vValue = vText.substr(vStart, vEnd - vStart);
    vStart = vEnd + 1;
    if (vValue == "-") {
      unsetenv(vName);  // a lone '-' stands for an unset variable
    } else {
      setenv(vName, vValue.c_str(), 1);  // stops at an embedded NUL, as the environment would
    }
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

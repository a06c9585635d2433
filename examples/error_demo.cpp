// error_demo - the error model end to end, as a client library uses it at its boundary: a
// failure is raised deep inside, gains a trace entry in every function it passes through, is
// caught, recorded as this thread's last error and read back from the record.
#include <QpUtilsLib.h>

#include <cstdio>

namespace {

int parseCount(const char* inText) {
  if (inText[0] < '0' || inText[0] > '9')
    qpRaise<QpParameterException>(QP_HERE, 0, "count must be a decimal number",
                                  "demo::parseCount(%s)", inText);
  return qp_atoi(inText);
}

int loadSettings(const char* inText) {
  QP_TRACE_BEGIN
  return parseCount(inText);
  QP_TRACE_END("demo::loadSettings(-)")
}

}  // namespace

int main(int argc, char** argv) {
  const char* vInput = argc > 1 ? argv[1] : "twelve";
  try {
    std::printf("'%s' parsed as %d\n", vInput, loadSettings(vInput));
    return 0;
  } catch (QpException& e) {
    QpStringBuffer vText;
    e.toString(vText);
    std::printf("caught:\n%s", vText.toStringConst());
    QpError::SetError(e);
  }
  QpErrorInfo* vInfo = QpError::GetErrorInfo();
  if (vInfo == nullptr) {
    std::printf("no error record\n");
    return 1;
  }
  std::printf("last error of this thread:\n");
  std::printf("  errorCode      %d\n", vInfo->errorCode);
  std::printf("  sysErrorCode   %d\n", vInfo->sysErrorCode);
  std::printf("  errorString    %s\n", vInfo->errorString);
  std::printf("  message        %s\n", vInfo->message);
  std::printf("  trace          %s\n", vInfo->trace);
  std::printf("  exceptionClass %d\n", vInfo->exceptionClass);
  QpError::ClearError();
  return 0;
}

// A program outside the tree, built only against the installed package: proves that the umbrella
// header alone reaches the exported interface and that the library links and loads.
#include <QpUtilsLib.h>

#include <cstdio>
#include <cstring>

int main() {
  try {
    qpRaise<QpParameterException>(QP_HERE, 0, "consumer check", "consumer::main()");
  } catch (QpException& e) {
    QpError::SetError(e);
  }
  QpErrorInfo* vInfo = QpError::GetErrorInfo();
  if (vInfo == nullptr || vInfo->errorCode != QP_PARAM_ERR ||
      std::strcmp(vInfo->errorString, "QP_PARAM_ERR") != 0 ||
      std::strcmp(vInfo->message, "consumer check") != 0 ||
      std::strcmp(vInfo->trace, "consumer::main()") != 0) {
    std::printf("consumer: unexpected error record\n");
    return 1;
  }
  QpStringBuffer vText("consumer");
  vText.strcat(" ok");
  std::printf("%s\n", vText.toStringConst());
  return 0;
}

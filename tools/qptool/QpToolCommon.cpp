// What every subcommand shares: the one-line failure report and the text of a caught exception.
#include <cstdio>

#include "QpToolCommands.h"

namespace qptool {

int fail(const char* inSubcommand, const std::string& inMessage, int inCode) {
  std::fprintf(stderr, "qptool %s: %s\n", inSubcommand, inMessage.c_str());
  return inCode;
}

std::string describe(QpException& inException) {
  const int vCode = inException.GetErrorCode();
  std::string vText;
  if (char* vMessage = inException.GetMessageString()) {
    vText = vMessage;
    qp_free(vMessage);
  } else {
    // No message of its own: the code's message, and the system error, which is then the only
    // thing telling a time-out from a reset.
    const char* vDefault = QpError::GetMessageString(static_cast<short>(vCode));
    vText = vDefault != nullptr ? vDefault : "unknown error";
    if (inException.GetSysErrorCode() != 0) {
      vText += ", system error " + std::to_string(inException.GetSysErrorCode());
    }
  }
  // A message from a server may span lines; the report is one line.
  for (char& vChar : vText) {
    if (vChar == '\n' || vChar == '\r') vChar = ' ';
  }
  while (!vText.empty() && vText.back() == ' ') vText.pop_back();
  const char* vName = QpError::GetErrorString(static_cast<short>(vCode));
  return vText + " (error " + std::to_string(vCode) + " " + (vName != nullptr ? vName : "-----") +
         ")";
}

int failInput(const char* inSubcommand, QpException& inException) {
  const bool vOutOfMemory = dynamic_cast<QpOutOfMemException*>(&inException) != nullptr;
  return fail(inSubcommand, describe(inException), vOutOfMemory ? kExitFailed : kExitInput);
}

}  // namespace qptool

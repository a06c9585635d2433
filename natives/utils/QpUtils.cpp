// QpUtils.cpp - the process-wide settings and their bounds.
#include "QpUtils.h"

#include "QpRaise.h"
#include "QpStringConversion.h"
#include "qpos32.h"

// The in-class initialiser gives the value; this gives the constant an address for callers that
// bind it to a reference.
const int QpUtils::kDefaultSocketOption;

int QpUtils::sTCPNoDelay = 1;
int QpUtils::sDebugMode = QpUtils::kDefaultSocketOption;
int QpUtils::sReceiveBufferSize = QpUtils::kDefaultSocketOption;
int QpUtils::sSendBufferSize = QpUtils::kDefaultSocketOption;
int QpUtils::sTCPMaxRT = QpUtils::kDefaultSocketOption;
int QpUtils::sTCPMaxSegSize = QpUtils::kDefaultSocketOption;
int QpUtils::sAllowReadOfInvalidXML = 1;

namespace {

// One refusal for every setter: the value stays unset because the caller stores only after this
// returns. The label names the setter and shows the refused value.
[[noreturn]] void refuse(const char* inMessage, const char* inLabel, int inValue) {
  qpRaise<QpOutOfBoundsException>(QP_HERE, 0, inMessage, inLabel,
                                  QpStringConversion::toString(inValue));
}

}  // namespace

QpUtils::QpUtils() {}

int QpUtils::GetSocketOptionTCPNoDelay() {
  return sTCPNoDelay;
}

void QpUtils::SetSocketOptionTCPNoDelay(int inValue) {
  if (inValue != 0 && inValue != 1)
    refuse("NoDelay mode must be true(1) or false(0).", "QpUtils.SetSocketOptionTCPNoDelay(%s)",
           inValue);
  sTCPNoDelay = inValue;
}

int QpUtils::GetSocketOptionDebugMode() {
  return sDebugMode;
}

void QpUtils::SetSocketOptionDebugMode(int inValue) {
  if (inValue != 0 && inValue != 1)
    refuse("DebugMode must be set to true(1) or false(0).", "QpUtils.SetSocketOptionDebugMode(%s)",
           inValue);
  sDebugMode = inValue;
}

int QpUtils::GetSocketOptionReceiveBufferSize() {
  return sReceiveBufferSize;
}

void QpUtils::SetSocketOptionReceiveBufferSize(int inValue) {
  if (inValue < 4096)
    refuse("Cannot set buffer to less than 4K.", "QpUtils.SetSocketOptionReceiveBufferSize(%s)",
           inValue);
  sReceiveBufferSize = inValue;
}

int QpUtils::GetSocketOptionSendBufferSize() {
  return sSendBufferSize;
}

void QpUtils::SetSocketOptionSendBufferSize(int inValue) {
  if (inValue < 4096)
    refuse("Cannot set buffer to less than 4K.", "QpUtils.SetSocketOptionSendBufferSize(%s)",
           inValue);
  sSendBufferSize = inValue;
}

int QpUtils::GetSocketOptionTCPMaxRT() {
  return sTCPMaxRT;
}

void QpUtils::SetSocketOptionTCPMaxRT(int inValue) {
  if (inValue < -1)
    refuse("MaxRT setting is -1 (forever), 0 (system default), or a positive integer.",
           "QpUtils.SetSocketOptionTCPMaxRT(%s)", inValue);
  sTCPMaxRT = inValue;
}

int QpUtils::GetSocketOptionTCPMaxSegSize() {
  return sTCPMaxSegSize;
}

void QpUtils::SetSocketOptionTCPMaxSegSize(int inValue) {
  if (inValue < 1024)
    refuse("Cannot set max segment size to less than 1K.",
           "QpUtils.SetSocketOptionTCPMaxSegSize(%s)", inValue);
  sTCPMaxSegSize = inValue;
}

bool QpUtils::isReadOfInvalidXMLAllowed() {
  return sAllowReadOfInvalidXML != 0;
}

void QpUtils::SetAllowReadOfInvalidXML(int inAllow) {
  sAllowReadOfInvalidXML = inAllow != 0;
}

void QpUtils_Test() {
  qp_printf("QpUtils_Test\n");
}

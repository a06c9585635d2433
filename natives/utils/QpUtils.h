// QpUtils.h - process-wide settings of the library: whether text that breaks the XML character
// rules may be read, and the socket options that every new connection copies when it is made.
//
// Setters check their value and refuse one out of range with QpOutOfBoundsException, leaving the
// setting as it was. kDefaultSocketOption (-2) means "leave the system's own setting in place".
//
// Threads: the settings are plain integers without a lock. Set them before connections are made;
// a connection reads them once, when it is constructed, so later changes do not reach it.
#ifndef QP_UTILS_H
#define QP_UTILS_H

#include "QpTypes.h"

class QP_EXPORT QpUtils {
 public:
  // Every member of interest is static; an instance carries nothing.
  QpUtils();

  static const int kDefaultSocketOption = -2;

  // 0 or 1.
  static int GetSocketOptionTCPNoDelay();
  static void SetSocketOptionTCPNoDelay(int inValue);
  // 0 or 1.
  static int GetSocketOptionDebugMode();
  static void SetSocketOptionDebugMode(int inValue);
  // At least 4096 bytes.
  static int GetSocketOptionReceiveBufferSize();
  static void SetSocketOptionReceiveBufferSize(int inValue);
  static int GetSocketOptionSendBufferSize();
  static void SetSocketOptionSendBufferSize(int inValue);
  // -1 forever, 0 the system default, or a positive time.
  static int GetSocketOptionTCPMaxRT();
  static void SetSocketOptionTCPMaxRT(int inValue);
  // At least 1024 bytes.
  static int GetSocketOptionTCPMaxSegSize();
  static void SetSocketOptionTCPMaxSegSize(int inValue);

  // On when the library is loaded. Any non-zero value allows; never raises.
  static bool isReadOfInvalidXMLAllowed();
  static void SetAllowReadOfInvalidXML(int inAllow);

 private:
  static int sTCPNoDelay;
  static int sDebugMode;
  static int sReceiveBufferSize;
  static int sSendBufferSize;
  static int sTCPMaxRT;
  static int sTCPMaxSegSize;
  static int sAllowReadOfInvalidXML;
};

// Prints "QpUtils_Test\n" to standard output: a probe that the library is loaded and callable.
QP_EXPORT void QpUtils_Test();

#endif  // QP_UTILS_H

// QpRaise.h - the one way the library raises, and the pass-through trace.
//
// Every raising site follows the same sequence: construct the leaf exception with the system
// error (0 when none), optionally set its message, optionally add the raising function's trace
// label, log it with the source file and line, and throw a copy. qpRaise does exactly that;
// QP_HERE supplies file and line, as C++17 has no source_location.
//
//   qpRaise<QpParameterException>(QP_HERE, 0, "Not a valid QpLong value",
//                                 "QpStringConversion::stringToQpLong(%s,%s)", text, "false");
//
// A function whose label the trace should show wraps its body:
//
//   QP_TRACE_BEGIN
//     ... body ...
//   QP_TRACE_END("QpBasicStringBuffer::strncpy(-, %s)", QpStringConversion::toString(count))
//
// The label's arguments are evaluated only when an exception passes, so the common path pays
// nothing for them.
#ifndef QP_RAISE_H
#define QP_RAISE_H

#include "QpException.h"

#define QP_HERE __FILE__, __LINE__

// Raises E(inSysError) with an optional literal message and an optional trace label (a printf
// format with its arguments). inMessage is taken literally, never as a format.
template <class E, class... Args>
[[noreturn]] void qpRaise(const char* inFile, long inLine, int inSysError, const char* inMessage,
                          const char* inTraceFormat = nullptr, Args... inArgs) {
  E vE(inSysError);
  if (inMessage != nullptr) vE.SetMessage("%s", inMessage);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
  if (inTraceFormat != nullptr) vE.addTrace(inTraceFormat, inArgs...);
#pragma GCC diagnostic pop
  vE.log(inFile, inLine);
  throw vE;
}

// Raises an exception that the caller has already built (message, trace, transaction id):
// logs it and throws a copy of its static type.
template <class E>
[[noreturn]] void qpThrow(E& ioE, const char* inFile, long inLine) {
  ioE.log(inFile, inLine);
  throw ioE;
}

// The raise of a failed allocation: QpOutOfMemException with system error 12.
[[noreturn]] QP_EXPORT void qpRaiseOutOfMemory(const char* inFile, long inLine);

// Internal consistency check: raises QpSDKInternalException with the condition's text.
#define QP_CHECK(cond)                                                     \
  do {                                                                     \
    if (!(cond)) QpSDKInternalException::Throw(__FILE__, __LINE__, #cond); \
  } while (0)

#define QP_TRACE_BEGIN try {
#define QP_TRACE_END(...)           \
  }                                 \
  catch (QpException & qpTraced) {  \
    qpTraced.addTrace(__VA_ARGS__); \
    throw;                          \
  }

#endif  // QP_RAISE_H

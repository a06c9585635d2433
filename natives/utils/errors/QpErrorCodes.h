// QpErrorCodes.h - every named error code of the library as an integer constant of that name.
// 0 is no error; the library's own codes are negative, -10222 ... -10001.
#ifndef QP_ERROR_CODES_H
#define QP_ERROR_CODES_H

#define QP_ERROR(code, name, message, leaf, family, kind) constexpr int name = code;
#define QP_ERROR_NOCLASS(code, name, message) constexpr int name = code;
#include "QpErrorTable.h"

// The two codes outside the library's range: no error, and the system's out-of-memory number,
// which is the C library's own ENOMEM.
#ifndef ENOERR
constexpr int ENOERR = 0;
#endif
#include <cerrno>

#endif  // QP_ERROR_CODES_H

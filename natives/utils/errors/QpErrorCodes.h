// QpErrorCodes.h - every named error code of the library as an integer constant of that name.
// 0 is no error; the library's own codes are negative, -10222 ... -10001.
#ifndef QP_ERROR_CODES_H
#define QP_ERROR_CODES_H

#define QP_ERROR(code, name, message, leaf, family, kind) constexpr int name = code;
#define QP_ERROR_NOCLASS(code, name, message) constexpr int name = code;
#include "QpErrorTable.h"

#endif  // QP_ERROR_CODES_H

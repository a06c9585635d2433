// QpTypes.h - the basic value types that every part of the library and its callers share.
// Sizes are fixed: the wire format, the files and the error record depend on them.
#ifndef QP_TYPES_H
#define QP_TYPES_H

#include <cstdint>

// QP_EXPORT marks what the library exports: the classes and free functions its callers use, and
// the test hooks. The library is compiled with hidden visibility, so anything not marked stays
// inside it (internal helpers, template instantiations, its own operator new and delete).
#define QP_EXPORT __attribute__((visibility("default")))

typedef std::int32_t QpInt;   // signed 32-bit
typedef std::int64_t QpLong;  // signed 64-bit
// One unit of a wide (UCS-2 / UTF-16) text. The library's wide texts are 16 bits on every
// platform, whatever the width of the host's wchar_t.
typedef unsigned short QpWChar;

static_assert(sizeof(QpWChar) == 2, "wide units are 16 bits");
static_assert(sizeof(QpLong) == 8, "QpLong is 64 bits");

#endif  // QP_TYPES_H

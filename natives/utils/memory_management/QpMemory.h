// QpMemory.h - the library's single allocation entry point.
//
// qp_malloc, qp_calloc, qp_realloc and the library's own operator new all pass through here, so
// that the fault hook (QpFaultInjection.h) sees every allocation. The library's operator new and
// delete are kept out of the dynamic symbol table (QpUtils.map): they serve the library's own
// allocations and never replace the application's.
//
// When an allocation of the library's operator new fails, it calls the library's new-handler;
// the error model installs one at load that raises QpOutOfMemException(12). Without a handler the
// failure is std::bad_alloc, as usual.
#ifndef QP_MEMORY_H
#define QP_MEMORY_H

#include "QpTypes.h"

typedef void (*QpNewHandler)();

// Installs the handler of the library's operator new and returns the previous one.
QP_EXPORT QpNewHandler qpSetLibraryNewHandler(QpNewHandler inHandler);
QP_EXPORT QpNewHandler qpGetLibraryNewHandler();

#endif  // QP_MEMORY_H

// QpFactoryInternal.h - the one way the library's factories (createInstance, createNEWInstance)
// build an object: a failed allocation gives null instead of an exception, which is what their
// callers test for. Internal to the library.
//
// Threads: as safe as the constructor it calls.
#ifndef QP_FACTORY_INTERNAL_H
#define QP_FACTORY_INTERNAL_H

#include <new>
#include <utility>

#include "QpException.h"

// new T(inArgs...), or null when memory is short: QpOutOfMemException from the library's
// new-handler, std::bad_alloc where no handler is installed (while the library loads or unloads).
template <class T, class... Args>
T* qpNewOrNull(Args&&... inArgs) {
  try {
    return new T(std::forward<Args>(inArgs)...);
  } catch (QpOutOfMemException&) {
    return nullptr;
  } catch (std::bad_alloc&) {
    return nullptr;
  }
}

#endif  // QP_FACTORY_INTERNAL_H

// QpTestSupport.h - helpers shared by the unit tests.
#ifndef QP_TEST_SUPPORT_H
#define QP_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "QpFaultInjection.h"
#include "QpUtilsLib.h"

// Walks the allocations of an operation: for n = 0, 1, 2, ... it makes allocation n fail and runs
// inOp once. Whenever the hook fired, inOp must have raised QpOutOfMemException (unless
// inMayAbsorb, for operations that are specified to swallow an allocation failure), and
// inAfterFailure then checks that the object was left as it was. The walk stops at the first n
// at which nothing failed, i.e. the operation completed with all its allocations; that n (the
// number of allocations the operation makes) is returned. inOp must be repeatable: rebuild the
// object under test inside it, or check and restore it in inAfterFailure.
int qpWalkAllocations(const std::function<void()>& inOp,
                      const std::function<void()>& inAfterFailure, bool inMayAbsorb = false,
                      int inLimit = 100000);

// Takes ownership of qp_malloc'd text and returns it as a std::string (null gives "<null>").
std::string qpTake(char* inText);

// Expects inOp to raise exactly the exception class E (not a subclass) with the given message
// (null: no message) and, when inTrace is not null, that "<"-joined trace. inWhat names the
// statement in failure reports.
template <class E>
void qpExpectFailure(const std::function<void()>& inOp, const char* inWhat, const char* inMessage,
                     const char* inTrace) {
  try {
    inOp();
    ADD_FAILURE() << inWhat << " raised nothing";
  } catch (E& e) {
    EXPECT_EQ(typeid(e), typeid(E)) << inWhat << " raised a subclass";
    EXPECT_EQ(qpTake(e.GetMessageString()), inMessage != nullptr ? inMessage : "<null>") << inWhat;
    if (inTrace != nullptr) {
      EXPECT_EQ(qpTake(e.GetTraceString("<")), inTrace) << inWhat;
    }
  } catch (QpException& e) {
    ADD_FAILURE() << inWhat << " raised code " << e.GetErrorCode();
  }
}

// statement must raise exactly E with this message (null: none); the trace is not examined.
#define EXPECT_QP_THROW(statement, E, message) \
  qpExpectFailure<E>([&] { statement; }, #statement, message, nullptr)
// statement must raise exactly E with this message (null: none) and this "<"-joined trace.
#define EXPECT_QP_FAILURE(E, statement, message, trace) \
  qpExpectFailure<E>([&] { statement; }, #statement, message, trace)

#endif  // QP_TEST_SUPPORT_H

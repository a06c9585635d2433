// QpTestSupport.h - helpers shared by the unit tests.
#ifndef QP_TEST_SUPPORT_H
#define QP_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <functional>
#include <string>

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

// Expects statement to raise exactly the exception class E with the given message (null expects
// no message).
#define EXPECT_QP_THROW(statement, E, message)                                        \
  do {                                                                                \
    bool qpCaught = false;                                                            \
    try {                                                                             \
      statement;                                                                      \
    } catch (E & qpE) {                                                               \
      qpCaught = true;                                                                \
      EXPECT_EQ(typeid(qpE), typeid(E)) << "raised a subclass of " #E;                \
      const char* qpWant = (message);                                                 \
      std::string qpGot = qpTake(qpE.GetMessageString());                             \
      if (qpWant == nullptr)                                                          \
        EXPECT_EQ(qpGot, "<null>");                                                   \
      else                                                                            \
        EXPECT_EQ(qpGot, qpWant);                                                     \
    } catch (QpException & qpOther) {                                                 \
      ADD_FAILURE() << "raised code " << qpOther.GetErrorCode() << " instead of " #E; \
    }                                                                                 \
    EXPECT_TRUE(qpCaught) << #statement " did not raise " #E;                         \
  } while (0)

#endif  // QP_TEST_SUPPORT_H

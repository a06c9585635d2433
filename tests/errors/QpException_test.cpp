// Tests of the exception family: the leaves and their families, retry rules, trace, message and
// transaction id, the text form, copying, the raise helpers and the out-of-memory paths.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <typeinfo>

#include "QpErrorTestTable.h"
#include "QpOsHooks.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

using namespace qptest;

const auto messageOf = [](QpException& e) { return qpTake(e.GetMessageString()); };
const auto traceOf = [](QpException& e) { return qpTake(e.GetTraceString("<")); };
// Code, system error, message, transaction id and trace in one line; "<null>" for a missing part.
std::string partsOf(QpException& e) {
  return std::to_string(e.GetErrorCode()) + " " + std::to_string(e.GetSysErrorCode()) + " " +
         messageOf(e) + "|" + qpTake(e.GetTransIDString()) + "|" + traceOf(e);
}
std::string textOf(QpException& e) {
  QpBasicStringBuffer vOut;
  e.toString(vOut);
  return vOut.toStringConst();
}
const std::string kBare = "<null>|<null>|No trace available";

// What inCall raised as E, in the form of partsOf; "nothing raised" when it returned.
template <class E, class F>
std::string raised(F inCall) {
  try {
    inCall();
  } catch (E& e) {
    return (typeid(e) == typeid(E) ? "" : "a subclass: ") + partsOf(e);
  }
  return "nothing raised";
}

template <class T>
void checkLeaf(const char* inName, int inCode, Family inFamily, bool inRetryable) {
  SCOPED_TRACE(inName);
  if constexpr (std::is_default_constructible_v<T>) {
    T vDefault;
    EXPECT_EQ(partsOf(vDefault), std::to_string(inCode) + " 0 " + kBare);
  } else {
    EXPECT_TRUE((std::is_same_v<T, QpOutOfMemException>));  // the one leaf without a default
  }
  T e(7);
  QpException* vBase = &e;
  EXPECT_EQ(dynamic_cast<QpNetworkException*>(vBase) != nullptr, inFamily == kN);
  EXPECT_EQ(dynamic_cast<QpServerException*>(vBase) != nullptr, inFamily == kS);
  EXPECT_EQ(dynamic_cast<QpClientException*>(vBase) != nullptr, inFamily >= kC);
  EXPECT_EQ(dynamic_cast<QpApplicationException*>(vBase) != nullptr, inFamily == kA);
  EXPECT_EQ(dynamic_cast<QpOSException*>(vBase) != nullptr, inFamily == kO);
  // The class value, code and system error survive copying and assignment.
  QpException::ExceptionClass vClass = inFamily == kN   ? QpException::EC_NETWORK
                                       : inFamily == kS ? QpException::EC_SERVER
                                                        : QpException::EC_CLIENT;
  T vCopy(e);
  T vAssigned(1);
  vAssigned = e;
  QpException* vAll[] = {vBase, &vCopy, &vAssigned};
  for (QpException* x : vAll) {
    EXPECT_EQ(x->GetExceptionClass(), vClass);
    EXPECT_EQ(partsOf(*x), std::to_string(inCode) + " 7 " + kBare);
  }
  EXPECT_EQ(vBase->isRetryable(), inRetryable);
  QpParameterException vNotRetryable;
  QpSocketException vRetryable;
  EXPECT_TRUE(e.hasLowerSeverity(vNotRetryable) && !e.hasLowerSeverity(vRetryable));
  EXPECT_EQ(vNotRetryable.hasLowerSeverity(e), !inRetryable);
}

TEST(QpExceptionLeaves, EveryLeafHasItsCodeFamilyClassAndRetryRule) {
  int vCount = 0;
#define CHECK_LEAF(code, name, message, Leaf, family, retry) \
  checkLeaf<Leaf>(#Leaf, code, family, retry), ++vCount;
#define SKIP(...)
  QP_EXPECTED_CODES(CHECK_LEAF, SKIP, SKIP)
#undef CHECK_LEAF
#undef SKIP
  EXPECT_EQ(vCount, 78);
}

TEST(QpExceptionLeaves, RootGenericFamiliesAndClassValues) {
  QpException e;
  QpGenericException g;
  EXPECT_EQ(partsOf(e), "-1 0 " + kBare);
  EXPECT_EQ(partsOf(g), "-1 -1 " + kBare);
  EXPECT_FALSE(e.isRetryable() || g.isRetryable());
  // A copy keeps its source's class, even sliced to the root; an assignment copies the data only.
  QpSocketException s(4);
  s.SetMessage("s");
  EXPECT_EQ(QpException(s).GetExceptionClass(), QpException::EC_NETWORK);
  e = s;
  EXPECT_EQ(e.GetExceptionClass(), QpException::EC_GENERIC);
  EXPECT_EQ(partsOf(e), "-10101 4 s|<null>|No trace available");
}

TEST(QpExceptionRetry, ServerByCodeNetworkByFamilyMigrationByFlag) {
  auto vRetryableWith = [](QpException&& e, int inCode) {
    e.SetErrorCode(inCode);
    return e.isRetryable();
  };
  for (int vCode : {-10156, -10102, -10042, -10041, -10040, -10021, -10014, -10005, -10153, -10101})
    EXPECT_EQ(vRetryableWith(QpServerErrorException(), vCode), vCode != -10153 && vCode != -10101)
        << vCode;
  EXPECT_TRUE(vRetryableWith(QpSocketException(), QP_AUTHENTICATION_FAILED_ERR));
  EXPECT_FALSE(vRetryableWith(QpNoPoolException(), QP_SOCKET_ERR));
  QpMigrationException m;
  m.setRetryable(false);
  QpMigrationException vAssigned;
  vAssigned = m;
  EXPECT_FALSE(m.isRetryable() || QpMigrationException(m).isRetryable() || vAssigned.isRetryable());
  EXPECT_TRUE(QpParameterException().hasLowerSeverity(m));
  m.setRetryable(true);
  m.setErrorCode(QP_PARAM_ERR);  // the flag, not the code, decides
  vAssigned = m;
  EXPECT_TRUE(vAssigned.isRetryable() && vAssigned.GetErrorCode() == -10006);
}

TEST(QpExceptionParts, MessageTransIdAndTrace) {
  QpParameterException e;
  QpBasicStringBuffer vText("from buffer");
  e.SetMessage(vText);
  e.SetTransID(vText);
  vText.strcat(" changed later");                          // the exception keeps copies
  std::unique_ptr<QpStringBuffer> vCopy(e.GetMessageA());  // a copy for the caller
  EXPECT_STREQ(vCopy->toStringConst(), "from buffer");
  EXPECT_EQ(partsOf(e), "-10006 0 from buffer|from buffer|No trace available");
  e.SetTransID(QpBasicStringBuffer("T-2"));
  e.SetMessage(QpBasicStringBuffer::createNEWInstance("owned"));
  EXPECT_EQ(partsOf(e), "-10006 0 owned|T-2|No trace available");
  QpBasicStringBuffer vEmpty;
  e.SetMessage(vEmpty);  // an empty buffer removes the message
  EXPECT_EQ(e.GetMessageA(), nullptr);
  EXPECT_EQ(qpTake(e.GetTraceString(nullptr)), "No trace available");
  e.addTrace("a");
  e.addTrace("%s(%d)", "b", 2);
  e.addTrace("c");
  EXPECT_EQ(traceOf(e), "a<b(2)<c");
  EXPECT_EQ(qpTake(e.GetTraceString(nullptr)), "ab(2)c");
}

TEST(QpExceptionText, ToStringPrintAndLog) {
  QpParameterException e;
  e.SetMessage("bad");
  e.addTrace("f(1)");
  QpBasicStringBuffer vOut("previous content is replaced");
  e.toString(vOut);
  const char kText[] = "Exception\n error=-10006\n syserror=0\n message=bad\n trace=f(1)\n";
  EXPECT_STREQ(vOut.toStringConst(), kText);
  testing::internal::CaptureStdout();
  e.print();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), kText);
  e.SetTransID(QpBasicStringBuffer("T-9"));
  e.addTrace("g()");
  EXPECT_EQ(textOf(e),
            "Exception\n error=-10006\n syserror=0\n message=bad\n trace=f(1)<g()\n transid=T-9\n");
  // Logging never throws, whatever the texts, and leaves the exception alone.
  e.SetMessage("%s", "100%s done %n");
  EXPECT_NO_THROW(e.log("a\\b\\c.cpp", 10));
  EXPECT_EQ(partsOf(e), "-10006 0 100%s done %n|T-9|f(1)<g()");
}

TEST(QpOutOfMemException, KeepsNoPartsAndNeedsNoMemoryAfterConstruction) {
  QpOutOfMemException e(12);
  QpException& vRoot = e;  // the setters are virtual: the root's view must not bypass them
  QpBasicStringBuffer vText("z");
  QpBasicStringBuffer* vOwned = QpBasicStringBuffer::createNEWInstance("w");
  {
    StFaultArm vArm(0, 1000000);  // every allocation from here on would fail
    vRoot.SetMessage("x");
    vRoot.SetMessage(vText);
    vRoot.SetMessage(vOwned);  // ownership passes: the leak checker sees it if kept undeleted
    vRoot.addTrace("t");
    vRoot.SetTransID(vText);
    QpOutOfMemException vCopy(e);
    vCopy = e;
    EXPECT_EQ(QpFaultHits(), 0);
  }
  EXPECT_EQ(partsOf(e), "-10206 12 " + kBare);
  EXPECT_EQ(textOf(e),
            "Exception\n error=-10206\n syserror=12\n message=\n trace=No trace available\n");
}

void fill(QpException& e, const std::string& p) {
  e.SetMessage("%s-message", p.c_str());
  e.SetTransID(QpBasicStringBuffer((p + "-id").c_str()));
  for (int i = 1; i <= 3; ++i) e.addTrace("%s%d", p.c_str(), i);
}

std::string filled(const std::string& p, int inSysError) {
  return "-10006 " + std::to_string(inSysError) + " " + p + "-message|" + p + "-id|" + p + "1<" +
         p + "2<" + p + "3";
}

TEST(QpRaiseHelpers, LiteralMessagesBuiltExceptionsAndInternalChecks) {
  EXPECT_EQ(raised<QpParameterException>([] { qpRaise<QpParameterException>(QP_HERE, 0, "50%s"); }),
            "-10006 0 50%s|<null>|No trace available");  // the message is not a format
  QpParameterException vBuilt(3);
  fill(vBuilt, "b");
  EXPECT_EQ(raised<QpParameterException>([&] { qpThrow(vBuilt, QP_HERE); }), filled("b", 3));
  EXPECT_EQ(partsOf(vBuilt), filled("b", 3));
  int vEvaluations = 0;
  EXPECT_NO_THROW(QP_CHECK(++vEvaluations == 1));
  EXPECT_EQ(vEvaluations, 1);
  EXPECT_EQ(raised<QpSDKInternalException>([&] { QP_CHECK(vEvaluations == 2); }),
            "-10205 0 vEvaluations == 2|<null>|No trace available");
  EXPECT_EQ(raised<QpOutOfMemException>([] { qpRaiseOutOfMemory(QP_HERE); }), "-10206 12 " + kBare);
  StFaultArm vArm(0);  // the library's operator new raises instead of returning null
  EXPECT_EQ(raised<QpOutOfMemException>([] { qpLibraryDelete(qpLibraryNew(32)); }),
            "-10206 12 " + kBare);
  EXPECT_EQ(QpFaultHits(), 1);
}

TEST(QpExceptionOutOfMemory, SettersAndReadersLeaveTheExceptionAsItWas) {
  QpParameterException vPristine(4);
  fill(vPristine, "o");
  QpParameterException e(vPristine);
  QpBasicStringBuffer vText("from a buffer");
  const std::function<void()> kOps[] = {[&] { e.SetMessage("new %d", 1); },
                                        [&] { e.SetMessage(vText); }, [&] { e.SetTransID(vText); },
                                        [&] { qpTake(e.GetTraceString("<")); }, [&] { textOf(e); }};
  for (const auto& vOp : kOps) {
    SCOPED_TRACE(&vOp - kOps);
    EXPECT_GT(qpWalkAllocations(vOp, [&] { EXPECT_EQ(partsOf(e), filled("o", 4)); }), 0);
    e = vPristine;
  }
  // addTrace never throws: the entry is added whole or dropped, nothing else.
  auto vCheck = [&] {
    EXPECT_TRUE(partsOf(e) == filled("o", 4) || traceOf(e) == "o1<o2<o3<new 1") << traceOf(e);
    e = vPristine;
  };
  EXPECT_GT(qpWalkAllocations([&] { EXPECT_NO_THROW(e.addTrace("new %d", 1)); }, vCheck, true), 0);
}

TEST(QpExceptionOutOfMemory, CopyAndAssignmentRaiseOrDropOnlyTheTrace) {
  QpParameterException vSource(8);
  fill(vSource, "s");
  QpParameterException vPristine(5);
  fill(vPristine, "t");
  std::optional<QpParameterException> vTarget;
  for (bool vAssign : {false, true}) {
    SCOPED_TRACE(vAssign ? "assignment" : "copy construction");
    auto vReset = [&] { vAssign ? (void)vTarget.emplace(vPristine) : vTarget.reset(); };
    auto vCopy = [&] { vAssign ? (void)(*vTarget = vSource) : (void)vTarget.emplace(vSource); };
    int vAbsorbed = 0;
    auto vCheck = [&] {
      // A failure raises, leaving the target as it was; only a failed trace array is absorbed.
      std::string vParts = vTarget ? partsOf(*vTarget) : "none";
      bool vNoTrace = vParts == "-10006 8 s-message|s-id|No trace available";
      vAbsorbed += vNoTrace;
      EXPECT_TRUE(vNoTrace || vParts == (vAssign ? filled("t", 5) : "none")) << vParts;
      EXPECT_EQ(partsOf(vSource), filled("s", 8));
      vReset();
    };
    vReset();
    EXPECT_GT(qpWalkAllocations(vCopy, vCheck, true), 3);
    EXPECT_EQ(vAbsorbed, 1);  // the trace array's failure, which leaves a copy without trace
    EXPECT_EQ(partsOf(*vTarget), filled("s", 8));
  }
  // A shared message, id or trace would show as a double free when the source goes; and an
  // exception with none of them empties the target, which must survive being assigned to itself.
  QpParameterException& vAlias = *vTarget;
  *vTarget = vAlias;
  EXPECT_EQ(partsOf(*vTarget), filled("s", 8));
  *vTarget = QpParameterException();
  EXPECT_EQ(partsOf(*vTarget), "-10006 0 " + kBare);
}

}  // namespace

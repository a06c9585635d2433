// Tests of the error-code vocabulary and of the per-thread last-error record.
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "QpErrorTestTable.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

struct ExpectedCode {
  int mCode;
  int mConstant;  // the integer constant of that name (the code itself when unnamed)
  const char* mName;
  const char* mMessage;
};

using qptest::kRetired;
#define NAMED(code, name, message) {code, name, #name, message},
#define AS_NAMED(code, name, message, leaf, family, retry) NAMED(code, name, message)
#define UNNAMED(code) {code, code, nullptr, kRetired},
const ExpectedCode kTable[] = {QP_EXPECTED_CODES(AS_NAMED, NAMED, UNNAMED)};
#undef NAMED
#undef AS_NAMED
#undef UNNAMED

std::string orNull(const char* inText) {
  return inText == nullptr ? std::string("<null>") : std::string(inText);
}

TEST(QpErrorLookup, EveryCodeHasItsConstantNameAndMessage) {
  EXPECT_EQ(sizeof(kTable) / sizeof(kTable[0]), 89u);
  for (const ExpectedCode& c : kTable) {
    SCOPED_TRACE(c.mCode);
    EXPECT_EQ(c.mConstant, c.mCode);
    EXPECT_EQ(orNull(QpError::GetErrorString(static_cast<short>(c.mCode))), orNull(c.mName));
    EXPECT_EQ(orNull(QpError::GetMessageString(static_cast<short>(c.mCode))), c.mMessage);
  }
}

// Runs inBody on a thread of its own, which starts without a record and whose record is released
// by the key's destructor when it ends (the sanitizer build's leak checker sees what stays).
template <class F>
void onFreshThread(F inBody) {
  std::thread vThread(inBody);
  vThread.join();
}

// This thread's record in one line: "code syserror message|name|trace|class", or "none".
std::string recordOf() {
  QpErrorInfo* v = QpError::GetErrorInfo();
  if (v == nullptr) return "none";
  return std::to_string(v->errorCode) + " " + std::to_string(v->sysErrorCode) + " " +
         orNull(v->message) + "|" + orNull(v->errorString) + "|" + orNull(v->trace) + "|" +
         std::to_string(v->exceptionClass);
}

TEST(QpErrorRecord, SetErrorRecordsReplacesAndClears) {
  onFreshThread([] {
    QpError::ClearError();  // no record yet: nothing happens, and none is made
    EXPECT_EQ(recordOf(), "none");
    QpSocketException vNet(104);
    vNet.SetMessage("m");
    vNet.SetTransID(QpBasicStringBuffer("t"));
    vNet.addTrace("a");
    vNet.addTrace("b");
    QpError::SetError(vNet);
    QpErrorInfo* vInfo = QpError::GetErrorInfo();
    vNet.SetMessage("changed");  // the record owns copies
    EXPECT_EQ(recordOf(), "-10101 104 m (transid='t')|QP_SOCKET_ERR|a<b|1");
    // Each later call replaces every field, in the same record; missing texts come from the table.
    QpParameterException vParam;
    QpError::SetError(vParam);
    EXPECT_EQ(QpError::GetErrorInfo(), vInfo);
    EXPECT_EQ(recordOf(), "-10006 0 Wrong parameter detected|QP_PARAM_ERR|No trace available|3");
    vParam.SetErrorCode(-10028);
    QpError::SetError(vParam);
    EXPECT_EQ(recordOf(), "-10028 0 error=-10028|-----|No trace available|3");
    QpServerErrorException vServer;
    vServer.SetTransID(QpBasicStringBuffer("id-7"));
    QpError::SetError(vServer);
    EXPECT_EQ(recordOf(),
              "-10005 0 The server reported an error from the operation (transid='id-7')|"
              "QP_SERVER_ERR|No trace available|2");
    QpError::SetError(vNet);
    for (int i = 0; i < 2; ++i) {  // clearing zeroes the record and keeps it; twice is harmless
      QpError::ClearError();
      EXPECT_EQ(QpError::GetErrorInfo(), vInfo);
      EXPECT_EQ(recordOf(), "0 0 <null>|<null>|<null>|0");
    }
    QpError::SetError(vNet);  // the thread ends with a full record for the key's destructor
  });
  QpError::DestroyError(nullptr);
}

TEST(QpErrorRecord, ConcurrentSetErrorKeepsEachThreadsOwnRecord) {
  const int kRounds = 1000;
  std::atomic<int> vArrived(0), vMismatches(0);
  auto vWorker = [&](int inId) {
    for (int k = 0; k < kRounds; ++k) {
      // Thread 0 records network errors, thread 1 parameter errors, each with its own texts.
      const std::string vText = std::to_string(inId) + "." + std::to_string(k);
      QpSocketException vNet(k);
      QpParameterException vParam(k);
      QpException& e = inId == 0 ? static_cast<QpException&>(vNet) : vParam;
      e.SetMessage("m%s", vText.c_str());
      e.addTrace("f%s", vText.c_str());
      // Both threads start each round together, so that their SetError calls really overlap.
      vArrived.fetch_add(1);
      while (vArrived.load() < 2 * (k + 1)) std::this_thread::yield();
      QpError::SetError(e);
      const std::string vTail = " m" + vText + (inId == 0 ? "|QP_SOCKET_ERR|f" : "|QP_PARAM_ERR|f");
      const std::string vWant = (inId == 0 ? "-10101 " : "-10006 ") + std::to_string(k) + vTail +
                                vText + (inId == 0 ? "|1" : "|3");
      if (recordOf() != vWant) ++vMismatches;
    }
  };
  std::thread vA(vWorker, 0), vB(vWorker, 1);
  vA.join();
  vB.join();
  EXPECT_EQ(vMismatches.load(), 0);
}

TEST(QpErrorRecord, SetErrorNeverThrowsFallsBackToTheTableAndRetriesTheRecord) {
  // On a fresh thread, so that the walk starts with the allocation of the record itself.
  onFreshThread([] {
    ASSERT_NE(QpError::Initialise(), 0);
    EXPECT_EQ(QpError::sInitialised, 1);
    QpParameterException e(7);
    e.SetMessage("m");
    e.SetTransID(QpBasicStringBuffer("t"));
    e.addTrace("a");
    e.addTrace("b");
    int vRuns = 0;
    bool vSawFallback = false;
    auto vSetError = [&] { EXPECT_NO_THROW(QpError::SetError(e)); };
    auto vCheckPartial = [&] {
      // Whatever could not be copied is missing or comes from the table; never anything else.
      // Without memory for the record the first call records nothing; the next one tries again.
      const std::string vRecord = recordOf();
      if (vRuns++ == 0) {
        EXPECT_EQ(vRecord, "none");
      }
      vSawFallback |= vRecord.rfind("-10006 7 Wrong parameter detected", 0) == 0;
      const std::regex kPartial(
          R"(-10006 7 ((m|Wrong parameter detected)( \(transid='t'\))?|<null>))"
          R"(\|(QP_PARAM_ERR|<null>)\|(a<b|<null>)\|[03])");
      EXPECT_TRUE(vRecord == "none" || std::regex_match(vRecord, kPartial)) << vRecord;
    };
    EXPECT_GT(qpWalkAllocations(vSetError, vCheckPartial, /*inMayAbsorb=*/true), 3);
    EXPECT_TRUE(vSawFallback);
    EXPECT_EQ(recordOf(), "-10006 7 m (transid='t')|QP_PARAM_ERR|a<b|3");
  });
}

}  // namespace

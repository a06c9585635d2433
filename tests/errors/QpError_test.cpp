// Tests of the error-code vocabulary and of the per-thread last-error record.
//
// The expected table is written out by hand rather than derived from the library's own table, so
// that a wrong name, message or constant cannot hide behind the very list it was generated from.
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

struct ExpectedCode {
  int mCode;
  int mConstant;         // the integer constant of that name (the code itself when unnamed)
  const char* mName;     // null: the lookup must give no name
  const char* mMessage;  // every listed code has a message
};

const char kRetired[] = "SDK 2.0: no longer used";

// NAMED takes the constant by its spelling, so the lookup's name and the constant's value are both
// checked against the same row.
#define NAMED(name, code, message) \
  { code, name, #name, message }
#define UNNAMED(code) \
  { code, code, nullptr, kRetired }
// clang-format off
const ExpectedCode kTable[] = {
    NAMED(ENOERR, 0, "no error"),
    NAMED(ENOMEM, 12, "Out of memory"),
    NAMED(QP_INVALID_FEDERATION_ERR, -10222, "The federation being used does not have any active members."),
    NAMED(QP_FEDERATED_VER_ERR, -10221, "Detected federated version different than original."),
    NAMED(QP_INVALID_REDIRECT_ERR, -10220, "Server issued a redirect either without providing a redirect packet or redirected to an ineligible cluster."),
    // The apostrophe is the single Windows-1252 byte 0x92, not a UTF-8 sequence.
    NAMED(QP_REDIRECTED_ERR, -10219, "Can\x92" "t continue current operation because server issued a valid redirect but it could not be honored."),
    NAMED(QP_COLLOCATION_ERR, -10218, "Encountered and error during collocation."),
    NAMED(QP_MIGRATION_ERR, -10217, "A write error occurred during migration."),
    NAMED(QP_LOGGING_CALLBACK_ERR, -10216, "An error in the application's registered logging callback occurred"),
    NAMED(QP_UNABLE_TO_GET_LAST_ERROR, -10215, "There was an error with the error reporting system"),
    NAMED(QP_INVALID_XML_ERR, -10214, "The specified string is not valid XML"),
    NAMED(QP_PROFILECLIPID_WRITE_ERR, -10213, "Unable to store the profile clip ID"),
    NAMED(QP_PROBE_TIME_EXPIRED_ERR, -10212, "The probe limit time was reached"),
    NAMED(QP_THREAD_ERR, -10211, "Error creating background thread"),
    NAMED(QP_TAGCLOSED_ERR, -10210, "The QpTag for this object is already closed (Java only)"),
    NAMED(QP_STREAM_ERR, -10209, "An error in the generic stream occurred"),
    NAMED(QP_NOTYET_OPEN_ERR, -10208, "The object is not yet opened"),
    NAMED(QP_OBJECTINUSE_ERR, -10207, "Can't close object because it's still in use"),
    NAMED(QP_OUT_OF_MEMORY_ERR, -10206, "System ran out of memory"),
    NAMED(QP_SDK_INTERNAL_ERR, -10205, "An SDK internal programming error was detected"),
    NAMED(QP_OPERATION_NOT_ALLOWED, -10204, "The use of this operation is restricted"),
    NAMED(QP_WRONG_STREAM_ERR, -10203, "Method expects an input stream and Gets an output stream or vice-versa"),
    NAMED(QP_QUERYCLOSED_ERR, -10202, "The QpQuery for this object is already closed (Java only)"),
    NAMED(QP_OPERATION_REQUIRES_MARK, -10201, "The application requires marker support but stream does not provide it"),
    NAMED(QP_HOLD_VETO_ERR, -10168, "Operation failed: Object under hold."),
    NAMED(QP_RETENTION_VETO_ERR, -10167, "Operation failed: Object under retention."),
    NAMED(QP_METADATA_CONCURRENCY_ERR, -10166, "Server detected a concurrency error."),
    NAMED(QP_METADATA_CONSTRAINT_ERR, -10165, "Mutable metadata constraint error found"),
    NAMED(QP_METADATA_MISMATCH_ERR, -10164, "Mutable metadata mismatch found"),
    NAMED(QP_RETENTION_HOLD_COUNT_ERR, -10163, "Attempt to set more holds than allowed"),
    NAMED(QP_RETENTION_OUT_OF_BOUNDS_ERR, -10162, "Attempt to set a retention period outside min/max range"),
    NAMED(QP_NO_EBR_EVENT_ERR, -10161, "Attempt to delete a clip which is waiting under ebr"),
    NAMED(QP_EBR_OVERRIDE_ERR, -10160, "Attempt to set ebr information a second time"),
    NAMED(QP_NON_EBR_CLIP_ERR, -10159, "Attempt to trigger an ebr event on a non-ebr clip"),
    NAMED(QP_ADVANCED_RETENTION_DISABLED_ERR, -10158, "Compliance feature not supported"),
    NAMED(QP_PROFILECLIPID_NOTFOUND_ERR, -10157, "Clip ID not found"),
    NAMED(QP_TRANSACTION_FAILED_ERR, -10156, "Transaction on the server failed"),
    NAMED(QP_UNKNOWN_AUTH_PROTOCOL_ERR, -10155, "Unknown authentication protocol"),
    NAMED(QP_UNKNOWN_AUTH_SCHEME_ERR, -10154, "Unknown authentication scheme"),
    NAMED(QP_AUTHENTICATION_FAILED_ERR, -10153, "Authentication failed"),
    NAMED(QP_PACKET_FIELD_MISSING_ERR, -10152, "The packet field is missing"),
    NAMED(QP_OPCODE_FIELD_ERR, -10151, "The Query Opcode field is missing from the packet"),
    NAMED(QP_ACCESSNODE_ERR, -10103, "No Access Node can be found"),
    NAMED(QP_PACKETDATA_ERR, -10102, "Wrong data in packet"),
    NAMED(QP_SOCKET_ERR, -10101, "Error on network socket"),
    NAMED(QP_STREAM_BYTECOUNT_MISMATCH_ERR, -10045, "Detected a mismatch in the generic stream bytecount"),
    NAMED(QP_STREAM_VALIDATION_ERR, -10044, "Detected a generic stream usage error"),
    NAMED(QP_DUPLICATE_ID_ERR, -10043, "Duplicate sequence IDs detected."),
    NAMED(QP_SERVER_NO_CAPACITY_ERR, -10042, "The server has no capacity to store this data"),
    NAMED(QP_SERVER_NOTREADY_ERR, -10041, "The server is not yet ready to process your request"),
    NAMED(QP_BLOBBUSY_ERR, -10040, "The blob on the server is busy and cannot be read or written to"),
    NAMED(QP_POOLCLOSED_ERR, -10039, "The QpPool this object belongs to is already closed (java only)"),
    NAMED(QP_CLIPCLOSED_ERR, -10038, "The QpClip this object belongs to is already closed (java only)"),
    NAMED(QP_PROBEPACKET_ERR, -10037, kRetired),  // the one retired code that keeps a name
    NAMED(QP_BLOBIDMISMATCH_ERR, -10036, "BlobID mismatch between client & server, blob corrupt?"),
    UNNAMED(-10035),
    NAMED(QP_NO_SOCKET_AVAIL_ERR, -10034, "No new socket is available for the transaction"),
    NAMED(QP_PROTOCOL_ERR, -10033, "Unknown protocol option"),
    NAMED(QP_MULTI_BLOB_ERR, -10032, "The tag already has data associated with it"),
    NAMED(QP_VERSION_ERR, -10031, "Clip version mismatch"),
    NAMED(QP_TAG_HAS_NO_DATA_ERR, -10030, "tag should have a blob"),
    NAMED(QP_STACK_DEPTH_ERR, -10029, "max depth of enclosing tags is reached"),
    NAMED(QP_FILESYS_ERR, -10027, "file system error occurred (eg. fopen on unknown file)"),
    NAMED(QP_OUT_OF_BOUNDS_ERR, -10026, "the options parameter is out of bounds"),
    NAMED(QP_TAG_READONLY_ERR, -10025, "Some tags cannot be changed!"),
    NAMED(QP_UNEXPECTEDTAG_ERR, -10024, "We expected either a 'file' or 'folder' tag"),
    NAMED(QP_ISNOT_DIRECTORY_ERR, -10023, "We expect a path to a directory, but it's a file"),
    NAMED(QP_TAGTREE_ERR, -10022, "An error in the tagtree was discovered"),
    NAMED(QP_CLIP_NOT_FOUND_ERR, -10021, "Clip CDF is not found in the pool"),
    NAMED(QP_NO_POOL_ERR, -10020, "No connection with any pool"),
    NAMED(QP_WRONG_REFERENCE_ERR, -10019, "We're Getting an invalid reference"),
    NAMED(QP_ATTR_NOT_FOUND_ERR, -10018, "Attribute with that name not found"),
    NAMED(QP_TAG_NOT_FOUND_ERR, -10017, "Tag in Q-Clip description not found"),
    UNNAMED(-10016),
    UNNAMED(-10015),
    NAMED(QP_FILE_NOT_STORED_ERR, -10014, "Blob could not be stored on write or could not be found on import"),
    NAMED(QP_ACK_NOT_RCV_ERR, -10013, "Write acknowledge not received"),
    NAMED(QP_OPERATION_NOT_SUPPORTED, -10012, "Operation not (yet) supported (eg. on flat Q-Clip)"),
    UNNAMED(-10011),
    NAMED(QP_DUPLICATE_FILE_ERR, -10010, "Duplicate Blob already exist on server"),
    UNNAMED(-10009),
    UNNAMED(-10008),
    NAMED(QP_PATH_NOT_FOUND_ERR, -10007, "Path does not correspond to a file/directory on the local system"),
    NAMED(QP_PARAM_ERR, -10006, "Wrong parameter detected"),
    NAMED(QP_SERVER_ERR, -10005, "The server reported an error from the operation"),
    NAMED(QP_NOT_RECEIVE_REPLY_ERR, -10004, "Error receiving reply from the server"),
    NAMED(QP_NOT_SEND_REQUEST_ERR, -10003, "Error sending a request to the server"),
    NAMED(QP_UNKNOWN_OPTION, -10002, "QP_SetIntOption/GetIntOption: unknown option name"),
    NAMED(QP_INVALID_NAME, -10001, "The name is not valid XML"),
};
// clang-format on
#undef NAMED
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

TEST(QpErrorLookup, CodesWithoutAnEntryGiveNothing) {
  std::set<int> vListed;
  for (const ExpectedCode& c : kTable) vListed.insert(c.mCode);
  std::vector<int> vCodes = {-32768, -10223, -10000, -1, 1, 11, 13, 32767};
  int vGaps = 0;
  for (int vCode = -10222; vCode <= -10001; ++vCode) {
    if (vListed.count(vCode) == 0) vCodes.push_back(vCode), ++vGaps;
  }
  // -10200...-10169 (32), -10150...-10104 (47), -10100...-10046 (55) and -10028.
  EXPECT_EQ(vGaps, 32 + 47 + 55 + 1);
  for (int vCode : vCodes) {
    SCOPED_TRACE(vCode);
    EXPECT_EQ(QpError::GetErrorString(static_cast<short>(vCode)), nullptr);
    EXPECT_EQ(QpError::GetMessageString(static_cast<short>(vCode)), nullptr);
  }
}

TEST(QpErrorLookup, LookupsNeedNoMemory) {
  // The lookups serve the error path, often when memory has run out: they must not allocate.
  StFaultArm vArm(0, 1000000);
  for (int vCode = -10223; vCode <= 13; ++vCode) {
    QpError::GetErrorString(static_cast<short>(vCode));
    QpError::GetMessageString(static_cast<short>(vCode));
  }
  EXPECT_EQ(QpFaultHits(), 0);
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

TEST(QpErrorRecord, InitialiseCreatesTheKeyOnce) {
  EXPECT_NE(QpError::Initialise(), 0);
  EXPECT_NE(QpError::Initialise(), 0);
  EXPECT_EQ(QpError::sInitialised, 1);
}

TEST(QpErrorRecord, SetErrorRecordsTheExceptionAndReplacesThePrevious) {
  onFreshThread([] {
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
    QpGenericException vGeneric;
    QpError::SetError(vGeneric);
    EXPECT_EQ(recordOf(), "-1 -1 error=-1|-----|No trace available|0");
    QpServerErrorException vServer;
    vServer.SetTransID(QpBasicStringBuffer("id-7"));
    QpError::SetError(vServer);
    EXPECT_EQ(recordOf(),
              "-10005 0 The server reported an error from the operation (transid='id-7')|"
              "QP_SERVER_ERR|No trace available|2");
    // The thread ends with a full record: the key's destructor must release it.
  });
}

TEST(QpErrorRecord, ClearErrorZeroesTheRecordAndKeepsIt) {
  onFreshThread([] {
    QpError::ClearError();  // no record yet: nothing happens, and none is made
    EXPECT_EQ(recordOf(), "none");
    QpSocketException e(9);
    e.SetMessage("m");
    e.addTrace("a");
    QpError::SetError(e);
    QpErrorInfo* vInfo = QpError::GetErrorInfo();
    ASSERT_NE(vInfo, nullptr);
    for (int i = 0; i < 2; ++i) {  // clearing twice is harmless
      QpError::ClearError();
      EXPECT_EQ(QpError::GetErrorInfo(), vInfo);
      EXPECT_EQ(recordOf(), "0 0 <null>|<null>|<null>|0");
    }
  });
}

TEST(QpErrorRecord, DestroyErrorReleasesARecordAndIgnoresNull) {
  QpError::DestroyError(nullptr);
  auto* vInfo = static_cast<QpErrorInfo*>(qp_calloc(1, sizeof(QpErrorInfo)));
  ASSERT_NE(vInfo, nullptr);
  vInfo->trace = qp_strdup("a<b");
  vInfo->message = qp_strdup("m");
  vInfo->errorString = qp_strdup("QP_PARAM_ERR");
  QpError::DestroyError(vInfo);  // the leak checker reports anything not released
  QpError::DestroyError(qp_calloc(1, sizeof(QpErrorInfo)));
}

TEST(QpErrorRecord, ConcurrentSetErrorKeepsEachThreadsOwnRecord) {
  const int kRounds = 2000;
  std::atomic<int> vArrived(0);
  std::atomic<int> vMismatches(0);
  auto vWorker = [&](int inId) {
    for (int k = 0; k < kRounds; ++k) {
      // Thread 0 records network errors, thread 1 parameter errors, each with its own texts.
      std::string vMessage = "thread " + std::to_string(inId) + " round " + std::to_string(k);
      std::string vLabel = "f" + std::to_string(inId) + "(" + std::to_string(k) + ")";
      QpSocketException vNet(k);
      QpParameterException vParam(k);
      QpException& e = inId == 0 ? static_cast<QpException&>(vNet) : vParam;
      e.SetMessage("%s", vMessage.c_str());
      e.addTrace("%s", vLabel.c_str());
      // Both threads start each round together, so that their SetError calls really overlap.
      vArrived.fetch_add(1);
      while (vArrived.load() < 2 * (k + 1)) std::this_thread::yield();
      QpError::SetError(e);
      std::string vWant =
          inId == 0
              ? "-10101 " + std::to_string(k) + " " + vMessage + "|QP_SOCKET_ERR|" + vLabel + "|1"
              : "-10006 " + std::to_string(k) + " " + vMessage + "|QP_PARAM_ERR|" + vLabel + "|3";
      if (recordOf() != vWant) ++vMismatches;
    }
  };
  std::thread vA(vWorker, 0);
  std::thread vB(vWorker, 1);
  vA.join();
  vB.join();
  EXPECT_EQ(vMismatches.load(), 0);
}

TEST(QpErrorRecord, RecordThatCannotBeAllocatedIsRetriedNextTime) {
  onFreshThread([] {
    ASSERT_NE(QpError::Initialise(), 0);
    QpParameterException e;
    {
      StFaultArm vArm(0, 1000000);  // not even the record can be made
      EXPECT_NO_THROW(QpError::SetError(e));
      EXPECT_GT(QpFaultHits(), 0);
    }
    EXPECT_EQ(recordOf(), "none");
    QpError::SetError(e);
    EXPECT_EQ(recordOf(), "-10006 0 Wrong parameter detected|QP_PARAM_ERR|No trace available|3");
  });
}

TEST(QpErrorRecord, SetErrorNeverThrowsAndFallsBackToTheTable) {
  // On a fresh thread, so that the walk also reaches the allocation of the record itself.
  onFreshThread([] {
    ASSERT_NE(QpError::Initialise(), 0);
    QpParameterException e(7);
    e.SetMessage("m");
    e.SetTransID(QpBasicStringBuffer("t"));
    e.addTrace("a");
    e.addTrace("b");
    bool vSawFallback = false;
    auto vSetError = [&] { EXPECT_NO_THROW(QpError::SetError(e)); };
    auto vCheckPartial = [&] {
      // Whatever could not be copied is missing or comes from the table; never anything else.
      std::string vRecord = recordOf();  // "none" when the record itself could not be made
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

// Tests of the error-code vocabulary and of the per-thread last-error record.
//
// The expected table below is written out by hand from the published vocabulary rather than
// derived from the library's own table, so that a wrong name or message in the library cannot
// hide behind the very list it was generated from.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

struct ExpectedCode {
  int mCode;
  const char* mName;     // null: the lookup must give no name
  const char* mMessage;  // never null here: every listed code has a message
};

const char kRetired[] = "SDK 2.0: no longer used";

// clang-format off
const ExpectedCode kTable[] = {
    {0, "ENOERR", "no error"},
    {12, "ENOMEM", "Out of memory"},
    {-10222, "QP_INVALID_FEDERATION_ERR", "The federation being used does not have any active members."},
    {-10221, "QP_FEDERATED_VER_ERR", "Detected federated version different than original."},
    {-10220, "QP_INVALID_REDIRECT_ERR", "Server issued a redirect either without providing a redirect packet or redirected to an ineligible cluster."},
    // The apostrophe is the single Windows-1252 byte 0x92, not a UTF-8 sequence.
    {-10219, "QP_REDIRECTED_ERR", "Can\x92" "t continue current operation because server issued a valid redirect but it could not be honored."},
    {-10218, "QP_COLLOCATION_ERR", "Encountered and error during collocation."},
    {-10217, "QP_MIGRATION_ERR", "A write error occurred during migration."},
    {-10216, "QP_LOGGING_CALLBACK_ERR", "An error in the application's registered logging callback occurred"},
    {-10215, "QP_UNABLE_TO_GET_LAST_ERROR", "There was an error with the error reporting system"},
    {-10214, "QP_INVALID_XML_ERR", "The specified string is not valid XML"},
    {-10213, "QP_PROFILECLIPID_WRITE_ERR", "Unable to store the profile clip ID"},
    {-10212, "QP_PROBE_TIME_EXPIRED_ERR", "The probe limit time was reached"},
    {-10211, "QP_THREAD_ERR", "Error creating background thread"},
    {-10210, "QP_TAGCLOSED_ERR", "The QpTag for this object is already closed (Java only)"},
    {-10209, "QP_STREAM_ERR", "An error in the generic stream occurred"},
    {-10208, "QP_NOTYET_OPEN_ERR", "The object is not yet opened"},
    {-10207, "QP_OBJECTINUSE_ERR", "Can't close object because it's still in use"},
    {-10206, "QP_OUT_OF_MEMORY_ERR", "System ran out of memory"},
    {-10205, "QP_SDK_INTERNAL_ERR", "An SDK internal programming error was detected"},
    {-10204, "QP_OPERATION_NOT_ALLOWED", "The use of this operation is restricted"},
    {-10203, "QP_WRONG_STREAM_ERR", "Method expects an input stream and Gets an output stream or vice-versa"},
    {-10202, "QP_QUERYCLOSED_ERR", "The QpQuery for this object is already closed (Java only)"},
    {-10201, "QP_OPERATION_REQUIRES_MARK", "The application requires marker support but stream does not provide it"},
    {-10168, "QP_HOLD_VETO_ERR", "Operation failed: Object under hold."},
    {-10167, "QP_RETENTION_VETO_ERR", "Operation failed: Object under retention."},
    {-10166, "QP_METADATA_CONCURRENCY_ERR", "Server detected a concurrency error."},
    {-10165, "QP_METADATA_CONSTRAINT_ERR", "Mutable metadata constraint error found"},
    {-10164, "QP_METADATA_MISMATCH_ERR", "Mutable metadata mismatch found"},
    {-10163, "QP_RETENTION_HOLD_COUNT_ERR", "Attempt to set more holds than allowed"},
    {-10162, "QP_RETENTION_OUT_OF_BOUNDS_ERR", "Attempt to set a retention period outside min/max range"},
    {-10161, "QP_NO_EBR_EVENT_ERR", "Attempt to delete a clip which is waiting under ebr"},
    {-10160, "QP_EBR_OVERRIDE_ERR", "Attempt to set ebr information a second time"},
    {-10159, "QP_NON_EBR_CLIP_ERR", "Attempt to trigger an ebr event on a non-ebr clip"},
    {-10158, "QP_ADVANCED_RETENTION_DISABLED_ERR", "Compliance feature not supported"},
    {-10157, "QP_PROFILECLIPID_NOTFOUND_ERR", "Clip ID not found"},
    {-10156, "QP_TRANSACTION_FAILED_ERR", "Transaction on the server failed"},
    {-10155, "QP_UNKNOWN_AUTH_PROTOCOL_ERR", "Unknown authentication protocol"},
    {-10154, "QP_UNKNOWN_AUTH_SCHEME_ERR", "Unknown authentication scheme"},
    {-10153, "QP_AUTHENTICATION_FAILED_ERR", "Authentication failed"},
    {-10152, "QP_PACKET_FIELD_MISSING_ERR", "The packet field is missing"},
    {-10151, "QP_OPCODE_FIELD_ERR", "The Query Opcode field is missing from the packet"},
    {-10103, "QP_ACCESSNODE_ERR", "No Access Node can be found"},
    {-10102, "QP_PACKETDATA_ERR", "Wrong data in packet"},
    {-10101, "QP_SOCKET_ERR", "Error on network socket"},
    {-10045, "QP_STREAM_BYTECOUNT_MISMATCH_ERR", "Detected a mismatch in the generic stream bytecount"},
    {-10044, "QP_STREAM_VALIDATION_ERR", "Detected a generic stream usage error"},
    {-10043, "QP_DUPLICATE_ID_ERR", "Duplicate sequence IDs detected."},
    {-10042, "QP_SERVER_NO_CAPACITY_ERR", "The server has no capacity to store this data"},
    {-10041, "QP_SERVER_NOTREADY_ERR", "The server is not yet ready to process your request"},
    {-10040, "QP_BLOBBUSY_ERR", "The blob on the server is busy and cannot be read or written to"},
    {-10039, "QP_POOLCLOSED_ERR", "The QpPool this object belongs to is already closed (java only)"},
    {-10038, "QP_CLIPCLOSED_ERR", "The QpClip this object belongs to is already closed (java only)"},
    {-10037, "QP_PROBEPACKET_ERR", kRetired},
    {-10036, "QP_BLOBIDMISMATCH_ERR", "BlobID mismatch between client & server, blob corrupt?"},
    {-10035, nullptr, kRetired},
    {-10034, "QP_NO_SOCKET_AVAIL_ERR", "No new socket is available for the transaction"},
    {-10033, "QP_PROTOCOL_ERR", "Unknown protocol option"},
    {-10032, "QP_MULTI_BLOB_ERR", "The tag already has data associated with it"},
    {-10031, "QP_VERSION_ERR", "Clip version mismatch"},
    {-10030, "QP_TAG_HAS_NO_DATA_ERR", "tag should have a blob"},
    {-10029, "QP_STACK_DEPTH_ERR", "max depth of enclosing tags is reached"},
    {-10027, "QP_FILESYS_ERR", "file system error occurred (eg. fopen on unknown file)"},
    {-10026, "QP_OUT_OF_BOUNDS_ERR", "the options parameter is out of bounds"},
    {-10025, "QP_TAG_READONLY_ERR", "Some tags cannot be changed!"},
    {-10024, "QP_UNEXPECTEDTAG_ERR", "We expected either a 'file' or 'folder' tag"},
    {-10023, "QP_ISNOT_DIRECTORY_ERR", "We expect a path to a directory, but it's a file"},
    {-10022, "QP_TAGTREE_ERR", "An error in the tagtree was discovered"},
    {-10021, "QP_CLIP_NOT_FOUND_ERR", "Clip CDF is not found in the pool"},
    {-10020, "QP_NO_POOL_ERR", "No connection with any pool"},
    {-10019, "QP_WRONG_REFERENCE_ERR", "We're Getting an invalid reference"},
    {-10018, "QP_ATTR_NOT_FOUND_ERR", "Attribute with that name not found"},
    {-10017, "QP_TAG_NOT_FOUND_ERR", "Tag in Q-Clip description not found"},
    {-10016, nullptr, kRetired},
    {-10015, nullptr, kRetired},
    {-10014, "QP_FILE_NOT_STORED_ERR", "Blob could not be stored on write or could not be found on import"},
    {-10013, "QP_ACK_NOT_RCV_ERR", "Write acknowledge not received"},
    {-10012, "QP_OPERATION_NOT_SUPPORTED", "Operation not (yet) supported (eg. on flat Q-Clip)"},
    {-10011, nullptr, kRetired},
    {-10010, "QP_DUPLICATE_FILE_ERR", "Duplicate Blob already exist on server"},
    {-10009, nullptr, kRetired},
    {-10008, nullptr, kRetired},
    {-10007, "QP_PATH_NOT_FOUND_ERR", "Path does not correspond to a file/directory on the local system"},
    {-10006, "QP_PARAM_ERR", "Wrong parameter detected"},
    {-10005, "QP_SERVER_ERR", "The server reported an error from the operation"},
    {-10004, "QP_NOT_RECEIVE_REPLY_ERR", "Error receiving reply from the server"},
    {-10003, "QP_NOT_SEND_REQUEST_ERR", "Error sending a request to the server"},
    {-10002, "QP_UNKNOWN_OPTION", "QP_SetIntOption/GetIntOption: unknown option name"},
    {-10001, "QP_INVALID_NAME", "The name is not valid XML"},
};
// clang-format on

std::string orNull(const char* inText) {
  return inText == nullptr ? std::string("<null>") : std::string(inText);
}

// ---- Lookups ---------------------------------------------------------------------------------

TEST(QpErrorLookup, EveryCodeHasItsNameAndMessage) {
  EXPECT_EQ(sizeof(kTable) / sizeof(kTable[0]), 89u);
  for (const ExpectedCode& c : kTable) {
    SCOPED_TRACE(c.mCode);
    EXPECT_EQ(orNull(QpError::GetErrorString(static_cast<short>(c.mCode))), orNull(c.mName));
    EXPECT_EQ(orNull(QpError::GetMessageString(static_cast<short>(c.mCode))), orNull(c.mMessage));
  }
}

TEST(QpErrorLookup, RedirectedMessageCarriesTheSingleByte0x92) {
  const char* vMessage = QpError::GetMessageString(-10219);
  ASSERT_NE(vMessage, nullptr);
  EXPECT_EQ(std::strncmp(vMessage, "Can", 3), 0);
  EXPECT_EQ(static_cast<unsigned char>(vMessage[3]), 0x92);
  EXPECT_EQ(vMessage[4], 't');
  EXPECT_EQ(std::strlen(vMessage), 100u);
}

TEST(QpErrorLookup, EveryOtherCodeOfTheRangeIsUnassigned) {
  std::set<int> vListed;
  for (const ExpectedCode& c : kTable) vListed.insert(c.mCode);
  int vUnassigned = 0;
  for (int vCode = -10222; vCode <= -10001; ++vCode) {
    if (vListed.count(vCode) != 0) continue;
    SCOPED_TRACE(vCode);
    ++vUnassigned;
    EXPECT_EQ(QpError::GetErrorString(static_cast<short>(vCode)), nullptr);
    EXPECT_EQ(QpError::GetMessageString(static_cast<short>(vCode)), nullptr);
  }
  // -10200...-10169 (32), -10150...-10104 (47), -10100...-10046 (55) and -10028.
  EXPECT_EQ(vUnassigned, 32 + 47 + 55 + 1);
}

TEST(QpErrorLookup, CodesOutsideTheTableGiveNothing) {
  const int kCodes[] = {-10028, -10100, -10150, -10169, -10200, -10223, -10000,
                        -1,     1,      11,     13,     32767,  -32768};
  for (int vCode : kCodes) {
    SCOPED_TRACE(vCode);
    EXPECT_EQ(QpError::GetErrorString(static_cast<short>(vCode)), nullptr);
    EXPECT_EQ(QpError::GetMessageString(static_cast<short>(vCode)), nullptr);
  }
}

TEST(QpErrorLookup, RetiredCodesKeepTheirMessageButNotANameSaveOne) {
  const int kNameless[] = {-10035, -10016, -10015, -10011, -10009, -10008};
  for (int vCode : kNameless) {
    SCOPED_TRACE(vCode);
    EXPECT_EQ(QpError::GetErrorString(static_cast<short>(vCode)), nullptr);
    EXPECT_EQ(orNull(QpError::GetMessageString(static_cast<short>(vCode))), kRetired);
  }
  EXPECT_EQ(orNull(QpError::GetErrorString(-10037)), "QP_PROBEPACKET_ERR");
  EXPECT_EQ(orNull(QpError::GetMessageString(-10037)), kRetired);
}

TEST(QpErrorLookup, LookupsNeedNoMemory) {
  // The lookups serve the error path, often when memory has run out: they must not allocate.
  StFaultArm vArm(0, 1000000);
  for (int vCode = -10223; vCode <= 13; ++vCode) {
    QpError::GetErrorString(static_cast<short>(vCode));
    QpError::GetMessageString(static_cast<short>(vCode));
  }
  EXPECT_EQ(QpFaultHits(), 0);
  // The texts are constants: two lookups give the same storage, nothing for the caller to free.
  EXPECT_EQ(QpError::GetErrorString(-10006), QpError::GetErrorString(-10006));
  EXPECT_EQ(QpError::GetMessageString(-10006), QpError::GetMessageString(-10006));
}

// ---- Named constants -------------------------------------------------------------------------

struct NamedConstant {
  const char* mName;
  int mValue;     // the value the code base gives the constant
  int mExpected;  // the value it must have
};

#define QP_CONST(name, value) \
  { #name, name, value }
// clang-format off
const NamedConstant kConstants[] = {
    QP_CONST(QP_INVALID_NAME, -10001), QP_CONST(QP_UNKNOWN_OPTION, -10002),
    QP_CONST(QP_NOT_SEND_REQUEST_ERR, -10003), QP_CONST(QP_NOT_RECEIVE_REPLY_ERR, -10004),
    QP_CONST(QP_SERVER_ERR, -10005), QP_CONST(QP_PARAM_ERR, -10006),
    QP_CONST(QP_PATH_NOT_FOUND_ERR, -10007), QP_CONST(QP_DUPLICATE_FILE_ERR, -10010),
    QP_CONST(QP_OPERATION_NOT_SUPPORTED, -10012), QP_CONST(QP_ACK_NOT_RCV_ERR, -10013),
    QP_CONST(QP_FILE_NOT_STORED_ERR, -10014), QP_CONST(QP_TAG_NOT_FOUND_ERR, -10017),
    QP_CONST(QP_ATTR_NOT_FOUND_ERR, -10018), QP_CONST(QP_WRONG_REFERENCE_ERR, -10019),
    QP_CONST(QP_NO_POOL_ERR, -10020), QP_CONST(QP_CLIP_NOT_FOUND_ERR, -10021),
    QP_CONST(QP_TAGTREE_ERR, -10022), QP_CONST(QP_ISNOT_DIRECTORY_ERR, -10023),
    QP_CONST(QP_UNEXPECTEDTAG_ERR, -10024), QP_CONST(QP_TAG_READONLY_ERR, -10025),
    QP_CONST(QP_OUT_OF_BOUNDS_ERR, -10026), QP_CONST(QP_FILESYS_ERR, -10027),
    QP_CONST(QP_STACK_DEPTH_ERR, -10029), QP_CONST(QP_TAG_HAS_NO_DATA_ERR, -10030),
    QP_CONST(QP_VERSION_ERR, -10031), QP_CONST(QP_MULTI_BLOB_ERR, -10032),
    QP_CONST(QP_PROTOCOL_ERR, -10033), QP_CONST(QP_NO_SOCKET_AVAIL_ERR, -10034),
    QP_CONST(QP_BLOBIDMISMATCH_ERR, -10036), QP_CONST(QP_PROBEPACKET_ERR, -10037),
    QP_CONST(QP_CLIPCLOSED_ERR, -10038), QP_CONST(QP_POOLCLOSED_ERR, -10039),
    QP_CONST(QP_BLOBBUSY_ERR, -10040), QP_CONST(QP_SERVER_NOTREADY_ERR, -10041),
    QP_CONST(QP_SERVER_NO_CAPACITY_ERR, -10042), QP_CONST(QP_DUPLICATE_ID_ERR, -10043),
    QP_CONST(QP_STREAM_VALIDATION_ERR, -10044), QP_CONST(QP_STREAM_BYTECOUNT_MISMATCH_ERR, -10045),
    QP_CONST(QP_SOCKET_ERR, -10101), QP_CONST(QP_PACKETDATA_ERR, -10102),
    QP_CONST(QP_ACCESSNODE_ERR, -10103), QP_CONST(QP_OPCODE_FIELD_ERR, -10151),
    QP_CONST(QP_PACKET_FIELD_MISSING_ERR, -10152), QP_CONST(QP_AUTHENTICATION_FAILED_ERR, -10153),
    QP_CONST(QP_UNKNOWN_AUTH_SCHEME_ERR, -10154), QP_CONST(QP_UNKNOWN_AUTH_PROTOCOL_ERR, -10155),
    QP_CONST(QP_TRANSACTION_FAILED_ERR, -10156), QP_CONST(QP_PROFILECLIPID_NOTFOUND_ERR, -10157),
    QP_CONST(QP_ADVANCED_RETENTION_DISABLED_ERR, -10158), QP_CONST(QP_NON_EBR_CLIP_ERR, -10159),
    QP_CONST(QP_EBR_OVERRIDE_ERR, -10160), QP_CONST(QP_NO_EBR_EVENT_ERR, -10161),
    QP_CONST(QP_RETENTION_OUT_OF_BOUNDS_ERR, -10162), QP_CONST(QP_RETENTION_HOLD_COUNT_ERR, -10163),
    QP_CONST(QP_METADATA_MISMATCH_ERR, -10164), QP_CONST(QP_METADATA_CONSTRAINT_ERR, -10165),
    QP_CONST(QP_METADATA_CONCURRENCY_ERR, -10166), QP_CONST(QP_RETENTION_VETO_ERR, -10167),
    QP_CONST(QP_HOLD_VETO_ERR, -10168), QP_CONST(QP_OPERATION_REQUIRES_MARK, -10201),
    QP_CONST(QP_QUERYCLOSED_ERR, -10202), QP_CONST(QP_WRONG_STREAM_ERR, -10203),
    QP_CONST(QP_OPERATION_NOT_ALLOWED, -10204), QP_CONST(QP_SDK_INTERNAL_ERR, -10205),
    QP_CONST(QP_OUT_OF_MEMORY_ERR, -10206), QP_CONST(QP_OBJECTINUSE_ERR, -10207),
    QP_CONST(QP_NOTYET_OPEN_ERR, -10208), QP_CONST(QP_STREAM_ERR, -10209),
    QP_CONST(QP_TAGCLOSED_ERR, -10210), QP_CONST(QP_THREAD_ERR, -10211),
    QP_CONST(QP_PROBE_TIME_EXPIRED_ERR, -10212), QP_CONST(QP_PROFILECLIPID_WRITE_ERR, -10213),
    QP_CONST(QP_INVALID_XML_ERR, -10214), QP_CONST(QP_UNABLE_TO_GET_LAST_ERROR, -10215),
    QP_CONST(QP_LOGGING_CALLBACK_ERR, -10216), QP_CONST(QP_MIGRATION_ERR, -10217),
    QP_CONST(QP_COLLOCATION_ERR, -10218), QP_CONST(QP_REDIRECTED_ERR, -10219),
    QP_CONST(QP_INVALID_REDIRECT_ERR, -10220), QP_CONST(QP_FEDERATED_VER_ERR, -10221),
    QP_CONST(QP_INVALID_FEDERATION_ERR, -10222),
};
// clang-format on
#undef QP_CONST

TEST(QpErrorConstants, EveryNamedCodeIsAConstantOfItsValueAndName) {
  EXPECT_EQ(sizeof(kConstants) / sizeof(kConstants[0]), 81u);
  for (const NamedConstant& c : kConstants) {
    SCOPED_TRACE(c.mName);
    EXPECT_EQ(c.mValue, c.mExpected);
    // The constant's own spelling is the name the lookup gives for its value.
    EXPECT_EQ(orNull(QpError::GetErrorString(static_cast<short>(c.mExpected))), c.mName);
  }
}

// ---- The per-thread record -------------------------------------------------------------------

// Runs inBody on a thread of its own, which starts without a record and whose record is freed
// when it ends.
template <class F>
void onFreshThread(F inBody) {
  std::thread vThread(inBody);
  vThread.join();
}

QpBasicStringBuffer transID(const char* inText) {
  return QpBasicStringBuffer(inText);
}

TEST(QpErrorRecord, InitialiseCreatesTheKeyOnce) {
  EXPECT_NE(QpError::Initialise(), 0);
  EXPECT_NE(QpError::Initialise(), 0);
  EXPECT_EQ(QpError::sInitialised, 1);
}

TEST(QpErrorRecord, MissingMessageIsTakenFromTheTable) {
  onFreshThread([] {
    QpParameterException e;
    QpError::SetError(e);
    QpErrorInfo* vInfo = QpError::GetErrorInfo();
    ASSERT_NE(vInfo, nullptr);
    EXPECT_EQ(vInfo->errorCode, -10006);
    EXPECT_EQ(vInfo->sysErrorCode, 0);
    EXPECT_EQ(orNull(vInfo->message), "Wrong parameter detected");
    EXPECT_EQ(orNull(vInfo->errorString), "QP_PARAM_ERR");
    EXPECT_EQ(orNull(vInfo->trace), "No trace available");
    EXPECT_EQ(vInfo->exceptionClass, QpException::EC_CLIENT);
  });
}

TEST(QpErrorRecord, CodeWithoutEntryGivesNumberAndDashes) {
  onFreshThread([] {
    QpParameterException e;
    e.SetErrorCode(-10028);
    QpError::SetError(e);
    QpErrorInfo* vInfo = QpError::GetErrorInfo();
    ASSERT_NE(vInfo, nullptr);
    EXPECT_EQ(vInfo->errorCode, -10028);
    EXPECT_EQ(orNull(vInfo->message), "error=-10028");
    EXPECT_EQ(orNull(vInfo->errorString), "-----");
  });
}

TEST(QpErrorRecord, GenericExceptionRecordsItsClassAndSystemError) {
  onFreshThread([] {
    QpGenericException e;
    QpError::SetError(e);
    QpErrorInfo* vInfo = QpError::GetErrorInfo();
    ASSERT_NE(vInfo, nullptr);
    EXPECT_EQ(vInfo->errorCode, -1);
    EXPECT_EQ(vInfo->sysErrorCode, -1);
    EXPECT_EQ(orNull(vInfo->message), "error=-1");
    EXPECT_EQ(orNull(vInfo->errorString), "-----");
    EXPECT_EQ(vInfo->exceptionClass, QpException::EC_GENERIC);
  });
}

TEST(QpErrorRecord, MessageTransIdTraceAndClassAreCopied) {
  onFreshThread([] {
    QpSocketException e(104);
    e.SetMessage("m");
    e.SetTransID(transID("t"));
    e.addTrace("a");
    e.addTrace("b");
    QpError::SetError(e);
    QpErrorInfo* vInfo = QpError::GetErrorInfo();
    ASSERT_NE(vInfo, nullptr);
    EXPECT_EQ(vInfo->errorCode, -10101);
    EXPECT_EQ(vInfo->sysErrorCode, 104);
    EXPECT_EQ(orNull(vInfo->message), "m (transid='t')");
    EXPECT_EQ(orNull(vInfo->errorString), "QP_SOCKET_ERR");
    EXPECT_EQ(orNull(vInfo->trace), "a<b");
    EXPECT_EQ(vInfo->exceptionClass, QpException::EC_NETWORK);
    // The record owns copies: the exception's later changes do not reach it.
    e.SetMessage("changed");
    EXPECT_EQ(orNull(vInfo->message), "m (transid='t')");
  });
}

TEST(QpErrorRecord, TransIdIsAppendedToTheTableMessage) {
  onFreshThread([] {
    QpServerErrorException e;
    e.SetTransID(transID("id-7"));
    QpError::SetError(e);
    QpErrorInfo* vInfo = QpError::GetErrorInfo();
    ASSERT_NE(vInfo, nullptr);
    EXPECT_EQ(orNull(vInfo->message),
              "The server reported an error from the operation (transid='id-7')");
    EXPECT_EQ(vInfo->exceptionClass, QpException::EC_SERVER);
  });
}

TEST(QpErrorRecord, SecondSetErrorReplacesTheFirstInTheSameRecord) {
  onFreshThread([] {
    QpSocketException vFirst(5);
    vFirst.SetMessage("first");
    vFirst.SetTransID(transID("x"));
    vFirst.addTrace("f1");
    QpError::SetError(vFirst);
    QpErrorInfo* vInfo = QpError::GetErrorInfo();
    ASSERT_NE(vInfo, nullptr);

    QpParameterException vSecond;
    QpError::SetError(vSecond);
    EXPECT_EQ(QpError::GetErrorInfo(), vInfo);
    EXPECT_EQ(vInfo->errorCode, -10006);
    EXPECT_EQ(vInfo->sysErrorCode, 0);
    EXPECT_EQ(orNull(vInfo->message), "Wrong parameter detected");
    EXPECT_EQ(orNull(vInfo->errorString), "QP_PARAM_ERR");
    EXPECT_EQ(orNull(vInfo->trace), "No trace available");
    EXPECT_EQ(vInfo->exceptionClass, QpException::EC_CLIENT);
  });
}

TEST(QpErrorRecord, ClearErrorWithoutRecordDoesNothing) {
  onFreshThread([] {
    QpError::ClearError();
    QpErrorInfo* vInfo = QpError::GetErrorInfo();
    // A thread that never recorded an error has no record; if one exists it must be empty.
    if (vInfo != nullptr) {
      EXPECT_EQ(vInfo->errorCode, 0);
      EXPECT_EQ(vInfo->sysErrorCode, 0);
      EXPECT_EQ(vInfo->trace, nullptr);
      EXPECT_EQ(vInfo->message, nullptr);
      EXPECT_EQ(vInfo->errorString, nullptr);
      EXPECT_EQ(vInfo->exceptionClass, 0);
    }
  });
}

TEST(QpErrorRecord, ClearErrorZeroesTheRecordAndKeepsIt) {
  onFreshThread([] {
    QpSocketException e(9);
    e.SetMessage("m");
    e.addTrace("a");
    QpError::SetError(e);
    QpErrorInfo* vInfo = QpError::GetErrorInfo();
    ASSERT_NE(vInfo, nullptr);
    QpError::ClearError();
    EXPECT_EQ(QpError::GetErrorInfo(), vInfo);
    EXPECT_EQ(vInfo->errorCode, 0);
    EXPECT_EQ(vInfo->sysErrorCode, 0);
    EXPECT_EQ(vInfo->trace, nullptr);
    EXPECT_EQ(vInfo->message, nullptr);
    EXPECT_EQ(vInfo->errorString, nullptr);
    EXPECT_EQ(vInfo->exceptionClass, 0);
    // Clearing twice is harmless.
    QpError::ClearError();
    EXPECT_EQ(QpError::GetErrorInfo(), vInfo);
  });
}

TEST(QpErrorRecord, DestroyErrorReleasesARecordAndIgnoresNull) {
  QpError::DestroyError(nullptr);
  auto* vInfo = static_cast<QpErrorInfo*>(qp_calloc(1, sizeof(QpErrorInfo)));
  ASSERT_NE(vInfo, nullptr);
  vInfo->trace = qp_strdup("a<b");
  vInfo->message = qp_strdup("m");
  vInfo->errorString = qp_strdup("QP_PARAM_ERR");
  // Under the leak checker, anything not released here is reported.
  QpError::DestroyError(vInfo);
  auto* vEmpty = static_cast<QpErrorInfo*>(qp_calloc(1, sizeof(QpErrorInfo)));
  ASSERT_NE(vEmpty, nullptr);
  QpError::DestroyError(vEmpty);
}

TEST(QpErrorRecord, ARecordDiesWithItsThread) {
  // The thread records an error with every part filled and ends without clearing it: the
  // thread-local destructor must release the record and its strings (the leak checker of the
  // sanitizer build sees any that stay behind).
  for (int i = 0; i < 20; ++i) {
    onFreshThread([i] {
      QpNotSendRequestException e(i);
      e.SetMessage("lost %d", i);
      e.SetTransID(transID("tid"));
      e.addTrace("t%d", i);
      QpError::SetError(e);
      QpErrorInfo* vInfo = QpError::GetErrorInfo();
      ASSERT_NE(vInfo, nullptr);
      EXPECT_EQ(orNull(vInfo->message), "lost " + std::to_string(i) + " (transid='tid')");
    });
  }
}

// A reusable rendezvous for N threads: each round starts only when all have arrived, so that
// the SetError calls of the round really overlap.
class RoundBarrier {
 public:
  explicit RoundBarrier(int inCount) : mCount(inCount) {}
  void arriveAndWait() {
    std::unique_lock<std::mutex> vLock(mMutex);
    int vRound = mRound;
    if (++mArrived == mCount) {
      mArrived = 0;
      ++mRound;
      mChanged.notify_all();
      return;
    }
    mChanged.wait(vLock, [&] { return mRound != vRound; });
  }

 private:
  std::mutex mMutex;
  std::condition_variable mChanged;
  int mCount;
  int mArrived = 0;
  int mRound = 0;
};

TEST(QpErrorRecord, ConcurrentSetErrorKeepsEachThreadsOwnRecord) {
  const int kThreads = 2;
  const int kRounds = 2000;
  RoundBarrier vBarrier(kThreads);
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
      vBarrier.arriveAndWait();
      QpError::SetError(e);
      QpErrorInfo* vInfo = QpError::GetErrorInfo();
      bool vOk =
          vInfo != nullptr && vInfo->errorCode == (inId == 0 ? -10101 : -10006) &&
          vInfo->sysErrorCode == k && orNull(vInfo->message) == vMessage &&
          orNull(vInfo->trace) == vLabel &&
          orNull(vInfo->errorString) == (inId == 0 ? "QP_SOCKET_ERR" : "QP_PARAM_ERR") &&
          vInfo->exceptionClass == (inId == 0 ? QpException::EC_NETWORK : QpException::EC_CLIENT);
      if (!vOk) ++vMismatches;
    }
  };
  std::vector<std::thread> vThreads;
  for (int i = 0; i < kThreads; ++i) vThreads.emplace_back(vWorker, i);
  for (std::thread& t : vThreads) t.join();
  EXPECT_EQ(vMismatches.load(), 0);
}

// ---- Out of memory ---------------------------------------------------------------------------

TEST(QpErrorRecord, RecordThatCannotBeAllocatedIsRetriedNextTime) {
  onFreshThread([] {
    ASSERT_NE(QpError::Initialise(), 0);
    QpParameterException e;
    {
      // Every allocation fails: not even the record can be made.
      StFaultArm vArm(0, 1000000);
      EXPECT_NO_THROW(QpError::SetError(e));
      EXPECT_GT(QpFaultHits(), 0);
    }
    EXPECT_EQ(QpError::GetErrorInfo(), nullptr);
    QpError::SetError(e);
    QpErrorInfo* vInfo = QpError::GetErrorInfo();
    ASSERT_NE(vInfo, nullptr);
    EXPECT_EQ(orNull(vInfo->message), "Wrong parameter detected");
  });
}

TEST(QpErrorRecord, SetErrorNeverThrowsWhenMemoryRunsOut) {
  // On a fresh thread, so that the walk also reaches the allocation of the record itself.
  onFreshThread([] {
    ASSERT_NE(QpError::Initialise(), 0);
    QpParameterException e(7);
    e.SetMessage("m");
    e.SetTransID(transID("t"));
    e.addTrace("a");
    e.addTrace("b");
    auto vSetError = [&] {
      try {
        QpError::SetError(e);
      } catch (...) {
        ADD_FAILURE() << "SetError raised";
      }
    };
    auto vCheckPartial = [&] {
      QpErrorInfo* vInfo = QpError::GetErrorInfo();
      if (vInfo == nullptr) return;  // the record itself could not be made
      EXPECT_EQ(vInfo->errorCode, -10006);
      EXPECT_EQ(vInfo->sysErrorCode, 7);
      // Whatever could not be copied is missing or comes from the table; never anything else.
      std::string vMessage = orNull(vInfo->message);
      EXPECT_TRUE(vMessage == "m (transid='t')" || vMessage == "m" ||
                  vMessage == "Wrong parameter detected" ||
                  vMessage == "Wrong parameter detected (transid='t')" || vMessage == "<null>")
          << vMessage;
      std::string vName = orNull(vInfo->errorString);
      EXPECT_TRUE(vName == "QP_PARAM_ERR" || vName == "<null>") << vName;
      std::string vTrace = orNull(vInfo->trace);
      EXPECT_TRUE(vTrace == "a<b" || vTrace == "<null>") << vTrace;
      EXPECT_TRUE(vInfo->exceptionClass == QpException::EC_CLIENT || vInfo->exceptionClass == 0);
    };
    int vAllocations = qpWalkAllocations(vSetError, vCheckPartial, /*inMayAbsorb=*/true);
    EXPECT_GT(vAllocations, 3);
    QpErrorInfo* vInfo = QpError::GetErrorInfo();
    ASSERT_NE(vInfo, nullptr);
    EXPECT_EQ(orNull(vInfo->message), "m (transid='t')");
    EXPECT_EQ(orNull(vInfo->errorString), "QP_PARAM_ERR");
    EXPECT_EQ(orNull(vInfo->trace), "a<b");
    EXPECT_EQ(vInfo->exceptionClass, QpException::EC_CLIENT);
  });
}

TEST(QpErrorRecord, TableTextsFillInWhenTheExceptionCannotBeCopied) {
  onFreshThread([] {
    QpSocketException e;
    e.SetMessage("own message");
    QpError::SetError(e);  // makes the record, so that the armed call below only copies
    // Let the record's own strings succeed but fail the exception's copies: walk until the
    // message falls back to the table.
    bool vSawFallback = false;
    for (int n = 0; n < 20 && !vSawFallback; ++n) {
      {
        StFaultArm vArm(n);
        QpError::SetError(e);
      }
      QpErrorInfo* vInfo = QpError::GetErrorInfo();
      ASSERT_NE(vInfo, nullptr);
      if (orNull(vInfo->message) == "Error on network socket") {
        vSawFallback = true;
        EXPECT_EQ(orNull(vInfo->errorString), "QP_SOCKET_ERR");
      }
    }
    EXPECT_TRUE(vSawFallback);
  });
}

}  // namespace

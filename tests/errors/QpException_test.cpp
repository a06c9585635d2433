// Tests of the exception family: the leaves and their families, retry rules, trace, message and
// transaction id, the text form, copying, the raise helpers and the out-of-memory paths.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <type_traits>
#include <typeinfo>

#include "QpOsHooks.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

enum Family { kNet, kSrv, kCli, kApp, kOs };

// Every leaf with its code, family and whether a failure of that kind may be retried. Codes are
// written as numbers so that a wrong named constant cannot make a wrong leaf look right.
#define QP_ALL_LEAVES(X)                                        \
  X(QpNotSendRequestException, -10003, kNet, true)              \
  X(QpNotReceiveReplyException, -10004, kNet, true)             \
  X(QpNotReceiveAckException, -10013, kNet, true)               \
  X(QpNoPoolException, -10020, kNet, false)                     \
  X(QpNoSocketAvailException, -10034, kNet, true)               \
  X(QpSocketException, -10101, kNet, true)                      \
  X(QpNoAccessNodeException, -10103, kNet, true)                \
  X(QpServerErrorException, -10005, kSrv, true)                 \
  X(QpDuplicateFileException, -10010, kSrv, false)              \
  X(QpFileNotStoredException, -10014, kSrv, true)               \
  X(QpClipNotFoundException, -10021, kSrv, true)                \
  X(QpVersionException, -10031, kSrv, false)                    \
  X(QpProtocolException, -10033, kSrv, false)                   \
  X(QpBloblIDMismatchException, -10036, kSrv, false)            \
  X(QpBlobBusyException, -10040, kSrv, true)                    \
  X(QpServerNotReadyException, -10041, kSrv, true)              \
  X(QpServerFullException, -10042, kSrv, true)                  \
  X(QpPacketDataException, -10102, kSrv, true)                  \
  X(QpRequiredPacketFieldMissingException, -10152, kSrv, false) \
  X(QpAuthFailedException, -10153, kSrv, false)                 \
  X(QpUnknownAuthSchemeException, -10154, kSrv, false)          \
  X(QpUnknownAuthProtocolException, -10155, kSrv, false)        \
  X(QpTransactionFailedException, -10156, kSrv, true)           \
  X(QpProfileClipIDNotFoundException, -10157, kSrv, false)      \
  X(QpAdvancedRetentionDisabledException, -10158, kSrv, false)  \
  X(QpNonEBRClipException, -10159, kSrv, false)                 \
  X(QpEBROverrideException, -10160, kSrv, false)                \
  X(QpNoEBREventException, -10161, kSrv, false)                 \
  X(QpRetentionOutOfBoundsException, -10162, kSrv, false)       \
  X(QpRetentionHoldCountExceededException, -10163, kSrv, false) \
  X(QpMetadataMismatchException, -10164, kSrv, false)           \
  X(QpMetadataConstraintException, -10165, kSrv, false)         \
  X(QpMetadataConcurrencyException, -10166, kSrv, false)        \
  X(QpRetentionVetoException, -10167, kSrv, false)              \
  X(QpHoldVetoException, -10168, kSrv, false)                   \
  X(QpMigrationException, -10217, kCli, true)                   \
  X(QpCollocationException, -10218, kCli, false)                \
  X(QpRedirectedException, -10219, kCli, true)                  \
  X(QpInvalidRedirectException, -10220, kCli, false)            \
  X(QpFederationVersionException, -10221, kCli, false)          \
  X(QpInvalidFederationException, -10222, kCli, false)          \
  X(QpInvalidNameException, -10001, kApp, false)                \
  X(QpUnknownOptionException, -10002, kApp, false)              \
  X(QpParameterException, -10006, kApp, false)                  \
  X(QpPathNotFoundException, -10007, kApp, false)               \
  X(QpNotSupportedException, -10012, kApp, false)               \
  X(QpTagNotFoundException, -10017, kApp, false)                \
  X(QpAttrNotFoundException, -10018, kApp, false)               \
  X(QpWrongReferenceException, -10019, kApp, false)             \
  X(QpTagTreeException, -10022, kApp, false)                    \
  X(QpNotDirectoryException, -10023, kApp, false)               \
  X(QpUnexpectedTagException, -10024, kApp, false)              \
  X(QpTagReadOnlyException, -10025, kApp, false)                \
  X(QpOutOfBoundsException, -10026, kApp, false)                \
  X(QpFileSystemException, -10027, kApp, false)                 \
  X(QpStackDepthException, -10029, kApp, false)                 \
  X(QpTagHasNoDataException, -10030, kApp, false)               \
  X(QpMultiBlobException, -10032, kApp, false)                  \
  X(QpClipClosedException, -10038, kApp, false)                 \
  X(QpPoolClosedException, -10039, kApp, false)                 \
  X(QpDuplicateSeqIdException, -10043, kApp, false)             \
  X(QpStreamValidationException, -10044, kApp, false)           \
  X(QpStreamMismatchException, -10045, kApp, false)             \
  X(QpMarkRequiredException, -10201, kApp, false)               \
  X(QpQueryClosedException, -10202, kApp, false)                \
  X(QpWrongStreamException, -10203, kApp, false)                \
  X(QpNotAllowedException, -10204, kApp, false)                 \
  X(QpSDKInternalException, -10205, kApp, false)                \
  X(QpInUseException, -10207, kApp, false)                      \
  X(QpNotYetOpenException, -10208, kApp, false)                 \
  X(QpStreamException, -10209, kApp, false)                     \
  X(QpTagClosedException, -10210, kApp, false)                  \
  X(QpThreadException, -10211, kApp, false)                     \
  X(QpProbeLimitExpiredException, -10212, kApp, false)          \
  X(QpProfileClipIDWriteException, -10213, kApp, false)         \
  X(QpInvalidXMLException, -10214, kApp, false)                 \
  X(QpLogCallbackException, -10216, kApp, false)                \
  X(QpOutOfMemException, -10206, kOs, false)

std::string messageOf(QpException& e) {
  return qpTake(e.GetMessageString());
}
std::string traceOf(QpException& e) {
  return qpTake(e.GetTraceString("<"));
}
std::string transIdOf(QpException& e) {
  return qpTake(e.GetTransIDString());
}
std::string textOf(QpException& e) {
  QpBasicStringBuffer vOut;
  e.toString(vOut);
  return vOut.toStringConst();
}

// A leaf built with only its system error; the out-of-memory leaf has no default constructor.
template <class T>
T makeLeaf(int inSysError) {
  return T(inSysError);
}

template <class T>
void checkLeaf(const char* inName, int inCode, Family inFamily, bool inRetryable) {
  SCOPED_TRACE(inName);
  if constexpr (std::is_same_v<T, QpOutOfMemException>) {
    EXPECT_FALSE(std::is_default_constructible_v<T>);
  } else {
    T vDefault;
    EXPECT_EQ(vDefault.GetErrorCode(), inCode);
    EXPECT_EQ(vDefault.GetSysErrorCode(), 0);
  }
  T e = makeLeaf<T>(0);
  EXPECT_EQ(e.GetErrorCode(), inCode);
  EXPECT_EQ(e.GetSysErrorCode(), 0);
  EXPECT_EQ(messageOf(e), "<null>");
  EXPECT_EQ(transIdOf(e), "<null>");
  EXPECT_EQ(traceOf(e), "No trace available");
  T e7 = makeLeaf<T>(7);
  EXPECT_EQ(e7.GetErrorCode(), inCode);
  EXPECT_EQ(e7.GetSysErrorCode(), 7);

  QpException* vBase = &e;
  bool vNet = dynamic_cast<QpNetworkException*>(vBase) != nullptr;
  bool vSrv = dynamic_cast<QpServerException*>(vBase) != nullptr;
  bool vCli = dynamic_cast<QpClientException*>(vBase) != nullptr;
  bool vApp = dynamic_cast<QpApplicationException*>(vBase) != nullptr;
  bool vOs = dynamic_cast<QpOSException*>(vBase) != nullptr;
  EXPECT_EQ(vNet, inFamily == kNet);
  EXPECT_EQ(vSrv, inFamily == kSrv);
  EXPECT_EQ(vCli, inFamily == kCli || inFamily == kApp || inFamily == kOs);
  EXPECT_EQ(vApp, inFamily == kApp);
  EXPECT_EQ(vOs, inFamily == kOs);
  EXPECT_EQ(dynamic_cast<QpGenericException*>(vBase), nullptr);

  QpException::ExceptionClass vClass = inFamily == kNet   ? QpException::EC_NETWORK
                                       : inFamily == kSrv ? QpException::EC_SERVER
                                                          : QpException::EC_CLIENT;
  EXPECT_EQ(e.GetExceptionClass(), vClass);
  T vCopy(e7);
  EXPECT_EQ(vCopy.GetExceptionClass(), vClass);
  EXPECT_EQ(vCopy.GetErrorCode(), inCode);
  EXPECT_EQ(vCopy.GetSysErrorCode(), 7);
  T vAssigned = makeLeaf<T>(1);
  vAssigned = e7;
  EXPECT_EQ(vAssigned.GetExceptionClass(), vClass);
  EXPECT_EQ(vAssigned.GetSysErrorCode(), 7);

  EXPECT_EQ(vBase->isRetryable(), inRetryable);
  QpParameterException vNotRetryable;
  QpSocketException vRetryable;
  EXPECT_TRUE(e.hasLowerSeverity(vNotRetryable));
  EXPECT_FALSE(e.hasLowerSeverity(vRetryable));
  EXPECT_EQ(vNotRetryable.hasLowerSeverity(e), !inRetryable);

  // Thrown by value and caught through the root, the object keeps its class and values.
  try {
    throw e7;
  } catch (QpException& vCaught) {
    EXPECT_EQ(typeid(vCaught), typeid(T));
    EXPECT_EQ(vCaught.GetErrorCode(), inCode);
    EXPECT_EQ(vCaught.GetSysErrorCode(), 7);
    EXPECT_EQ(vCaught.GetExceptionClass(), vClass);
  }
}

TEST(QpExceptionLeaves, EveryLeafHasItsCodeFamilyClassAndRetryRule) {
  int vCount = 0;
#define QP_CHECK_LEAF(Leaf, code, family, retry) \
  checkLeaf<Leaf>(#Leaf, code, family, retry);   \
  ++vCount;
  QP_ALL_LEAVES(QP_CHECK_LEAF)
#undef QP_CHECK_LEAF
  EXPECT_EQ(vCount, 78);
}

TEST(QpExceptionLeaves, FamiliesAreNotConstructibleByCallers) {
  EXPECT_FALSE((std::is_constructible_v<QpNetworkException, int>));
  EXPECT_FALSE((std::is_constructible_v<QpServerException, int>));
  EXPECT_FALSE((std::is_constructible_v<QpClientException, int>));
  EXPECT_FALSE((std::is_constructible_v<QpApplicationException, int>));
  EXPECT_FALSE((std::is_constructible_v<QpOSException, int>));
  EXPECT_TRUE(std::has_virtual_destructor_v<QpException>);
}

TEST(QpExceptionLeaves, RootAndGenericDefaults) {
  QpException e;
  EXPECT_EQ(e.GetErrorCode(), -1);
  EXPECT_EQ(e.GetSysErrorCode(), 0);
  EXPECT_EQ(e.GetExceptionClass(), QpException::EC_GENERIC);
  EXPECT_FALSE(e.isRetryable());
  QpException e5(5);
  EXPECT_EQ(e5.GetSysErrorCode(), 5);
  EXPECT_EQ(e5.GetErrorCode(), -1);

  QpGenericException g;
  EXPECT_EQ(g.GetErrorCode(), -1);
  EXPECT_EQ(g.GetSysErrorCode(), -1);
  EXPECT_EQ(g.GetExceptionClass(), QpException::EC_GENERIC);
  EXPECT_FALSE(g.isRetryable());
  QpGenericException vCopy(g);
  EXPECT_EQ(vCopy.GetExceptionClass(), QpException::EC_GENERIC);
  EXPECT_EQ(vCopy.GetSysErrorCode(), -1);
}

TEST(QpExceptionLeaves, ExceptionClassFollowsCopiesButNotAssignment) {
  QpSocketException s(4);
  s.SetMessage("s");
  // A copy keeps the class of its source, even when sliced to the root.
  QpException vSliced(s);
  EXPECT_EQ(vSliced.GetExceptionClass(), QpException::EC_NETWORK);
  EXPECT_EQ(vSliced.GetErrorCode(), -10101);
  // Assignment copies the data but the target keeps its own class.
  QpException g;
  g = s;
  EXPECT_EQ(g.GetExceptionClass(), QpException::EC_GENERIC);
  EXPECT_EQ(g.GetErrorCode(), -10101);
  EXPECT_EQ(g.GetSysErrorCode(), 4);
  EXPECT_EQ(messageOf(g), "s");
  QpSocketException vNet;
  QpException& vNetAsRoot = vNet;
  QpServerErrorException vSrv;
  vNetAsRoot = vSrv;
  EXPECT_EQ(vNet.GetExceptionClass(), QpException::EC_NETWORK);
  EXPECT_EQ(vNet.GetErrorCode(), -10005);
}

// ---- Retry rules ------------------------------------------------------------------------------

TEST(QpExceptionRetry, ServerLeavesAnswerByTheCodeTheyHold) {
  QpAuthFailedException vAuth;
  EXPECT_FALSE(vAuth.isRetryable());
  vAuth.SetErrorCode(QP_SERVER_ERR);
  EXPECT_TRUE(vAuth.isRetryable());
  vAuth.SetErrorCode(QP_BLOBBUSY_ERR);
  EXPECT_TRUE(vAuth.isRetryable());
  QpServerErrorException vServer;
  EXPECT_TRUE(vServer.isRetryable());
  vServer.SetErrorCode(QP_AUTHENTICATION_FAILED_ERR);
  EXPECT_FALSE(vServer.isRetryable());
  // The retryable codes are exactly these eight; a network code held by a server leaf is not one.
  const int kRetryable[] = {-10156, -10102, -10042, -10041, -10040, -10021, -10014, -10005};
  for (int vCode : kRetryable) {
    vServer.SetErrorCode(vCode);
    EXPECT_TRUE(vServer.isRetryable()) << vCode;
  }
  vServer.SetErrorCode(QP_SOCKET_ERR);
  EXPECT_FALSE(vServer.isRetryable());
}

TEST(QpExceptionRetry, NetworkLeavesAnswerByFamilyNotCode) {
  QpSocketException vSocket;
  vSocket.SetErrorCode(QP_AUTHENTICATION_FAILED_ERR);
  EXPECT_TRUE(vSocket.isRetryable());
  QpNoPoolException vNoPool;
  vNoPool.SetErrorCode(QP_SOCKET_ERR);
  EXPECT_FALSE(vNoPool.isRetryable());
  QpCollocationException vColloc;
  EXPECT_FALSE(vColloc.isRetryable());
  QpRedirectedException vRedirected;
  EXPECT_TRUE(vRedirected.isRetryable());
}

TEST(QpExceptionRetry, MigrationCarriesItsOwnFlagThroughCopies) {
  QpMigrationException m;
  EXPECT_TRUE(m.isRetryable());
  m.setRetryable(false);
  EXPECT_FALSE(m.isRetryable());
  QpMigrationException vCopy(m);
  EXPECT_FALSE(vCopy.isRetryable());
  QpMigrationException vAssigned;
  vAssigned = m;
  EXPECT_FALSE(vAssigned.isRetryable());
  m.setRetryable(true);
  vAssigned = m;
  EXPECT_TRUE(vAssigned.isRetryable());
  m.setErrorCode(QP_PARAM_ERR);
  EXPECT_EQ(m.GetErrorCode(), -10006);
  EXPECT_TRUE(m.isRetryable());
  // The flag, not the code, decides; and severity looks only at the other exception.
  QpParameterException p;
  m.setRetryable(false);
  EXPECT_TRUE(p.hasLowerSeverity(m));
  EXPECT_TRUE(m.hasLowerSeverity(p));
}

// ---- Message, transaction id and trace --------------------------------------------------------

TEST(QpExceptionParts, SetMessageFormatsAndReplaces) {
  QpParameterException e;
  e.SetMessage("%s=%d (%c)", "x", 42, 'y');
  EXPECT_EQ(messageOf(e), "x=42 (y)");
  std::string vLong(1000, 'L');
  e.SetMessage("%s!", vLong.c_str());
  EXPECT_EQ(messageOf(e), vLong + "!");
  e.SetMessage("plain");
  EXPECT_EQ(messageOf(e), "plain");
}

TEST(QpExceptionParts, SetMessageFromBufferCopiesAndEmptyRemoves) {
  QpParameterException e;
  QpBasicStringBuffer vText("from buffer");
  e.SetMessage(vText);
  vText.strcat(" changed later");
  EXPECT_EQ(messageOf(e), "from buffer");
  QpBasicStringBuffer vEmpty;
  e.SetMessage(vEmpty);
  EXPECT_EQ(messageOf(e), "<null>");
  EXPECT_EQ(e.GetMessageA(), nullptr);
  EXPECT_EQ(textOf(e),
            "Exception\n error=-10006\n syserror=0\n message=\n trace=No trace available\n");
}

TEST(QpExceptionParts, SetMessageTakesOwnershipOfAPointer) {
  QpParameterException e;
  e.SetMessage(QpBasicStringBuffer::createNEWInstance("owned"));
  EXPECT_EQ(messageOf(e), "owned");
  e.SetMessage(static_cast<QpBasicStringBuffer*>(nullptr));
  EXPECT_EQ(messageOf(e), "<null>");
}

TEST(QpExceptionParts, GetMessageAIsASeparateCopy) {
  QpParameterException e;
  e.SetMessage("orig");
  QpStringBuffer* vCopy = e.GetMessageA();
  ASSERT_NE(vCopy, nullptr);
  EXPECT_STREQ(vCopy->toStringConst(), "orig");
  vCopy->strcat("+");
  EXPECT_EQ(messageOf(e), "orig");
  delete vCopy;
}

TEST(QpExceptionParts, TransIdIsCopiedAndReplaced) {
  QpParameterException e;
  QpBasicStringBuffer vId("T-1");
  e.SetTransID(vId);
  vId.strcat("x");
  EXPECT_EQ(transIdOf(e), "T-1");
  e.SetTransID(QpBasicStringBuffer("T-2"));
  EXPECT_EQ(transIdOf(e), "T-2");
}

TEST(QpExceptionParts, TraceJoinsOldestFirst) {
  QpParameterException e;
  EXPECT_EQ(traceOf(e), "No trace available");
  EXPECT_EQ(qpTake(e.GetTraceString(nullptr)), "No trace available");
  e.addTrace("a");
  EXPECT_EQ(traceOf(e), "a");
  EXPECT_EQ(qpTake(e.GetTraceString(nullptr)), "a");
  e.addTrace("%s(%d)", "b", 2);
  e.addTrace("c");
  EXPECT_EQ(traceOf(e), "a<b(2)<c");
  EXPECT_EQ(qpTake(e.GetTraceString(" | ")), "a | b(2) | c");
  EXPECT_EQ(qpTake(e.GetTraceString(nullptr)), "ab(2)c");
  QpStringBuffer* vTrace = e.GetTrace("/");
  ASSERT_NE(vTrace, nullptr);
  EXPECT_STREQ(vTrace->toStringConst(), "a/b(2)/c");
  delete vTrace;
}

// ---- Text form ---------------------------------------------------------------------------------

TEST(QpExceptionText, ToStringExactTexts) {
  QpParameterException e;
  e.SetMessage("bad");
  e.addTrace("f(1)");
  QpBasicStringBuffer vOut("previous content is replaced");
  e.toString(vOut);
  EXPECT_STREQ(vOut.toStringConst(),
               "Exception\n error=-10006\n syserror=0\n message=bad\n trace=f(1)\n");
  e.SetTransID(QpBasicStringBuffer("T-9"));
  e.addTrace("g()");
  EXPECT_EQ(textOf(e),
            "Exception\n error=-10006\n syserror=0\n message=bad\n trace=f(1)<g()\n transid=T-9\n");
  QpGenericException g;
  EXPECT_EQ(textOf(g),
            "Exception\n error=-1\n syserror=-1\n message=\n trace=No trace available\n");
  QpSocketException s(-2147483647 - 1);
  EXPECT_EQ(textOf(s),
            "Exception\n error=-10101\n syserror=-2147483648\n message=\n trace=No trace "
            "available\n");
}

TEST(QpExceptionText, PrintWritesTheTextToStandardOutput) {
  QpParameterException e;
  e.SetMessage("bad");
  e.addTrace("f(1)");
  testing::internal::CaptureStdout();
  e.print();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Exception\n error=-10006\n syserror=0\n message=bad\n trace=f(1)\n");
}

TEST(QpExceptionText, LogNeverThrows) {
  QpParameterException e;
  e.SetMessage("%s", "100%s done %n");
  e.addTrace("f(%s)", "%d");
  EXPECT_NO_THROW(e.log("a/b/c.cpp", 10));
  EXPECT_NO_THROW(e.log("a\\b\\c.cpp", 11));
  EXPECT_NO_THROW(e.log("c.cpp", 12));
  EXPECT_NO_THROW(e.log("", 0));
  QpOutOfMemException vOom(12);
  EXPECT_NO_THROW(vOom.log("x/y.cpp", 13));
  // Logging leaves the exception as it was.
  EXPECT_EQ(messageOf(e), "100%s done %n");
  EXPECT_EQ(traceOf(e), "f(%d)");
}

// ---- The out-of-memory exception ---------------------------------------------------------------

TEST(QpOutOfMemException, KeepsNoMessageTraceOrTransId) {
  QpOutOfMemException e(12);
  QpException& vRoot = e;  // the setters are virtual: the root's view must not bypass them
  vRoot.SetMessage("x");
  e.SetMessage("y %d", 1);
  QpBasicStringBuffer vText("z");
  vRoot.SetMessage(vText);
  // Ownership passes; the leak checker reports it if the buffer is kept or dropped undeleted.
  vRoot.SetMessage(QpBasicStringBuffer::createNEWInstance("w"));
  vRoot.addTrace("t");
  e.addTrace("u%d", 2);
  vRoot.SetTransID(vText);
  EXPECT_EQ(messageOf(e), "<null>");
  EXPECT_EQ(transIdOf(e), "<null>");
  EXPECT_EQ(e.GetMessageA(), nullptr);
  EXPECT_EQ(textOf(e),
            "Exception\n error=-10206\n syserror=12\n message=\n trace=No trace available\n");
}

TEST(QpOutOfMemException, NeedsNoMemoryAfterConstruction) {
  QpOutOfMemException e(12);
  QpBasicStringBuffer vText("z");
  StFaultArm vArm(0, 1000000);  // every allocation from here on would fail
  e.SetMessage("x");
  e.addTrace("t");
  e.SetTransID(vText);
  QpOutOfMemException vCopy(e);
  vCopy = e;
  try {
    throw vCopy;
  } catch (QpOutOfMemException& vCaught) {
    EXPECT_EQ(vCaught.GetSysErrorCode(), 12);
  }
  EXPECT_EQ(QpFaultHits(), 0);
}

// ---- Copying -----------------------------------------------------------------------------------

// Opens the protected parts so that copies can be shown to own separate entries.
class PeekException : public QpParameterException {
 public:
  using QpParameterException::QpParameterException;
  QpBasicStringBuffer** entries() { return mTrace; }
  QpBasicStringBuffer* message() { return mMessage; }
  QpBasicStringBuffer* transId() { return mTransID; }
};

void fill(QpException& e, const char* inPrefix) {
  std::string p(inPrefix);
  e.SetMessage("%s-message", inPrefix);
  e.SetTransID(QpBasicStringBuffer((p + "-id").c_str()));
  e.addTrace("%s1", inPrefix);
  e.addTrace("%s2", inPrefix);
  e.addTrace("%s3", inPrefix);
}

void expectFilled(QpException& e, const char* inPrefix, int inSysError) {
  std::string p(inPrefix);
  EXPECT_EQ(messageOf(e), p + "-message");
  EXPECT_EQ(transIdOf(e), p + "-id");
  EXPECT_EQ(traceOf(e), p + "1<" + p + "2<" + p + "3");
  EXPECT_EQ(e.GetErrorCode(), -10006);
  EXPECT_EQ(e.GetSysErrorCode(), inSysError);
}

TEST(QpExceptionCopy, CopyOwnsSeparateEqualParts) {
  std::optional<PeekException> vSource(std::in_place, 21);
  fill(*vSource, "s");
  PeekException vCopy(*vSource);
  QpBasicStringBuffer** vSrc = vSource->entries();
  QpBasicStringBuffer** vDst = vCopy.entries();
  ASSERT_NE(vSrc, nullptr);
  ASSERT_NE(vDst, nullptr);
  EXPECT_NE(vSrc, vDst);
  for (int i = 0; i < 3; ++i) {
    ASSERT_NE(vDst[i], nullptr);
    EXPECT_NE(vSrc[i], vDst[i]);
    EXPECT_STREQ(vSrc[i]->toStringConst(), vDst[i]->toStringConst());
  }
  EXPECT_EQ(vDst[3], nullptr);
  EXPECT_NE(vSource->message(), vCopy.message());
  EXPECT_NE(vSource->transId(), vCopy.transId());
  vSource.reset();
  expectFilled(vCopy, "s", 21);
}

TEST(QpExceptionCopy, AssignmentReplacesEverythingAndLeavesTheSourceAlone) {
  PeekException vSource(21);
  fill(vSource, "s");
  PeekException vTarget(5);
  fill(vTarget, "t");
  vTarget = vSource;
  expectFilled(vTarget, "s", 21);
  expectFilled(vSource, "s", 21);
  EXPECT_NE(vTarget.entries()[0], vSource.entries()[0]);
  // Assigning an exception without parts empties the target.
  PeekException vEmpty;
  vTarget = vEmpty;
  EXPECT_EQ(messageOf(vTarget), "<null>");
  EXPECT_EQ(transIdOf(vTarget), "<null>");
  EXPECT_EQ(traceOf(vTarget), "No trace available");
  EXPECT_EQ(vTarget.GetSysErrorCode(), 0);
}

TEST(QpExceptionCopy, SelfAssignmentKeepsTheObjectIntact) {
  PeekException e(3);
  fill(e, "self");
  PeekException& vAlias = e;
  e = vAlias;
  expectFilled(e, "self", 3);
  QpException& vRoot = e;
  vRoot = vAlias;
  expectFilled(e, "self", 3);
}

// ---- Raise helpers -----------------------------------------------------------------------------

int gLabelEvaluations = 0;
const char* countedLabel() {
  ++gLabelEvaluations;
  return "counted";
}

void quietStep() {
  QP_TRACE_BEGIN(void) 0;
  QP_TRACE_END("quietStep(%s)", countedLabel())
}

void innerStep(int inPort) {
  QP_TRACE_BEGIN
  qpRaise<QpSocketException>(QP_HERE, 111, "refused", "QpSocket.open(%s,%d)", "host", inPort);
  QP_TRACE_END("inner(%s)", "-")
}

void outerStep() {
  QP_TRACE_BEGIN
  innerStep(3218);
  QP_TRACE_END("outer()")
}

TEST(QpRaiseHelpers, RaiseBuildsTheExceptionAndTracesGrowOutwards) {
  bool vCaught = false;
  try {
    outerStep();
  } catch (QpSocketException& e) {
    vCaught = true;
    EXPECT_EQ(e.GetErrorCode(), -10101);
    EXPECT_EQ(e.GetSysErrorCode(), 111);
    EXPECT_EQ(messageOf(e), "refused");
    EXPECT_EQ(traceOf(e), "QpSocket.open(host,3218)<inner(-)<outer()");
  }
  EXPECT_TRUE(vCaught);
  quietStep();
  EXPECT_EQ(gLabelEvaluations, 0);  // labels cost nothing when no exception passes
}

TEST(QpRaiseHelpers, RaiseTakesTheMessageLiterallyAndBothPartsAreOptional) {
  EXPECT_QP_THROW(qpRaise<QpParameterException>(QP_HERE, 0, "50%s done"), QpParameterException,
                  "50%s done");
  try {
    qpRaise<QpFileSystemException>(QP_HERE, 2, nullptr);
  } catch (QpFileSystemException& e) {
    EXPECT_EQ(messageOf(e), "<null>");
    EXPECT_EQ(traceOf(e), "No trace available");
    EXPECT_EQ(e.GetSysErrorCode(), 2);
  }
}

TEST(QpRaiseHelpers, ForeignExceptionsPassTheTraceUntouched) {
  auto vStep = [] {
    QP_TRACE_BEGIN
    throw 42;
    QP_TRACE_END("step()")
  };
  EXPECT_THROW(vStep(), int);
}

TEST(QpRaiseHelpers, QpThrowThrowsACopyOfABuiltException) {
  QpParameterException e(3);
  e.SetMessage("built");
  e.SetTransID(QpBasicStringBuffer("tid"));
  e.addTrace("site()");
  bool vCaught = false;
  try {
    qpThrow(e, QP_HERE);
  } catch (QpParameterException& vThrown) {
    vCaught = true;
    EXPECT_NE(&vThrown, &e);
    EXPECT_EQ(messageOf(vThrown), "built");
    EXPECT_EQ(transIdOf(vThrown), "tid");
    EXPECT_EQ(traceOf(vThrown), "site()");
    EXPECT_EQ(vThrown.GetSysErrorCode(), 3);
  }
  EXPECT_TRUE(vCaught);
  EXPECT_EQ(traceOf(e), "site()");
}

TEST(QpRaiseHelpers, InternalCheckCarriesTheConditionText) {
  try {
    QpSDKInternalException::Throw("some/file.cpp", 12, "inData != NULL");
  } catch (QpSDKInternalException& e) {
    EXPECT_EQ(e.GetErrorCode(), -10205);
    EXPECT_EQ(e.GetSysErrorCode(), 0);
    EXPECT_EQ(messageOf(e), "inData != NULL");
    EXPECT_EQ(traceOf(e), "No trace available");
    EXPECT_EQ(e.GetExceptionClass(), QpException::EC_CLIENT);
  }
  int vEvaluations = 0;
  EXPECT_NO_THROW(QP_CHECK(++vEvaluations == 1));
  EXPECT_EQ(vEvaluations, 1);
  EXPECT_QP_THROW(QP_CHECK(vEvaluations == 2), QpSDKInternalException, "vEvaluations == 2");
  EXPECT_QP_THROW(QP_CHECK(false), QpSDKInternalException, "false");
}

TEST(QpRaiseHelpers, RaiseOutOfMemoryUsesSystemError12) {
  try {
    qpRaiseOutOfMemory(QP_HERE);
  } catch (QpOutOfMemException& e) {
    EXPECT_EQ(e.GetErrorCode(), -10206);
    EXPECT_EQ(e.GetSysErrorCode(), 12);
    EXPECT_EQ(messageOf(e), "<null>");
  }
  EXPECT_THROW(qpRaiseOutOfMemory(QP_HERE), QpOutOfMemException);
}

// ---- Out of memory -----------------------------------------------------------------------------

TEST(QpOutOfMemoryHandler, FailedLibraryNewRaisesOutOfMem) {
  int vSysError = 0;
  int vCode = 0;
  bool vExact = false;
  {
    StFaultArm vArm(0);
    try {
      void* p = qpLibraryNew(32);
      qpLibraryDelete(p);
      ADD_FAILURE() << "the library's new did not fail";
    } catch (QpOutOfMemException& e) {
      vSysError = e.GetSysErrorCode();
      vCode = e.GetErrorCode();
      vExact = typeid(e) == typeid(QpOutOfMemException);
    }
    EXPECT_EQ(QpFaultHits(), 1);
  }
  EXPECT_EQ(vSysError, 12);
  EXPECT_EQ(vCode, -10206);
  EXPECT_TRUE(vExact);
}

TEST(QpOutOfMemoryHandler, FailedNewInsideSetMessageRaisesAndKeepsTheOldMessage) {
  QpParameterException e;
  e.SetMessage("old");
  int vSysError = 0;
  {
    StFaultArm vArm(0);
    try {
      e.SetMessage("new");
      ADD_FAILURE() << "SetMessage did not raise";
    } catch (QpOutOfMemException& vOom) {
      vSysError = vOom.GetSysErrorCode();
    }
  }
  EXPECT_EQ(vSysError, 12);
  EXPECT_EQ(messageOf(e), "old");
}

TEST(QpExceptionOutOfMemory, SettersLeaveTheExceptionAsItWas) {
  PeekException e(4);
  fill(e, "o");
  auto vUnchanged = [&] { expectFilled(e, "o", 4); };
  EXPECT_GT(qpWalkAllocations([&] { e.SetMessage("new %d", 1); }, vUnchanged), 0);
  EXPECT_EQ(messageOf(e), "new 1");
  e.SetMessage("o-message");

  QpBasicStringBuffer vText("from a buffer");
  EXPECT_GT(qpWalkAllocations([&] { e.SetMessage(vText); }, vUnchanged), 0);
  EXPECT_EQ(messageOf(e), "from a buffer");
  e.SetMessage("o-message");

  QpBasicStringBuffer vId("new-id");
  EXPECT_GT(qpWalkAllocations([&] { e.SetTransID(vId); }, vUnchanged), 0);
  EXPECT_EQ(transIdOf(e), "new-id");
  e.SetTransID(QpBasicStringBuffer("o-id"));

  EXPECT_GT(qpWalkAllocations([&] { qpTake(e.GetTraceString("<")); }, vUnchanged), 0);
  EXPECT_GT(qpWalkAllocations([&] { textOf(e); }, vUnchanged), 0);
}

TEST(QpExceptionOutOfMemory, CopyConstructionRaisesOrDropsOnlyTheTrace) {
  PeekException vSource(8);
  fill(vSource, "c");
  int vDroppedTraces = 0;
  auto vCopyOp = [&] {
    PeekException vCopy(vSource);
    if (QpFaultHits() > 0) {
      // Only a missing trace array may be absorbed: the copy then has no trace, all else equal.
      ++vDroppedTraces;
      EXPECT_EQ(traceOf(vCopy), "No trace available");
      EXPECT_EQ(messageOf(vCopy), "c-message");
      EXPECT_EQ(transIdOf(vCopy), "c-id");
      EXPECT_EQ(vCopy.GetSysErrorCode(), 8);
    } else {
      expectFilled(vCopy, "c", 8);
    }
  };
  EXPECT_GT(qpWalkAllocations(
                vCopyOp, [&] { expectFilled(vSource, "c", 8); }, true),
            3);
  EXPECT_LE(vDroppedTraces, 1);
}

TEST(QpExceptionOutOfMemory, AssignmentRaisesAndKeepsTheTarget) {
  PeekException vSource(8);
  fill(vSource, "s");
  PeekException vPristine(5);
  fill(vPristine, "t");
  PeekException vTarget(vPristine);
  bool vRaised = false;
  auto vAssign = [&] {
    vRaised = false;
    try {
      vTarget = vSource;
    } catch (QpOutOfMemException&) {
      vRaised = true;
      throw;
    }
  };
  auto vCheck = [&] {
    if (vRaised) {
      expectFilled(vTarget, "t", 5);
    } else {
      // An absorbed failure can only be the trace array: the rest was assigned.
      EXPECT_EQ(traceOf(vTarget), "No trace available");
      EXPECT_EQ(messageOf(vTarget), "s-message");
      EXPECT_EQ(vTarget.GetSysErrorCode(), 8);
    }
    expectFilled(vSource, "s", 8);
    vTarget = vPristine;
  };
  EXPECT_GT(qpWalkAllocations(vAssign, vCheck, true), 3);
  expectFilled(vTarget, "s", 8);
}

TEST(QpExceptionOutOfMemory, AddTraceNeverThrowsAndKeepsTheTraceWhole) {
  PeekException vPristine;
  vPristine.addTrace("a");
  vPristine.addTrace("b");
  PeekException e(vPristine);
  auto vAdd = [&] {
    try {
      e.addTrace("new %d", 1);
    } catch (...) {
      ADD_FAILURE() << "addTrace raised";
    }
  };
  auto vCheck = [&] {
    std::string vTrace = traceOf(e);
    EXPECT_TRUE(vTrace == "a<b" || vTrace == "a<b<new 1") << vTrace;
    QpBasicStringBuffer** vEntries = e.entries();
    ASSERT_NE(vEntries, nullptr);
    int n = 0;
    while (vEntries[n] != nullptr) ++n;
    EXPECT_TRUE(n == 2 || n == 3) << n;
    e = vPristine;
  };
  EXPECT_GT(qpWalkAllocations(vAdd, vCheck, true), 0);
  EXPECT_EQ(traceOf(e), "a<b<new 1");
}

}  // namespace

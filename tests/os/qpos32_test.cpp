// Tests of the OS layer (qpos32.h): what the rest of the library relies on beyond the POSIX
// namesakes. The socket tests use the loopback interface only.
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "QpFaultInjection.h"
#include "QpOsHooks.h"
#include "QpWinsock.h"
#include "qpos32.h"

// <sys/stat.h> makes st_mtime a macro, which would rename qp_stat_t's field in this file.
#undef st_mtime

namespace {

// ---- Mutexes -----------------------------------------------------------------------------------

TEST(QpMutexOs, HolderRelocksAndEachLockNeedsItsUnlock) {
  qp_mutex_t vMutex;
  ASSERT_EQ(qp_mutex_init(&vMutex, nullptr), 0);
  EXPECT_FALSE(qp_mutex_held(&vMutex));
  ASSERT_EQ(qp_mutex_lock(&vMutex), 0);
  ASSERT_EQ(qp_mutex_lock(&vMutex), 0);  // the holder is admitted at once
  EXPECT_TRUE(qp_mutex_held(&vMutex));
  EXPECT_EQ(qp_mutex_unlock(&vMutex), 0);
  EXPECT_TRUE(qp_mutex_held(&vMutex)) << "one lock is still outstanding";
  EXPECT_EQ(qp_mutex_unlock(&vMutex), 0);
  EXPECT_FALSE(qp_mutex_held(&vMutex));
  EXPECT_EQ(qp_mutex_unlock(&vMutex), EPERM) << "unlock of a free mutex";
  EXPECT_EQ(qp_mutex_destroy(&vMutex), 0);
}

TEST(QpMutexOs, InitRefusesAttributes) {
  qp_mutex_t vMutex;
  int vAttr = 0;
  EXPECT_EQ(qp_mutex_init(&vMutex, &vAttr), EINVAL);
  EXPECT_EQ(qp_recursive_mutex_init(&vMutex, &vAttr), EINVAL);
}

TEST(QpMutexOs, SecondThreadWaitsForTheHolder) {
  qp_mutex_t vMutex;
  ASSERT_EQ(qp_mutex_init(&vMutex, nullptr), 0);
  ASSERT_EQ(qp_mutex_lock(&vMutex), 0);
  int vWrittenUnderLock = 0;  // plain int: the mutex alone orders the two threads' accesses
  int vSeenByOther = -1;
  std::atomic<bool> vOtherStarted{false};
  std::thread vOther([&] {
    EXPECT_FALSE(qp_mutex_held(&vMutex));
    EXPECT_EQ(qp_mutex_unlock(&vMutex), EPERM) << "a non-holder's unlock is refused";
    vOtherStarted = true;
    EXPECT_EQ(qp_mutex_lock(&vMutex), 0);
    vSeenByOther = vWrittenUnderLock;
    EXPECT_TRUE(qp_mutex_held(&vMutex));
    EXPECT_EQ(qp_mutex_unlock(&vMutex), 0);
  });
  while (!vOtherStarted) std::this_thread::yield();
  // The refused unlock left the mutex held by this thread.
  EXPECT_TRUE(qp_mutex_held(&vMutex));
  // Give the other thread every chance to get past its lock if the mutex failed to hold it; the
  // check below does not depend on how long this takes.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  vWrittenUnderLock = 1;
  EXPECT_EQ(qp_mutex_unlock(&vMutex), 0);
  vOther.join();
  EXPECT_EQ(vSeenByOther, 1) << "the other thread got the mutex before the holder released it";
  EXPECT_EQ(qp_mutex_destroy(&vMutex), 0);
}

TEST(QpMutexOs, ExcludesTwoThreadsCountingTogether) {
  qp_recursive_mutex_t vMutex;
  ASSERT_EQ(qp_recursive_mutex_init(&vMutex, nullptr), 0);
  long vCounter = 0;
  auto vCount = [&] {
    for (int i = 0; i < 20000; ++i) {
      ASSERT_EQ(qp_recursive_mutex_lock(&vMutex), 0);
      ASSERT_EQ(qp_recursive_mutex_lock(&vMutex), 0);
      ++vCounter;
      ASSERT_EQ(qp_recursive_mutex_unlock(&vMutex), 0);
      ASSERT_EQ(qp_recursive_mutex_unlock(&vMutex), 0);
    }
  };
  std::thread vA(vCount), vB(vCount);
  vA.join();
  vB.join();
  EXPECT_EQ(vCounter, 40000);
  EXPECT_EQ(qp_recursive_mutex_destroy(&vMutex), 0);
}

// ---- Thread-local storage ----------------------------------------------------------------------

std::atomic<void*> gDestroyedValue{nullptr};
std::atomic<int> gDestructorCalls{0};

void recordDestroyed(void* inValue) {
  gDestroyedValue = inValue;
  ++gDestructorCalls;
}

TEST(QpThreadLocal, ValuesArePerThreadAndDestroyedAtThreadEnd) {
  unsigned long vKey = 0;
  ASSERT_EQ(qp_key_create(&vKey, recordDestroyed), 0);
  gDestroyedValue = nullptr;
  gDestructorCalls = 0;
  int vMine = 1, vTheirs = 2;
  ASSERT_EQ(qp_setspecific(vKey, &vMine), 0);
  std::thread vOther([&] {
    EXPECT_EQ(qp_getspecific(vKey), nullptr) << "a new thread starts without a value";
    EXPECT_EQ(qp_setspecific(vKey, &vTheirs), 0);
    EXPECT_EQ(qp_getspecific(vKey), &vTheirs);
  });
  vOther.join();
  EXPECT_EQ(gDestructorCalls, 1);
  EXPECT_EQ(gDestroyedValue, &vTheirs);
  EXPECT_EQ(qp_getspecific(vKey), &vMine);
  // A thread that never set a value is not reported.
  std::thread([] {}).join();
  EXPECT_EQ(gDestructorCalls, 1);
  ASSERT_EQ(qp_setspecific(vKey, nullptr), 0);
  EXPECT_EQ(qp_key_delete(vKey), 0);
}

TEST(QpThreadLocal, ThreadIdsDiffer) {
  const unsigned long vMine = qp_thread_self();
  unsigned long vTheirs = 0;
  std::thread([&] { vTheirs = qp_thread_self(); }).join();
  EXPECT_NE(vMine, 0UL);
  EXPECT_NE(vTheirs, 0UL);
  EXPECT_NE(vMine, vTheirs);
  EXPECT_EQ(qp_thread_self(), vMine);
}

// ---- Files -------------------------------------------------------------------------------------

// A private directory made the current $TMPDIR for the test, so its content can be checked.
class QpTmpDir : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* vOld = std::getenv("TMPDIR");
    mHadOld = vOld != nullptr;
    if (mHadOld) mOld = vOld;
    char vTemplate[] = "/tmp/qpos32_testXXXXXX";
    ASSERT_NE(::mkdtemp(vTemplate), nullptr);
    mDir = vTemplate;
    ::setenv("TMPDIR", mDir.c_str(), 1);
  }
  void TearDown() override {
    if (mHadOld)
      ::setenv("TMPDIR", mOld.c_str(), 1);
    else
      ::unsetenv("TMPDIR");
    ::rmdir(mDir.c_str());
  }
  std::vector<std::string> entries() const {
    std::vector<std::string> vNames;
    DIR* vDir = ::opendir(mDir.c_str());
    if (vDir == nullptr) return vNames;
    while (dirent* vEntry = ::readdir(vDir)) {
      if (std::strcmp(vEntry->d_name, ".") != 0 && std::strcmp(vEntry->d_name, "..") != 0)
        vNames.push_back(vEntry->d_name);
    }
    ::closedir(vDir);
    return vNames;
  }

  std::string mDir;
  std::string mOld;
  bool mHadOld = false;
};

TEST_F(QpTmpDir, TmpfileIsNamelessReadableAndGoneWhenClosed) {
  void* vHandle = qp_newTmpfile();
  ASSERT_NE(vHandle, nullptr);
  FILE* vFile = static_cast<FILE*>(vHandle);
  const int vFd = ::fileno(vFile);
  EXPECT_TRUE(entries().empty()) << "the name is removed at once";
  struct stat vInfo;
  ASSERT_EQ(::fstat(vFd, &vInfo), 0);
  EXPECT_EQ(vInfo.st_nlink, 0u);
  EXPECT_NE(::fcntl(vFd, F_GETFD) & FD_CLOEXEC, 0) << "not inherited across exec";
  ASSERT_EQ(qp_fwrite("hello", 1, 5, vFile), 5u);
  ASSERT_EQ(std::fseek(vFile, 0, SEEK_SET), 0);
  char vBack[6] = {};
  ASSERT_EQ(qp_fread(vBack, 1, 5, vFile), 5u);
  EXPECT_STREQ(vBack, "hello");
  EXPECT_EQ(qp_CloseHandle(vHandle), 0);
  EXPECT_EQ(::fcntl(vFd, F_GETFD), -1) << "closing the handle released the file";
  EXPECT_TRUE(entries().empty());
}

int failingMkstemp(char*) {
  errno = EMFILE;
  return -1;
}

TEST_F(QpTmpDir, TmpfileFailureGivesNullAndErrno) {
  QpOsHooks vHooks = qpOsGetHooks();
  vHooks.mMkstemp = failingMkstemp;
  StOsHooks vScope(vHooks);
  errno = 0;
  EXPECT_EQ(qp_newTmpfile(), nullptr);
  EXPECT_EQ(errno, EMFILE);
  EXPECT_TRUE(entries().empty());
}

TEST_F(QpTmpDir, TmpfileInAMissingDirectoryFails) {
  ::setenv("TMPDIR", (mDir + "/missing").c_str(), 1);
  errno = 0;
  EXPECT_EQ(qp_newTmpfile(), nullptr);
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(QpTmpDir, StatAccessRenameRemove) {
  const std::string vPath = mDir + "/f";
  const std::string vMoved = mDir + "/g";
  qp_stat_t vInfo;
  errno = 0;
  EXPECT_EQ(qp_stat(vPath.c_str(), &vInfo), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(qp_access(vPath.c_str(), 0), -1);

  const QpLong vBefore = qp_time(nullptr);
  FILE* vFile = qp_fopen(vPath.c_str(), "wb");
  ASSERT_NE(vFile, nullptr);
  ASSERT_EQ(qp_fwrite("12345", 1, 5, vFile), 5u);
  ASSERT_EQ(qp_fclose(vFile), 0);
  ASSERT_EQ(qp_stat(vPath.c_str(), &vInfo), 0);
  EXPECT_EQ(vInfo.st_size, 5);
  EXPECT_TRUE(S_ISREG(vInfo.st_mode));
  EXPECT_GE(vInfo.st_mtime, vBefore - 1);  // file systems may round the time down
  EXPECT_LE(vInfo.st_mtime, qp_time(nullptr));
  EXPECT_EQ(qp_access(vPath.c_str(), 0), 0);

  ASSERT_EQ(qp_rename(vPath.c_str(), vMoved.c_str()), 0);
  EXPECT_EQ(qp_access(vPath.c_str(), 0), -1);
  EXPECT_EQ(qp_remove(vMoved.c_str()), 0);
  EXPECT_TRUE(entries().empty());
}

FILE* failingFopen(const char*, const char*) {
  errno = EACCES;
  return nullptr;
}

TEST_F(QpTmpDir, FopenGoesThroughTheHookTable) {
  QpOsHooks vHooks{};  // all null: the platform's, except the one replaced
  vHooks.mFopen = failingFopen;
  {
    StOsHooks vScope(vHooks);
    errno = 0;
    EXPECT_EQ(qp_fopen((mDir + "/x").c_str(), "wb"), nullptr);
    EXPECT_EQ(errno, EACCES);
    void* vHandle = qp_newTmpfile();  // the null entries are the platform's
    EXPECT_NE(vHandle, nullptr);
    qp_CloseHandle(vHandle);
  }
  FILE* vFile = qp_fopen((mDir + "/x").c_str(), "wb");
  ASSERT_NE(vFile, nullptr) << "the scope restored the platform's fopen";
  qp_fclose(vFile);
  qp_remove((mDir + "/x").c_str());
}

// ---- Strings -----------------------------------------------------------------------------------

TEST(QpStrings, CaseInsensitiveCompareIsAsciiOnly) {
  EXPECT_EQ(qp_strcasecmp("HeLLo", "hello"), 0);
  EXPECT_EQ(qp_strcasecmp("", ""), 0);
  EXPECT_LT(qp_strcasecmp("abc", "ABD"), 0);
  EXPECT_GT(qp_strcasecmp("ABD", "abc"), 0);
  EXPECT_LT(qp_strcasecmp("ab", "ABC"), 0);
  EXPECT_GT(qp_strcasecmp("abc", "AB"), 0);
  // Latin-1 capital and small A-umlaut stay different; '@' and '`' are not letters.
  EXPECT_NE(qp_strcasecmp("\xC4", "\xE4"), 0);
  EXPECT_NE(qp_strcasecmp("@", "`"), 0);
}

TEST(QpStrings, StrtokWithCallerOwnedSavePointers) {
  char vFirst[] = "a,,b;c";
  char vSecond[] = "x y";
  char* vSaveFirst = nullptr;
  char* vSaveSecond = nullptr;
  EXPECT_STREQ(qp_strtok_r(vFirst, ",;", &vSaveFirst), "a");
  EXPECT_STREQ(qp_strtok_r(vSecond, " ", &vSaveSecond), "x");
  EXPECT_STREQ(qp_strtok_r(nullptr, ",;", &vSaveFirst), "b");
  EXPECT_STREQ(qp_strtok_r(nullptr, " ", &vSaveSecond), "y");
  EXPECT_STREQ(qp_strtok_r(nullptr, ",;", &vSaveFirst), "c");
  EXPECT_EQ(qp_strtok_r(nullptr, ",;", &vSaveFirst), nullptr);
  EXPECT_EQ(qp_strtok_r(nullptr, " ", &vSaveSecond), nullptr);
}

TEST(QpStrings, StruprChangesAsciiLettersInPlace) {
  char vText[] = "abc-XyZ 09 \xC3\xA9z";
  EXPECT_EQ(qp_strupr(vText), vText);
  EXPECT_STREQ(vText, "ABC-XYZ 09 \xC3\xA9Z");
}

TEST(QpStrings, StrdupCopiesAndFailsWithTheHeap) {
  char* vCopy = qp_strdup("text");
  ASSERT_NE(vCopy, nullptr);
  EXPECT_STREQ(vCopy, "text");
  qp_free(vCopy);
#ifdef QP_FAULT_INJECTION
  StFaultArm vArm(0);
  EXPECT_EQ(qp_strdup("text"), nullptr);
  EXPECT_EQ(QpFaultHits(), 1);
#endif
}

TEST(QpMbstowcs, DecodesUtf8IntoSixteenBitUnits) {
  // A, e-acute, euro sign, U+1F600 (a surrogate pair).
  const char* vText = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  EXPECT_EQ(qp_mbstowcs(nullptr, vText, 0), 5u);
  QpWChar vOut[8];
  for (QpWChar& vUnit : vOut) vUnit = 0xFFFF;
  ASSERT_EQ(qp_mbstowcs(vOut, vText, 8), 5u);
  const QpWChar vWant[] = {0x41, 0xE9, 0x20AC, 0xD83D, 0xDE00, 0};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(vOut[i], vWant[i]) << "unit " << i;
  EXPECT_EQ(vOut[6], 0xFFFF);
}

TEST(QpMbstowcs, StopsAtTheCapacityWithoutSplittingAPair) {
  const char* vText = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  QpWChar vOut[5];
  for (QpWChar& vUnit : vOut) vUnit = 0xFFFF;
  EXPECT_EQ(qp_mbstowcs(vOut, vText, 4), 3u);
  EXPECT_EQ(vOut[2], 0x20AC);
  EXPECT_EQ(vOut[3], 0xFFFF) << "no half pair, no terminator without room";
  EXPECT_EQ(qp_mbstowcs(vOut, vText, 5), 5u);
  EXPECT_EQ(vOut[4], 0xDE00);
}

TEST(QpMbstowcs, RefusesMalformedUtf8) {
  const char* vBad[] = {
      "\x80",              // continuation without a lead byte
      "\xC0\x80",          // overlong NUL
      "\xE0\x80\xAF",      // overlong '/'
      "\xED\xA0\x80",      // an encoded surrogate
      "\xF4\x90\x80\x80",  // beyond U+10FFFF
      "\xE2\x82",          // cut short by the terminator
      "\xFF",
  };
  QpWChar vOut[8];
  for (const char* vText : vBad) {
    errno = 0;
    EXPECT_EQ(qp_mbstowcs(vOut, vText, 8), static_cast<size_t>(-1)) << vText;
    EXPECT_EQ(errno, EILSEQ);
    EXPECT_EQ(qp_mbstowcs(nullptr, vText, 0), static_cast<size_t>(-1));
  }
}

// ---- Time ---------------------------------------------------------------------------------------

TEST(QpTime, TimeIsTheSystemClockInSeconds) {
  const time_t vBefore = ::time(nullptr);
  QpLong vStored = 0;
  const QpLong vNow = qp_time(&vStored);
  const time_t vAfter = ::time(nullptr);
  EXPECT_EQ(vStored, vNow);
  EXPECT_GE(vNow, static_cast<QpLong>(vBefore));
  EXPECT_LE(vNow, static_cast<QpLong>(vAfter));

  qp_timeval vTv;
  ASSERT_EQ(qp_gettimeofday(&vTv, nullptr), 0);
  EXPECT_GE(vTv.tv_sec, static_cast<QpLong>(vBefore));
  EXPECT_LE(vTv.tv_sec, static_cast<QpLong>(::time(nullptr)));
  EXPECT_GE(vTv.tv_usec, 0);
  EXPECT_LT(vTv.tv_usec, 1000000);
}

std::string formatUtc(QpLong inTime) {
  struct tm* vParts = qp_gmtime(&inTime);
  if (vParts == nullptr) return "<null>";
  char vBuf[32];
  const size_t vLen = qp_strftime(vBuf, sizeof vBuf, "%Y-%m-%d %H:%M:%S", vParts);
  return std::string(vBuf, vLen);
}

TEST(QpTime, GmtimeAndStrftimeInUtc) {
  ::setenv("TZ", "America/New_York", 1);  // must not matter
  ::tzset();
  EXPECT_EQ(formatUtc(0), "1970-01-01 00:00:00");
  EXPECT_EQ(formatUtc(951782400), "2000-02-29 00:00:00");
  EXPECT_EQ(formatUtc(4102444799LL), "2099-12-31 23:59:59");  // beyond 32-bit seconds
  EXPECT_EQ(formatUtc(-1), "1969-12-31 23:59:59");
  ::unsetenv("TZ");
  ::tzset();
  char vSmall[4];
  QpLong vZero = 0;
  EXPECT_EQ(qp_strftime(vSmall, sizeof vSmall, "%Y-%m", qp_gmtime(&vZero)), 0u) << "too small";
}

// ---- UUIDs -------------------------------------------------------------------------------------

TEST(QpUuid, TextOfKnownBytes) {
  qp_uuid_t vUuid;
  for (int i = 0; i < 16; ++i) vUuid.mBytes[i] = static_cast<unsigned char>(i * 17);
  char* vText = nullptr;
  ASSERT_EQ(qp_uuid_to_string(&vUuid, &vText), 0);
  EXPECT_STREQ(vText, "00112233-4455-6677-8899-aabbccddeeff");
  qp_uuid_string_free(vText);
}

TEST(QpUuid, RandomVersionFourAndUnique) {
  qp_uuid_t vA, vB;
  ASSERT_EQ(qp_uuid_create(&vA), 0);
  ASSERT_EQ(qp_uuid_create(&vB), 0);
  EXPECT_NE(std::memcmp(vA.mBytes, vB.mBytes, 16), 0);
  char* vText = nullptr;
  ASSERT_EQ(qp_uuid_to_string(&vA, &vText), 0);
  const std::string vStr = vText;
  qp_uuid_string_free(vText);
  ASSERT_EQ(vStr.size(), 36u);
  for (size_t i = 0; i < vStr.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23)
      EXPECT_EQ(vStr[i], '-') << vStr;
    else
      EXPECT_NE(std::strchr("0123456789abcdef", vStr[i]), nullptr) << vStr;
  }
  EXPECT_EQ(vStr[14], '4') << vStr;
  EXPECT_NE(std::strchr("89ab", vStr[19]), nullptr) << vStr;
  EXPECT_EQ(vA.mBytes[6] >> 4, 4);
  EXPECT_EQ(vA.mBytes[8] & 0xC0, 0x80);
}

TEST(QpUuid, TextFailsCleanlyWhenMemoryIsShort) {
#ifdef QP_FAULT_INJECTION
  qp_uuid_t vUuid = {};
  char* vText = reinterpret_cast<char*>(&vUuid);  // must be reset to null
  StFaultArm vArm(0);
  EXPECT_NE(qp_uuid_to_string(&vUuid, &vText), 0);
  EXPECT_EQ(vText, nullptr);
  EXPECT_EQ(QpFaultHits(), 1);
#else
  GTEST_SKIP() << "built without the fault hook";
#endif
}

// ---- Dynamic loading ---------------------------------------------------------------------------

TEST(QpDynamicLoading, LoadsFindsAndCloses) {
  void* vLib = qp_dlopen("libm.so.6");
  ASSERT_NE(vLib, nullptr);
  auto vCos = reinterpret_cast<double (*)(double)>(qp_dlsym(vLib, "cos"));
  ASSERT_NE(vCos, nullptr);
  EXPECT_EQ(vCos(0.0), 1.0);
  EXPECT_EQ(qp_dlsym(vLib, "qp_no_such_symbol"), nullptr);
  EXPECT_EQ(qp_dlclose(vLib), 0);
  EXPECT_EQ(qp_dlopen("libqp_no_such_library.so"), nullptr);
  EXPECT_NE(qp_dlclose(nullptr), 0);
}

// ---- Sockets -----------------------------------------------------------------------------------

TEST(QpInetAddr, DottedTextToNetworkOrder) {
  EXPECT_EQ(qp_inet_addr("127.0.0.1"), static_cast<unsigned long>(htonl(0x7F000001)));
  EXPECT_EQ(qp_inet_addr("10.1.2.3"), static_cast<unsigned long>(htonl(0x0A010203)));
  EXPECT_EQ(qp_inet_addr("junk"), 0xFFFFFFFFUL);
  EXPECT_EQ(qp_inet_addr("256.1.1.1"), 0xFFFFFFFFUL);
  EXPECT_EQ(qp_inet_addr("1.2.3.4.5"), 0xFFFFFFFFUL);
  EXPECT_EQ(qp_inet_addr(""), 0xFFFFFFFFUL);
  EXPECT_EQ(qp_inet_addr(nullptr), 0xFFFFFFFFUL);
}

// A TCP listener on 127.0.0.1 made with plain POSIX calls, and a client made with qp_ calls.
class QpTcpLoopback : public ::testing::Test {
 protected:
  void SetUp() override {
    mListener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(mListener, 0);
    sockaddr_in vAddr = loopback(0);
    ASSERT_EQ(::bind(mListener, reinterpret_cast<sockaddr*>(&vAddr), sizeof vAddr), 0);
    ASSERT_EQ(::listen(mListener, 4), 0);
    socklen_t vLen = sizeof mAddress;
    ASSERT_EQ(::getsockname(mListener, reinterpret_cast<sockaddr*>(&mAddress), &vLen), 0);
  }
  void TearDown() override {
    if (mPeer >= 0) ::close(mPeer);
    if (mClient != QP_INVALID_SOCKET) qp_closesocket(mClient);
    ::close(mListener);
  }
  static sockaddr_in loopback(unsigned short inPort) {
    sockaddr_in vAddr;
    std::memset(&vAddr, 0, sizeof vAddr);
    vAddr.sin_family = AF_INET;
    vAddr.sin_port = htons(inPort);
    vAddr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return vAddr;
  }
  // Connects mClient to the listener through the OS layer and accepts mPeer.
  void connectClient() {
    mClient = qp_socket(QP_WS_AF_INET, QP_WS_SOCK_STREAM, 0);
    ASSERT_NE(mClient, QP_INVALID_SOCKET);
    static_assert(sizeof(sockaddr_in) == 16, "the 16-byte IPv4 socket address");
    ASSERT_EQ(qp_connect(mClient, &mAddress, 16), 0);
    mPeer = ::accept(mListener, nullptr, nullptr);
    ASSERT_GE(mPeer, 0);
  }

  int mListener = -1;
  int mPeer = -1;
  qp_socket_t mClient = QP_INVALID_SOCKET;
  sockaddr_in mAddress;
};

TEST_F(QpTcpLoopback, ConnectSendReceive) {
  connectClient();
  ASSERT_EQ(qp_send(mClient, "ping", 4, 0), 4);
  char vBuf[8] = {};
  ASSERT_EQ(::recv(mPeer, vBuf, 4, MSG_WAITALL), 4);
  EXPECT_STREQ(vBuf, "ping");
  ASSERT_EQ(::send(mPeer, "pong!", 5, 0), 5);
  std::memset(vBuf, 0, sizeof vBuf);
  ASSERT_EQ(qp_recv(mClient, vBuf, 5, QP_WS_MSG_WAITALL), 5);
  EXPECT_STREQ(vBuf, "pong!");
  EXPECT_EQ(qp_send(mClient, "", 0, 0), 0);
}

TEST_F(QpTcpLoopback, ReceiveTimeoutIsWsaeTimedOut) {
  connectClient();
  const int vMillis = 200;
  ASSERT_EQ(qp_setsockopt(mClient, QP_WS_SOL_SOCKET, QP_WS_SO_RCVTIMEO, &vMillis, 4), 0);
  timeval vTimeout = {};
  socklen_t vLen = sizeof vTimeout;
  ASSERT_EQ(::getsockopt(mClient, SOL_SOCKET, SO_RCVTIMEO, &vTimeout, &vLen), 0);
  EXPECT_EQ(vTimeout.tv_sec, 0);
  EXPECT_EQ(vTimeout.tv_usec, 200000);
  WSASetLastError(0);
  char vBuf[4];
  EXPECT_EQ(qp_recv(mClient, vBuf, sizeof vBuf, 0), -1);
  EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
}

TEST_F(QpTcpLoopback, PeerCloseGivesZeroAndSendNeverRaisesSigpipe) {
  connectClient();
  ASSERT_EQ(::send(mPeer, "ab", 2, 0), 2);
  ::close(mPeer);
  mPeer = -1;
  char vBuf[8];
  EXPECT_EQ(qp_recv(mClient, vBuf, sizeof vBuf, 0), 2);
  EXPECT_EQ(qp_recv(mClient, vBuf, sizeof vBuf, 0), 0);
  // The first send after the peer left may still be accepted; the reset it provokes makes a
  // later one fail, and with SIGPIPE at its default that would end this program.
  int vResult = 0;
  for (int i = 0; i < 100 && vResult >= 0; ++i) vResult = qp_send(mClient, "x", 1, 0);
  ASSERT_EQ(vResult, -1);
  EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
}

TEST_F(QpTcpLoopback, ConnectRefusedOnAClosedPort) {
  const int vSpare = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in vAddr = loopback(0);
  ASSERT_EQ(::bind(vSpare, reinterpret_cast<sockaddr*>(&vAddr), sizeof vAddr), 0);
  socklen_t vLen = sizeof vAddr;
  ASSERT_EQ(::getsockname(vSpare, reinterpret_cast<sockaddr*>(&vAddr), &vLen), 0);
  ::close(vSpare);  // bound, never listening, now closed: nothing accepts on that port
  mClient = qp_socket(QP_WS_AF_INET, QP_WS_SOCK_STREAM, 0);
  ASSERT_NE(mClient, QP_INVALID_SOCKET);
  EXPECT_EQ(qp_connect(mClient, &vAddr, 16), -1);
  EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);
}

TEST_F(QpTcpLoopback, OptionsAreTranslatedToThePlatform) {
  connectClient();
  int vOn = 1;
  ASSERT_EQ(qp_setsockopt(mClient, QP_WS_IPPROTO_TCP, QP_WS_TCP_NODELAY, &vOn, 4), 0);
  ASSERT_EQ(qp_setsockopt(mClient, QP_WS_SOL_SOCKET, QP_WS_SO_KEEPALIVE, &vOn, 4), 0);
  const int vSendTimeout = 1500;
  ASSERT_EQ(qp_setsockopt(mClient, QP_WS_SOL_SOCKET, QP_WS_SO_SNDTIMEO, &vSendTimeout, 4), 0);
  const QpWsLinger vLinger = {1, 7};
  ASSERT_EQ(qp_setsockopt(mClient, QP_WS_SOL_SOCKET, QP_WS_SO_LINGER, &vLinger, 4), 0);
  const int vBuffer = 65536;
  ASSERT_EQ(qp_setsockopt(mClient, QP_WS_SOL_SOCKET, QP_WS_SO_RCVBUF, &vBuffer, 4), 0);

  int vValue = 0;
  socklen_t vLen = sizeof vValue;
  ASSERT_EQ(::getsockopt(mClient, IPPROTO_TCP, TCP_NODELAY, &vValue, &vLen), 0);
  EXPECT_NE(vValue, 0);
  ASSERT_EQ(::getsockopt(mClient, SOL_SOCKET, SO_KEEPALIVE, &vValue, &vLen), 0);
  EXPECT_NE(vValue, 0);
  ASSERT_EQ(::getsockopt(mClient, SOL_SOCKET, SO_RCVBUF, &vValue, &vLen), 0);
  EXPECT_GE(vValue, vBuffer);  // Linux reports twice the request, for its bookkeeping
  timeval vTimeout = {};
  vLen = sizeof vTimeout;
  ASSERT_EQ(::getsockopt(mClient, SOL_SOCKET, SO_SNDTIMEO, &vTimeout, &vLen), 0);
  EXPECT_EQ(vTimeout.tv_sec, 1);
  EXPECT_EQ(vTimeout.tv_usec, 500000);
  linger vPosix = {};
  vLen = sizeof vPosix;
  ASSERT_EQ(::getsockopt(mClient, SOL_SOCKET, SO_LINGER, &vPosix, &vLen), 0);
  EXPECT_EQ(vPosix.l_onoff, 1);
  EXPECT_EQ(vPosix.l_linger, 7);
  ASSERT_EQ(qp_setsockopt(mClient, QP_WS_SOL_SOCKET, QP_WS_SO_DONTLINGER, &vOn, 4), 0);
  ASSERT_EQ(::getsockopt(mClient, SOL_SOCKET, SO_LINGER, &vPosix, &vLen), 0);
  EXPECT_EQ(vPosix.l_onoff, 0);
}

TEST_F(QpTcpLoopback, UnknownOptionsAndBadValuesAreRefused) {
  connectClient();
  int vValue = 1;
  WSASetLastError(0);
  EXPECT_EQ(qp_setsockopt(mClient, QP_WS_SOL_SOCKET, 0x7777, &vValue, 4), -1);
  EXPECT_EQ(WSAGetLastError(), WSAENOPROTOOPT);
  WSASetLastError(0);
  EXPECT_EQ(qp_setsockopt(mClient, 99, QP_WS_SO_DEBUG, &vValue, 4), -1);
  EXPECT_EQ(WSAGetLastError(), WSAENOPROTOOPT);
  WSASetLastError(0);
  EXPECT_EQ(qp_setsockopt(mClient, QP_WS_IPPROTO_TCP, 0x7777, &vValue, 4), -1);
  EXPECT_EQ(WSAGetLastError(), WSAENOPROTOOPT);
  EXPECT_EQ(qp_setsockopt(mClient, QP_WS_SOL_SOCKET, QP_WS_SO_RCVTIMEO, &vValue, 2), -1);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
  EXPECT_EQ(qp_setsockopt(mClient, QP_WS_SOL_SOCKET, QP_WS_SO_RCVTIMEO, nullptr, 4), -1);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
  EXPECT_EQ(qp_send(mClient, "x", 1, 0x40), -1) << "an unknown message flag";
  EXPECT_EQ(WSAGetLastError(), WSAEOPNOTSUPP);
}

TEST(QpSockets, FailuresOfTheCallsSetTheWinsockError) {
  EXPECT_EQ(qp_socket(99, QP_WS_SOCK_STREAM, 0), QP_INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSAEAFNOSUPPORT);
  EXPECT_EQ(qp_socket(QP_WS_AF_INET, 99, 0), QP_INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSAESOCKTNOSUPPORT);
  const int vClosed = ::dup(0);
  ::close(vClosed);
  char vBuf[4];
  EXPECT_EQ(qp_send(vClosed, "x", 1, 0), -1);
  EXPECT_EQ(WSAGetLastError(), WSAEBADF);
  EXPECT_EQ(qp_recv(vClosed, vBuf, 4, 0), -1);
  EXPECT_EQ(WSAGetLastError(), WSAEBADF);
  EXPECT_EQ(qp_closesocket(vClosed), -1);
  EXPECT_EQ(WSAGetLastError(), WSAEBADF);
  EXPECT_EQ(errno, EBADF) << "errno is left as the platform set it";
}

// Hook replacements: one refuses sockets, one is interrupted once before it sends.
int sSendCalls = 0;
int sSendFlags = 0;

int refusingSocket(int, int, int) {
  errno = EMFILE;
  return -1;
}

long interruptedOnceSend(int, const void*, size_t inLen, int inFlags) {
  sSendFlags = inFlags;
  if (++sSendCalls == 1) {
    errno = EINTR;
    return -1;
  }
  return static_cast<long>(inLen);
}

TEST(QpSockets, HookTableReachesTheSocketCalls) {
  QpOsHooks vHooks{};
  vHooks.mSocket = refusingSocket;
  vHooks.mSend = interruptedOnceSend;
  StOsHooks vScope(vHooks);
  EXPECT_EQ(qp_socket(QP_WS_AF_INET, QP_WS_SOCK_STREAM, 0), QP_INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSAEMFILE);
  sSendCalls = 0;
  EXPECT_EQ(qp_send(12345, "abc", 3, 0), 3) << "EINTR is retried";
  EXPECT_EQ(sSendCalls, 2);
  EXPECT_NE(sSendFlags & MSG_NOSIGNAL, 0);
}

}  // namespace

// Tests of QpAddress: the accepted and rejected address forms, normalisation, resolution that is
// tried once and never reaches the network (names are refused by a resolver hook), the cluster
// alias rules and aliases.
#include <netdb.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>

#include "QpOsHooks.h"
#include "QpTestSupport.h"

int sLookups = 0;

// Every name lookup of a test fails at once and is counted.
struct NoResolver {
  static QpOsHooks hooks() {
    QpOsHooks vHooks = {};
    vHooks.mGetAddrInfo = [](const char*, const char*, const void*, void**) {
      ++sLookups;
      return EAI_NONAME;
    };
    sLookups = 0;
    return vHooks;
  }
  StOsHooks mHooks{hooks()};
};

TEST(QpAddress, AcceptedAndRejectedForms) {
  const std::string vLongHost(255, 'h'), vTooLongHost(256, 'h'), vLongUpper(255, 'H');
  const struct {
    const char* mText;  // given to strcpy, so normalised first
    const char* mHost;
    int mStream, mDatagram, mScheme;
  } kAccepted[] = {
      {"10.1.2.3", "10.1.2.3", 3218, 3218, 1},
      {"node7:4000", "NODE7", 4000, 0, 1},
      {"node7:4000:4001", "NODE7", 4000, 4001, 1},
      {"ucp://node7:4000", "NODE7", 4000, 0, 0},
      {"HPP://node7", "NODE7", 3218, 3218, 1},
      {"node7:65535:-1", "NODE7", 65535, -1, 1},  // no range on datagram ports
      {vLongHost.c_str(), vLongUpper.c_str(), 3218, 3218, 1},
  };
  for (const auto& vRow : kAccepted) {
    QpAddress vAddress;
    vAddress.strcpy(vRow.mText);
    char vHost[256] = "x";
    int vStream = -7, vDatagram = -7;
    unsigned char vScheme = 7;
    QpAddress::parseAddress(vAddress.toStringConst(), vHost, &vStream, &vDatagram, &vScheme);
    EXPECT_STREQ(vHost, vRow.mHost);
    EXPECT_EQ(vStream, vRow.mStream) << vRow.mText;
    EXPECT_EQ(vDatagram, vRow.mDatagram) << vRow.mText;
    EXPECT_EQ(vScheme, vRow.mScheme) << vRow.mText;
    EXPECT_EQ(qpTake(vAddress.GetAddress()), vHost);
  }
  const char* kRejected[][2] = {
      {"node7:abc", "streamport error\n"},      {"node7:0", "streamport error\n"},
      {"node7:4000x", "streamport error\n"},    {"node7:99999999999", "streamport error\n"},
      {"node7:4000:x", "datagramport error\n"}, {"node7:4000:0", "datagramport error\n"},
      {"node7:65536:1", "invalid port\n"},      {"", "address length error\n"},
      {":4000", "address length error\n"},      {vTooLongHost.c_str(), "address length error\n"},
  };
  for (const auto& vRow : kRejected) {
    QpAddress vAddress;
    vAddress.strcpy(vRow[0]);
    const std::string vTrace = "QpAddress::parseAddress(" + std::string(vAddress.toStringConst()) +
                               ")<QpAddress::validate()";
    EXPECT_QP_FAILURE(QpParameterException, vAddress.validate(), vRow[1], vTrace.c_str());
  }
  QpAddress vFtp;
  vFtp.strcpy("ftp://node7");
  EXPECT_QP_FAILURE(QpProtocolException, vFtp.GetPort(), "QP_PROTOCOL_ERR\n",
                    "QpAddress::parseAddress(ftp://node7)");
  // The length limit is on the text as given, before anything is parsed.
  EXPECT_QP_THROW(QpAddress::parseAddress(std::string(1025, '1').c_str(), 0, 0, 0, 0),
                  QpParameterException, nullptr);
  EXPECT_QP_FAILURE(QpParameterException, QpAddress::parseAddress(nullptr, 0, 0, 0, 0), nullptr,
                    "QpAddress::parseAddress(NULL)");
}

TEST(QpAddress, NormalisesTexts) {
  const struct {
    const char* mText;
    int mLen;
    const char* mNormal;
    short mLoad;
  } kRows[] = {
      {" hpp://10.1.2.3:3218", 1000, "10.1.2.3", 99},
      {"10.1.2.3:4000; load = 40", 1000, "10.1.2.3:4000", 40},
      {"10.1.2.3; load = -4", 1000, "10.1.2.3", -4},
      {"0.0.0.0:3218", 1000, "", 99},
      {"no de 7 :4000", 1000, "node7:4000", 99},
      {"  hpp://node7:4000", 13, "node7", 99},  // the length counts from the very start
      {"  hpp://node7:4000", 5, "", 99},
  };
  for (const auto& vRow : kRows) {
    QpAddress vAddress;
    vAddress.strncpy(vRow.mText, vRow.mLen);
    EXPECT_STREQ(vAddress.toStringConst(), vRow.mNormal) << vRow.mText;
    EXPECT_EQ(vAddress.GetLoad(), vRow.mLoad) << vRow.mText;
  }
}

TEST(QpAddress, ResolvesNumericHostsNamesOnceAndClusterNames) {
  NoResolver vNoNames;
  QpAddress vNumeric("hpp://10.1.2.3:3218", 2);
  const unsigned char kBytes[4] = {10, 1, 2, 3};  // network order in memory
  const std::uint32_t vBinary = static_cast<std::uint32_t>(vNumeric.GetBinaryInternetAddress());
  EXPECT_EQ(std::memcmp(&vBinary, kBytes, 4), 0);
  EXPECT_EQ(sLookups, 0) << "a dotted address needs no lookup";
  QpAddress vName("node7.invalid:4000", 2);
  EXPECT_EQ(vName.GetBinaryInternetAddress(), INADDR_NONE);
  EXPECT_EQ(vName.isAddressStringSupported(), 0);
  EXPECT_EQ(sLookups, 1) << "a failed resolution is kept, not retried";
  EXPECT_EQ(vName.CompareBinaryInternetAddress(vName), 0);
  QpAddress vCopy(vNumeric), vOtherPort("10.1.2.3:4000", 2);
  EXPECT_EQ(vCopy.CompareBinaryInternetAddress(vNumeric), 1);
  EXPECT_EQ(vOtherPort.CompareBinaryInternetAddress(vNumeric), 0);
  vCopy.strcpy("10.9.9.9");  // a new text forgets the old address
  EXPECT_EQ(vCopy.HasBinaryInternetAddress(), 0);
  // Cluster names are supported without a lookup; "lfs" only after one has failed.
  sLookups = 0;
  ::setenv("LFS_CLUSTER_NAME", "mycluster", 1);
  QpAddress vCluster, vCase;
  vCluster.strcpy("mycluster");
  EXPECT_EQ(vCluster.isAddressStringSupported(), 1);
  EXPECT_EQ(vCluster.getSupportedFlag(), 1);
  vCase.strcpy("MyCluster");  // the variable is compared case-sensitively
  EXPECT_EQ(QpAddress::isLfsClusterAddress(&vCase, 1, 0), 0);
  ::unsetenv("LFS_CLUSTER_NAME");
  EXPECT_EQ(sLookups, 0);
  for (const char* vText : {"LFS", "lfs", "Lfs"}) {
    QpAddress vLfs;
    vLfs.strcpy(vText);
    sLookups = 0;
    EXPECT_EQ(vLfs.isAddressStringSupported(), 1) << vText;
    EXPECT_EQ(vLfs.getSupportedFlag(), 1) << vText;
    EXPECT_EQ(sLookups, 1) << "the name is looked up before the \"lfs\" rule applies";
  }
}

TEST(QpAddress, AliasesAssignmentAndOutOfMemory) {
  QpAddress vA, vB, vC;
  vA.strcpy("10.0.0.1");
  vB.strcpy("node7:4000");
  qpWalkAllocations([&] { QpAddress::storeAlias(vA, vB); },
                    [&] { EXPECT_EQ(vA.equals(vB) + vB.equals(vA), 0); });
  EXPECT_EQ(vA.equals(vB) + vB.equals(vA), 2);
  vA.SetLoad(12);
  vA.setSupportedFlag(1);
  vC = vA;  // text, load and flag, but not the aliases
  EXPECT_STREQ(vC.toStringConst(), "10.0.0.1");
  EXPECT_EQ(vC.GetLoad(), 12);
  EXPECT_EQ(vC.getSupportedFlag(), 1);
  EXPECT_EQ(vC.equals(vB), 0);
  qpWalkAllocations([] { QpAddress vAddress("10.1.2.3:4000; load = 40", 2); }, [] {});
}

// Tests of QpAddress: the accepted and rejected address forms, normalisation, resolution that is
// tried once and never reaches the network (names are refused by a resolver hook), the cluster
// alias rules and aliases.
#include <netdb.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "QpOsHooks.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

int sLookups = 0;
int refuseName(const char*, const char*, const void*, void**) {
  ++sLookups;
  return EAI_NONAME;
}

// Every name lookup of a test fails at once and is counted.
struct NoResolver {
  NoResolver() : mHooks(makeHooks()) { sLookups = 0; }
  static QpOsHooks makeHooks() {
    QpOsHooks vHooks = {};
    vHooks.mGetAddrInfo = refuseName;
    return vHooks;
  }
  StOsHooks mHooks;
};

struct ParseRow {
  const char* mText;  // given to strcpy, so normalised first
  const char* mHost;  // when accepted
  int mStream, mDatagram, mScheme;
  const char* mError;  // the message of a rejection; null: none
  bool mProtocol;      // QpProtocolException rather than QpParameterException
};

TEST(QpAddress, AcceptedAndRejectedForms) {
  const std::string vLongHost(255, 'h'), vLongHostUpper(255, 'H');
  const std::string vTooLongHost = vLongHost + "h";
  const ParseRow kRows[] = {
      {"10.1.2.3", "10.1.2.3", 3218, 3218, 1, nullptr, false},
      {"node7:4000", "NODE7", 4000, 0, 1, nullptr, false},
      {"node7:4000:4001", "NODE7", 4000, 4001, 1, nullptr, false},
      {"ucp://node7:4000", "NODE7", 4000, 0, 0, nullptr, false},
      {"HPP://node7", "NODE7", 3218, 3218, 1, nullptr, false},
      {"node7:65535:-1", "NODE7", 65535, -1, 1, nullptr, false},  // no range on datagram ports
      {vLongHost.c_str(), vLongHostUpper.c_str(), 3218, 3218, 1, nullptr, false},
      {"ftp://node7", nullptr, 0, 0, 0, "QP_PROTOCOL_ERR\n", true},
      {"node7:abc", nullptr, 0, 0, 0, "streamport error\n", false},
      {"node7:0", nullptr, 0, 0, 0, "streamport error\n", false},
      {"node7:4000x", nullptr, 0, 0, 0, "streamport error\n", false},
      {"node7:99999999999", nullptr, 0, 0, 0, "streamport error\n", false},
      {"node7:", nullptr, 0, 0, 0, "streamport error\n", false},
      {"node7:4000:x", nullptr, 0, 0, 0, "datagramport error\n", false},
      {"node7:4000:", nullptr, 0, 0, 0, "datagramport error\n", false},
      {"node7:70000", nullptr, 0, 0, 0, "invalid port\n", false},
      {"node7:65536:1", nullptr, 0, 0, 0, "invalid port\n", false},
      {"", nullptr, 0, 0, 0, "address length error\n", false},
      {":4000", nullptr, 0, 0, 0, "address length error\n", false},
      {vTooLongHost.c_str(), nullptr, 0, 0, 0, "address length error\n", false},
  };
  for (const ParseRow& vRow : kRows) {
    QpAddress vAddress;
    vAddress.strcpy(vRow.mText);
    const char* vText = vAddress.toStringConst();
    if (vRow.mError != nullptr) {
      const std::string vTrace = std::string("QpAddress::parseAddress(") + vText + ")";
      if (vRow.mProtocol) {
        EXPECT_QP_FAILURE(QpProtocolException, vAddress.GetPort(), vRow.mError, vTrace.c_str());
      } else {
        EXPECT_QP_FAILURE(QpParameterException, vAddress.GetPort(), vRow.mError, vTrace.c_str());
        EXPECT_QP_FAILURE(QpParameterException, vAddress.validate(), vRow.mError,
                          (vTrace + "<QpAddress::validate()").c_str());
      }
      continue;
    }
    char vHost[256] = "x";
    int vStream = -7, vDatagram = -7;
    unsigned char vScheme = 7;
    QpAddress::parseAddress(vText, vHost, &vStream, &vDatagram, &vScheme);
    EXPECT_STREQ(vHost, vRow.mHost);
    EXPECT_EQ(vStream, vRow.mStream) << vRow.mText;
    EXPECT_EQ(vDatagram, vRow.mDatagram) << vRow.mText;
    EXPECT_EQ(vScheme, vRow.mScheme) << vRow.mText;
    EXPECT_EQ(qpTake(vAddress.GetAddress()), vHost);
    EXPECT_EQ(vAddress.GetDatagramPort(), vRow.mDatagram);
    vAddress.validate();
  }
  // The length limit is on the text as given, before anything is parsed.
  const std::string vLong(1025, '1');
  EXPECT_QP_THROW(QpAddress::parseAddress(vLong.c_str(), nullptr, nullptr, nullptr, nullptr),
                  QpParameterException, nullptr);
  EXPECT_QP_FAILURE(QpParameterException,
                    QpAddress::parseAddress(nullptr, nullptr, nullptr, nullptr, nullptr), nullptr,
                    "QpAddress::parseAddress(NULL)");
  QpAddress vEmpty;
  EXPECT_QP_THROW(vEmpty.validate(), QpParameterException, nullptr);
}

TEST(QpAddress, NormalisesTexts) {
  struct Row {
    const char* mText;
    int mLen;
    const char* mNormal;
    short mLoad;
  } const kRows[] = {
      {" hpp://10.1.2.3:3218", -1, "10.1.2.3", 99},
      {"node7:3218:3219", -1, "node7", 99},
      {"10.1.2.3:4000; load = 40", -1, "10.1.2.3:4000", 40},
      {"10.1.2.3; load = x", -1, "10.1.2.3", 99},
      {"0.0.0.0:3218", -1, "", 99},
      {"HPP://node7:4000", -1, "HPP://node7:4000", 99},
      {"no de 7 :4000", -1, "node7:4000", 99},
      {"  hpp://node7:4000", 13, "node7", 99},  // the length counts from the very start
      {"  hpp://node7:4000", 5, "", 99},
  };
  for (const Row& vRow : kRows) {
    QpAddress vAddress;
    vAddress.strncpy(vRow.mText, vRow.mLen < 0 ? 1000 : vRow.mLen);
    EXPECT_STREQ(vAddress.toStringConst(), vRow.mNormal) << vRow.mText;
    EXPECT_EQ(vAddress.GetLoad(), vRow.mLoad) << vRow.mText;
    if (vRow.mLen < 0) {
      vAddress.strcpy(vRow.mText);
      EXPECT_STREQ(vAddress.toStringConst(), vRow.mNormal) << vRow.mText;
    }
  }
  QpAddress vAddress;
  EXPECT_QP_THROW(vAddress.strcpy(static_cast<const char*>(nullptr)), QpParameterException,
                  nullptr);
}

TEST(QpAddress, ResolvesNumericHostsAndNamesOnce) {
  NoResolver vNoNames;
  QpAddress vNumeric("hpp://10.1.2.3:3218", 2);
  EXPECT_STREQ(vNumeric.toStringConst(), "10.1.2.3");
  EXPECT_EQ(vNumeric.GetPort(), 3218);
  EXPECT_EQ(vNumeric.GetDatagramPort(), 3218);
  const unsigned char kBytes[4] = {10, 1, 2, 3};  // network order in memory
  const std::uint32_t vBinary = static_cast<std::uint32_t>(vNumeric.GetBinaryInternetAddress());
  EXPECT_EQ(std::memcmp(&vBinary, kBytes, 4), 0);
  EXPECT_EQ(sLookups, 0) << "a dotted address needs no lookup";

  QpAddress vName("node7.invalid:4000", 2);
  EXPECT_EQ(sLookups, 1);
  EXPECT_EQ(vName.GetBinaryInternetAddress(), INADDR_NONE);
  EXPECT_EQ(vName.isAddressStringSupported(), 0);
  EXPECT_EQ(sLookups, 1) << "a failed resolution is kept, not retried";
  EXPECT_EQ(vName.CompareBinaryInternetAddress(vName), 0);

  QpAddress vCopy(vNumeric), vOtherPort("10.1.2.3:4000", 2);
  EXPECT_EQ(vCopy.CompareBinaryInternetAddress(vNumeric), 1);
  EXPECT_EQ(vOtherPort.CompareBinaryInternetAddress(vNumeric), 0);
  vCopy.strcpy("10.9.9.9");  // a new text forgets the old address
  EXPECT_EQ(vCopy.HasBinaryInternetAddress(), 0);
  EXPECT_EQ(vCopy.CompareBinaryInternetAddress(vNumeric), 0);
  // A malformed text raises from the constructor, which resolves.
  EXPECT_QP_THROW(QpAddress("node7:0", 2), QpParameterException, "streamport error\n");
}

TEST(QpAddress, ClusterNamesAreSupportedWithoutResolving) {
  NoResolver vNoNames;
  ::setenv("LFS_CLUSTER_NAME", "mycluster", 1);
  QpAddress vCluster;
  vCluster.strcpy("mycluster");
  EXPECT_EQ(vCluster.isAddressStringSupported(), 1);
  EXPECT_EQ(vCluster.getSupportedFlag(), 1);
  EXPECT_EQ(sLookups, 0);
  QpAddress vCase;
  vCase.strcpy("MyCluster");  // the variable is compared case-sensitively
  EXPECT_EQ(QpAddress::isLfsClusterAddress(&vCase, 1, 1), 0);
  ::unsetenv("LFS_CLUSTER_NAME");
  vCluster.setSupportedFlag(0);
  EXPECT_EQ(QpAddress::isLfsClusterAddress(&vCluster, 1, 1), 0);

  for (const char* vText : {"LFS", "lfs", "Lfs"}) {
    QpAddress vLfs;
    vLfs.strcpy(vText);
    sLookups = 0;
    EXPECT_EQ(vLfs.isAddressStringSupported(), 1) << vText;
    EXPECT_EQ(vLfs.getSupportedFlag(), 1) << vText;
    EXPECT_EQ(sLookups, 1) << "the name is looked up before the \"lfs\" rule applies";
  }
}

TEST(QpAddress, AliasesAndAssignment) {
  QpAddress vA, vB, vC;
  vA.strcpy("10.0.0.1");
  vB.strcpy("node7:4000");
  vC.strcpy("10.0.0.1");
  EXPECT_EQ(vA.equals(vC), 1);
  EXPECT_EQ(vA.equals(vB), 0);
  QpAddress::storeAlias(vA, vB);
  EXPECT_EQ(vA.equals(vB), 1);
  EXPECT_EQ(vB.equals(vA), 1);
  vA.SetLoad(12);
  vA.setSupportedFlag(1);
  vC = vA;  // text, load and flag, but not the aliases
  EXPECT_STREQ(vC.toStringConst(), "10.0.0.1");
  EXPECT_EQ(vC.GetLoad(), 12);
  EXPECT_EQ(vC.getSupportedFlag(), 1);
  EXPECT_EQ(vC.equals(vB), 0);
  vC.clear();
  EXPECT_STREQ(vC.toStringConst(), "");
  EXPECT_EQ(vC.GetLoad(), 12);
}

TEST(QpAddress, OutOfMemoryLeavesAddressesAsTheyWere) {
  qpWalkAllocations([] { QpAddress vAddress("10.1.2.3:4000; load = 40", 2); }, [] {});
  QpAddress vA, vB;
  vA.strcpy("10.0.0.1");
  vB.strcpy("10.0.0.2");
  qpWalkAllocations([&] { QpAddress::storeAlias(vA, vB); },
                    [&] {
                      EXPECT_EQ(vA.equals(vB), 0);
                      EXPECT_EQ(vB.equals(vA), 0);
                    });
  EXPECT_EQ(vA.equals(vB), 1);
  QpAddress vHost;
  vHost.strcpy("node7");
  qpWalkAllocations([&] { qp_free(vHost.GetAddress()); }, [] {});
}

}  // namespace

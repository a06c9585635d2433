// qptool's network subcommands and its dispatch, run as a separate process: the demo with its
// embedded node and log, probe and poolinfo against a qpnode process, and the usage errors.
#include <gtest/gtest.h>

#include <QpUtilsLib.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>

#include "tools_helpers.h"

namespace {

TEST(QptoolNet, DemoPrintsNodeLogDumpsAndResultAndWritesTheTabLog) {
  const std::string vLog = testing::TempDir() + "qptool_demo_test.log";
  std::remove(vLog.c_str());
  const QpRunResult vRun = qpRun(QP_QPTOOL_PATH, {"demo", "--log", vLog});
  ASSERT_EQ(vRun.exitCode, 0) << vRun.err;
  EXPECT_EQ(vRun.err, "");
  EXPECT_TRUE(std::regex_search(
      vRun.out, std::regex("^node udp=127\\.0\\.0\\.1:[0-9]+ tcp=127\\.0\\.0\\.1:[0-9]+\nlog " +
                           vLog + "\n")))
      << vRun.out;
  for (const char* vPart :
       {"probe request (", "probe reply (", "poolinfo request (", "poolinfo reply (",
        "  POOLSERVER_OPCODE type=integer value=1\n",
        "  HPP_CLUSTERNAME type=string value=qpnode\n", "\nsegment size: 102400\n",
        "\ncapacity: 1099511627776\n", "\nreplicas: 127.0.0.2\n"}) {
    EXPECT_NE(vRun.out.find(vPart), std::string::npos) << vPart;
  }
  std::ifstream vFile(vLog);
  std::stringstream vText;
  vText << vFile.rdbuf();
  EXPECT_NE(vText.str().find("\t[TRANSACTION]\tProbe Request qptool-probe"), std::string::npos);
  EXPECT_NE(vText.str().find("\t[TRANSACTION]\tGetPoolInfo Request qptool-poolinfo"),
            std::string::npos);
  std::remove(vLog.c_str());
}

TEST(QptoolNet, ProbeAndPoolinfoPrintTheNodesAnswers) {
  QpBackground vNode(QP_QPNODE_PATH, {"--cluster-name", "east"});
  int vUdp = 0, vTcp = 0;
  ASSERT_EQ(std::sscanf(vNode.firstLine().c_str(), "qpnode udp=127.0.0.1:%d tcp=127.0.0.1:%d",
                        &vUdp, &vTcp),
            2);
  // The datagram port may ride along in the address text.
  const QpRunResult vProbe =
      qpRun(QP_QPTOOL_PATH, {"probe", "127.0.0.1:1:" + std::to_string(vUdp)});
  EXPECT_EQ(vProbe.exitCode, 0) << vProbe.err;
  EXPECT_NE(vProbe.out.find("probe addresses: 127.0.0.1:" + std::to_string(vTcp) + "\n"),
            std::string::npos)
      << vProbe.out;
  const QpRunResult vInfo =
      qpRun(QP_QPTOOL_PATH, {"poolinfo", "127.0.0.1:" + std::to_string(vTcp)});
  EXPECT_EQ(vInfo.exitCode, 0) << vInfo.err;
  EXPECT_EQ(vInfo.out.find("cluster name: east\ncluster id: qpnode-cluster-0001\n"), 0u)
      << vInfo.out;
}

TEST(QptoolNet, UsageAndInputErrorsAreOneLineWithTheirExitCode) {
  struct Case {
    std::vector<std::string> mArgs;
    int mExit;
    const char* mErr;
  };
  const Case kCases[] = {
      {{}, 2, "qptool: missing SUBCOMMAND (see qptool --help)\n"},
      {{"fly"}, 2, "qptool: unknown subcommand fly (see qptool --help)\n"},
      {{"probe"},
       2,
       "qptool probe: missing ADDRESS (usage: qptool probe ADDRESS [--timeout MS])\n"},
      {{"poolinfo", "h", "--timeout", "0"},
       2,
       "qptool poolinfo: --timeout: not a time-out in milliseconds: 0\n"},
      {{"demo", "--quiet"},
       2,
       "qptool demo: unknown argument --quiet (usage: qptool demo [--log FILE])\n"},
      {{"poolinfo", "node:0"},
       3,
       "qptool poolinfo: not a server address: 'node:0': streamport error (error -10006 "
       "QP_PARAM_ERR)\n"},
      {{"probe", "ftp://node"},
       3,
       "qptool probe: not a server address: 'ftp://node': QP_PROTOCOL_ERR (error -10033 "
       "QP_PROTOCOL_ERR)\n"},
  };
  for (const Case& vCase : kCases) {
    const QpRunResult vRun = qpRun(QP_QPTOOL_PATH, vCase.mArgs);
    EXPECT_EQ(vRun.exitCode, vCase.mExit) << vCase.mErr;
    EXPECT_EQ(vRun.err, vCase.mErr);
  }
  const QpRunResult vHelp = qpRun(QP_QPTOOL_PATH, {"poolinfo", "--help"});
  EXPECT_EQ(vHelp.exitCode, 0);
  EXPECT_EQ(vHelp.out.find("usage: qptool poolinfo ADDRESS [--timeout MS]\n"), 0u);
  const QpRunResult vAll = qpRun(QP_QPTOOL_PATH, {"--help"});
  EXPECT_EQ(vAll.exitCode, 0);
  for (const char* vSub : {"demo", "probe", "poolinfo", "digest", "packet", "address", "time",
                           "error", "b32", "b64", "convert"}) {
    EXPECT_NE(vAll.out.find(std::string("\n  qptool ") + vSub + " "), std::string::npos) << vSub;
  }
  EXPECT_EQ(qpRun(QP_QPTOOL_PATH, {"--version"}).out.find("qptool "), 0u);
}

}  // namespace

// Tests of every request and reply class of the message families: the fields each is built with,
// in image order and with their values, and the names its dump gives them through its family's
// name table and the base table.
#include <functional>
#include <memory>
#include <string>

#include "QpPacketTestHelpers.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

// " code=value" for every field in image order: integers as numbers, longs with an L, strings as
// text (the host name in field 4 left out), anything else as #length.
std::string fieldsText(QpSmartPacket& p) {
  std::string vOut;
  for (int vCode : qptest::codesOf(p)) {
    const short c = static_cast<short>(vCode);
    vOut += " " + std::to_string(c);
    const int vType = p.GetFieldType(c);
    if (vType == QpSmartPacket::kTypeInteger) vOut += "=" + std::to_string(p.GetInt(c));
    if (vType == QpSmartPacket::kTypeLong) vOut += "=L" + std::to_string(p.GetLong(c));
    if (vType == QpSmartPacket::kTypeString && c != NET_SYSTEMID)
      vOut += "=" + std::string(p.GetString(c).toStringConst());
    if (vType == QpSmartPacket::kTypeByteArray) vOut += "#" + std::to_string(p.GetDataLen(c));
  }
  return vOut;
}

TEST(PacketFamilies, FieldsAndNamesOfEveryMessage) {
  QpStringBuffer vTid("T-1"), vStream("S-1"), vScheme("kerberos"), vProtocols("a,,b,");
  QpStringBuffer vPrincipal("alice"), vEmpty, vQuery("type=clip");
  const char* const kA = "ABCDEFGHIJKLMeNOPQRSTUVWXYZ";
  const char* const kB = "ZYXWVUTSRQPONeMLKJIHGFEDCBA";
  const QpObjectGuid vId(kA), vNoId;
  const unsigned char kData[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  // The request fields with and without a transaction id, then the family fields.
  const std::string T = " 4 5=T-1 0=3 123=262147 301=65539", N = " 4 0=3 123=262147 301=65539";
  const std::string H = " 3=42 108=1", M = " 3=40 116=2";
  const std::string kParam =
      "<parameter name=\"module\" value=\"RemoteManager\"/><parameter name="
      "\"command\" value=\"";
  typedef std::function<NetworkPacket*()> Make;
  const struct {
    Make mMake;
    std::string mFields;
    const char* mDump;  // a part of the dump, or null
  } kRows[] = {
      {[&] { return new AppProfileSetClipRequest(QpClipGuid(kA), QpClipGuid(kB), &vTid, 1); },
       T + " 3=62 102=1 101=0 103=" + kA + " 104=" + kB, "\n  fieldcode=103 type=string"},
      {[&] { return new AppProfileGetClipRequest(); }, N + " 3=62 102=1 101=1", nullptr},
      {[&] { return new AppProfileSetClipReply(&vTid); }, N + " 3=62 102=1", nullptr},
      {[&] { return new AuthNegationRequest(&vTid, vScheme, vProtocols); },
       " 4 5=T-1 0=3 301=65539 3=52 108=1 124=1 123=kerberos 126#28",
       "\n  AUTH_NEG_SCHEME type=string value=kerberos\n"},
      {[&] { return new AuthCallengeInit(nullptr, vPrincipal); },
       " 4 0=3 301=65539 3=53 122=1 124=alice",
       "\n  NET_MESSAGEID type=integer value=53\n  AUTH_CR_OPCODE type=integer value=1\n"
       "  AUTH_CR_PRINCIPAL type=string value=alice\n"},
      {[&] { return new AuthNegationReply(&vTid); }, "", nullptr},
      {[&] { return new ComplianceGetRetentionClassesRequest(&vTid); }, T + " 3=58 108=1 101=10",
       nullptr},
      {[&] { return new ComplianceGetRetentionClassesReply(&vTid); }, N + " 3=58 108=1", nullptr},
      // Export data: 10 bytes keep control 0 and store no id; length 0 sets control 1 and stores
      // a given id; length -1 sets control 23.
      {[&] { return new HPPExportData(&vTid, 4096, kData, 10, &vId); },
       T + H + " 113=0 114=L4096 118#10", "\n  HPP_CONTROL type=integer value=0\n"},
      {[&] { return new HPPExportData(&vTid, 4096, nullptr, 0, &vId); },
       T + H + " 114=L4096 118#0 113=1 102=" + kA, "\n  HPP_BLOBID type=string"},
      {[&] { return new HPPExportData(&vTid, 7, kData, 0, &vNoId); }, T + H + " 114=L7 118#0 113=1",
       nullptr},
      {[&] { return new HPPExportData(&vTid, 7, kData, -1, &vId); }, T + H + " 114=L7 118#0 113=23",
       nullptr},
      {[&] { return new HPPFederationDiscoveryRequest(&vTid); }, T + H + " 113=0 101=11",
       "\n  HPP_OPCODE type=integer value=11\n"},
      {[&] { return new HPPExportReply(&vTid); }, N + H + " 113=0",
       "\n  fieldcode=301 type=integer value=65539\n"},
      {[&] { return new HPPExportAck(&vTid); }, N + H + " 113=0", nullptr},
      {[&] { return new HPPImportData(&vTid); }, N + H + " 113=0", nullptr},
      {[&] { return new HPPPurgeReply(&vTid); }, N + H + " 113=0", nullptr},
      {[&] { return new HPPExistsReply(&vTid); }, N + H + " 113=0", nullptr},
      {[&] { return new HPPFederationDiscoveryReply(&vTid); }, N + H + " 113=0", nullptr},
      {[&] { return new MonitorKeepAlive(&vTid); }, T + M + " 105=21",
       "\n  NET_TRANSACTIONID type=string value=T-1\n"},
      {[&] { return new MonitorOpenRequest(&vTid); }, T + M + " 105=0 111=monitor",
       "\n  MONITOR_FRMP_VERSION type=integer value=2\n"},
      {[&] { return new MonitorInfoRequest(&vTid, vStream, 0); },
       T + M + " 105=6 102=S-1 104= 107=2 106=" + kParam + "getmonitoringdiscovery\"/>", nullptr},
      {[&] { return new MonitorInfoRequest(&vTid, vStream, 1); },
       T + M + " 105=6 102=S-1 104= 107=2 106=" + kParam + "getmonitoringstatistics\"/>", nullptr},
      {[&] { return new MonitorUnregister(&vTid, vStream); }, T + M + " 105=7 102=S-1", nullptr},
      {[&] { return new MonitorEventRequest(&vTid, vStream); },
       T + M + " 105=6 102=S-1 104= 106= 107=8", nullptr},
      {[&] { return new MonitorOpenAccept(nullptr); }, "", nullptr},
      {[&] { return new MonitorEventData(nullptr); }, "", nullptr},
      {[&] { return new HPPProbeRequest(&vTid); }, T + " 333=1 3=36 334=1", nullptr},
      {[&] { return new HPPGetPoolInfoRequest(); }, N + " 333=1 3=31 101=5", nullptr},
      {[&] { return new HPPProbeReply(&vTid); }, "", nullptr},
      {[&] { return new HPPQueryRequest(&vTid, 10, 20, nullptr); },
       T + " 3=48 108=1 113=0 101=1 103=L10 104=L20", nullptr},
      {[&] { return new HPPQueryRequest(&vTid, 10, 20, &vEmpty); },
       T + " 3=48 108=1 113=0 101=1 103=L10 104=L20", nullptr},
      {[&] { return new HPPQueryRequest(&vTid, 10, 20, &vQuery); },
       T + " 3=48 108=1 113=0 101=1 103=L10 104=L20 112=type=clip",
       "\n  HPP_VERSION type=integer value=1\n  HPP_CONTROL type=integer value=0\n"
       "  QUERY_OPCODE type=integer value=1\n  QUERY_START_TIMESTAMP type=long value=10\n"
       "  QUERY_STOP_TIMESTAMP type=long value=20\n  QUERY_QUERY_STRING type=string "
       "value=type=clip\n"},
      {[&] { return new HPPQueryReply(nullptr); }, "", nullptr},
  };
  for (const auto& vRow : kRows) {
    std::unique_ptr<NetworkPacket> p(vRow.mMake());
    EXPECT_EQ(fieldsText(*p), vRow.mFields);
    const std::string vDump = qptest::dumpOf(*p);
    EXPECT_TRUE(vRow.mDump == nullptr || vDump.find(vRow.mDump) != std::string::npos) << vDump;
    EXPECT_STREQ(vRow.mFields.empty() ? "" : p->GetString(NET_SYSTEMID).toStringConst(),
                 vRow.mFields.empty() ? "" : NetworkPacket::GetHostName());
  }
  EXPECT_QP_THROW(MonitorInfoRequest(&vTid, vStream, 2), QpSDKInternalException, "false");
  QpSmartPacket vList;  // empty items are dropped: a,,b, is the list a, b
  AuthNegationRequest(nullptr, vScheme, vProtocols).GetSmartPacket(AUTH_NEG_PROTOCOLS, vList);
  EXPECT_EQ(fieldsText(vList), " 0=2 1=a 2=b");
  MonitorOpenAccept vAccept(nullptr);  // replies: defaults and a required field
  vAccept.store(MONITOR_IDLETIMEOUT, 90);
  EXPECT_EQ(vAccept.GetIdleTimeout(30) + vAccept.GetCode(-4), 86);
  EXPECT_QP_THROW(vAccept.GetResultXML(), QpRequiredPacketFieldMissingException,
                  "field id=203 missing");
  vAccept.store(MONITOR_RESULT_XML, "<a/>");
  EXPECT_EQ(std::string(static_cast<char*>(vAccept.GetResultXML()), vAccept.GetResultXMLLen()),
            "<a/>");
}

}  // namespace

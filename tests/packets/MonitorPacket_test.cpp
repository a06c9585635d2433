// Tests of the monitor family: field order and values of each request, defaults and names.
#include <functional>

#include <gmock/gmock.h>

#include "QpPacketTestHelpers.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

using qptest::Codes;
using qptest::codesOf;
using qptest::dumpOf;
using testing::HasSubstr;

TEST(MonitorPacket, RequestFields) {
  QpStringBuffer vTid("T-2"), vStream("S-1");
  const Codes kCommon = {4, 5, 0, 123, 301, 3, 116};
  const struct {
    std::function<NetworkPacket*()> mMake;
    Codes mOwn;   // after the common fields
    int mOpcode;  // field 105, -1 for none
  } kCases[] = {
      {[&] { return new MonitorKeepAlive(&vTid); }, {105}, 21},
      {[&] { return new MonitorOpenRequest(&vTid); }, {105, 111}, 0},
      {[&] { return new MonitorInfoRequest(&vTid, vStream, 0); }, {105, 102, 104, 107, 106}, 6},
      {[&] { return new MonitorUnregister(&vTid, vStream); }, {105, 102}, 7},
      {[&] { return new MonitorEventRequest(&vTid, vStream); }, {105, 102, 104, 106, 107}, 6},
  };
  for (const auto& c : kCases) {
    NetworkPacket* p = c.mMake();
    Codes vExpected = kCommon;
    vExpected.insert(vExpected.end(), c.mOwn.begin(), c.mOwn.end());
    EXPECT_EQ(codesOf(*p), vExpected);
    EXPECT_EQ(p->GetInt(NET_MESSAGEID), 40);
    EXPECT_EQ(p->GetInt(MONITOR_FRMP_VERSION), 2);
    EXPECT_EQ(p->GetInt(MONITOR_OPCODE), c.mOpcode);
    delete p;
  }

  MonitorInfoRequest vStats(&vTid, vStream, 1);
  EXPECT_STREQ(vStats.GetString(MONITOR_FILTER_XML).toStringConst(),
               "<parameter name=\"module\" value=\"RemoteManager\"/>"
               "<parameter name=\"command\" value=\"getmonitoringstatistics\"/>");
  EXPECT_EQ(vStats.GetInt(MONITOR_EVENT_TYPE), 2);
  EXPECT_STREQ(vStats.GetString(MONITOR_STREAM_ID).toStringConst(), "S-1");
  EXPECT_QP_THROW(MonitorInfoRequest(&vTid, vStream, 2), QpSDKInternalException, "false");

  MonitorEventRequest vEvents(nullptr, vStream);
  EXPECT_EQ(vEvents.GetDataLen(MONITOR_TARGET_XML) + vEvents.GetDataLen(MONITOR_FILTER_XML), 0);
  EXPECT_EQ(vEvents.GetInt(MONITOR_EVENT_TYPE), 8);
  MonitorOpenRequest vOpen(nullptr);
  EXPECT_STREQ(vOpen.GetString(MONITOR_USERNAME).toStringConst(), "monitor");

  const std::string vDump = dumpOf(vStats);
  EXPECT_THAT(vDump, HasSubstr("  NET_TRANSACTIONID type=string value=T-2\n"));
  EXPECT_THAT(vDump, HasSubstr("  MONITOR_FRMP_VERSION type=integer value=2\n"));
}

TEST(MonitorPacket, RepliesAndAccessors) {
  MonitorOpenAccept vAccept(nullptr);
  MonitorImportData vData(nullptr);
  MonitorEventData vEvent(nullptr);
  EXPECT_TRUE(codesOf(vAccept).empty() && codesOf(vData).empty() && codesOf(vEvent).empty());
  EXPECT_EQ(vAccept.GetIdleTimeout(30), 30);
  EXPECT_EQ(vAccept.GetCode(-4), -4);
  vAccept.store(MONITOR_IDLETIMEOUT, 90);
  EXPECT_QP_THROW(vAccept.GetResultXML(), QpRequiredPacketFieldMissingException,
                  "field id=203 missing");
  vAccept.store(MONITOR_RESULT_XML, "<a/>");
  EXPECT_EQ(vAccept.GetIdleTimeout(30), 90);
  EXPECT_EQ(std::string(static_cast<char*>(vAccept.GetResultXML()), vAccept.GetResultXMLLen()),
            "<a/>");
}

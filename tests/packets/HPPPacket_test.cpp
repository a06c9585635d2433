// Tests of the HPP family: accessors, blob ids and the names of its own table.
#include <string>

#include "QpPacketTestHelpers.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

TEST(HPPPacket, AccessorsBlobIdsAndNames) {
  HPPExportReply a(nullptr);
  EXPECT_EQ(a.GetError() + a.GetOffset(), -1);  // the defaults 0 and -1
  a.store(HPP_ERROR, 5);
  a.store(HPP_BLOBSIZE, static_cast<QpLong>(1) << 40);
  a.store(HPP_NUMLOCATIONS, 2);
  a.store(HPP_CREATE_TIMESTAMP, 1700000000);
  a.store(HPP_STORAGEBLOB_BASENAME, 1);
  EXPECT_EQ(a.GetError(), 5);
  EXPECT_EQ(a.GetBlobSize(), static_cast<QpLong>(1) << 40);
  EXPECT_EQ(a.GetNumLocations() + a.GetCreateTimeStamp(), 1700000002);
  EXPECT_QP_THROW(a.GetBlobData(), QpRequiredPacketFieldMissingException, "field id=118 missing");
  EXPECT_NE(qptest::dumpOf(a).find("  HPP_CONTROL type=integer value=0\n  HPP_ERROR type=integer "
                                   "value=5\n"),
            std::string::npos);
  EXPECT_NE(qptest::dumpOf(a).find("  HPP_STORAGEBLOB_BASENAME|TRANSPORT_OBJECT_ID type=integer"),
            std::string::npos);
  // Blob ids of 256 characters or more are refused before they are read.
  a.Set(HPP_BLOBID, std::string(256, 'x').c_str());
  EXPECT_QP_THROW(a.GetBlobID(), QpParameterException, "Invalid blob id length");
}

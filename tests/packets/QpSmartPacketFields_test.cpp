// Tests of the field interface: stores and replacements, every refusal with its message and
// trace, getters across types, arrays, deletion, the dump and its hooks, out-of-memory paths.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "QpPacketTestHelpers.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

using qptest::Bytes;
using qptest::fieldsOf;
using qptest::hex;
using qptest::imageOf;

void loadFields(QpSmartPacket& p, const char* inFields) {
  Bytes vBody = hex((std::string("46535032 ") + inFields).c_str());
  p.fromBytes(vBody.data(), static_cast<int>(vBody.size()));
}

const char* const kNoTrace = "No trace available";
const char* const kNull = nullptr;

// A family-like packet that names one code.
class NamedPacket : public QpSmartPacket {
 public:
  const char* GetFieldName(long code, char* buf, unsigned int size) override {
    if (code != 4) return QpSmartPacket::GetFieldName(code, buf, size);
    return qp_strncpy(buf, "NET_SYSTEMID", size);
  }
};

}  // namespace

TEST(QpSmartPacketStore, RefusalsLeaveThePacketUnchanged) {
  QpSmartPacket p;
  p.store(7, "x");
  p.store(8, 1);
  const Bytes kBefore = imageOf(p);
  QpHashMap vMap;
  const unsigned char kByte = 1;
  const std::string kBig(0x1000000, 'b');  // one byte more than a 24-bit length carries
  const auto* kBigData = reinterpret_cast<const unsigned char*>(kBig.data());
  const char *kDup = "cannot store duplicate codes", *kNullText = "cannot store NULL";
  const struct {
    std::function<void()> mStore;
    const char* mMessage;
    const char* mTrace;
  } kCases[] = {
      {[&] { p.store(7, "x"); }, kDup, "QpSmartPacket::store(7,-)"},
      {[&] { p.store(8, &kByte, 1); }, kDup, "QpSmartPacket::store(8,-,-)"},
      {[&] { p.store(9, 8, &vMap); }, kDup, "QpSmartPacket::store(9,8)"},
      {[&] { p.store(2, kNull); }, kNullText, "QpSmartPacket::store(2,-)"},
      {[&] { p.store(2, static_cast<const unsigned char*>(nullptr), 0); }, kNullText,
       "QpSmartPacket::store(2,-,-)"},
      {[&] { p.Set(7, kNull); }, kNullText, "QpSmartPacket::store(7,-)"},  // the old field stays
      {[&] { p.store(2, &kByte, -1); }, "data overflow", "QpSmartPacket::store(2,-,-)"},
      {[&] { p.store(2, kBigData, 0x1000000); }, "data overflow", "QpSmartPacket::store(2,-,-)"},
      {[&] { p.store(3, 4, static_cast<const QpHashMap*>(nullptr)); }, "cannot store nothing",
       "QpSmartPacket::store(3,4)"},
      {[&] { p.store(-1, 1); }, "invalid code requested",
       "QpSmartPacket.findField(-1)<QpSmartPacket::store(-1,-)"},
  };
  for (const auto& c : kCases) {
    qpExpectFailure<QpParameterException>(c.mStore, c.mTrace, c.mMessage, c.mTrace);
    EXPECT_EQ(imageOf(p), kBefore);
  }
  p.Set(7, "y");  // replaced, and moved to the end
  EXPECT_EQ(fieldsOf(p), hex("0008 01 000004 00000001  0007 02 000001 79"));
  p.Set(9, static_cast<QpLong>(3));  // absent: a plain store
  p.Set(9, static_cast<QpLong>(4));
  EXPECT_EQ(p.GetFieldType(9), 7);
  p.store(5, kBigData, 0xFFFFFF);  // the largest value a 24-bit length carries
  EXPECT_EQ(p.GetDataLen(5), 0xFFFFFF);
}

TEST(QpSmartPacketGet, NumbersAcrossTypes) {
  QpSmartPacket p;
  p.store(3, static_cast<unsigned char>(true));  // the boolean overload writes an integer
  EXPECT_EQ(fieldsOf(p), hex("0003 01 000004 00000001"));
  EXPECT_EQ(p.GetBool(3), 1);

  loadFields(p,
             "0001 01 000004 FFFFFFFF  0002 07 000008 0000000100000002  0003 08 000001 03"
             "0004 0A 000002 FFFE  0005 08 000001 02  0006 01 000004 00000002");
  EXPECT_EQ(p.GetInt(1), -1);
  EXPECT_EQ(p.GetInt(2), 2);  // the low 32 bits
  EXPECT_EQ(p.GetLong(2), 0x100000002LL);
  EXPECT_EQ(p.GetInt(3), 1);  // the byte's lowest bit
  EXPECT_EQ(p.GetLong(4), -2);
  EXPECT_EQ(p.GetBool(5), 0);
  EXPECT_EQ(p.GetBool(6), 0);  // 2 reads as false
  EXPECT_EQ(p.GetLong(9, -5LL), -5);
  QpSmartPacket vNever;
  EXPECT_EQ(vNever.GetInt(1, 42), 42);
  EXPECT_FALSE(vNever.GetExists(1));
  EXPECT_EQ(vNever.GetFieldType(1) + p.GetFieldType(77), 0);
}

TEST(QpSmartPacketGet, LookupFailures) {
  QpSmartPacket p;
  loadFields(p, "0001 02 000002 6869  0002 01 000003 000001  0003 07 000004 00000001");
  EXPECT_QP_FAILURE(QpRequiredPacketFieldMissingException, p.GetInt(9), "field id=9 missing",
                    "QpSmartPacket.setFetchCursor(9)");
  EXPECT_QP_FAILURE(QpParameterException, p.GetInt(-1), "invalid code requested",
                    "QpSmartPacket.setFetchCursor(-1)");
  // Numbers from a string, an integer of 3 bytes, a long of 4; narrow text from a non-string.
  EXPECT_QP_FAILURE(QpSDKInternalException, p.GetInt(1), kNull, kNoTrace);
  EXPECT_QP_FAILURE(QpSDKInternalException, p.GetLong(2), kNull, kNoTrace);
  EXPECT_QP_FAILURE(QpSDKInternalException, p.GetInt(3), kNull, kNoTrace);
  char vBuf[8];
  int vLen = 8;
  EXPECT_QP_FAILURE(QpSDKInternalException, p.GetString(2, vBuf, &vLen), kNull, kNoTrace);
}

TEST(QpSmartPacketGet, Strings) {
  QpSmartPacket p;
  p.store(1, "hello");
  p.store(2, 5);
  p.store(3, "h\xC3\xA9llo");  // 5 characters in 6 bytes

  char vBuf[8];
  int vLen = 4;
  p.GetString(1, vBuf, &vLen);
  EXPECT_STREQ(vBuf, "hel");
  EXPECT_EQ(vLen, 6);  // the size needed

  QpWChar vWide[8];
  vLen = 8;
  p.GetString(3, vWide, &vLen);
  EXPECT_EQ(vLen, 7);
  const QpWChar kWide[] = {'h', 0xE9, 'l', 'l', 'o', 0};
  EXPECT_EQ(std::memcmp(vWide, kWide, sizeof(kWide)), 0);

  // The forms without a type check hand out the raw bytes of any field.
  QpStringBuffer vOut("unchanged");
  p.GetString(2, vOut);
  EXPECT_STREQ(vOut.toStringConst(), "unchanged");
  p.GetString(1, vOut);
  EXPECT_STREQ(vOut.toStringConst(), "hello");
}

TEST(QpSmartPacketGet, NestedPackets) {
  QpSmartPacket vInner, vOut, p;
  vInner.store(1, 10);
  p.store(5, vInner);
  vOut.store(9, 9);
  p.GetSmartPacket(5, vOut);
  EXPECT_EQ(imageOf(vOut), imageOf(vInner));
  // No type or magic check: a 2-byte value gives a 10-byte image that holds no field and
  // refuses stores rather than writing over its own header.
  p.store(2, "ab");
  p.GetSmartPacket(2, vOut);
  EXPECT_TRUE(vOut.IsEmpty());
  EXPECT_THROW(vOut.store(1, 1), QpPacketDataException);
}

// The items of a string array field.
std::vector<std::string> items(QpSmartPacket& inPacket, short inCode) {
  int n = -1;
  QpBasicStringBuffer* vItems = inPacket.GetStrArray(inCode, n);
  std::vector<std::string> v;
  for (int i = 0; i < n; ++i) v.push_back(vItems[i].toStringConst());
  delete[] vItems;
  return v;
}
using Texts = std::vector<std::string>;

TEST(QpSmartPacketArrays, TextListsMapsAndLongs) {
  QpSmartPacket p, vInner;
  QpStringBuffer vList("a;b;c"), vGaps("a,,b");
  p.store(4, &vList, ';');
  p.GetSmartPacket(4, vInner);
  EXPECT_EQ(fieldsOf(vInner), hex("0000 01 000004 00000003  0001 02 000001 61"
                                  "0002 02 000001 62  0003 02 000001 63"));
  p.Set(4, &vGaps, ',');
  int n = -1;
  ArrayTemplate<char>* vArray = p.GetStrArray(4, n, static_cast<unsigned char>(0));
  ASSERT_EQ(n, 3);
  EXPECT_STREQ((*vArray)[2], "b");
  QpSmartPacket::deleteStrArrayTemplate(vArray);
  ArrayTemplate<char> vItems(1, ElemFree), vNone(1, ElemFree);
  vItems.push_back(qp_strdup("one"));
  vItems.push_back(nullptr);  // an empty string
  p.store(1, &vItems);
  EXPECT_EQ(items(p, 1), (Texts{"one", ""}));
  p.store(2, &vNone);
  EXPECT_FALSE(p.GetExists(2));

  QpHashMap vMap;
  vMap.put("Key", "a");
  vMap.put("other", "b");
  p.store(3, 5, &vMap);
  EXPECT_EQ(items(p, 3), (Texts{"Key", "other"}));
  EXPECT_EQ(items(p, 5), (Texts{"a", "b"}));

  QpSmartPacket vLongs, vShort;
  vLongs.store(0, 2);
  vLongs.store(1, static_cast<QpLong>(-7));
  vLongs.store(2, static_cast<QpLong>(1) << 40);
  p.store(6, vLongs);
  QpLong* vValues = p.GetLongArray(6, n);
  ASSERT_EQ(n, 2);
  EXPECT_TRUE(vValues[0] == -7 && vValues[1] == static_cast<QpLong>(1) << 40);
  QpSmartPacket::deleteLongArray(vValues);
  // A count beyond the elements present fails on the first missing one, however large.
  vShort.store(0, 0x7FFFFFFF);
  vShort.store(1, static_cast<QpLong>(1));
  p.store(8, vShort);
  using Missing = QpRequiredPacketFieldMissingException;
  const char* kTrace = "QpSmartPacket.setFetchCursor(2)";
  EXPECT_QP_FAILURE(Missing, p.GetLongArray(8, n), "field id=2 missing", kTrace);
  EXPECT_EQ(n, 0);
}

TEST(QpSmartPacketText, DumpLines) {
  QpSmartPacket p;
  p.store(1, 5);
  p.store(2, "a%s b");
  p.store(3, static_cast<QpLong>(-9));
  p.store(4, 1, 1);
  const unsigned char kRaw[3] = {1, 2, 3};
  p.store(5, kRaw, 3);
  const std::string kExpected =
      "SmartPacket\n"
      "  fieldcode=1 type=integer value=5\n"
      "  fieldcode=2 type=string value=a%s b\n"
      "  fieldcode=3 type=long value=-9\n"
      "  fieldcode=4 type=boolean value=1\n"
      "  fieldcode=5 type=bytearray value=3\n";
  EXPECT_EQ(qpTake(p.toString()), kExpected);
  EXPECT_EQ(qpTake(p.dump()), kExpected);
  // Named-only types, a short, and a type beyond the table (no line).
  loadFields(p, "0001 04 000002 0909  0002 0A 000002 8000  0003 0B 000000  0004 00 000000");
  EXPECT_EQ(qpTake(p.toString()),
            "SmartPacket\n"
            "  fieldcode=1 type=stringarray value=2\n"
            "  fieldcode=2 type=short value=-32768\n"
            "  fieldcode=4 type=invalid value=0\n");

  NamedPacket q;
  q.store(4, "host");
  EXPECT_EQ(qpTake(q.toString()), "SmartPacket\n  NET_SYSTEMID type=string value=host\n");
}

TEST(QpSmartPacketFieldsMemory, StoresAreAllOrNothing) {
  QpSmartPacket p;
  p.store(1, 5);
  const Bytes kFill(480, 1);
  p.store(2, kFill.data(), 480);  // 508 of 512 bytes: every store below must grow
  const Bytes kBefore = imageOf(p);
  auto unchanged = [&] { EXPECT_EQ(imageOf(p), kBefore); };
  auto undo = [&](std::initializer_list<short> inCodes) {
    for (short c : inCodes) p.deleteField(c);
    EXPECT_EQ(imageOf(p), kBefore);
  };
  // A value taken from the packet itself is copied first: one more allocation to fail.
  EXPECT_EQ(
      qpWalkAllocations([&] { p.store(3, static_cast<const unsigned char*>(p.GetData(2)), 480); },
                        unchanged),
      2);
  undo({3});
  qpWalkAllocations([&] { p.Set(2, "replacement"); }, unchanged);
  p.Set(2, kFill.data(), 480);
  undo({});
  ArrayTemplate<char> vItems(1, ElemFree);
  vItems.push_back(qp_strdup("x"));
  qpWalkAllocations([&] { p.store(3, &vItems); }, unchanged);
  undo({3});
  QpHashMap vMap;
  vMap.put("n", "v");
  qpWalkAllocations([&] { p.store(3, 4, &vMap); }, unchanged);
  undo({3, 4});
}

TEST(QpSmartPacketFieldsMemory, ReadersFailCleanly) {
  QpSmartPacket p, vLongs, vOut;
  QpStringBuffer vList("a;b;c");
  p.store(1, &vList, ';');
  p.store(2, "text");
  vLongs.store(0, 1);
  vLongs.store(1, static_cast<QpLong>(5));
  p.store(3, vLongs);
  int n = 0;
  qpWalkAllocations([&] { qp_free(p.toString()); }, [] {});
  vOut.store(1, 1);
  const Bytes kOut = imageOf(vOut);
  qpWalkAllocations([&] { p.GetSmartPacket(2, vOut); }, [&] { EXPECT_EQ(imageOf(vOut), kOut); });
  // These two report a failed result array by null rather than by raising.
  qpWalkAllocations([&] { delete[] p.GetStrArray(1, n); }, [] {}, true);
  qpWalkAllocations([&] { QpSmartPacket::deleteLongArray(p.GetLongArray(3, n)); }, [] {}, true);
}

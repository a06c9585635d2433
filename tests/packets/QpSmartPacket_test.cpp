// Tests of the packet image: exact bytes, growth steps, loading and its refusals, the walk over
// malformed images, copies, primitives and out-of-memory paths.
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

class ImagePacket : public QpSmartPacket {
 public:
  int capacity() const { return mCapacity; }
  int used() const { return mUsedLen; }
  bool hasBuffer() const { return mBuffer != nullptr; }
  short curCode() const { return mCurCode; }
  short next() { return fetchNext(); }
};

void load(QpSmartPacket& p, Bytes inBytes) {
  p.fromBytes(inBytes.empty() ? nullptr : inBytes.data(), static_cast<int>(inBytes.size()));
}

const char* const kNoTrace = "No trace available";
const char* const kMagicTrace = "QpSmartPacket.checkMagic";

}  // namespace

TEST(QpSmartPacketImage, ExactBytes) {
  QpSmartPacket p;
  p.store(1, 5);
  EXPECT_EQ(imageOf(p), hex("012C7598 0000000E 46535032 0001 01 000004 00000005"));

  p.deleteAllFields();  // the header alone, length field 4
  EXPECT_TRUE(p.IsEmpty());
  EXPECT_EQ(imageOf(p), hex("012C7598 00000004 46535032"));
  QpSmartPacket vHeader;  // which loads as it is
  load(vHeader, imageOf(p));
  EXPECT_TRUE(vHeader.IsEmpty());

  p.store(7, "abc");
  p.store(8, static_cast<QpLong>(-0x0102030405060708LL));
  p.store(9, -2, 1);
  p.store(-300, static_cast<unsigned char>(200));
  EXPECT_EQ(fieldsOf(p), hex("0007 02 000003 616263  0008 07 000008 FEFDFCFBFAF9F8F8"
                             "0009 08 000001 01  FED4 01 000004 000000C8"));

  const unsigned char* m = reinterpret_cast<const unsigned char*>(QpSmartPacket::GetEOFMarker());
  EXPECT_EQ(Bytes(m, m + 4), hex("012B3997"));
}

TEST(QpSmartPacketImage, NestedPackets) {
  QpSmartPacket vNever, vFull, p;  // a packet never stored into nests as the magic alone
  vFull.store(2, 3);
  p.store(2, vNever);
  p.store(3, vFull);
  EXPECT_EQ(fieldsOf(p), hex("0002 03 000004 46535032"
                             "0003 03 00000E 46535032 0002 01 000004 00000003"));
  // Stored into itself: the image as it stood before the store.
  p.store(4, p);
  QpSmartPacket vBack;
  p.GetSmartPacket(4, vBack);
  EXPECT_TRUE(vBack.GetExists(3));
  EXPECT_FALSE(vBack.GetExists(4));
}

TEST(QpSmartPacketImage, GrowthIn512ByteSteps) {
  const Bytes kData(1200, 0x5A);
  ImagePacket c, d, e;
  // A 512-byte buffer holding the header only: 12 + 6 + 494 fills it exactly, 495 grows it.
  c.store(1, 5);
  c.deleteAllFields();
  c.store(2, kData.data(), 494);
  EXPECT_EQ(c.capacity(), 512);
  EXPECT_EQ(c.used(), 512);
  c.deleteAllFields();
  c.store(3, kData.data(), 495);
  EXPECT_EQ(c.capacity(), 1024);
  // A boolean grows by 4 like an integer: with 7 bytes left, its 6 + 4 do not fit.
  d.store(1, kData.data(), 487);
  d.store(2, 1, 1);
  EXPECT_EQ(d.capacity(), 1024);
  // Several steps at once: 22 + 6 + 1200 bytes.
  e.store(1, 5);
  e.store(2, kData.data(), 1200);
  EXPECT_EQ(e.capacity(), 1536);
}

TEST(QpSmartPacketImage, MemoryAndCopies) {
  ImagePacket p;
  const Bytes kData(700, 1);
  p.store(1, kData.data(), 700);
  EXPECT_EQ(p.resetMemory(), 0);
  EXPECT_EQ(p.capacity(), 1024);
  EXPECT_EQ(imageOf(p), hex("012C7598 00000004 46535032"));
  EXPECT_EQ(p.deleteMemory(), 0);
  EXPECT_EQ(qpTake(p.toString()), "invalid packet.\n");

  ImagePacket a;
  a.store(1, 5);
  a.GetInt(1);  // a field current, which copies must not inherit
  ImagePacket b(a);
  EXPECT_EQ(b.curCode(), -1);
  b.Set(1, 6);
  EXPECT_EQ(a.GetInt(1), 5);
  b = p;
  EXPECT_FALSE(b.hasBuffer());
}

TEST(QpSmartPacketLoad, RejectedImagesLeaveNoBuffer) {
  const struct {
    const char* bytes;
    const char* message;
    const char* trace;
  } kCases[] = {
      {"012C7598 00000003 46535032", "wrong length field", kNoTrace},
      {"012C7598 0000", "wrong length field", kNoTrace},
      {"012C7598 7FFFFFFC 46535032", "wrong length field", kNoTrace},
      {"012C7598 00000000", nullptr, kMagicTrace},  // no room for the magic
      {"012C7598 00000004 46535033", nullptr, kMagicTrace},
      {"48545450 2F31", nullptr, kMagicTrace},  // neither marker nor magic
      {"465350", nullptr, kMagicTrace},         // bodies shorter than the magic
      {"", nullptr, kMagicTrace},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.bytes);
    ImagePacket p;
    p.store(1, 5);
    EXPECT_QP_FAILURE(QpPacketDataException, load(p, hex(c.bytes)), c.message, c.trace);
    EXPECT_FALSE(p.hasBuffer());
  }
  ImagePacket p;
  Bytes vMagic = hex("46535032");
  EXPECT_QP_FAILURE(QpPacketDataException, p.fromBytes(vMagic.data(), -1), nullptr, kMagicTrace);
}

TEST(QpSmartPacketLoad, MalformedFieldsFailTheWalk) {
  const char* kHeader = "truncated field header";
  const char* kValue = "field value runs past the end of the packet";
  const struct {
    const char* fields;
    const char* message;
  } kCases[] = {
      {"0001 01", kHeader},
      {"0001 01 0000", kHeader},
      {"0001 01 000004 000000", kValue},
      {"0001 03 FFFFFF 0102", kValue},
      {"0001 01 000004 00000005  0002 02 000009 78", kValue},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.fields);
    QpSmartPacket p;
    load(p, hex((std::string("46535032 ") + c.fields).c_str()));
    const char* kWalk = "QpSmartPacket.fetchNext";
    EXPECT_QP_FAILURE(QpPacketDataException, p.GetInt(77), c.message, kWalk);
    EXPECT_QP_FAILURE(QpPacketDataException, qp_free(p.toString()), c.message, kWalk);
    EXPECT_QP_FAILURE(QpPacketDataException, p.store(77, 1), c.message,
                      "QpSmartPacket.fetchNext<QpSmartPacket::store(77,-)");
  }
  // A field coded -1 (reserved) reads as the end of the list.
  QpSmartPacket p;
  load(p, hex("46535032 FFFF 01 000004 00000001  0002 01 000004 00000002"));
  EXPECT_FALSE(p.GetExists(2));

  ImagePacket vNever;
  EXPECT_QP_FAILURE(QpSDKInternalException, vNever.next(), nullptr, "QpSmartPacket.fetchNext");
  EXPECT_EQ(vNever.deleteField(1), 0);
}

TEST(QpSmartPacketMemory, FailedAllocationsLeaveThePacketUnchanged) {
  ImagePacket p;
  p.store(1, 5);
  p.store(2, "text");
  const Bytes kBefore = imageOf(p);
  const Bytes kBig(600, 7);
  EXPECT_EQ(qpWalkAllocations([&] { p.store(3, kBig.data(), 600); },
                              [&] {
                                EXPECT_EQ(imageOf(p), kBefore);
                                EXPECT_EQ(p.capacity(), 512);
                              }),
            1);
  p.deleteField(3);

  // Assignment and loading build the new image before they drop the old one.
  ImagePacket vTarget;
  vTarget.store(1, kBig.data(), 600);
  Bytes vOld = imageOf(vTarget);
  qpWalkAllocations([&] { vTarget = p; }, [&] { EXPECT_EQ(imageOf(vTarget), vOld); });
  Bytes vLoad = kBefore;
  const int kLen = static_cast<int>(vLoad.size());
  for (int vOffset : {0, 8}) {
    vTarget.store(3, kBig.data(), 600);
    vOld = imageOf(vTarget);
    qpWalkAllocations([&] { vTarget.fromBytes(vLoad.data() + vOffset, kLen - vOffset); },
                      [&] { EXPECT_EQ(imageOf(vTarget), vOld); });
    EXPECT_EQ(imageOf(vTarget), kBefore);
  }
}

// Field by field across many 512-byte steps: every failed growth leaves image and capacity as
// they were (the walk's last run then stores the field), and all fields read back at the end.
TEST(QpSmartPacketMemory, FieldByFieldGrowthSurvivesFailures) {
  auto text = [](short i) {
    return std::string(static_cast<size_t>(i % 37), static_cast<char>('a' + i % 26));
  };
  ImagePacket p;
  p.store(0, "");
  int vGrowths = 0;
  for (short i = 1; i < 400; ++i) {
    const Bytes vBefore = imageOf(p);
    const int vCapacity = p.capacity();
    vGrowths += qpWalkAllocations([&] { p.store(i, text(i).c_str()); },
                                  [&] {
                                    EXPECT_EQ(imageOf(p), vBefore);
                                    EXPECT_EQ(p.capacity(), vCapacity);
                                  });
  }
  EXPECT_GE(vGrowths, 15);
  for (short i = 0; i < 400; ++i) {
    EXPECT_EQ(qpTake(p.GetString(i, static_cast<unsigned char>(0))), text(i)) << i;
  }
}

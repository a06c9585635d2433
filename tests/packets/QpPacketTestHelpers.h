// QpPacketTestHelpers.h - byte helpers shared by the packet tests.
#ifndef QP_PACKET_TEST_HELPERS_H
#define QP_PACKET_TEST_HELPERS_H

#include <string>
#include <vector>

#include "QpUtilsLib.h"

namespace qptest {

typedef std::vector<unsigned char> Bytes;

// "01 2C 75 98" -> bytes; blanks are ignored.
Bytes hex(const char* inText);
// The packet's whole image as toBytes hands it out.
Bytes imageOf(QpSmartPacket& p);
// The image without its 12-byte header: the fields alone.
Bytes fieldsOf(QpSmartPacket& p);

typedef std::vector<int> Codes;
// The codes of the packet's fields in image order, read from the bytes toBytes hands out.
Codes codesOf(QpSmartPacket& p);
// The packet's text (toString) as a std::string.
std::string dumpOf(QpSmartPacket& p);

}  // namespace qptest

#endif  // QP_PACKET_TEST_HELPERS_H

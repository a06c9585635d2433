// api_tour - the library's public interface in four short steps, as the README shows it: a
// failure raised and caught, a packet stored, imaged and read back, a text converted, and the
// digest text of some bytes.
#include <QpUtilsLib.h>

#include <cstdio>

int main() {
  // Raise and catch: every error code has its own exception class; the message and the code's
  // name travel with it.
  try {
    qpRaise<QpParameterException>(QP_HERE, 0, "a count must be positive", "tour::main(-)");
  } catch (QpException& e) {
    char* vMessage = e.GetMessageString();  // a copy, freed with qp_free
    std::printf("caught %s: %s\n", QpError::GetErrorString(static_cast<short>(e.GetErrorCode())),
                vMessage);
    qp_free(vMessage);
  }

  // A packet: typed fields under numeric codes, a byte image for the wire, and the image loaded
  // into another packet.
  QpSmartPacket vOut;
  vOut.store(126, "cluster-0001");
  vOut.store(125, static_cast<QpLong>(1) << 40);
  void* vImage = nullptr;
  int vLength = 0;
  vOut.toBytes(&vImage, &vLength);
  QpSmartPacket vIn;
  vIn.fromBytes(vImage, vLength);
  std::printf("packet of %d bytes: capacity %lld, cluster %s\n", vLength,
              static_cast<long long>(vIn.GetLong(125)), vIn.GetString(126).toStringConst());

  // A conversion: UTF-8 to UTF-16, every character checked against the XML character rule.
  const char* vText = "na\xC3\xAFve \xE2\x82\xAC";
  unsigned short* vWide = QpConvertUTF8ToUTF16(vText, -1, 1, 0);
  int vUnits = 0;
  while (vWide[vUnits] != 0) ++vUnits;
  std::printf("%d characters, %d UTF-16 units\n", QpCountCharacters(vText, -1, 1, 0), vUnits);
  qp_free(vWide);

  // A digest: the MD5 digest text of some bytes, with the blob type character embedded, which
  // is the content address of those bytes stored as a blob.
  char vData[] = "hello, cluster";
  char vDigest[64] = {0};
  void* vContext = QpMD5_Router::createContext();
  QpMD5_Router::update(vContext, vData, sizeof vData - 1, false);
  QpMD5_Router::complete(vContext, 'x', vDigest, sizeof vDigest, false);
  QpMD5_Router::deleteContext(vContext, false);
  std::printf("content address %s\n", vDigest);
  return 0;
}

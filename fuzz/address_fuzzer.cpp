// Address texts and address lists come from configuration and from server replies. Feeds
// arbitrary bytes to normalisation, parsing and list building: nothing may crash, every refusal
// must be a parameter or protocol error, and what parsing accepts must keep its promises (host of
// 1 to 255 upper-case characters, stream port 1 to 65535). Name lookups are refused by a hook,
// so only dotted addresses resolve and the fuzzer never waits on the network.
#include "fuzz_support.h"

namespace {

using qpfuzz::check;

void expectParseFailure(QpException& inE) {
  check(inE.GetErrorCode() == QP_PARAM_ERR || inE.GetErrorCode() == QP_PROTOCOL_ERR);
}

void checkAddress(QpAddress& inAddress) {
  char vHost[QpAddress::kMaxHostLength + 1];
  int vStream = 0, vDatagram = 0;
  unsigned char vScheme = 0;
  const char* vText = inAddress.toStringConst();
  check(std::strpbrk(vText, " ;") == nullptr);  // normalisation removes both
  try {
    QpAddress::parseAddress(vText, vHost, &vStream, &vDatagram, &vScheme);
  } catch (QpException& e) {
    expectParseFailure(e);
    return;
  }
  const size_t vLength = qp_strlen(vHost);
  check(vLength > 0 && vLength <= 255 && vStream >= 1 && vStream <= 65535 && vScheme <= 1);
  check(std::strpbrk(vHost, "abcdefghijklmnopqrstuvwxyz") == nullptr);
  char* vAgain = inAddress.GetAddress();
  check(qp_strcmp(vAgain, vHost) == 0);
  qp_free(vAgain);
  check(inAddress.GetPort() == vStream && inAddress.GetDatagramPort() == vDatagram);
  inAddress.validate();
  inAddress.isAddressStringSupported();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  qpfuzz::refuseNameLookups();
  const std::string vText(reinterpret_cast<const char*>(inData), inSize);
  const char* vChars = vText.c_str();  // stops at the first NUL byte, as a C text does

  QpAddress vAddress;
  vAddress.strcpy(vChars);
  checkAddress(vAddress);
  vAddress.strncpy(vChars, static_cast<int>(inSize / 2));
  checkAddress(vAddress);
  try {
    QpAddress vResolved(vChars, 2);
    QpAddress vCopy(vResolved);
    check(vCopy.GetBinaryInternetAddress() == vResolved.GetBinaryInternetAddress());
  } catch (QpException& e) {
    expectParseFailure(e);
  }

  const QpStringBuffer vList(vChars);
  QpAddressArray vArray;
  try {
    vArray.storePrimaryAddresses(vList, 1, true);
    vArray.storeSecondaryAddresses(vList, 2, true);
    vArray.storeAllAddresses(vList, 3, true);
    vArray.pushPrimaryAddress(vList, 4, true);
    vArray.pushSecondaryAddress(vList, 5, true);
  } catch (QpException& e) {
    expectParseFailure(e);
  }
  qp_free(vArray.toString());
  QpAddressArray vCopy(vArray);
  QpAddress vOut;
  long vRef = 0;
  int vTaken = 0;
  const int vSize = vArray.getSize();
  while (vArray.popAddressAndLongRef(vOut, vRef)) ++vTaken;
  check(vTaken == vSize && vCopy.getSize() == vSize);
  return 0;
}

// Address texts and address lists come from configuration and from server replies. Feeds
// arbitrary bytes to normalisation, parsing and list building: nothing may crash, every refusal
// must be a parameter or protocol error, and what parsing accepts must keep its promises (host of
// 1 to 255 upper-case characters, stream port 1 to 65535). Name lookups are refused by a hook,
// so only dotted addresses resolve and the fuzzer never waits on the network.
#include <QpUtilsLib.h>

#include <netdb.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "QpOsHooks.h"

namespace {

int refuseName(const char*, const char*, const void*, void**) {
  return EAI_NONAME;
}

void expectParseFailure(QpException& inE) {
  const int vCode = inE.GetErrorCode();
  if (vCode != QP_PARAM_ERR && vCode != QP_PROTOCOL_ERR) std::abort();
}

void checkAddress(QpAddress& inAddress) {
  char vHost[QpAddress::kMaxHostLength + 1];
  int vStream = 0, vDatagram = 0;
  unsigned char vScheme = 0;
  const char* vText = inAddress.toStringConst();
  for (const char* p = vText; *p != 0; ++p) {
    if (*p == ' ' || *p == ';') std::abort();  // normalisation removes both
  }
  try {
    QpAddress::parseAddress(vText, vHost, &vStream, &vDatagram, &vScheme);
  } catch (QpException& e) {
    expectParseFailure(e);
    return;
  }
  const size_t vLength = qp_strlen(vHost);
  if (vLength == 0 || vLength > 255 || vStream < 1 || vStream > 65535 || vScheme > 1) std::abort();
  for (const char* p = vHost; *p != 0; ++p) {
    if (*p >= 'a' && *p <= 'z') std::abort();
  }
  char* vAgain = inAddress.GetAddress();
  if (qp_strcmp(vAgain, vHost) != 0) std::abort();
  qp_free(vAgain);
  if (inAddress.GetPort() != vStream || inAddress.GetDatagramPort() != vDatagram) std::abort();
  inAddress.validate();
  inAddress.isAddressStringSupported();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  static StOsHooks* sNoNames = [] {
    QpOsHooks vHooks = {};
    vHooks.mGetAddrInfo = refuseName;
    return new StOsHooks(vHooks);
  }();
  (void)sNoNames;

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
    if (vCopy.GetBinaryInternetAddress() != vResolved.GetBinaryInternetAddress()) std::abort();
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
  if (vTaken != vSize || vCopy.getSize() != vSize) std::abort();
  return 0;
}

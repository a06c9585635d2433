// QpAddress.cpp - normalising, parsing and resolving one server address (QpAddress.h).
#include "QpAddress.h"

#include <climits>

#include "QpException.h"
#include "QpRaise.h"
#include "QpStringConversion.h"
#include "StMemory.h"
#include "qpos32.h"

namespace {

// Failures are logged under this name, whatever the build tree's path to this file.
const char kSource[] = "natives/utils/address/QpAddress";
#define QP_ADDRESS_HERE kSource, __LINE__

const char kDefaultPortText[] = ":3218";
const char kLoadTag[] = "; load =";

bool isBlank(char inChar) {
  return inChar == ' ' || (inChar >= '\t' && inChar <= '\r');
}

// Reads the decimal int that [inBegin, inEnd) spells: blanks, one optional sign, at least one
// digit, blanks. Anything else, or a value outside int, is a conversion error (false): a port
// of "4000x" or "99999999999" must be refused rather than read as some other number.
bool readInt(const char* inBegin, const char* inEnd, int* outValue) {
  const char* p = inBegin;
  while (p < inEnd && isBlank(*p)) ++p;
  bool vNegative = false;
  if (p < inEnd && (*p == '+' || *p == '-')) vNegative = *p++ == '-';
  const char* vDigits = p;
  long long vValue = 0;
  for (; p < inEnd && *p >= '0' && *p <= '9'; ++p) {
    vValue = vValue * 10 + (*p - '0');
    if (vValue > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (p == vDigits) return false;
  while (p < inEnd && isBlank(*p)) ++p;
  if (p != inEnd) return false;
  if (vNegative) vValue = -vValue;
  if (vValue > INT_MAX || vValue < INT_MIN) return false;
  *outValue = static_cast<int>(vValue);
  return true;
}

const char* endOf(const char* inText) {
  return inText + qp_strlen(inText);
}

}  // namespace

QpMutex QpAddress::sHostLock;

// ---- Construction and assignment ---------------------------------------------------------------

QpAddress::QpAddress()
    : mAddressType(2), mBinaryAddress(0), mLoad(kDefaultLoad), mSupported(0), mAliases(10, 10, 1) {}

QpAddress::QpAddress(const char* inText, AddressTypeEnum inType)
    : mAddressType(inType),
      mBinaryAddress(0),
      mLoad(kDefaultLoad),
      mSupported(0),
      mAliases(10, 10, 1) {
  init(inText);
}

QpAddress::QpAddress(const QpAddress& inOther, AddressTypeEnum inType)
    : QpStringBuffer(),
      mAddressType(inType),
      mBinaryAddress(inOther.mBinaryAddress),
      mLoad(kDefaultLoad),
      mSupported(0),
      mAliases(10, 10, 1) {
  init(inOther.toStringConst());
  mLoad = inOther.mLoad;
  mSupported = inOther.mSupported;
}

QpAddress::~QpAddress() {}

QpAddress& QpAddress::operator=(const QpAddress& inOther) {
  if (this == &inOther) return *this;
  copy(inOther);  // may raise; nothing below is changed before it has succeeded
  mBinaryAddress = inOther.mBinaryAddress;
  mLoad = inOther.mLoad;
  mSupported = inOther.mSupported;
  mAddressType = inOther.mAddressType;
  return *this;
}

void QpAddress::init(const char* inText) {
  mLoad = kDefaultLoad;
  mSupported = 0;
  store(inText, -1);
  if (mBinaryAddress == 0) mBinaryAddress = getNetworkOrderedIPAddress();
}

// ---- Normalisation -----------------------------------------------------------------------------

char* QpAddress::normalize(const char* inText, int inLen, short* ioLoad) {
  if (inText == nullptr) qpRaise<QpParameterException>(QP_ADDRESS_HERE, 0, nullptr);
  const char* p = inText;
  while (isBlank(*p)) ++p;
  // Only the lower-case scheme goes here; any other "xxx://" is left for parsing to accept or
  // refuse, so that an unknown scheme is reported rather than silently dropped.
  if (qp_strncmp(p, "hpp://", 6) == 0) p += 6;
  size_t vLen = qp_strlen(p);
  if (inLen >= 0) {
    // inLen counts from the start of the given text, blanks and scheme included.
    const size_t vUsed = static_cast<size_t>(p - inText);
    const size_t vLimit = static_cast<size_t>(inLen);
    vLen = vUsed >= vLimit ? 0 : (vLen < vLimit - vUsed ? vLen : vLimit - vUsed);
  }
  if (vLen >= INT_MAX) qpRaiseOutOfMemory(QP_ADDRESS_HERE);
  StMalloc vCopy(static_cast<int>(vLen + 1), 0);
  char* vText = static_cast<char*>(vCopy.Get());
  qp_memcpy(vText, p, vLen);
  vText[vLen] = 0;

  if (const char* vLoad = qp_strstr(vText, kLoadTag)) {
    vLoad += sizeof kLoadTag - 1;
    const char* vEnd = qp_strchr(vLoad, ';');
    int vValue;
    if (readInt(vLoad, vEnd != nullptr ? vEnd : endOf(vLoad), &vValue) && vValue >= SHRT_MIN &&
        vValue <= SHRT_MAX) {
      *ioLoad = static_cast<short>(vValue);
    }
  }
  if (char* vCut = qp_strchr(vText, ';')) *vCut = 0;
  if (char* vCut = qp_strstr(vText, kDefaultPortText)) *vCut = 0;
  if (qp_strncmp(vText, "0.0.0.0", 7) == 0) vText[0] = 0;
  char* vOut = vText;
  for (const char* vIn = vText; *vIn != 0; ++vIn) {
    if (*vIn != ' ') *vOut++ = *vIn;
  }
  *vOut = 0;
  return static_cast<char*>(vCopy.release());
}

void QpAddress::store(const char* inText, int inLen) {
  short vLoad = mLoad;
  StMalloc vText(normalize(inText, inLen, &vLoad));
  const char* vNormal = static_cast<const char*>(vText.Get());
  // A buffer refuses changes after a failed growth so that nobody appends to a text with a hole
  // in it. Storing replaces the whole text, so an address may always be given a new one.
  mError = 0;
  QpBasicStringBuffer::strncpy(vNormal, static_cast<int>(qp_strlen(vNormal)));
  mLoad = vLoad;
}

void QpAddress::strcpy(const char* inText) {
  store(inText, -1);
  mBinaryAddress = 0;
}

void QpAddress::strncpy(const char* inText, int inLen) {
  store(inText, inLen);
  mBinaryAddress = 0;
}

void QpAddress::clear() {
  QpStringBuffer::clear();
  mBinaryAddress = 0;
}

// ---- Parsing -----------------------------------------------------------------------------------

void QpAddress::parseAddress(const char* inText, char* outHost, int* outStreamPort,
                             int* outDatagramPort, unsigned char* outScheme) {
  if (outHost != nullptr) outHost[0] = 0;
  if (outStreamPort != nullptr) *outStreamPort = 0;
  if (outDatagramPort != nullptr) *outDatagramPort = 0;
  if (outScheme != nullptr) *outScheme = 0;
  QP_TRACE_BEGIN
  size_t vLength = 0;
  if (inText != nullptr) {
    while (vLength <= static_cast<size_t>(kMaxTextLength) && inText[vLength] != 0) ++vLength;
  }
  if (inText == nullptr || vLength > static_cast<size_t>(kMaxTextLength)) {
    qpRaise<QpParameterException>(QP_ADDRESS_HERE, 0, nullptr);
  }
  char vCopy[kMaxTextLength + 1];
  const char* p = inText;
  while (isBlank(*p)) ++p;
  qp_strcpy(vCopy, p);
  qp_strupr(vCopy);

  char* vRest = vCopy;
  unsigned char vScheme = 1;
  if (char* vSeparator = qp_strstr(vCopy, "://")) {
    if (qp_strncmp(vCopy, "UCP", 3) == 0) {
      vScheme = 0;
    } else if (qp_strncmp(vCopy, "HPP", 3) != 0) {
      qpRaise<QpProtocolException>(QP_ADDRESS_HERE, 0, "QP_PROTOCOL_ERR\n");
    }
    vRest = vSeparator + 3;
  }

  int vStreamPort = kDefaultPort, vDatagramPort = kDefaultPort;
  if (char* vColon = qp_strchr(vRest, ':')) {
    *vColon = 0;  // what stands before it is the host
    char* vStreamText = vColon + 1;
    char* vDatagramText = qp_strchr(vStreamText, ':');
    if (vDatagramText != nullptr) *vDatagramText++ = 0;
    if (!readInt(vStreamText, endOf(vStreamText), &vStreamPort) || vStreamPort == 0) {
      qpRaise<QpParameterException>(QP_ADDRESS_HERE, 0, "streamport error\n");
    }
    vDatagramPort = 0;
    if (vDatagramText != nullptr &&
        (!readInt(vDatagramText, endOf(vDatagramText), &vDatagramPort) || vDatagramPort == 0)) {
      qpRaise<QpParameterException>(QP_ADDRESS_HERE, 0, "datagramport error\n");
    }
    if (vStreamPort < 1 || vStreamPort > 65535) {
      qpRaise<QpParameterException>(QP_ADDRESS_HERE, 0, "invalid port\n");
    }
  }
  const size_t vHostLength = qp_strlen(vRest);
  if (vHostLength == 0 || vHostLength > static_cast<size_t>(kMaxHostLength)) {
    qpRaise<QpParameterException>(QP_ADDRESS_HERE, 0, "address length error\n");
  }
  if (outHost != nullptr) qp_strcpy(outHost, vRest);
  if (outStreamPort != nullptr) *outStreamPort = vStreamPort;
  if (outDatagramPort != nullptr) *outDatagramPort = vDatagramPort;
  if (outScheme != nullptr) *outScheme = vScheme;
  QP_TRACE_END("QpAddress::parseAddress(%s)", QpStringConversion::toString(inText))
}

void QpAddress::validate() {
  QP_TRACE_BEGIN
  if (mData == nullptr) qpRaise<QpParameterException>(QP_ADDRESS_HERE, 0, nullptr);
  parseAddress(mData, nullptr, nullptr, nullptr, nullptr);
  QP_TRACE_END("QpAddress::validate()")
}

char* QpAddress::GetAddress() const {
  char vHost[kMaxHostLength + 1];
  parseAddress(toStringConst(), vHost, nullptr, nullptr, nullptr);
  char* vCopy = qp_strdup(vHost);
  if (vCopy == nullptr) qpRaiseOutOfMemory(QP_ADDRESS_HERE);
  return vCopy;
}

int QpAddress::GetPort() const {
  int vPort;
  parseAddress(toStringConst(), nullptr, &vPort, nullptr, nullptr);
  return vPort;
}

int QpAddress::GetDatagramPort() const {
  int vPort;
  parseAddress(toStringConst(), nullptr, nullptr, &vPort, nullptr);
  return vPort;
}

// ---- Resolution --------------------------------------------------------------------------------

unsigned long QpAddress::getNetworkOrderedIPAddress() const {
  StMalloc vHost(GetAddress());
  const char* vName = static_cast<const char*>(vHost.Get());
  if (vName == nullptr) return INADDR_NONE;
  unsigned long vAddress = qp_inet_addr(vName);
  if (vAddress == INADDR_NONE) {
    StCriticalSection vLock(&sHostLock);
    unsigned long vResolved = 0;
    if (QpWsGetAddrInfoIPv4(vName, &vResolved) == 0) vAddress = vResolved;
  }
  return vAddress;
}

void QpAddress::resolveBinaryAddress() const {
  mBinaryAddress = getNetworkOrderedIPAddress();
}

unsigned long QpAddress::GetBinaryInternetAddress() const {
  if (mBinaryAddress == 0) resolveBinaryAddress();
  return mBinaryAddress;
}

unsigned char QpAddress::CompareBinaryInternetAddress(const QpAddress& inOther) const {
  const unsigned long vMine = GetBinaryInternetAddress();
  const unsigned long vTheirs = inOther.GetBinaryInternetAddress();
  if (vTheirs == INADDR_NONE || vMine != vTheirs) return 0;
  return GetPort() == inOther.GetPort() ? 1 : 0;
}

// ---- Identity ----------------------------------------------------------------------------------

unsigned char QpAddress::equals(const QpAddress& inOther) const {
  if (QpBasicStringBuffer::equals(inOther)) return 1;
  const char* vTheirs = inOther.toStringConst();
  for (int i = 0; i < mAliases.size(); ++i) {
    const MyString* vAlias = mAliases[i];
    if (vAlias != nullptr && vAlias->mString != nullptr && qp_strcmp(vAlias->mString, vTheirs) == 0)
      return 1;
  }
  return 0;
}

namespace {

// A holder and its text, released together unless handed to an array.
struct StAlias {
  explicit StAlias(const char* inText) : mAlias(new MyString(nullptr)) {
    mAlias->mString = qp_strdup(inText);
    if (mAlias->mString == nullptr) {
      delete mAlias;
      qpRaiseOutOfMemory(QP_ADDRESS_HERE);
    }
  }
  ~StAlias() {
    if (mAlias == nullptr) return;
    qp_free(mAlias->mString);
    delete mAlias;
  }
  StAlias(const StAlias&) = delete;
  StAlias& operator=(const StAlias&) = delete;
  MyString* mAlias;
};

}  // namespace

void QpAddress::storeAlias(const QpAddress& inA, const QpAddress& inB) {
  StAlias vForA(inB.toStringConst()), vForB(inA.toStringConst());
  const int vIndex = inA.mAliases.push_back(vForA.mAlias);
  try {
    inB.mAliases.push_back(vForB.mAlias);
  } catch (QpException&) {
    inA.mAliases.remove(vIndex);  // both or neither: vForA frees its holder again
    throw;
  }
  vForA.mAlias = nullptr;
  vForB.mAlias = nullptr;
}

unsigned char QpAddress::isLfsClusterAddress(QpAddress* inAddress, unsigned char inCheckEnvironment,
                                             unsigned char inCheckLfs) {
  if (inAddress == nullptr) return 0;
  const char* vText = inAddress->toStringConst();
  if (inCheckEnvironment) {
    const char* vCluster = qp_getenv("LFS_CLUSTER_NAME");
    if (vCluster != nullptr && qp_strcmp(vCluster, vText) == 0) {
      inAddress->mSupported = 1;
      return 1;
    }
  }
  if (inCheckLfs && qp_strcasecmp(vText, "lfs") == 0) {
    inAddress->mSupported = 1;
    return 1;
  }
  return 0;
}

unsigned char QpAddress::isAddressStringSupported() {
  if (mSupported) return 1;
  if (isLfsClusterAddress(this, 1, 0)) return 1;
  if (GetBinaryInternetAddress() != INADDR_NONE) return 1;
  return isLfsClusterAddress(this, 0, 1);
}

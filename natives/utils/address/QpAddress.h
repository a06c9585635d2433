// QpAddress.h - one server address: a string buffer holding the address text in normalised form
// ("host", "host:port" or "host:port:datagramport", optionally behind "ucp://" or "HPP://"),
// which answers on demand its host, its ports, its IPv4 address and its load.
//
// Texts come from outside (configuration, server replies), so every reader of the text checks
// it: at most 1024 characters, a host of 1 to 255 characters, decimal ports. Normalisation
// never fails on a text; parsing raises QpParameterException or QpProtocolException with the
// reason as message. Name resolution is tried once: an address that cannot be resolved keeps
// INADDR_NONE, which is not an error.
//
// Threads: an address is used by one thread at a time. Resolution of all addresses is
// serialised by sHostLock, so a resolver that is not thread-safe is never entered twice.
#ifndef QP_ADDRESS_H
#define QP_ADDRESS_H

#include "ArrayTemplate.h"
#include "QpGenericArray.h"
#include "QpMutex.h"
#include "QpStringBuffer.h"
#include "QpTypes.h"
#include "QpWinsock.h"

class QP_EXPORT QpAddress : public QpStringBuffer {
 public:
  // Stored and copied, never interpreted by the library; every address it makes carries 2. An
  // integer so that callers may pass the number itself.
  typedef int AddressTypeEnum;

  static const int kDefaultPort = 3218;
  static const int kMaxTextLength = 1024;  // longer texts are refused by parsing
  static const int kMaxHostLength = 255;
  static const short kDefaultLoad = 99;

  QpAddress();
  // Normalises inText and resolves it; raises what parsing raises for a malformed text.
  QpAddress(const char* inText, AddressTypeEnum inType = 2);
  // Takes other's binary address, so an already resolved address is not resolved again; copies
  // the text, load and supported flag, but not the aliases.
  QpAddress(const QpAddress& inOther, AddressTypeEnum inType = 2);
  ~QpAddress() override;

  // Copies binary address, load, supported flag, type and text (not the aliases).
  QpAddress& operator=(const QpAddress& inOther);

  // Store the normalised text without resolving it. The binary address is forgotten, so that
  // it is never the address of an earlier text.
  void strcpy(const char* inText) override;
  void strncpy(const char* inText, int inLen) override;
  // Empty text and no binary address; load, supported flag and aliases stay.
  void clear() override;
  using QpStringBuffer::strcpy;
  using QpStringBuffer::strncpy;

  // The host part, upper case, as a new text the caller frees with qp_free.
  char* GetAddress() const;
  int GetPort() const;          // the stream port: 3218 when the text names none
  int GetDatagramPort() const;  // 3218 without any port, 0 with a stream port alone
  short GetLoad() const { return mLoad; }
  void SetLoad(short inLoad) { mLoad = inLoad; }
  AddressTypeEnum getAddressType() const { return mAddressType; }
  unsigned char getSupportedFlag() const { return mSupported; }
  void setSupportedFlag(unsigned char inFlag) { mSupported = inFlag; }

  // QpParameterException for a null text, else whatever parsing raises; returns when well formed.
  void validate();

  // Resolution. The binary address is an IPv4 address in network order: 0 before resolution,
  // INADDR_NONE when resolution failed.
  unsigned char HasBinaryInternetAddress() const { return mBinaryAddress != 0 ? 1 : 0; }
  void resolveBinaryAddress() const;
  unsigned long GetBinaryInternetAddress() const;
  unsigned long getNetworkOrderedIPAddress() const;
  // 1 when both resolve to the same address (other's not INADDR_NONE) with the same stream port.
  unsigned char CompareBinaryInternetAddress(const QpAddress& inOther) const;

  // 1 when the texts are equal, or other's text is one of this address's aliases.
  unsigned char equals(const QpAddress& inOther) const;
  // Records that a and b name the same server: each gets the other's text as an alias.
  static void storeAlias(const QpAddress& inA, const QpAddress& inB);

  // Whether the address names the cluster itself rather than one node: its text is the value of
  // LFS_CLUSTER_NAME (checkEnvironment) or "lfs" in any case (checkLfs). Sets the supported flag.
  static unsigned char isLfsClusterAddress(QpAddress* inAddress, unsigned char inCheckEnvironment,
                                           unsigned char inCheckLfs);
  // Whether the address can be used: a cluster alias, or a host that resolves.
  unsigned char isAddressStringSupported();

  // Splits an address text into its parts. outHost (null allowed) receives the upper-case host
  // and must hold kMaxHostLength + 1 bytes; outScheme is 1 for "hpp" or no scheme, 0 for "ucp".
  // Every output given is first set to empty or 0.
  static void parseAddress(const char* inText, char* outHost, int* outStreamPort,
                           int* outDatagramPort, unsigned char* outScheme);

  static QpMutex sHostLock;

 private:
  void init(const char* inText);
  // The normalised form of inText (inLen >= 0: only what lies before position inLen of it), in
  // new storage that the caller frees with qp_free; a load the text carries goes to ioLoad.
  static char* normalize(const char* inText, int inLen, short* ioLoad);
  // Replaces the text with the normalised form of inText, or raises leaving it as it was.
  void store(const char* inText, int inLen);

  AddressTypeEnum mAddressType;
  mutable unsigned long mBinaryAddress;  // resolved lazily by const readers
  short mLoad;
  unsigned char mSupported;
  mutable AliasArray mAliases;  // storeAlias records aliases on addresses it was given as const
};

#endif  // QP_ADDRESS_H

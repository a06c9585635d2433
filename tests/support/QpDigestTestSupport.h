// QpDigestTestSupport.h - what the digest, router and identifier tests share: the inputs of the
// differential loops, OpenSSL as the peer, and an independent rendering of the digest text.
#ifndef QP_DIGEST_TEST_SUPPORT_H
#define QP_DIGEST_TEST_SUPPORT_H

#include <random>
#include <string>
#include <vector>

// Every length from 0 to 300, then a few large ones across block and buffer boundaries.
std::vector<size_t> qpDigestLengths();
std::string qpRandomBytes(std::mt19937& ioRng, size_t inLength);

// The digest text written the long way: each little-endian 64-bit group as a 65-digit binary
// string cut into 13 five-bit digits; inType (0: none) after the first group.
std::string qpDigestText(const std::string& inRaw, char inType);

#if defined(QP_HAVE_OPENSSL)
// The raw digest and HMAC of OpenSSL ("MD5" or "SHA256").
std::string qpPeerDigest(const char* inName, const std::string& inData);
std::string qpPeerHmac(const char* inName, const std::string& inKey, const std::string& inData);
#endif

// The control functions of the external test library at inPath (QpDigestExtLib.cpp).
class QpExtLibControl {
 public:
  explicit QpExtLibControl(const char* inPath);
  ~QpExtLibControl();
  QpExtLibControl(const QpExtLibControl&) = delete;
  QpExtLibControl& operator=(const QpExtLibControl&) = delete;
  int calls() const { return mCalls(); }
  void fail(int inCode) const { mFail(inCode); }

 private:
  void* mLib;
  int (*mCalls)();
  void (*mFail)(int);
};

#endif  // QP_DIGEST_TEST_SUPPORT_H

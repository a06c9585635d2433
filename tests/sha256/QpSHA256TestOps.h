// QpSHA256TestOps.h - the SHA-256 engine and router as the operations table of
// QpDigestTestSupport.h.
#ifndef QP_SHA256_TEST_OPS_H
#define QP_SHA256_TEST_OPS_H

#include <string>

#include "QpUtilsLib.h"

struct QpSHA256Ops {
  static constexpr const char* kPeer = "SHA256";
  static const size_t kRawLength = 32;
  static const char kType = 'x';
  static const int kNotFound = -11;
  static const int kMissing = -10;

  static void* create() { return QpSHA256_Impl::QpSHA256_CreateContext(); }
  static int update(void* c, char* d, size_t n) {
    unsigned int vScratch = 0;
    return QpSHA256_Impl::QpSHA256_Update(c, d, n, vScratch);
  }
  static int final(void* c, unsigned char* out) {
    return QpSHA256_Impl::QpSHA256_Final(out, static_cast<SHA256Context*>(c));
  }
  // The saved state: 32 raw bytes.
  static std::string saved(void* c) {
    unsigned char vRaw[32];
    QpSHA256_Impl::QpSHA256_ContextToRawSHA256(vRaw, c);
    return std::string(reinterpret_cast<char*>(vRaw), 32);
  }
  static void* resume(const std::string& s, size_t n) {
    return QpSHA256_Impl::QpSHA256_CreatePartialContext(s.data(), static_cast<QpLong>(n), 64);
  }
  static long complete(void* c, char t, char* out, long len) {
    return QpSHA256_Impl::QpSHA256_Complete(c, t, out, len);
  }
  static void remove(void* c) { QpSHA256_Impl::QpSHA256_DeleteContext(c); }
  static std::string hmac(std::string k, std::string d) {
    char vMac[32];
    QpSHA256_Router::QpSHA256_HMAC(
        reinterpret_cast<unsigned char*>(&d[0]), static_cast<int>(d.size()),
        reinterpret_cast<unsigned char*>(&k[0]), static_cast<int>(k.size()), vMac);
    return std::string(vMac, 32);
  }

  static int load(const char* n) { return QpSHA256_Router::setThirdPartySHA256Lib(n); }
  static void unload() { QpSHA256_Router vUnload; }
  static void* rCreate() { return QpSHA256_Router::createContext(); }
  static void* rResume(const std::string& s, size_t n) {
    return QpSHA256_Router::createContext(s.data(), static_cast<QpLong>(n), 64);
  }
  static int rUpdate(void* c, char* d, size_t n, bool p) {
    unsigned int vScratch = 0;
    return QpSHA256_Router::update(c, d, n, vScratch, p);
  }
  static long rComplete(void* c, char t, char* out, long len, bool p) {
    return QpSHA256_Router::complete(c, t, out, len, p);
  }
  static int rRemove(void* c, bool p) { return QpSHA256_Router::deleteContext(c, p); }
  static void dummy(char* out, long len, char t, const char* a) {
    unsigned int vScratch = 0;
    QpSHA256_Router::makeDummy(out, len, t, vScratch, a);
  }
};

#endif  // QP_SHA256_TEST_OPS_H

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
  static const int kNotFound = -11, kMissing = -10;
  using E = QpSHA256_Impl;
  using R = QpSHA256_Router;
  static inline unsigned int sScratch = 0;

  static void* create() { return E::QpSHA256_CreateContext(); }
  static int update(void* c, char* d, size_t n) { return E::QpSHA256_Update(c, d, n, sScratch); }
  // The saved state: 32 raw bytes.
  static std::string saved(void* c) {
    unsigned char vRaw[32];
    E::QpSHA256_ContextToRawSHA256(vRaw, c);
    return std::string(reinterpret_cast<char*>(vRaw), 32);
  }
  static void* resume(const std::string& s, size_t n) {
    return E::QpSHA256_CreatePartialContext(s.data(), static_cast<QpLong>(n), 64);
  }
  static long complete(void* c, char t, char* o, long l) {
    return E::QpSHA256_Complete(c, t, o, l);
  }
  static void remove(void* c) { E::QpSHA256_DeleteContext(c); }
  static std::string hmac(std::string k, std::string d) {
    char vMac[32];
    R::QpSHA256_HMAC(reinterpret_cast<unsigned char*>(&d[0]), static_cast<int>(d.size()),
                     reinterpret_cast<unsigned char*>(&k[0]), static_cast<int>(k.size()), vMac);
    return std::string(vMac, 32);
  }

  static int load(const char* n) { return R::setThirdPartySHA256Lib(n); }
  static void unload() { R vUnload; }
  static void* rCreate() { return R::createContext(); }
  static void* rResume(const std::string& s, size_t n) {
    return R::createContext(s.data(), static_cast<QpLong>(n), 64);
  }
  static int rUpdate(void* c, char* d, size_t n, bool p) { return R::update(c, d, n, sScratch, p); }
  static long rComplete(void* c, char t, char* o, long l, bool p) {
    return R::complete(c, t, o, l, p);
  }
  static int rRemove(void* c, bool p) { return R::deleteContext(c, p); }
  static void dummy(char* o, long l, char t, const char* a) { R::makeDummy(o, l, t, sScratch, a); }
};

#endif  // QP_SHA256_TEST_OPS_H

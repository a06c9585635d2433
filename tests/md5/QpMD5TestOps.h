// QpMD5TestOps.h - the MD5 engine and router as the operations table of QpDigestTestSupport.h.
#ifndef QP_MD5_TEST_OPS_H
#define QP_MD5_TEST_OPS_H

#include <string>

#include "QpUtilsLib.h"

struct QpMD5Ops {
  static constexpr const char* kPeer = "MD5";
  static const size_t kRawLength = 16;
  static const char kType = 'e';
  static const int kNotFound = -8, kMissing = -7;
  using E = QpMD5_Impl;
  using R = QpMD5_Router;

  static void* create() { return E::QpMD5_CreateContext(); }
  static int update(void* c, char* d, size_t n) { return E::QpMD5_Update(c, d, n); }
  // The saved state as the text a caller keeps.
  static std::string saved(void* c) {
    unsigned char vRaw[16];
    char vText[27];
    E::QpMD5_ContextToRawMD5(vRaw, c);
    E::QpMD5_ToString(vRaw, vText, sizeof vText, 0);
    return vText;
  }
  static void* resume(const std::string& s, size_t n) {
    return E::QpMD5_CreatePartialContext(s.c_str(), static_cast<QpLong>(n), 64);
  }
  static long complete(void* c, char t, char* o, long l) { return E::QpMD5_Complete(c, t, o, l); }
  static void remove(void* c) { E::QpMD5_DeleteContext(c); }
  static std::string hmac(std::string k, std::string d) {
    char vMac[16];
    E::QpMD5_HMAC(reinterpret_cast<unsigned char*>(&d[0]), static_cast<int>(d.size()),
                  reinterpret_cast<unsigned char*>(&k[0]), static_cast<int>(k.size()), vMac);
    return std::string(vMac, 16);
  }

  static int load(const char* n) { return R::setThirdPartyMd5Lib(n); }
  static void unload() { R vUnload; }
  static void* rCreate() { return R::createContext(); }
  static void* rResume(const std::string& s, size_t n) {
    return R::createContext(s.c_str(), static_cast<QpLong>(n), 64);
  }
  static int rUpdate(void* c, char* d, size_t n, bool p) { return R::update(c, d, n, p); }
  static long rComplete(void* c, char t, char* o, long l, bool p) {
    return R::complete(c, t, o, l, p);
  }
  static int rRemove(void* c, bool p) { return R::deleteContext(c, p); }
  static void dummy(char* o, long l, char t, const char* a) { R::makeDummy(o, l, t, a); }
};

#endif  // QP_MD5_TEST_OPS_H

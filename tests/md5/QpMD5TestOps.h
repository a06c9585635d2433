// QpMD5TestOps.h - the MD5 engine and router as the operations table of QpDigestTestSupport.h.
#ifndef QP_MD5_TEST_OPS_H
#define QP_MD5_TEST_OPS_H

#include <string>

#include "QpUtilsLib.h"

struct QpMD5Ops {
  static constexpr const char* kPeer = "MD5";
  static const size_t kRawLength = 16;
  static const char kType = 'e';
  static const int kNotFound = -8;
  static const int kMissing = -7;

  static void* create() { return QpMD5_Impl::QpMD5_CreateContext(); }
  static int update(void* c, char* d, size_t n) { return QpMD5_Impl::QpMD5_Update(c, d, n); }
  static int final(void* c, unsigned char* out) {
    return QpMD5_Impl::QpMD5_Final(out, static_cast<QpMD5_CTX*>(c));
  }
  // The saved state as the text a caller keeps.
  static std::string saved(void* c) {
    unsigned char vRaw[16];
    char vText[27];
    QpMD5_Impl::QpMD5_ContextToRawMD5(vRaw, c);
    QpMD5_Impl::QpMD5_ToString(vRaw, vText, sizeof vText, 0);
    return vText;
  }
  static void* resume(const std::string& s, size_t n) {
    return QpMD5_Impl::QpMD5_CreatePartialContext(s.c_str(), static_cast<QpLong>(n), 64);
  }
  static long complete(void* c, char t, char* out, long len) {
    return QpMD5_Impl::QpMD5_Complete(c, t, out, len);
  }
  static void remove(void* c) { QpMD5_Impl::QpMD5_DeleteContext(c); }
  static std::string hmac(std::string k, std::string d) {
    char vMac[16];
    QpMD5_Impl::QpMD5_HMAC(reinterpret_cast<unsigned char*>(&d[0]), static_cast<int>(d.size()),
                           reinterpret_cast<unsigned char*>(&k[0]), static_cast<int>(k.size()),
                           vMac);
    return std::string(vMac, 16);
  }

  static int load(const char* n) { return QpMD5_Router::setThirdPartyMd5Lib(n); }
  static void unload() { QpMD5_Router vUnload; }
  static void* rCreate() { return QpMD5_Router::createContext(); }
  static void* rResume(const std::string& s, size_t n) {
    return QpMD5_Router::createContext(s.c_str(), static_cast<QpLong>(n), 64);
  }
  static int rUpdate(void* c, char* d, size_t n, bool p) {
    return QpMD5_Router::update(c, d, n, p);
  }
  static long rComplete(void* c, char t, char* out, long len, bool p) {
    return QpMD5_Router::complete(c, t, out, len, p);
  }
  static int rRemove(void* c, bool p) { return QpMD5_Router::deleteContext(c, p); }
  static void dummy(char* out, long len, char t, const char* a) {
    QpMD5_Router::makeDummy(out, len, t, a);
  }
};

#endif  // QP_MD5_TEST_OPS_H

// Tests of the SHA256 router with our external test library (QpDigestExtLib.cpp, three variants).
#include "QpDigestTestSupport.h"
#include "QpSHA256TestOps.h"

namespace {

#if defined(QP_HAVE_OPENSSL)
TEST(QpSHA256RouterTest, LoadsRoutesAndPassesErrorsBack) {
  QpSHA256Ops::unload();
  qpCheckRouter<QpSHA256Ops>();
}
#endif
TEST(QpSHA256RouterTest, MakeDummy) {
  qpCheckMakeDummy<QpSHA256Ops>();
}

}  // namespace

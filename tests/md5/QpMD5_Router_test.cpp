// Tests of the MD5 router with our external test library (QpDigestExtLib.cpp, three variants).
#include "QpDigestTestSupport.h"
#include "QpMD5TestOps.h"

namespace {

#if defined(QP_HAVE_OPENSSL)
TEST(QpMD5RouterTest, LoadsRoutesAndPassesErrorsBack) {
  QpMD5Ops::unload();
  qpCheckRouter<QpMD5Ops>();
}
#endif
TEST(QpMD5RouterTest, MakeDummy) {
  qpCheckMakeDummy<QpMD5Ops>();
}

}  // namespace

// Tests of the MD5 router with our external test library (QpDigestExtLib.cpp, three variants).
#include "QpDigestTestSupport.h"
#include "QpMD5TestOps.h"

namespace {

class QpMD5RouterTest : public ::testing::Test {
 protected:
  // Each test starts and ends without a loaded library.
  void SetUp() override { QpMD5Ops::unload(); }
  void TearDown() override { QpMD5Ops::unload(); }
};

TEST_F(QpMD5RouterTest, LoadingCodes) {
  qpCheckRouterLoading<QpMD5Ops>();
}
#if defined(QP_HAVE_OPENSSL)
TEST_F(QpMD5RouterTest, RoutesNormalAndPartialContexts) {
  qpCheckRouting<QpMD5Ops>();
}
#endif
TEST_F(QpMD5RouterTest, ErrorCodesOfTheLibraryArePassedBack) {
  qpCheckLibraryErrors<QpMD5Ops>();
}
TEST_F(QpMD5RouterTest, MakeDummy) {
  qpCheckMakeDummy<QpMD5Ops>();
}

}  // namespace

// Tests of the SHA-256 router with our external test library (QpDigestExtLib.cpp, three variants).
#include "QpDigestTestSupport.h"
#include "QpSHA256TestOps.h"

namespace {

class QpSHA256RouterTest : public ::testing::Test {
 protected:
  // Each test starts and ends without a loaded library.
  void SetUp() override { QpSHA256Ops::unload(); }
  void TearDown() override { QpSHA256Ops::unload(); }
};

TEST_F(QpSHA256RouterTest, LoadingCodes) {
  qpCheckRouterLoading<QpSHA256Ops>();
}
#if defined(QP_HAVE_OPENSSL)
TEST_F(QpSHA256RouterTest, RoutesNormalAndPartialContexts) {
  qpCheckRouting<QpSHA256Ops>();
}
#endif
TEST_F(QpSHA256RouterTest, ErrorCodesOfTheLibraryArePassedBack) {
  qpCheckLibraryErrors<QpSHA256Ops>();
}
TEST_F(QpSHA256RouterTest, MakeDummy) {
  qpCheckMakeDummy<QpSHA256Ops>();
}

}  // namespace

#include "QpTestSupport.h"

#include "QpFaultInjection.h"

int qpWalkAllocations(const std::function<void()>& inOp,
                      const std::function<void()>& inAfterFailure, bool inMayAbsorb, int inLimit) {
  for (int n = 0; n < inLimit; ++n) {
    bool vRaised = false;
    int vHits = 0;
    {
      StFaultArm vArm(n);
      try {
        inOp();
      } catch (QpOutOfMemException& e) {
        vRaised = true;
        EXPECT_EQ(e.GetErrorCode(), QP_OUT_OF_MEMORY_ERR);
      }
      vHits = QpFaultHits();
    }
    if (vHits == 0) {
      EXPECT_FALSE(vRaised) << "out of memory raised at n=" << n << " without a failed allocation";
      return n;
    }
    if (!inMayAbsorb) {
      EXPECT_TRUE(vRaised) << "allocation " << n << " failed silently";
    }
    inAfterFailure();
  }
  ADD_FAILURE() << "operation still allocating after " << inLimit << " allocations";
  return inLimit;
}

std::string qpTake(char* inText) {
  if (inText == nullptr) return "<null>";
  std::string vText(inText);
  qp_free(inText);
  return vText;
}

// QpRedirectPacket.h - where a cluster has redirected its client: the target's cluster id and
// its address list, kept as two texts.
//
// Threads: setClusterIdAndOrIpList, getClusterID, getIpList, isIdSet and isIpListSet may be
// called from several threads at once; they are serialised on the object's mutex. clear,
// isEmpty, copying and assignment take no lock: the owner must not run them concurrently with
// the others.
#ifndef QP_REDIRECT_PACKET_H
#define QP_REDIRECT_PACKET_H

#include "QpMutex.h"
#include "QpStringBuffer.h"
#include "QpTypes.h"

class QP_EXPORT QpRedirectPacket {
 public:
  QpRedirectPacket();
  QpRedirectPacket(const QpRedirectPacket& inOther);
  QpRedirectPacket& operator=(const QpRedirectPacket& inOther);
  virtual ~QpRedirectPacket();
  virtual void clear();  // both texts empty
  // True when both texts are empty.
  virtual bool isEmpty();

  // Each non-null argument replaces its text; a null one leaves its text as it is.
  void setClusterIdAndOrIpList(const char* clusterId, const char* ipList);
  void getClusterID(QpStringBuffer& out);
  void getIpList(QpStringBuffer& out);
  bool isIdSet();      // the cluster id is not empty
  bool isIpListSet();  // the address list is not empty

 private:
  QpMutex mMutex;
  QpStringBuffer mClusterId;
  QpStringBuffer mIpList;
};

#endif  // QP_REDIRECT_PACKET_H

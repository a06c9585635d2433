// QpRedirectPacket.cpp - the redirection target held for a client's pool.
#include "QpRedirectPacket.h"

QpRedirectPacket::QpRedirectPacket() {}

QpRedirectPacket::QpRedirectPacket(const QpRedirectPacket& inOther) {
  mClusterId.strcpy(inOther.mClusterId);
  mIpList.strcpy(inOther.mIpList);
}

QpRedirectPacket& QpRedirectPacket::operator=(const QpRedirectPacket& inOther) {
  if (this != &inOther) {
    mClusterId.strcpy(inOther.mClusterId);
    mIpList.strcpy(inOther.mIpList);
  }
  return *this;
}

QpRedirectPacket::~QpRedirectPacket() {}

void QpRedirectPacket::clear() {
  mClusterId.clear();
  mIpList.clear();
}

bool QpRedirectPacket::isEmpty() {
  return mClusterId.isEmpty() && mIpList.isEmpty();
}

void QpRedirectPacket::setClusterIdAndOrIpList(const char* clusterId, const char* ipList) {
  StCriticalSection vLock(&mMutex);
  if (clusterId != nullptr) mClusterId.strcpy(clusterId);
  if (ipList != nullptr) mIpList.strcpy(ipList);
}

void QpRedirectPacket::getClusterID(QpStringBuffer& out) {
  StCriticalSection vLock(&mMutex);
  out.strcpy(mClusterId);
}

void QpRedirectPacket::getIpList(QpStringBuffer& out) {
  StCriticalSection vLock(&mMutex);
  out.strcpy(mIpList);
}

bool QpRedirectPacket::isIdSet() {
  StCriticalSection vLock(&mMutex);
  return !mClusterId.isEmpty();
}

bool QpRedirectPacket::isIpListSet() {
  StCriticalSection vLock(&mMutex);
  return !mIpList.isEmpty();
}

// QpObjectGuid.cpp - object identifiers: checks, content address, discriminator, dummy ids.
#include "QpObjectGuid.h"

#include "QpMD5_Router.h"
#include "QpRaise.h"
#include "QpStringConversion.h"
#include "qpos32.h"

const char* const QpObjectGuid::mFormatArray[2] = {"MD5", "MG"};

QpObjectGuid::QpObjectGuid() : mMethod(mFormatArray[0]), mID(), mCA(), mDiscriminatorOffset(0) {}

QpObjectGuid::QpObjectGuid(const char* id) : QpObjectGuid() {
  SetID(id);
}

QpObjectGuid::QpObjectGuid(const QpObjectGuid& inOther) : QpObjectGuid() {
  *this = inOther;
}

QpObjectGuid& QpObjectGuid::operator=(const QpObjectGuid& inOther) {
  if (this == &inOther) return *this;  // memcpy onto itself is undefined
  mMethod = inOther.mMethod;
  mDiscriminatorOffset = inOther.mDiscriminatorOffset;
  qp_memcpy(mID, inOther.mID, sizeof mID);
  qp_memcpy(mCA, inOther.mCA, sizeof mCA);
  return *this;
}

QpObjectGuid::~QpObjectGuid() {}

char QpObjectGuid::GetTypeChar() const {
  return 'u';
}

bool QpObjectGuid::isClipID() const {
  return mID[kTypeCharPosition] == 'e';
}

bool QpObjectGuid::isBlobID() const {
  return mID[kTypeCharPosition] == 'x' || mID[kTypeCharPosition] == 'u';
}

void QpObjectGuid::SetID(const char* id) {
  if (id == nullptr)
    qpRaise<QpParameterException>(QP_HERE, 0, nullptr, "QpObjectGuid::SetID(NULL)");
  const size_t vLength = qp_strlen(id);
  // An id over 64 characters would not fit: refuse it like any other malformed id rather than
  // cut off a discriminator that tells objects apart.
  if (vLength < static_cast<size_t>(kCALength) || vLength > static_cast<size_t>(kMaxIDLength) ||
      (id[kTypeCharPosition] != 'e' && id[kTypeCharPosition] != 'x')) {
    qpRaise<QpParameterException>(QP_HERE, 0, nullptr, "QpObjectGuid::SetID(%s)",
                                  QpStringConversion::toString(id));
  }
  store(id);
}

void QpObjectGuid::SetDummyID() {
  char vText[kMaxIDLength + 1] = {0};
  QpMD5_Router::makeDummy(vText, sizeof vText, 'u', nullptr);
  // makeDummy leaves the text empty only when it could not get a context; an empty dummy would
  // read as "no id", so it is refused here instead.
  if (vText[0] == '\0') qpRaiseOutOfMemory(QP_HERE);
  store(vText);
}

void QpObjectGuid::store(const char* inID) {
  qp_memset(mID, 0, sizeof mID);
  qp_strncpy(mID, inID, kMaxIDLength);
  format();
}

void QpObjectGuid::format() {
  qp_memset(mCA, 0, sizeof mCA);
  qp_strncpy(mCA, mID, kCALength);
  if (qp_strlen(mID) > static_cast<size_t>(kCALength)) {
    mDiscriminatorOffset = kCALength;
    mMethod = mFormatArray[1];
  } else {
    mDiscriminatorOffset = 0;
    mMethod = mFormatArray[0];
  }
}

bool QpObjectGuid::operator==(const QpObjectGuid& inOther) const {
  return qp_strcmp(mID, inOther.mID) == 0;
}

char QpClipGuid::GetTypeChar() const {
  return 'e';
}

char QpBlobGuid::GetTypeChar() const {
  return 'x';
}

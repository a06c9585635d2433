// StMemory.cpp - StMalloc, the scoped owner of one qp_malloc block.
#include "StMemory.h"

#include "QpException.h"
#include "QpRaise.h"
#include "qpos32.h"

StMalloc::StMalloc() : mPtr(nullptr), mSize(-1) {}

StMalloc::StMalloc(void* inPtr) : mPtr(inPtr), mSize(-1) {}

StMalloc::StMalloc(int inSize, int /*inUnused*/) : mPtr(nullptr), mSize(-1) {
  mPtr = qp_malloc(static_cast<size_t>(inSize));
  if (mPtr == nullptr) qpRaiseOutOfMemory(QP_HERE);
  mSize = inSize;
}

StMalloc::~StMalloc() {
  if (mPtr != nullptr) qp_free(mPtr);
}

void* StMalloc::reset(int inSize) {
  // Without a recorded size there is no telling whether the block may be replaced: an adopted
  // pointer might be shared, and grow could not know how much of it to keep.
  QP_CHECK(mSize >= 0);
  void* vNew = qp_malloc(static_cast<size_t>(inSize));
  // No log line here, unlike the constructor: replacing a scratch block is an inner step of the
  // library's own operations, and the operation that lets the failure go on reports it.
  if (vNew == nullptr) throw QpOutOfMemException(12);
  qp_free(mPtr);
  mPtr = vNew;
  mSize = inSize;
  return mPtr;
}

void* StMalloc::grow(int inSize) {
  QP_CHECK(mSize >= 0);
  void* vNew = qp_malloc(static_cast<size_t>(inSize));
  if (vNew == nullptr) throw QpOutOfMemException(12);
  int vKeep = inSize < mSize ? inSize : mSize;
  if (vKeep > 0 && mPtr != nullptr) qp_memcpy(vNew, mPtr, static_cast<size_t>(vKeep));
  qp_free(mPtr);
  mPtr = vNew;
  mSize = inSize;
  return mPtr;
}

void* StMalloc::release() {
  void* vPtr = mPtr;
  mPtr = nullptr;
  mSize = -1;
  return vPtr;
}

void StMalloc::Set(void* inPtr) {
  mPtr = inPtr;
  mSize = -1;
}

StMalloc& StMalloc::operator=(const StMalloc& inOther) {
  mPtr = inOther.mPtr;
  mSize = inOther.mSize;
  return *this;
}

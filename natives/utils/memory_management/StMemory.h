// StMemory.h - StMalloc, the owner of one block of scratch memory from qp_malloc.
//
// The block is freed when the owner goes out of scope, so temporary allocations cannot leak on an
// exception path. The size is recorded only for blocks that StMalloc allocated itself; grow and
// reset refuse a block of unknown size (an adopted pointer) rather than guess how much to copy.
// Assignment and Set share or abandon a block without freeing it: exactly one owner may free it.
#ifndef QP_ST_MEMORY_H
#define QP_ST_MEMORY_H

#include "QpTypes.h"

class QP_EXPORT StMalloc {
 public:
  StMalloc();                          // no block, size -1
  explicit StMalloc(void* inPtr);      // adopts inPtr, size -1
  StMalloc(int inSize, int inUnused);  // qp_malloc(inSize); QpOutOfMemException(12) on null
  ~StMalloc();                         // qp_free of the block

  void* reset(int inSize);  // a new, uninitialised block replaces the old
  void* grow(int inSize);   // a new block keeps the first min(new, old) bytes of the old
  void* release();          // hands the block out and forgets it
  void Set(void* inPtr);    // adopts inPtr (size -1) without freeing the previous block
  void* Get() { return mPtr; }
  int GetSize() const { return mSize; }
  StMalloc& operator=(const StMalloc& inOther);  // shares the block: only one may free it

 private:
  StMalloc(const StMalloc&) = delete;

  void* mPtr;  // the block, or null
  int mSize;   // its size in bytes, or -1 when not recorded
};

#endif  // QP_ST_MEMORY_H

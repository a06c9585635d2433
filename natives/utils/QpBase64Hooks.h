// QpBase64Hooks.h - test hooks of the Base64 codec. The umbrella header leaves it out.
//
// QpBase64 runs long inputs through a bulk path chosen once from the processor: 32 characters at
// a time with AVX2 where the processor has it, eight at a time in 64-bit words otherwise. Both
// must give exactly what the plain group-by-group loop gives, so tests force each level in turn
// (kQpBase64Plain switches the bulk paths off entirely) and compare.
//
// Threads: the level is an atomic read at each call; change it only while no other thread
// encodes or decodes (a test's set-up). The results do not depend on it, only the speed does.
#ifndef QP_BASE64_HOOKS_H
#define QP_BASE64_HOOKS_H

#include "QpTypes.h"

// The bulk paths, slowest first. A level above what the processor offers runs as the best one.
enum QpBase64Level { kQpBase64Plain = 0, kQpBase64Words = 1, kQpBase64Vector = 2 };

// Forces a level (-1: automatic, the best this processor has); returns the previous setting.
QP_EXPORT int QpBase64ForceLevel(int inLevel);
// The level that automatic selection runs here.
QP_EXPORT int QpBase64BestLevel();

// Scoped forcing for tests: restores the previous setting on every path out of the scope.
class StBase64Level {
 public:
  explicit StBase64Level(int inLevel) : mPrevious(QpBase64ForceLevel(inLevel)) {}
  ~StBase64Level() { QpBase64ForceLevel(mPrevious); }
  StBase64Level(const StBase64Level&) = delete;
  StBase64Level& operator=(const StBase64Level&) = delete;

 private:
  int mPrevious;
};

#endif  // QP_BASE64_HOOKS_H

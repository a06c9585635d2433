// QpXMLCodecHooks.h - test hooks of the text conversions. The umbrella header leaves it out.
//
// The UTF-8 and UTF-16 conversions, QpValidUTF8 and QpCountCharacters take clean runs of text
// (ASCII runs a vector at a time, well-formed XML characters of two to four bytes in straight
// lines) on a fast path and leave everything else to the character-by-character code. The
// vector width is chosen once from the processor; tests force each level in turn so that every
// path is compared with the character-by-character one (QP_SIMD_SCALAR) on one machine.
//
// Threads: the level is an atomic, read as a conversion goes; change it only while no other
// thread converts (a test's set-up). A conversion that overlaps a change may mix levels, which
// gives the same result.
#ifndef QP_XML_CODEC_HOOKS_H
#define QP_XML_CODEC_HOOKS_H

#include "QpTypes.h"

enum QpSimdLevel {
  QP_SIMD_SCALAR = 0,  // character by character: no fast path at all
  QP_SIMD_SSE2 = 1,    // 16 bytes at a time
  QP_SIMD_AVX2 = 2,    // 32 bytes at a time
  QP_SIMD_AVX512 = 3   // 64 bytes at a time (AVX-512 BW)
};

// Forces a level. Returns false, changing nothing, when the level is unknown or the processor
// lacks it.
QP_EXPORT bool QpXMLCodecSetSimdLevel(int inLevel);
// The level in force: the best the processor has, unless a test forced another.
QP_EXPORT int QpXMLCodecSimdLevel();

// Scoped forcing for tests: restores the previous level on every path out of the scope.
// ok() tells whether the processor has the level asked for.
class StXMLCodecSimdLevel {
 public:
  explicit StXMLCodecSimdLevel(int inLevel)
      : mPrevious(QpXMLCodecSimdLevel()), mOk(QpXMLCodecSetSimdLevel(inLevel)) {}
  ~StXMLCodecSimdLevel() { QpXMLCodecSetSimdLevel(mPrevious); }
  StXMLCodecSimdLevel(const StXMLCodecSimdLevel&) = delete;
  StXMLCodecSimdLevel& operator=(const StXMLCodecSimdLevel&) = delete;
  bool ok() const { return mOk; }

 private:
  int mPrevious;
  bool mOk;
};

#endif  // QP_XML_CODEC_HOOKS_H

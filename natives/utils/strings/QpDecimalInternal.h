// QpDecimalInternal.h - writing an integer in decimal without a format string, shared by the
// number-to-text conversions and the tab log writer, which builds its lines by hand. Internal to
// the library.
//
// Threads: a pure function of its arguments; callable from any thread.
#ifndef QP_DECIMAL_INTERNAL_H
#define QP_DECIMAL_INTERNAL_H

// Writes inValue in decimal at outPos with at least inMinDigits digits (zeros in front), a '-'
// before them when negative - what printf writes for "%.<inMinDigits>lld" - and returns the
// position after the last digit; no terminator. outPos needs room for 21 characters or
// inMinDigits + 1, whichever is more. The magnitude is taken in unsigned arithmetic, so that the
// most negative value, whose magnitude has no signed counterpart, is written in full.
inline char* QpPutDecimal(char* outPos, long long inValue, int inMinDigits) {
  unsigned long long vRest = inValue < 0 ? 0ULL - static_cast<unsigned long long>(inValue)
                                         : static_cast<unsigned long long>(inValue);
  char vDigits[24];
  int vCount = 0;
  do {
    vDigits[vCount++] = static_cast<char>('0' + vRest % 10);
    vRest /= 10;
  } while (vRest != 0);
  if (inValue < 0) *outPos++ = '-';
  for (int k = vCount; k < inMinDigits; ++k) *outPos++ = '0';
  while (vCount > 0) *outPos++ = vDigits[--vCount];
  return outPos;
}

#endif

// Fuzz target: arbitrary bytes through every conversion from UTF-8, the character count and the
// two UTF-8 checks, with every flag combination, both with an explicit length (an exact-size
// buffer, so a read past it is caught) and with -1 up to a terminator.
//
// The conversions share one decoder, so their results must agree with each other: the UCS-4
// result is the pivot, and every other target is derived from it here independently. Only
// validate without allowInvalid may raise, and then exactly when the strict decode fails or a
// decoded code point breaks the character rule.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "QpUtilsLib.h"

namespace {

void check(bool inCondition) {
  if (!inCondition) __builtin_trap();
}

// Every result of one flag combination, or the fact that it raised.
struct Results {
  bool mCountRaised = false;
  int mCount = -1;
  bool mRaised[6] = {false, false, false, false, false, false};
  int* mUcs4 = nullptr;
  unsigned short* mUcs2 = nullptr;
  unsigned short* mUtf16 = nullptr;
  char* mLatin1 = nullptr;
  char* mEbcdic = nullptr;
  unsigned short* mEbcdicW = nullptr;

  ~Results() {
    qp_free(mUcs4);
    qp_free(mUcs2);
    qp_free(mUtf16);
    qp_free(mLatin1);
    qp_free(mEbcdic);
    qp_free(mEbcdicW);
  }
  bool anyRaised() const {
    for (bool b : mRaised)
      if (b) return true;
    return false;
  }
  bool allRaised() const {
    for (bool b : mRaised)
      if (!b) return false;
    return true;
  }
};

template <class T, class F>
T* attempt(bool& outRaised, F inConvert) {
  try {
    T* vResult = inConvert();
    check(vResult != nullptr);
    return vResult;
  } catch (QpInvalidXMLException&) {
    outRaised = true;
    return nullptr;
  }
}

void run(const char* inText, int inLength, unsigned char inValidate, unsigned char inAllow,
         Results& out) {
  try {
    out.mCount = QpCountCharacters(inText, inLength, inValidate, inAllow);
  } catch (QpInvalidXMLException&) {
    out.mCountRaised = true;
  }
  out.mUcs4 = attempt<int>(
      out.mRaised[0], [&] { return QpConvertUTF8ToUCS4(inText, inLength, inValidate, inAllow); });
  out.mUcs2 = attempt<unsigned short>(
      out.mRaised[1], [&] { return QpConvertUTF8ToUCS2(inText, inLength, inValidate, inAllow); });
  out.mUtf16 = attempt<unsigned short>(
      out.mRaised[2], [&] { return QpConvertUTF8ToUTF16(inText, inLength, inValidate, inAllow); });
  out.mLatin1 = attempt<char>(
      out.mRaised[3], [&] { return QpConvertUTF8ToLatin1(inText, inLength, inValidate, inAllow); });
  out.mEbcdic = attempt<char>(
      out.mRaised[4], [&] { return QpConvertUTF8ToEBCDIC(inText, inLength, inValidate, inAllow); });
  out.mEbcdicW = attempt<unsigned short>(out.mRaised[5], [&] {
    return QpConvertUTF8ToEBCDICW(inText, inLength, inValidate, inAllow);
  });
}

// The results of a combination that did not raise must all describe the same code points.
void checkConsistent(const Results& inR, bool inTerminated) {
  check(!inR.mCountRaised && !inR.anyRaised());
  const int n = inR.mCount;
  check(n >= 0);
  check(inR.mUcs4[n] == 0);
  for (int i = 0; i < n; ++i) {
    const int cp = inR.mUcs4[i];
    check(cp >= 0);
    // Up to a terminator, no character can decode to zero: the decoder never makes a zero out
    // of non-zero bytes.
    if (inTerminated) check(cp != 0);
    check(inR.mUcs2[i] == static_cast<unsigned short>(cp & 0xFFFF));
    check(static_cast<unsigned char>(inR.mLatin1[i]) == (cp & 0xFF));
    check(inR.mEbcdicW[i] == static_cast<unsigned char>(inR.mEbcdic[i]));
  }
  check(inR.mUcs2[n] == 0 && inR.mLatin1[n] == '\0' && inR.mEbcdic[n] == '\0' &&
        inR.mEbcdicW[n] == 0);

  // EBCDIC through the other entry point, from the same code points.
  char* vEbcdic = QpConvertUCS4ToEBCDIC(inR.mUcs4, n, 0, 0);
  check(std::memcmp(vEbcdic, inR.mEbcdic, static_cast<size_t>(n) + 1) == 0);
  qp_free(vEbcdic);

  // UTF-16: one unit below 0x10000, a pair up to 0x10FFFF, nothing above.
  size_t u = 0;
  for (int i = 0; i < n; ++i) {
    const int cp = inR.mUcs4[i];
    if (cp < 0x10000) {
      check(inR.mUtf16[u++] == cp);
    } else if (cp <= 0x10FFFF) {
      check(inR.mUtf16[u++] == 0xD800 + ((cp - 0x10000) >> 10));
      check(inR.mUtf16[u++] == 0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
  }
  check(inR.mUtf16[u] == 0);
}

void fuzzOne(const char* inText, int inLength) {
  const bool vTerminated = inLength < 0;
  Results vR[2][2];  // [validate][allowInvalid]
  for (int v = 0; v < 2; ++v)
    for (int a = 0; a < 2; ++a)
      run(inText, inLength, static_cast<unsigned char>(v), static_cast<unsigned char>(a), vR[v][a]);

  // Lenient and pass-through modes never raise.
  checkConsistent(vR[0][0], vTerminated);
  checkConsistent(vR[0][1], vTerminated);
  checkConsistent(vR[1][1], vTerminated);
  // Without validate, allowInvalid only lets a one-byte character that breaks the rule through
  // as itself instead of a space; everything else decodes the same.
  check(vR[0][0].mCount == vR[0][1].mCount);
  for (int i = 0; i < vR[0][0].mCount; ++i) {
    const int vLenient = vR[0][0].mUcs4[i];
    const int vPassed = vR[0][1].mUcs4[i];
    check(vLenient == vPassed ||
          (vLenient == 0x20 && vPassed < 0x80 && !QpCodepointIsValid(vPassed)));
  }

  // Strict: the count raises exactly when the decode fails; when it succeeds it is the
  // pass-through decode, and the conversions raise exactly when a code point breaks the rule.
  const Results& vStrict = vR[1][0];
  const Results& vPass = vR[1][1];
  const bool vDecodes = !vStrict.mCountRaised;
  if (!vDecodes) {
    check(vStrict.allRaised());
  } else {
    check(vStrict.mCount == vPass.mCount);
    bool vAllValid = true;
    for (int i = 0; i < vPass.mCount; ++i)
      if (!QpCodepointIsValid(vPass.mUcs4[i])) vAllValid = false;
    if (vAllValid) {
      checkConsistent(vStrict, vTerminated);
      check(std::memcmp(vStrict.mUcs4, vPass.mUcs4, sizeof(int) * (vPass.mCount + 1)) == 0);
    } else {
      check(vStrict.allRaised());
    }
  }

  const unsigned char vValid = QpValidUTF8(inText, inLength);
  check(vValid == ((vDecodes && vStrict.mCount > 0) ? 1 : 0));
  if (QpValidUTF8ForName(inText, inLength)) {
    check(vValid);
    const int* cp = vPass.mUcs4;
    for (int i = 0; i < vPass.mCount; ++i) check(QpCodepointIsValidForName(cp[i]));
    const bool vXml = vPass.mCount >= 3 && (cp[0] | 0x20) == 'x' && (cp[1] | 0x20) == 'm' &&
                      (cp[2] | 0x20) == 'l';
    check(!vXml);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  // new[] rather than a vector: an empty input must still be a real (zero-length) text, not the
  // null that an empty vector hands out and that the conversions answer with null.
  std::unique_ptr<char[]> vExact(new char[size]);
  if (size > 0) std::memcpy(vExact.get(), data, size);
  fuzzOne(vExact.get(), static_cast<int>(size));
  std::vector<char> vTerminated(data, data + size);
  vTerminated.push_back('\0');
  fuzzOne(vTerminated.data(), -1);
  return 0;
}

// Fuzz target: arbitrary bytes through every conversion from UTF-8, the character count and the
// two UTF-8 checks, with every flag combination, both with an explicit length (an exact-size
// buffer, so a read past it is caught) and with -1 up to a terminator.
//
// The conversions share one decoder, so their results must agree with each other: the UCS-4
// result is the pivot, and every other target is derived from it here independently. Only
// validate without allowInvalid may raise, and then exactly when the strict decode fails or a
// decoded code point breaks the character rule.
#include <algorithm>

#include "fuzz_support.h"

namespace {

using qpfuzz::check;

struct QpFreeDeleter {
  void operator()(void* inPtr) const { qp_free(inPtr); }
};

// Every result of one flag combination, or the fact that it raised: UCS-4, UCS-2, UTF-16,
// Latin-1, EBCDIC and EBCDIC in 16-bit units, in that order.
struct Results {
  bool mCountRaised = false;
  int mCount = -1;
  bool mRaised[6] = {false, false, false, false, false, false};
  std::unique_ptr<void, QpFreeDeleter> mOut[6];

  template <class T = int>
  const T* at(int inK) const {
    return static_cast<const T*>(mOut[inK].get());
  }
  int raised() const { return static_cast<int>(std::count(mRaised, mRaised + 6, true)); }
};

// One conversion: its result is owned, or the fact that it raised is recorded in slot inK.
template <class T>
void convert(Results& out, int inK, T* (*inF)(const char*, int, unsigned char, unsigned char),
             const char* inText, int inLength, unsigned char inValidate, unsigned char inAllow) {
  try {
    out.mOut[inK].reset(inF(inText, inLength, inValidate, inAllow));
    check(out.mOut[inK] != nullptr);
  } catch (QpInvalidXMLException&) {
    out.mRaised[inK] = true;
  }
}

void run(const char* inText, int inLength, unsigned char inValidate, unsigned char inAllow,
         Results& out) {
  try {
    out.mCount = QpCountCharacters(inText, inLength, inValidate, inAllow);
  } catch (QpInvalidXMLException&) {
    out.mCountRaised = true;
  }
  convert(out, 0, QpConvertUTF8ToUCS4, inText, inLength, inValidate, inAllow);
  convert(out, 1, QpConvertUTF8ToUCS2, inText, inLength, inValidate, inAllow);
  convert(out, 2, QpConvertUTF8ToUTF16, inText, inLength, inValidate, inAllow);
  convert(out, 3, QpConvertUTF8ToLatin1, inText, inLength, inValidate, inAllow);
  convert(out, 4, QpConvertUTF8ToEBCDIC, inText, inLength, inValidate, inAllow);
  convert(out, 5, QpConvertUTF8ToEBCDICW, inText, inLength, inValidate, inAllow);
}

// The results of a combination that did not raise must all describe the same code points.
void checkConsistent(const Results& inR, bool inTerminated) {
  check(!inR.mCountRaised && inR.raised() == 0);
  const int n = inR.mCount;
  check(n >= 0);
  const int* vUcs4 = inR.at(0);
  for (int i = 0; i <= n; ++i) {
    const int cp = vUcs4[i];
    check(i < n ? cp >= 0 : cp == 0);
    // Up to a terminator, no character can decode to zero: the decoder never makes a zero out
    // of non-zero bytes.
    if (inTerminated && i < n) check(cp != 0);
    check(inR.at<unsigned short>(1)[i] == static_cast<unsigned short>(cp & 0xFFFF));
    check(inR.at<unsigned char>(3)[i] == (cp & 0xFF));
    check(inR.at<unsigned short>(5)[i] == inR.at<unsigned char>(4)[i]);
  }
  check(inR.at<unsigned char>(4)[n] == 0);

  // EBCDIC through the other entry point, from the same code points.
  char* vEbcdic = QpConvertUCS4ToEBCDIC(vUcs4, n, 0, 0);
  check(std::memcmp(vEbcdic, inR.at<unsigned char>(4), static_cast<size_t>(n) + 1) == 0);
  qp_free(vEbcdic);

  std::vector<unsigned short> vUtf16 = qpfuzz::toUtf16(std::vector<int>(vUcs4, vUcs4 + n));
  vUtf16.push_back(0);
  check(std::memcmp(inR.at<unsigned short>(2), vUtf16.data(), 2 * vUtf16.size()) == 0);
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
    const int vLenient = vR[0][0].at(0)[i];
    const int vPassed = vR[0][1].at(0)[i];
    check(vLenient == vPassed ||
          (vLenient == 0x20 && vPassed < 0x80 && !QpCodepointIsValid(vPassed)));
  }

  // Strict: the count raises exactly when the decode fails; when it succeeds it is the
  // pass-through decode, and the conversions raise exactly when a code point breaks the rule.
  const Results& vStrict = vR[1][0];
  const Results& vPass = vR[1][1];
  const int* cp = vPass.at(0);
  const bool vDecodes = !vStrict.mCountRaised;
  if (vDecodes) check(vStrict.mCount == vPass.mCount);
  if (!vDecodes || std::count_if(cp, cp + vPass.mCount, QpCodepointIsValid) != vPass.mCount) {
    check(vStrict.raised() == 6);
  } else {
    checkConsistent(vStrict, vTerminated);
    check(std::memcmp(vStrict.at(0), cp, sizeof(int) * (vPass.mCount + 1)) == 0);
  }

  const unsigned char vValid = QpValidUTF8(inText, inLength);
  check(vValid == ((vDecodes && vStrict.mCount > 0) ? 1 : 0));
  if (QpValidUTF8ForName(inText, inLength)) {
    check(vValid);
    check(std::all_of(cp, cp + vPass.mCount, QpCodepointIsValidForName));
    const bool vXml = vPass.mCount >= 3 && (cp[0] | 0x20) == 'x' && (cp[1] | 0x20) == 'm' &&
                      (cp[2] | 0x20) == 'l';
    check(!vXml);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  fuzzOne(qpfuzz::exactCopy<char>(data, size).get(), static_cast<int>(size));
  std::vector<char> vTerminated(data, data + size);
  vTerminated.push_back('\0');
  fuzzOne(vTerminated.data(), -1);
  return 0;
}

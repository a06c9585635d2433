// The text work of qptool's convert, b32 and b64 subcommands: conversions between the library's
// encodings through its conversion functions, and the strict Base32 and Base64 decoding built on
// its codecs. 16- and 32-bit units travel little-endian, whatever the host.
#include "QpToolCodecs.h"

#include <strings.h>

#include <cstring>
#include <memory>
#include <vector>

#include <QpUtilsLib.h>

namespace qptool {
namespace {

size_t widthOf(Encoding inEncoding) {
  return inEncoding == kUcs4                                                       ? 4
         : (inEncoding == kUtf16 || inEncoding == kUcs2 || inEncoding == kEbcdicW) ? 2
                                                                                   : 1;
}

struct QpFree {
  void operator()(void* inText) const { qp_free(inText); }
};

// A text of one encoding in host units; only the vector of its width is used.
struct Text {
  std::vector<char> mBytes;
  std::vector<unsigned short> mWide;
  std::vector<int> mUcs4;
};

// The units of a library result. Fixed-width results made from code points carry exactly one
// unit per code point (inCount), and may hold zero units where a wide code point was cut to the
// width; every other result ends at its first zero unit, since it has none inside.
template <class T>
std::vector<T> take(T* inResult, long inCount) {
  std::unique_ptr<T, QpFree> vOwned(inResult);
  const size_t vCount = inCount >= 0 ? static_cast<size_t>(inCount) : QpUnitCount(inResult);
  return std::vector<T>(inResult, inResult + vCount);
}

class Converter {
 public:
  explicit Converter(bool inXml) : mValidate(inXml ? 1 : 0) {}

  // Appends the conversion of one piece without zero units to ioOut.
  void convert(Encoding inFrom, const Text& inPiece, Encoding inTo, Text& ioOut) {
    Text vResult;
    if (!direct(inFrom, inPiece, inTo, vResult)) {
      const std::vector<int> vUcs4 = toUcs4(inFrom, inPiece);
      fromUcs4(vUcs4, inTo, vResult);
    }
    ioOut.mBytes.insert(ioOut.mBytes.end(), vResult.mBytes.begin(), vResult.mBytes.end());
    ioOut.mWide.insert(ioOut.mWide.end(), vResult.mWide.begin(), vResult.mWide.end());
    ioOut.mUcs4.insert(ioOut.mUcs4.end(), vResult.mUcs4.begin(), vResult.mUcs4.end());
  }

 private:
  // The library's one-step conversions into UTF-8 and UTF-16, used where they exist so that the
  // result is what a caller of that function gets.
  bool direct(Encoding inFrom, const Text& inText, Encoding inTo, Text& outText) {
    const int n = static_cast<int>(inFrom == kUcs4        ? inText.mUcs4.size()
                                   : widthOf(inFrom) == 2 ? inText.mWide.size()
                                                          : inText.mBytes.size());
    const char* vBytes = inText.mBytes.data();
    const unsigned short* vWide = inText.mWide.data();
    if (inTo == kUtf8) {
      char* vOut = nullptr;
      switch (inFrom) {
        case kUcs4:
          vOut = QpConvertUCS4ToUTF8(inText.mUcs4.data(), n, mValidate, 0);
          break;
        case kUtf16:
          vOut = QpConvertUTF16ToUTF8(vWide, n, mValidate, 0);
          break;
        case kUcs2:
          vOut = QpConvertUCS2ToUTF8(vWide, n, mValidate, 0);
          break;
        case kLatin1:
          vOut = QpConvertLatin1ToUTF8(vBytes, n, mValidate, 0);
          break;
        case kEbcdic:
          vOut = QpConvertEBCDICToUTF8(vBytes, n, mValidate, 0);
          break;
        case kEbcdicW:
          vOut = QpConvertEBCDICWToUTF8(vWide, n, mValidate, 0);
          break;
        default:
          return false;
      }
      outText.mBytes = take(vOut, -1);
      return true;
    }
    if (inTo == kUtf16 && (inFrom == kUtf8 || inFrom == kUcs4)) {
      outText.mWide =
          take(inFrom == kUtf8 ? QpConvertUTF8ToUTF16(vBytes, n, mValidate, 0)
                               : QpConvertUCS4ToUTF16(inText.mUcs4.data(), n, mValidate, 0),
               -1);
      return true;
    }
    if (inTo == kEbcdicW && inFrom == kUtf8) {
      outText.mWide = take(QpConvertUTF8ToEBCDICW(vBytes, n, mValidate, 0), -1);
      return true;
    }
    return false;
  }

  // Every decoder turns a piece without zero units into code points without zeros.
  std::vector<int> toUcs4(Encoding inFrom, const Text& inText) {
    const char* vBytes = inText.mBytes.data();
    const unsigned short* vWide = inText.mWide.data();
    const int vBytesLen = static_cast<int>(inText.mBytes.size());
    const int vWideLen = static_cast<int>(inText.mWide.size());
    switch (inFrom) {
      case kUtf8:
        return take(QpConvertUTF8ToUCS4(vBytes, vBytesLen, mValidate, 0), -1);
      case kUtf16:
        return take(QpConvertUTF16ToUCS4(vWide, vWideLen, mValidate, 0), -1);
      case kUcs2:
        return take(QpConvertUCS2ToUCS4(vWide, vWideLen, mValidate, 0), -1);
      case kLatin1:
        return take(QpConvertLatin1ToUCS4(vBytes, vBytesLen, mValidate, 0), -1);
      case kAscii:
        return take(QpConvertASCIIToUCS4(vBytes, vBytesLen, mValidate, 0), -1);
      case kEbcdic:
        return take(QpConvertEBCDICToUCS4(vBytes, vBytesLen, mValidate, 0), -1);
      case kEbcdicW: {
        Text vUtf8;
        direct(kEbcdicW, inText, kUtf8, vUtf8);
        return toUcs4(kUtf8, vUtf8);
      }
      default:
        if (mValidate && !QpValidUCS(inText.mUcs4.data(), static_cast<int>(inText.mUcs4.size())))
          throw QpInvalidXMLException(0);
        return inText.mUcs4;
    }
  }

  void fromUcs4(const std::vector<int>& inUcs4, Encoding inTo, Text& outText) {
    const int* vCps = inUcs4.data();
    const int n = static_cast<int>(inUcs4.size());
    switch (inTo) {
      case kUcs2:
        outText.mWide = take(QpConvertUCS4ToUCS2(vCps, n, mValidate, 0), n);
        break;
      case kLatin1:
        outText.mBytes = take(QpConvertUCS4ToLatin1(vCps, n, mValidate, 0), n);
        break;
      case kAscii:
        outText.mBytes = take(QpConvertUCS4ToASCII(vCps, n, mValidate, 0), n);
        break;
      case kEbcdic:
        outText.mBytes = take(QpConvertUCS4ToEBCDIC(vCps, n, mValidate, 0), n);
        break;
      case kUcs4:
        if (mValidate && !QpValidUCS(vCps, n)) throw QpInvalidXMLException(0);
        outText.mUcs4 = inUcs4;
        break;
      default: {  // UTF-8 and UTF-16 directly; EBCDICW has a conversion from UTF-8 only
        Text vUcs4;
        vUcs4.mUcs4 = inUcs4;
        if (inTo != kEbcdicW) {
          direct(kUcs4, vUcs4, inTo, outText);
        } else {
          Text vUtf8;
          direct(kUcs4, vUcs4, kUtf8, vUtf8);
          direct(kUtf8, vUtf8, kEbcdicW, outText);
        }
      }
    }
  }

  unsigned char mValidate;
};

// Splits the input into units of its width (little-endian), refusing a trailing partial unit and
// UCS-4 values that are no code point.
bool readUnits(const std::string& inInput, Encoding inFrom, Text& outText, std::string& outError) {
  const size_t vWidth = widthOf(inFrom);
  if (inInput.size() % vWidth != 0) {
    outError = "the input is not a whole number of " + std::to_string(vWidth) + "-byte units";
    return false;
  }
  const unsigned char* p = reinterpret_cast<const unsigned char*>(inInput.data());
  for (size_t i = 0; i < inInput.size(); i += vWidth) {
    if (vWidth == 1) {
      outText.mBytes.push_back(static_cast<char>(p[i]));
    } else if (vWidth == 2) {
      outText.mWide.push_back(static_cast<unsigned short>(p[i] | p[i + 1] << 8));
    } else {
      const unsigned long vUnit =
          p[i] | p[i + 1] << 8 | p[i + 2] << 16 | static_cast<unsigned long>(p[i + 3]) << 24;
      if (vUnit > 0x7FFFFFFF) {
        outError = "the UCS-4 input holds a value above 0x7FFFFFFF at byte " + std::to_string(i);
        return false;
      }
      outText.mUcs4.push_back(static_cast<int>(vUnit));
    }
  }
  return true;
}

void writeUnits(const Text& inText, Encoding inTo, std::string& outBytes) {
  if (widthOf(inTo) == 1) {
    outBytes.assign(inText.mBytes.begin(), inText.mBytes.end());
  } else if (widthOf(inTo) == 2) {
    for (unsigned short vUnit : inText.mWide) {
      outBytes += static_cast<char>(vUnit & 0xFF);
      outBytes += static_cast<char>(vUnit >> 8);
    }
  } else {
    for (int vUnit : inText.mUcs4)
      for (int vShift = 0; vShift < 32; vShift += 8)
        outBytes += static_cast<char>((static_cast<unsigned>(vUnit) >> vShift) & 0xFF);
  }
}

// Whether unit i of the text decodes to NUL: a zero unit, or for EBCDICW a zero low byte.
bool isNul(const Text& inText, Encoding inFrom, size_t i) {
  switch (widthOf(inFrom)) {
    case 1:
      return inText.mBytes[i] == 0;
    case 2:
      return inFrom == kEbcdicW ? (inText.mWide[i] & 0xFF) == 0 : inText.mWide[i] == 0;
    default:
      return inText.mUcs4[i] == 0;
  }
}

// The units i to j of a text, as a text of its own.
Text slice(const Text& inText, size_t i, size_t j) {
  Text vPiece;
  if (!inText.mBytes.empty()) vPiece.mBytes.assign(&inText.mBytes[i], &inText.mBytes[0] + j);
  if (!inText.mWide.empty()) vPiece.mWide.assign(&inText.mWide[i], &inText.mWide[0] + j);
  if (!inText.mUcs4.empty()) vPiece.mUcs4.assign(&inText.mUcs4[i], &inText.mUcs4[0] + j);
  return vPiece;
}

void appendNul(Encoding inTo, Text& ioOut) {
  if (widthOf(inTo) == 1) ioOut.mBytes.push_back(0);
  if (widthOf(inTo) == 2) ioOut.mWide.push_back(0);
  if (widthOf(inTo) == 4) ioOut.mUcs4.push_back(0);
}

}  // namespace

const char* const kNames[] = {"utf-8",   "utf-16", "ucs-2",  "ucs-4",
                              "latin-1", "ascii",  "ebcdic", "ebcdicw"};

Encoding encodingOf(const char* inName) {
  for (int i = 0; i < kNone; ++i)
    if (strcasecmp(inName, kNames[i]) == 0) return static_cast<Encoding>(i);
  return kNone;
}

bool convertText(const std::string& inInput, Encoding inFrom, Encoding inTo, bool inXml,
                 std::string& outBytes, std::string& outError) {
  Text vText, vOut;
  if (!readUnits(inInput, inFrom, vText, outError)) return false;
  const size_t vCount = inInput.size() / widthOf(inFrom);
  // The conversions end a text at its first zero unit, so the input goes through them piece by
  // piece between its NULs, and each NUL is carried over on its own.
  Converter vConverter(inXml);
  size_t vStart = 0;
  for (size_t i = 0; i <= vCount; ++i) {
    if (i < vCount && !isNul(vText, inFrom, i)) continue;
    if (i > vStart) vConverter.convert(inFrom, slice(vText, vStart, i), inTo, vOut);
    if (i < vCount) {
      if (inXml) {
        outError = "the NUL at unit " + std::to_string(i) + " is not allowed in XML";
        return false;
      }
      appendNul(inTo, vOut);
    }
    vStart = i + 1;
  }
  outBytes.clear();
  writeUnits(vOut, inTo, outBytes);
  return true;
}

// Blanks, tabs and line breaks, which encoded text picks up on its way through mail and editors.
static std::string withoutWhiteSpace(const std::string& inText) {
  std::string vOut;
  vOut.reserve(inText.size());
  for (char c : inText)
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') vOut += c;
  return vOut;
}

bool decodeBase32(const std::string& inText, std::string& outData, std::string& outError) {
  const std::string vText = withoutWhiteSpace(inText);
  if (vText.empty()) {
    outError = "invalid Base32 input: it is empty";
    return false;
  }
  // Decoding does not report the byte count: m characters carry the whole bytes of their m - 1
  // digits. Encoding them again must give the very text read, which refuses texts with a stray
  // digit or non-zero filler bits.
  const size_t vBytes = (vText.size() - 1) * 5 / 8;
  const std::unique_ptr<char, QpFree> vData(
      QpBase32::decode(vText.data(), static_cast<int>(vText.size())));
  const std::unique_ptr<char, QpFree> vAgain(
      QpBase32::encode(vData.get(), static_cast<int>(vBytes)));
  if (vText != vAgain.get()) {
    outError = "invalid Base32 input: it is not the text of whole bytes";
    return false;
  }
  outData.assign(vData.get(), vBytes);
  return true;
}

std::string encodeBase64(const std::string& inData) {
  std::string vText((inData.size() + 2) / 3 * 4, '\0');
  int vCount = 0;
  QpBase64::encode(inData.data(), static_cast<int>(inData.size()), &vText[0], &vCount);
  vText.resize(static_cast<size_t>(vCount));
  return vText;
}

bool decodeBase64(const std::string& inText, std::string& outData) {
  // The decoder skips whatever is not in the alphabet. Encoding its result again must give the
  // text read, blanks aside: that refuses foreign characters, misplaced padding and leftover bits.
  const std::string vText = withoutWhiteSpace(inText);
  std::string vData((vText.size() + 3) / 4 * 3, '\0');
  int vCount = 0;
  QpBase64::decode(vText.data(), static_cast<int>(vText.size()), &vData[0], &vCount);
  vData.resize(static_cast<size_t>(vCount));
  if (encodeBase64(vData) != vText) return false;
  outData.swap(vData);
  return true;
}

}  // namespace qptool

// QpXMLCodec.cpp - the text conversions and XML character checks.
//
// Layout: the XML character tables; the EBCDIC tables; one decode step per source form; one
// encode step per target form; the generic driver that pairs a decode step with an encode step;
// the exported conversions (one line each); the UTF-16 to UTF-8 loop of the string buffers; the
// validity tests and the character count.
//
// The steps here are the reference. UTF-8 to UTF-16, UCS-2 and UCS-4, UTF-16 to UTF-8, the UTF-8
// validity test and the count first hand the text to the fast paths (QpXMLCodecSimd.cpp), which
// take only characters on which these steps would agree in every mode, and come back here for
// the rest.
#include "QpXMLCodec.h"

#include <climits>
#include <cstddef>
#include <cstring>

#include "QpRaise.h"
#include "QpUtf8DecodeInternal.h"
#include "QpXMLCodecSimdInternal.h"
#include "qpos32.h"

namespace {

// ================================================================================================
// XML 1.0 Second Edition, Appendix B. Each table lists inclusive ranges [first, last] in
// ascending order, without overlap, exactly as the productions enumerate them (single
// characters are ranges of one), so that a binary search can answer membership.
// ================================================================================================
struct CodeRange {
  int mFirst;
  int mLast;
};

const CodeRange kBaseChar[] = {
    {0x0041, 0x005A}, {0x0061, 0x007A}, {0x00C0, 0x00D6}, {0x00D8, 0x00F6}, {0x00F8, 0x00FF},
    {0x0100, 0x0131}, {0x0134, 0x013E}, {0x0141, 0x0148}, {0x014A, 0x017E}, {0x0180, 0x01C3},
    {0x01CD, 0x01F0}, {0x01F4, 0x01F5}, {0x01FA, 0x0217}, {0x0250, 0x02A8}, {0x02BB, 0x02C1},
    {0x0386, 0x0386}, {0x0388, 0x038A}, {0x038C, 0x038C}, {0x038E, 0x03A1}, {0x03A3, 0x03CE},
    {0x03D0, 0x03D6}, {0x03DA, 0x03DA}, {0x03DC, 0x03DC}, {0x03DE, 0x03DE}, {0x03E0, 0x03E0},
    {0x03E2, 0x03F3}, {0x0401, 0x040C}, {0x040E, 0x044F}, {0x0451, 0x045C}, {0x045E, 0x0481},
    {0x0490, 0x04C4}, {0x04C7, 0x04C8}, {0x04CB, 0x04CC}, {0x04D0, 0x04EB}, {0x04EE, 0x04F5},
    {0x04F8, 0x04F9}, {0x0531, 0x0556}, {0x0559, 0x0559}, {0x0561, 0x0586}, {0x05D0, 0x05EA},
    {0x05F0, 0x05F2}, {0x0621, 0x063A}, {0x0641, 0x064A}, {0x0671, 0x06B7}, {0x06BA, 0x06BE},
    {0x06C0, 0x06CE}, {0x06D0, 0x06D3}, {0x06D5, 0x06D5}, {0x06E5, 0x06E6}, {0x0905, 0x0939},
    {0x093D, 0x093D}, {0x0958, 0x0961}, {0x0985, 0x098C}, {0x098F, 0x0990}, {0x0993, 0x09A8},
    {0x09AA, 0x09B0}, {0x09B2, 0x09B2}, {0x09B6, 0x09B9}, {0x09DC, 0x09DD}, {0x09DF, 0x09E1},
    {0x09F0, 0x09F1}, {0x0A05, 0x0A0A}, {0x0A0F, 0x0A10}, {0x0A13, 0x0A28}, {0x0A2A, 0x0A30},
    {0x0A32, 0x0A33}, {0x0A35, 0x0A36}, {0x0A38, 0x0A39}, {0x0A59, 0x0A5C}, {0x0A5E, 0x0A5E},
    {0x0A72, 0x0A74}, {0x0A85, 0x0A8B}, {0x0A8D, 0x0A8D}, {0x0A8F, 0x0A91}, {0x0A93, 0x0AA8},
    {0x0AAA, 0x0AB0}, {0x0AB2, 0x0AB3}, {0x0AB5, 0x0AB9}, {0x0ABD, 0x0ABD}, {0x0AE0, 0x0AE0},
    {0x0B05, 0x0B0C}, {0x0B0F, 0x0B10}, {0x0B13, 0x0B28}, {0x0B2A, 0x0B30}, {0x0B32, 0x0B33},
    {0x0B36, 0x0B39}, {0x0B3D, 0x0B3D}, {0x0B5C, 0x0B5D}, {0x0B5F, 0x0B61}, {0x0B85, 0x0B8A},
    {0x0B8E, 0x0B90}, {0x0B92, 0x0B95}, {0x0B99, 0x0B9A}, {0x0B9C, 0x0B9C}, {0x0B9E, 0x0B9F},
    {0x0BA3, 0x0BA4}, {0x0BA8, 0x0BAA}, {0x0BAE, 0x0BB5}, {0x0BB7, 0x0BB9}, {0x0C05, 0x0C0C},
    {0x0C0E, 0x0C10}, {0x0C12, 0x0C28}, {0x0C2A, 0x0C33}, {0x0C35, 0x0C39}, {0x0C60, 0x0C61},
    {0x0C85, 0x0C8C}, {0x0C8E, 0x0C90}, {0x0C92, 0x0CA8}, {0x0CAA, 0x0CB3}, {0x0CB5, 0x0CB9},
    {0x0CDE, 0x0CDE}, {0x0CE0, 0x0CE1}, {0x0D05, 0x0D0C}, {0x0D0E, 0x0D10}, {0x0D12, 0x0D28},
    {0x0D2A, 0x0D39}, {0x0D60, 0x0D61}, {0x0E01, 0x0E2E}, {0x0E30, 0x0E30}, {0x0E32, 0x0E33},
    {0x0E40, 0x0E45}, {0x0E81, 0x0E82}, {0x0E84, 0x0E84}, {0x0E87, 0x0E88}, {0x0E8A, 0x0E8A},
    {0x0E8D, 0x0E8D}, {0x0E94, 0x0E97}, {0x0E99, 0x0E9F}, {0x0EA1, 0x0EA3}, {0x0EA5, 0x0EA5},
    {0x0EA7, 0x0EA7}, {0x0EAA, 0x0EAB}, {0x0EAD, 0x0EAE}, {0x0EB0, 0x0EB0}, {0x0EB2, 0x0EB3},
    {0x0EBD, 0x0EBD}, {0x0EC0, 0x0EC4}, {0x0F40, 0x0F47}, {0x0F49, 0x0F69}, {0x10A0, 0x10C5},
    {0x10D0, 0x10F6}, {0x1100, 0x1100}, {0x1102, 0x1103}, {0x1105, 0x1107}, {0x1109, 0x1109},
    {0x110B, 0x110C}, {0x110E, 0x1112}, {0x113C, 0x113C}, {0x113E, 0x113E}, {0x1140, 0x1140},
    {0x114C, 0x114C}, {0x114E, 0x114E}, {0x1150, 0x1150}, {0x1154, 0x1155}, {0x1159, 0x1159},
    {0x115F, 0x1161}, {0x1163, 0x1163}, {0x1165, 0x1165}, {0x1167, 0x1167}, {0x1169, 0x1169},
    {0x116D, 0x116E}, {0x1172, 0x1173}, {0x1175, 0x1175}, {0x119E, 0x119E}, {0x11A8, 0x11A8},
    {0x11AB, 0x11AB}, {0x11AE, 0x11AF}, {0x11B7, 0x11B8}, {0x11BA, 0x11BA}, {0x11BC, 0x11C2},
    {0x11EB, 0x11EB}, {0x11F0, 0x11F0}, {0x11F9, 0x11F9}, {0x1E00, 0x1E9B}, {0x1EA0, 0x1EF9},
    {0x1F00, 0x1F15}, {0x1F18, 0x1F1D}, {0x1F20, 0x1F45}, {0x1F48, 0x1F4D}, {0x1F50, 0x1F57},
    {0x1F59, 0x1F59}, {0x1F5B, 0x1F5B}, {0x1F5D, 0x1F5D}, {0x1F5F, 0x1F7D}, {0x1F80, 0x1FB4},
    {0x1FB6, 0x1FBC}, {0x1FBE, 0x1FBE}, {0x1FC2, 0x1FC4}, {0x1FC6, 0x1FCC}, {0x1FD0, 0x1FD3},
    {0x1FD6, 0x1FDB}, {0x1FE0, 0x1FEC}, {0x1FF2, 0x1FF4}, {0x1FF6, 0x1FFC}, {0x2126, 0x2126},
    {0x212A, 0x212B}, {0x212E, 0x212E}, {0x2180, 0x2182}, {0x3041, 0x3094}, {0x30A1, 0x30FA},
    {0x3105, 0x312C}, {0xAC00, 0xD7A3},
};

const CodeRange kIdeographic[] = {
    {0x3007, 0x3007},
    {0x3021, 0x3029},
    {0x4E00, 0x9FA5},
};

const CodeRange kCombiningChar[] = {
    {0x0300, 0x0345}, {0x0360, 0x0361}, {0x0483, 0x0486}, {0x0591, 0x05A1}, {0x05A3, 0x05B9},
    {0x05BB, 0x05BD}, {0x05BF, 0x05BF}, {0x05C1, 0x05C2}, {0x05C4, 0x05C4}, {0x064B, 0x0652},
    {0x0670, 0x0670}, {0x06D6, 0x06DC}, {0x06DD, 0x06DF}, {0x06E0, 0x06E4}, {0x06E7, 0x06E8},
    {0x06EA, 0x06ED}, {0x0901, 0x0903}, {0x093C, 0x093C}, {0x093E, 0x094C}, {0x094D, 0x094D},
    {0x0951, 0x0954}, {0x0962, 0x0963}, {0x0981, 0x0983}, {0x09BC, 0x09BC}, {0x09BE, 0x09BE},
    {0x09BF, 0x09BF}, {0x09C0, 0x09C4}, {0x09C7, 0x09C8}, {0x09CB, 0x09CD}, {0x09D7, 0x09D7},
    {0x09E2, 0x09E3}, {0x0A02, 0x0A02}, {0x0A3C, 0x0A3C}, {0x0A3E, 0x0A3E}, {0x0A3F, 0x0A3F},
    {0x0A40, 0x0A42}, {0x0A47, 0x0A48}, {0x0A4B, 0x0A4D}, {0x0A70, 0x0A71}, {0x0A81, 0x0A83},
    {0x0ABC, 0x0ABC}, {0x0ABE, 0x0AC5}, {0x0AC7, 0x0AC9}, {0x0ACB, 0x0ACD}, {0x0B01, 0x0B03},
    {0x0B3C, 0x0B3C}, {0x0B3E, 0x0B43}, {0x0B47, 0x0B48}, {0x0B4B, 0x0B4D}, {0x0B56, 0x0B57},
    {0x0B82, 0x0B83}, {0x0BBE, 0x0BC2}, {0x0BC6, 0x0BC8}, {0x0BCA, 0x0BCD}, {0x0BD7, 0x0BD7},
    {0x0C01, 0x0C03}, {0x0C3E, 0x0C44}, {0x0C46, 0x0C48}, {0x0C4A, 0x0C4D}, {0x0C55, 0x0C56},
    {0x0C82, 0x0C83}, {0x0CBE, 0x0CC4}, {0x0CC6, 0x0CC8}, {0x0CCA, 0x0CCD}, {0x0CD5, 0x0CD6},
    {0x0D02, 0x0D03}, {0x0D3E, 0x0D43}, {0x0D46, 0x0D48}, {0x0D4A, 0x0D4D}, {0x0D57, 0x0D57},
    {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E}, {0x0EB1, 0x0EB1}, {0x0EB4, 0x0EB9},
    {0x0EBB, 0x0EBC}, {0x0EC8, 0x0ECD}, {0x0F18, 0x0F19}, {0x0F35, 0x0F35}, {0x0F37, 0x0F37},
    {0x0F39, 0x0F39}, {0x0F3E, 0x0F3E}, {0x0F3F, 0x0F3F}, {0x0F71, 0x0F84}, {0x0F86, 0x0F8B},
    {0x0F90, 0x0F95}, {0x0F97, 0x0F97}, {0x0F99, 0x0FAD}, {0x0FB1, 0x0FB7}, {0x0FB9, 0x0FB9},
    {0x20D0, 0x20DC}, {0x20E1, 0x20E1}, {0x302A, 0x302F}, {0x3099, 0x3099}, {0x309A, 0x309A},
};

const CodeRange kDigit[] = {
    {0x0030, 0x0039}, {0x0660, 0x0669}, {0x06F0, 0x06F9}, {0x0966, 0x096F}, {0x09E6, 0x09EF},
    {0x0A66, 0x0A6F}, {0x0AE6, 0x0AEF}, {0x0B66, 0x0B6F}, {0x0BE7, 0x0BEF}, {0x0C66, 0x0C6F},
    {0x0CE6, 0x0CEF}, {0x0D66, 0x0D6F}, {0x0E50, 0x0E59}, {0x0ED0, 0x0ED9}, {0x0F20, 0x0F29},
};

const CodeRange kExtender[] = {
    {0x00B7, 0x00B7}, {0x02D0, 0x02D0}, {0x02D1, 0x02D1}, {0x0387, 0x0387},
    {0x0640, 0x0640}, {0x0E46, 0x0E46}, {0x0EC6, 0x0EC6}, {0x3005, 0x3005},
    {0x3031, 0x3035}, {0x309D, 0x309E}, {0x30FC, 0x30FE},
};

template <size_t N>
bool inRanges(const CodeRange (&inTable)[N], int inCodePoint) {
  size_t vLow = 0;
  size_t vHigh = N;
  while (vLow < vHigh) {
    const size_t vMid = vLow + (vHigh - vLow) / 2;
    if (inCodePoint < inTable[vMid].mFirst)
      vHigh = vMid;
    else if (inCodePoint > inTable[vMid].mLast)
      vLow = vMid + 1;
    else
      return true;
  }
  return false;
}

bool isNameLetter(int inCodePoint) {
  return inRanges(kBaseChar, inCodePoint) || inRanges(kIdeographic, inCodePoint);
}

// ================================================================================================
// The EBCDIC code page. Both tables are laid out sixteen to a row, the row being the high hex
// digit of the index and the column the low one, as code pages are usually printed.
// ================================================================================================

// EBCDIC byte -> code point. 0x7F marks a byte without a mapping (EBCDIC 0x07 is one of them).
const unsigned char kUnmapped = 0x7F;
// clang-format off
const unsigned char kEbcdicToCodePoint[256] = {
    /* 0x */ 0x00, 0x01, 0x02, 0x03, 0x1A, 0x09, 0x1A, 0x7F, 0x1A, 0x1A, 0x1A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    /* 1x */ 0x10, 0x11, 0x12, 0x13, 0x1A, 0x0A, 0x08, 0x1A, 0x18, 0x19, 0x1A, 0x1A, 0x1C, 0x1D, 0x1E, 0x1F,
    /* 2x */ 0x1A, 0x1A, 0x1C, 0x1A, 0x1A, 0x0A, 0x17, 0x1B, 0x1A, 0x1A, 0x1A, 0x1A, 0x1A, 0x05, 0x06, 0x07,
    /* 3x */ 0x1A, 0x1A, 0x16, 0x1A, 0x1A, 0x1E, 0x1A, 0x04, 0x1A, 0x1A, 0x1A, 0x1A, 0x14, 0x15, 0x1A, 0x1A,
    /* 4x */ 0x20, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x2E, 0x3C, 0x28, 0x2B, 0x7C,
    /* 5x */ 0x26, 0xA9, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x21, 0x24, 0x2A, 0x29, 0x3B, 0x5E,
    /* 6x */ 0x2D, 0x2F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0xBA, 0x2C, 0x25, 0x5F, 0x3E, 0x3F,
    /* 7x */ 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x60, 0x3A, 0x23, 0x40, 0x27, 0x3D, 0x22,
    /* 8x */ 0x7F, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F,
    /* 9x */ 0x7F, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F, 0x70, 0x71, 0x72, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F,
    /* Ax */ 0x7F, 0x7E, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x7F, 0x7F, 0x7F, 0x5B, 0x7F, 0x7F,
    /* Bx */ 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x5D, 0x7F, 0x7F,
    /* Cx */ 0x7B, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F,
    /* Dx */ 0x7D, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x50, 0x51, 0x52, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F,
    /* Ex */ 0x5C, 0x7F, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F,
    /* Fx */ 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0xB3, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F,
};

// Code point 0x00-0x7F -> EBCDIC byte. Everything from 0x7F up, DEL included, has no
// counterpart in this code page and becomes 0x4B, the EBCDIC '.'.
const unsigned char kEbcdicDot = 0x4B;
const unsigned char kCodePointToEbcdic[128] = {
    /* 0x */ 0x00, 0x01, 0x02, 0x03, 0x37, 0x2D, 0x2E, 0x2F, 0x16, 0x05, 0x15, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    /* 1x */ 0x10, 0x11, 0x12, 0x13, 0x3C, 0x3D, 0x32, 0x26, 0x18, 0x19, 0x3F, 0x27, 0x22, 0x1D, 0x35, 0x1F,
    /* 2x */ 0x40, 0x5A, 0x7F, 0x7B, 0x5B, 0x6C, 0x50, 0x7D, 0x4D, 0x5D, 0x5C, 0x4E, 0x6B, 0x60, 0x4B, 0x61,
    /* 3x */ 0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0x7A, 0x5E, 0x4C, 0x7E, 0x6E, 0x6F,
    /* 4x */ 0x7C, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6,
    /* 5x */ 0xD7, 0xD8, 0xD9, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xAD, 0xE0, 0xBD, 0x5F, 0x6D,
    /* 6x */ 0x79, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96,
    /* 7x */ 0x97, 0x98, 0x99, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xC0, 0x4F, 0xD0, 0xA1, kEbcdicDot,
};
// clang-format on

const int kSpace = 0x20;

// ================================================================================================
// Decode steps. Each reads one character from inText, of which inAvail >= 1 units belong to the
// text, stores its code point and returns the units used, or 0 for a refusal (validate without
// allowInvalid). Code points that the step passes on unchecked meet the shared check of the
// encode side (see the driver).
// ================================================================================================

int decodeUtf8(const char* inText, int inAvail, bool inValidate, bool inAllowInvalid, int* outCp) {
  return QpUtf8DecodeStep(inText, inAvail, inValidate, inAllowInvalid, outCp);
}

int decodeUtf16(const unsigned short* inText, int inAvail, bool inValidate, bool inAllowInvalid,
                int* outCp) {
  const int vUnit = inText[0];
  if (vUnit < 0xD800 || vUnit > 0xDFFF) {
    if (inAllowInvalid || QpCodepointIsValid(vUnit)) {
      *outCp = vUnit;
      return 1;
    }
    if (inValidate) return 0;
    *outCp = kSpace;
    return 1;
  }
  if (vUnit <= 0xDBFF) {
    const bool vHasNext = inAvail > 1;
    const int vNext = vHasNext ? inText[1] : 0;
    if (vNext >= 0xDC00 && vNext <= 0xDFFF) {
      *outCp = 0x10000 + ((vUnit - 0xD800) << 10) + (vNext - 0xDC00);
      return 2;
    }
    // An unpaired high surrogate: leniently the unit after it goes down with it, unless the text
    // ends there.
    if (!inValidate) {
      *outCp = kSpace;
      return vHasNext ? 2 : 1;
    }
  } else if (!inValidate) {
    *outCp = kSpace;  // a lone low surrogate
    return 1;
  }
  if (!inAllowInvalid) return 0;
  *outCp = vUnit;
  return 1;
}

// UCS-2 and UCS-4 units are code points as they stand; Latin-1 bytes are unsigned.
template <class T>
int decodeUnit(const T* inText, int, bool, bool, int* outCp) {
  *outCp = static_cast<int>(inText[0]);
  return 1;
}

int decodeLatin1(const char* inText, int, bool, bool, int* outCp) {
  *outCp = static_cast<unsigned char>(inText[0]);
  return 1;
}

// Taken as signed on purpose: bytes from 0x80 up become negative code points, which the
// character rule refuses, so that validated ASCII input cannot smuggle 8-bit text through.
int decodeAscii(const char* inText, int, bool, bool, int* outCp) {
  *outCp = static_cast<signed char>(inText[0]);
  return 1;
}

int decodeEbcdicByte(unsigned char inByte, bool inValidate, bool inAllowInvalid, int* outCp) {
  const unsigned char vMapped = kEbcdicToCodePoint[inByte];
  if (vMapped != kUnmapped) {
    *outCp = vMapped;
    return 1;
  }
  if (inValidate && !inAllowInvalid) return 0;
  *outCp = kSpace;
  return 1;
}

int decodeEbcdic(const char* inText, int, bool inValidate, bool inAllowInvalid, int* outCp) {
  return decodeEbcdicByte(static_cast<unsigned char>(inText[0]), inValidate, inAllowInvalid, outCp);
}

int decodeEbcdicW(const unsigned short* inText, int, bool inValidate, bool inAllowInvalid,
                  int* outCp) {
  return decodeEbcdicByte(static_cast<unsigned char>(inText[0] & 0xFF), inValidate, inAllowInvalid,
                          outCp);
}

// ================================================================================================
// Encode steps. Each writes the code point in its target form and returns the units written
// (at most kMaxUnits).
// ================================================================================================
const int kMaxUnits = 6;

int encodeUtf16(int inCp, unsigned short* outBuf) {
  if (inCp < 0x10000) {
    outBuf[0] = static_cast<unsigned short>(inCp);
    return 1;
  }
  if (inCp <= 0x10FFFF) {
    const int vOffset = inCp - 0x10000;
    outBuf[0] = static_cast<unsigned short>(0xD800 + (vOffset >> 10));
    outBuf[1] = static_cast<unsigned short>(0xDC00 + (vOffset & 0x3FF));
    return 2;
  }
  return 0;  // beyond UTF-16: dropped
}

int encodeUcs4(int inCp, int* outBuf) {
  outBuf[0] = inCp;
  return 1;
}

int encodeLow16(int inCp, unsigned short* outBuf) {
  outBuf[0] = static_cast<unsigned short>(inCp & 0xFFFF);
  return 1;
}

int encodeLatin1(int inCp, char* outBuf) {
  outBuf[0] = static_cast<char>(inCp & 0xFF);
  return 1;
}

int encodeAscii(int inCp, char* outBuf) {
  outBuf[0] = static_cast<char>(inCp & 0x7F);
  return 1;
}

unsigned char ebcdicOf(int inCp) {
  return (inCp >= 0 && inCp < 0x80) ? kCodePointToEbcdic[inCp] : kEbcdicDot;
}

int encodeEbcdic(int inCp, char* outBuf) {
  outBuf[0] = static_cast<char>(ebcdicOf(inCp));
  return 1;
}

int encodeEbcdicW(int inCp, unsigned short* outBuf) {
  outBuf[0] = ebcdicOf(inCp);
  return 1;
}

// ================================================================================================
// The driver.
// ================================================================================================

// The partial result goes first, so that the exception leaves nothing behind.
[[noreturn]] void raiseInvalid(void* ioPartial) {
  qp_free(ioPartial);
  qpRaise<QpInvalidXMLException>(QP_HERE, 0, nullptr);
}

[[noreturn]] void raiseOutOfMemory(void* ioPartial) {
  qp_free(ioPartial);
  qpRaise<QpOutOfMemException>(QP_HERE, 0, nullptr);
}

// The -1 length of a text; a text too long for an int length is taken at the largest one.
template <class T>
int unitsBeforeZero(const T* inText) {
  const size_t n = QpUnitCount(inText);
  return n > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

int unitsBeforeZero(const char* inText) {
  const size_t n = std::strlen(inText);
  return n > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

template <class Src>
using DecodeFn = int (*)(const Src*, int, bool, bool, int*);
template <class Dst>
using EncodeFn = int (*)(int, Dst*);
// A fast prefix (QpXMLCodecSimdInternal.h): takes clean characters, returns the units taken.
template <class Src, class Dst>
using FastFn = int (*)(const Src*, int, Dst*, size_t*);
// The conversions without a fast path take nothing on it.
template <class Src, class Dst>
int noFastPath(const Src*, int, Dst*, size_t*) {
  return 0;
}

// Decodes text character by character and encodes each character into a fresh result. The
// result starts with one unit per source unit plus the terminator - enough for every narrowing
// or equal-width target - and grows by 64 units whenever the next character would not fit,
// which only the widening UTF-8 and UTF-16 targets ever need.
template <class Src, class Dst, DecodeFn<Src> Decode, EncodeFn<Dst> Encode,
          FastFn<Src, Dst> Fast = noFastPath<Src, Dst>>
Dst* convert(const Src* inText, int inLength, unsigned char inValidate,
             unsigned char inAllowInvalid) {
  if (inText == nullptr) return nullptr;
  const int vUnits = (inLength < 0) ? unitsBeforeZero(inText) : inLength;
  const bool vValidate = inValidate != 0;
  const bool vAllowInvalid = inAllowInvalid != 0;
  // The shared check of the encode side: under validate without allowInvalid every code point
  // must be an XML character.
  const bool vCheck = vValidate && !vAllowInvalid;

  size_t vCapacity = static_cast<size_t>(vUnits) + 1;
  Dst* vResult = static_cast<Dst*>(qp_malloc(vCapacity * sizeof(Dst)));
  if (vResult == nullptr) raiseOutOfMemory(nullptr);
  size_t vUsed = 0;

  // The fast prefix runs before every character-by-character step, so that one odd character
  // does not send the rest of the text down the slow road. It writes no more units than it
  // reads, so the result needs no growth for it.
  const bool vFast = Fast != noFastPath<Src, Dst> && qpFastPathOn();
  int vPos = 0;
  while (vPos < vUnits) {
    if (vFast) {
      vPos += Fast(inText + vPos, vUnits - vPos, vResult + vUsed, &vUsed);
      if (vPos >= vUnits) break;
    }
    int vCp = 0;
    const int vRead = Decode(inText + vPos, vUnits - vPos, vValidate, vAllowInvalid, &vCp);
    if (vRead == 0 || (vCheck && !QpCodepointIsValid(vCp))) raiseInvalid(vResult);
    vPos += vRead;

    Dst vChar[kMaxUnits];
    const size_t vCount = static_cast<size_t>(Encode(vCp, vChar));
    if (vUsed + vCount + 1 > vCapacity) {
      while (vUsed + vCount + 1 > vCapacity) vCapacity += 64;
      Dst* vGrown = static_cast<Dst*>(qp_realloc(vResult, vCapacity * sizeof(Dst)));
      if (vGrown == nullptr) raiseOutOfMemory(vResult);
      vResult = vGrown;
    }
    for (size_t i = 0; i < vCount; ++i) vResult[vUsed++] = vChar[i];
  }
  vResult[vUsed] = 0;
  return vResult;
}

}  // namespace

// ================================================================================================
// The conversions: which decode step meets which encode step.
// ================================================================================================
typedef unsigned short U16;

int* QpConvertUTF8ToUCS4(const char* text, int length, unsigned char validate,
                         unsigned char allowInvalid) {
  return convert<char, int, decodeUtf8, encodeUcs4, qpFastUtf8ToUcs4>(text, length, validate,
                                                                      allowInvalid);
}

U16* QpConvertUTF8ToUCS2(const char* text, int length, unsigned char validate,
                         unsigned char allowInvalid) {
  return convert<char, U16, decodeUtf8, encodeLow16, qpFastUtf8ToUcs2>(text, length, validate,
                                                                       allowInvalid);
}

U16* QpConvertUTF8ToUTF16(const char* text, int length, unsigned char validate,
                          unsigned char allowInvalid) {
  return convert<char, U16, decodeUtf8, encodeUtf16, qpFastUtf8ToUtf16>(text, length, validate,
                                                                        allowInvalid);
}

char* QpConvertUTF8ToLatin1(const char* text, int length, unsigned char validate,
                            unsigned char allowInvalid) {
  return convert<char, char, decodeUtf8, encodeLatin1>(text, length, validate, allowInvalid);
}

char* QpConvertUTF8ToEBCDIC(const char* text, int length, unsigned char validate,
                            unsigned char allowInvalid) {
  return convert<char, char, decodeUtf8, encodeEbcdic>(text, length, validate, allowInvalid);
}

U16* QpConvertUTF8ToEBCDICW(const char* text, int length, unsigned char validate,
                            unsigned char allowInvalid) {
  return convert<char, U16, decodeUtf8, encodeEbcdicW>(text, length, validate, allowInvalid);
}

char* QpConvertUCS4ToUTF8(const int* text, int length, unsigned char validate,
                          unsigned char allowInvalid) {
  return convert<int, char, decodeUnit<int>, QpUtf8EncodeStep>(text, length, validate,
                                                               allowInvalid);
}

U16* QpConvertUCS4ToUTF16(const int* text, int length, unsigned char validate,
                          unsigned char allowInvalid) {
  return convert<int, U16, decodeUnit<int>, encodeUtf16>(text, length, validate, allowInvalid);
}

U16* QpConvertUCS4ToUCS2(const int* text, int length, unsigned char validate,
                         unsigned char allowInvalid) {
  return convert<int, U16, decodeUnit<int>, encodeLow16>(text, length, validate, allowInvalid);
}

char* QpConvertUCS4ToLatin1(const int* text, int length, unsigned char validate,
                            unsigned char allowInvalid) {
  return convert<int, char, decodeUnit<int>, encodeLatin1>(text, length, validate, allowInvalid);
}

char* QpConvertUCS4ToEBCDIC(const int* text, int length, unsigned char validate,
                            unsigned char allowInvalid) {
  return convert<int, char, decodeUnit<int>, encodeEbcdic>(text, length, validate, allowInvalid);
}

char* QpConvertUCS4ToASCII(const int* text, int length, unsigned char validate,
                           unsigned char allowInvalid) {
  return convert<int, char, decodeUnit<int>, encodeAscii>(text, length, validate, allowInvalid);
}

int* QpConvertUTF16ToUCS4(const U16* text, int length, unsigned char validate,
                          unsigned char allowInvalid) {
  return convert<U16, int, decodeUtf16, encodeUcs4>(text, length, validate, allowInvalid);
}

int* QpConvertUCS2ToUCS4(const U16* text, int length, unsigned char validate,
                         unsigned char allowInvalid) {
  return convert<U16, int, decodeUnit<U16>, encodeUcs4>(text, length, validate, allowInvalid);
}

char* QpConvertUCS2ToUTF8(const U16* text, int length, unsigned char validate,
                          unsigned char allowInvalid) {
  return convert<U16, char, decodeUnit<U16>, QpUtf8EncodeStep>(text, length, validate,
                                                               allowInvalid);
}

int* QpConvertLatin1ToUCS4(const char* text, int length, unsigned char validate,
                           unsigned char allowInvalid) {
  return convert<char, int, decodeLatin1, encodeUcs4>(text, length, validate, allowInvalid);
}

char* QpConvertLatin1ToUTF8(const char* text, int length, unsigned char validate,
                            unsigned char allowInvalid) {
  return convert<char, char, decodeLatin1, QpUtf8EncodeStep>(text, length, validate, allowInvalid);
}

int* QpConvertEBCDICToUCS4(const char* text, int length, unsigned char validate,
                           unsigned char allowInvalid) {
  return convert<char, int, decodeEbcdic, encodeUcs4>(text, length, validate, allowInvalid);
}

char* QpConvertEBCDICToUTF8(const char* text, int length, unsigned char validate,
                            unsigned char allowInvalid) {
  return convert<char, char, decodeEbcdic, QpUtf8EncodeStep>(text, length, validate, allowInvalid);
}

char* QpConvertEBCDICWToUTF8(const U16* text, int length, unsigned char validate,
                             unsigned char allowInvalid) {
  return convert<U16, char, decodeEbcdicW, QpUtf8EncodeStep>(text, length, validate, allowInvalid);
}

int* QpConvertASCIIToUCS4(const char* text, int length, unsigned char validate,
                          unsigned char allowInvalid) {
  return convert<char, int, decodeAscii, encodeUcs4>(text, length, validate, allowInvalid);
}

// ================================================================================================
// The string buffers' UTF-16 loop. It differs from the driver on purpose: it stops at a zero
// unit even inside an explicit length, keeps unpaired surrogates, refuses the two
// non-characters whatever the flags, and sizes its result in bytes from the start.
// ================================================================================================
char* QpConvertUTF16ToUTF8(const U16* text, int length, unsigned char validate,
                           unsigned char allowInvalid) {
  if (text == nullptr) return nullptr;
  // Seven bytes of slack: room for one six-byte character and the terminator before the first
  // growth check can matter.
  const size_t kSlack = 7;
  size_t vCapacity = (length < 0) ? 64 : static_cast<size_t>(length);
  const bool vCheckControls = validate && !allowInvalid;

  // Fast road: a scan finds the text clean (no surrogate out of a pair, no refused unit) and
  // counts its bytes; the result takes the first allocation below and at most one growth, to
  // the capacity that growing 64 bytes at a time would have reached, and is then encoded in one
  // pass. Any other text takes the loop below from its start.
  int vFastUnits = 0;
  size_t vFastBytes = 0;
  if (qpFastPathOn() &&
      qpFastUtf16Scan(text, qpFastUtf16Units(text, (length < 0) ? INT_MAX : length), vCheckControls,
                      &vFastUnits, &vFastBytes)) {
    char* vResult = static_cast<char*>(qp_malloc(vCapacity + kSlack));
    if (vResult == nullptr) raiseOutOfMemory(nullptr);
    if (vFastUnits > 0 && vFastBytes + 1 > vCapacity) {
      vCapacity += 64 * ((vFastBytes + 1 - vCapacity + 63) / 64);
      char* vGrown = static_cast<char*>(qp_realloc(vResult, vCapacity + kSlack));
      if (vGrown == nullptr) raiseOutOfMemory(vResult);
      vResult = vGrown;
    }
    qpFastUtf16ToUtf8(text, vFastUnits, vResult);
    vResult[vFastBytes] = '\0';
    return vResult;
  }

  char* vResult = static_cast<char*>(qp_malloc(vCapacity + kSlack));
  if (vResult == nullptr) raiseOutOfMemory(nullptr);
  size_t vUsed = 0;

  for (int i = 0; (length < 0 || i < length) && text[i] != 0; ++i) {
    int vCp = text[i];
    if (vCp >= 0xD800 && vCp <= 0xDBFF) {
      const bool vHasNext = (length < 0) || (i + 1 < length);
      const int vNext = vHasNext ? text[i + 1] : 0;
      if (vNext >= 0xDC00 && vNext <= 0xDFFF) {
        vCp = 0x10000 + ((vCp - 0xD800) << 10) + (vNext - 0xDC00);
        ++i;
      }
    }
    if (vCp == 0xFFFE || vCp == 0xFFFF) raiseInvalid(vResult);
    if (vCheckControls && vCp < 0x20 && vCp != 0x9 && vCp != 0xA && vCp != 0xD)
      raiseInvalid(vResult);

    char vChar[kMaxUnits];
    const size_t vCount = static_cast<size_t>(QpUtf8EncodeStep(vCp, vChar));
    if (vUsed + vCount + 1 > vCapacity) {
      while (vUsed + vCount + 1 > vCapacity) vCapacity += 64;
      char* vGrown = static_cast<char*>(qp_realloc(vResult, vCapacity + kSlack));
      if (vGrown == nullptr) raiseOutOfMemory(vResult);
      vResult = vGrown;
    }
    for (size_t k = 0; k < vCount; ++k) vResult[vUsed++] = vChar[k];
  }
  vResult[vUsed] = '\0';
  return vResult;
}

// ================================================================================================
// Checks.
// ================================================================================================
bool QpCodepointIsValid(int inCodePoint) {
  return inCodePoint == 0x9 || inCodePoint == 0xA || inCodePoint == 0xD ||
         (inCodePoint >= 0x20 && inCodePoint <= 0xD7FF) ||
         (inCodePoint >= 0xE000 && inCodePoint <= 0xFFFD) ||
         (inCodePoint >= 0x10000 && inCodePoint <= 0x10FFFF);
}

bool QpCodepointIsValidForName(int inCodePoint) {
  if (!QpCodepointIsValid(inCodePoint)) return false;
  if (inCodePoint == '.' || inCodePoint == '-' || inCodePoint == '_' || inCodePoint == ':')
    return true;
  return isNameLetter(inCodePoint) || inRanges(kDigit, inCodePoint) ||
         inRanges(kCombiningChar, inCodePoint) || inRanges(kExtender, inCodePoint);
}

unsigned char QpValidUCS(const int* text, int length) {
  if (text == nullptr) return 0;
  const int vUnits = (length < 0) ? unitsBeforeZero(text) : length;
  for (int i = 0; i < vUnits; ++i)
    if (!QpCodepointIsValid(text[i])) return 0;
  return 1;
}

unsigned char QpValidUTF8(const char* text, int length) {
  if (text == nullptr) return 0;
  const int vBytes = (length < 0) ? unitsBeforeZero(text) : length;
  if (vBytes == 0) return 0;
  int vCp = 0;
  const bool vFast = qpFastPathOn();
  int vIgnored = 0;
  for (int vPos = 0; vPos < vBytes;) {
    if (vFast) {
      vPos += qpFastUtf8Count(text + vPos, vBytes - vPos, &vIgnored);
      if (vPos >= vBytes) break;
    }
    const int vRead = QpUtf8DecodeStep(text + vPos, vBytes - vPos, true, false, &vCp);
    if (vRead == 0) return 0;
    vPos += vRead;
  }
  return 1;
}

unsigned char QpValidUTF8ForName(const char* text, int length) {
  if (text == nullptr) return 0;
  const int vBytes = (length < 0) ? unitsBeforeZero(text) : length;
  if (vBytes == 0) return 0;
  // The reserved prefix is "xml" in any mix of case, judged on the first three characters;
  // vPrefix counts how many of them have matched so far.
  static const char kReserved[] = "xml";
  int vPrefix = 0;
  int vIndex = 0;
  for (int vPos = 0; vPos < vBytes; ++vIndex) {
    int vCp = 0;
    const int vRead = QpUtf8DecodeStep(text + vPos, vBytes - vPos, true, false, &vCp);
    if (vRead == 0) return 0;
    vPos += vRead;
    if (vIndex == 0) {
      if (!isNameLetter(vCp) && vCp != '_' && vCp != ':') return 0;
    } else if (!QpCodepointIsValidForName(vCp)) {
      return 0;
    }
    if (vIndex < 3 && vPrefix == vIndex && (vCp | 0x20) == kReserved[vIndex]) ++vPrefix;
  }
  return vPrefix == 3 ? 0 : 1;
}

int QpCountCharacters(const char* text, int length, unsigned char validate,
                      unsigned char allowInvalid) {
  if (text == nullptr) return 0;
  const int vBytes = (length < 0) ? unitsBeforeZero(text) : length;
  int vCount = 0;
  int vCp = 0;
  const bool vFast = qpFastPathOn();
  for (int vPos = 0; vPos < vBytes; ++vCount) {
    if (vFast) {
      vPos += qpFastUtf8Count(text + vPos, vBytes - vPos, &vCount);
      if (vPos >= vBytes) break;
    }
    const int vRead =
        QpUtf8DecodeStep(text + vPos, vBytes - vPos, validate != 0, allowInvalid != 0, &vCp);
    if (vRead == 0) qpRaise<QpInvalidXMLException>(QP_HERE, 0, nullptr);
    vPos += vRead;
  }
  return vCount;
}

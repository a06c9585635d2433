// QpToolCodecs.h - the text work behind qptool's convert, b32 and b64 subcommands, kept free of
// input and output so that the fuzz target drives exactly the code the tool runs. The library's
// own failures (invalid XML under the XML check, out of memory) leave as its exceptions; input the
// tool itself refuses comes back as false with a one-line reason. Calls keep no state; any thread
// may make them.
#ifndef QPTOOL_CODECS_H
#define QPTOOL_CODECS_H

#include <string>

namespace qptool {

enum Encoding { kUtf8, kUtf16, kUcs2, kUcs4, kLatin1, kAscii, kEbcdic, kEbcdicW, kNone };

// The encoding of a name ("utf-8", "ebcdicw", ...; any case), kNone when unknown.
Encoding encodingOf(const char* inName);

// inInput, units of inFrom (16 and 32 bits little-endian), as units of inTo in outBytes. Without
// inXml malformed input converts leniently; with it, every character must pass the XML character
// rule. False for input that is not whole units, UCS-4 values beyond 31 bits, or a NUL under
// inXml.
bool convertText(const std::string& inInput, Encoding inFrom, Encoding inTo, bool inXml,
                 std::string& outBytes, std::string& outError);

// The bytes of a Base32 text (blanks and line breaks aside) only when it is exactly the text that
// encoding them gives; the library's refusal of a foreign character leaves as its exception.
bool decodeBase32(const std::string& inText, std::string& outData, std::string& outError);

// Base64 with padding on one line; the bytes of such a text (blanks and line breaks aside) only
// when it is exactly the text that encoding them gives.
std::string encodeBase64(const std::string& inData);
bool decodeBase64(const std::string& inText, std::string& outData);

}  // namespace qptool

#endif

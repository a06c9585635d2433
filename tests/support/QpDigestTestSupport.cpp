// QpDigestTestSupport.cpp - peers and oracles of the digest tests.
#include "QpDigestTestSupport.h"

#include "QpUtilsLib.h"

#if defined(QP_HAVE_OPENSSL)
#include <openssl/evp.h>
#include <openssl/hmac.h>
#endif

std::vector<size_t> qpDigestLengths() {
  std::vector<size_t> vLengths;
  for (size_t n = 0; n <= 300; ++n) vLengths.push_back(n);
  for (size_t n : {1000, 4095, 4096 + 63, 65536 + 1, 1 << 20}) vLengths.push_back(n);
  return vLengths;
}

std::string qpRandomBytes(std::mt19937& ioRng, size_t inLength) {
  std::string vBytes(inLength, '\0');
  for (char& c : vBytes) c = static_cast<char>(ioRng() & 0xFF);
  return vBytes;
}

std::string qpDigestText(const std::string& inRaw, char inType) {
  static const char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUV";
  std::string vText;
  for (size_t g = 0; g < inRaw.size() / 8; ++g) {
    std::string vBits = "0";
    for (int b = 7; b >= 0; --b) {
      for (int i = 7; i >= 0; --i) vBits += ((inRaw[8 * g + b] >> i) & 1) != 0 ? '1' : '0';
    }
    for (size_t i = 0; i < vBits.size(); i += 5)
      vText += kDigits[std::stoi(vBits.substr(i, 5), nullptr, 2)];
    if (g == 0 && inType != 0) vText += inType;
  }
  return vText;
}

#if defined(QP_HAVE_OPENSSL)
std::string qpPeerDigest(const char* inName, const std::string& inData, const std::string* inKey) {
  unsigned char vOut[EVP_MAX_MD_SIZE];
  unsigned int vLength = 0;
  if (inKey == nullptr) {
    EVP_Digest(inData.data(), inData.size(), vOut, &vLength, EVP_get_digestbyname(inName), nullptr);
  } else {
    HMAC(EVP_get_digestbyname(inName), inKey->data(), static_cast<int>(inKey->size()),
         reinterpret_cast<const unsigned char*>(inData.data()), inData.size(), vOut, &vLength);
  }
  return std::string(reinterpret_cast<char*>(vOut), vLength);
}
#endif

// QpProperties.cpp - the properties set and its file format.
#include "QpProperties.h"

#include <cerrno>
#include <memory>

#include "QpException.h"
#include "QpRaise.h"
#include "QpStringBuffer.h"
#include "QpStringConversion.h"
#include "qpos32.h"

namespace {

const char kNullValue[] = "<NULL>";
const char kHeaderRule[] = "##################################";  // 34 '#'
const size_t kReadPiece = 1023;

struct FreeText {
  void operator()(char* inText) const { qp_free(inText); }
};
typedef std::unique_ptr<char, FreeText> Text;

struct CloseFile {
  void operator()(FILE* inFile) const { qp_fclose(inFile); }
};

[[noreturn]] void raiseFileError(int inErrno, const char* inLabel, const char* inPath) {
  qpRaise<QpFileSystemException>(QP_HERE, inErrno, nullptr, inLabel,
                                 QpStringConversion::removePercent(inPath));
}

// The whole file as one text. Read before the set is touched, so that a file that cannot be read
// leaves the set as it was.
Text readAll(FILE* inFile) {
  size_t vSize = 0;
  size_t vCapacity = kReadPiece + 1;
  Text vText(static_cast<char*>(qp_malloc(vCapacity)));
  if (!vText) qpRaiseOutOfMemory(QP_HERE);
  for (;;) {
    if (vCapacity - vSize < kReadPiece + 1) {
      size_t vNew = vCapacity * 2;
      auto* vGrown = static_cast<char*>(qp_realloc(vText.get(), vNew));
      if (vGrown == nullptr) qpRaiseOutOfMemory(QP_HERE);
      (void)vText.release();  // realloc has already freed or moved the old block
      vText.reset(vGrown);
      vCapacity = vNew;
    }
    size_t vRead = qp_fread(vText.get() + vSize, 1, kReadPiece, inFile);
    vSize += vRead;
    if (vRead < kReadPiece) break;
  }
  vText.get()[vSize] = 0;
  return vText;
}

// Cuts one line into its '='-separated pieces (runs of '=' count as one, empty pieces are
// dropped) and stores them two by two as name and value. A zero byte inside the file ends the
// line's text, as it would for any C reader of the file.
void parseLine(QpHashMap& ioMap, char* inLine) {
  const char* vName = nullptr;
  char* vPiece = inLine;
  while (*vPiece != 0) {
    while (*vPiece == '=') ++vPiece;
    if (*vPiece == 0) break;
    char* vEnd = vPiece;
    while (*vEnd != 0 && *vEnd != '=') ++vEnd;
    char vStop = *vEnd;
    *vEnd = 0;
    if (vName == nullptr) {
      vName = vPiece;
    } else {
      ioMap.replace(vName, vPiece);
      vName = nullptr;
    }
    if (vStop == 0) break;
    vPiece = vEnd + 1;
  }
}

}  // namespace

QpProperties::QpProperties(const char* name) : mName(nullptr) {
  mName = qp_strdup(name != nullptr ? name : "QpProperties");
  if (mName == nullptr) qpRaiseOutOfMemory(QP_HERE);
}

QpProperties::~QpProperties() {
  qp_free(mName);
}

const char* QpProperties::valueOf(const char* inName) {
  const char* vValue = QpHashMap::getValue(inName);
  if (vValue == nullptr || vValue[0] == 0 || qp_strcasecmp(vValue, kNullValue) == 0) return nullptr;
  return vValue;
}

const char* QpProperties::getValue(const char* name) {
  StCriticalSection vLock(&mLock);
  return valueOf(name);
}

QpLong QpProperties::getLongValue(const char* name) {
  StCriticalSection vLock(&mLock);
  const char* vValue = valueOf(name);
  return vValue == nullptr ? -1 : QpStringConversion::stringToQpLong(vValue, 0);
}

unsigned char QpProperties::set(const char* name, const char* value) {
  StCriticalSection vLock(&mLock);
  replace(name, value != nullptr ? value : kNullValue);
  const char* vStored = valueOf(name);
  return vStored != nullptr && value != nullptr && qp_strcmp(vStored, value) == 0 ? 1 : 0;
}

unsigned char QpProperties::set(const char* name, QpLong value) {
  return set(name, QpStringConversion::toString(value));
}

unsigned char QpProperties::set(const char* name, int value) {
  return set(name, QpStringConversion::toString(value));
}

unsigned char QpProperties::remove(const char* name) {
  StCriticalSection vLock(&mLock);
  QpHashMap::remove(name);
  return valueOf(name) == nullptr ? 1 : 0;
}

void QpProperties::clearEntries() {
  // Last to first, so that no entry moves while the others are removed. remove() is done with
  // the name it is given once it has found the slot, so the stored name itself may be passed.
  while (size() > 0)
    if (QpHashMap::remove(getName(size() - 1)) < 0) break;
}

void QpProperties::clear() {
  StCriticalSection vLock(&mLock);
  clearEntries();
}

int QpProperties::getSize() {
  StCriticalSection vLock(&mLock);
  return size();
}

unsigned char QpProperties::readFromFile(const char* path) {
  StCriticalSection vLock(&mLock);
  if (path == nullptr || qp_access(path, 0) != 0)
    raiseFileError(errno, "QpProperties::readFromFile(%s)", path);
  std::unique_ptr<FILE, CloseFile> vFile(qp_fopen(path, "r"));
  if (!vFile) raiseFileError(errno, "QpProperties::readFromFile(%s)", path);
  Text vText = readAll(vFile.get());
  vFile.reset();
  clearEntries();
  char* vSave = nullptr;
  for (char* vLine = qp_strtok_r(vText.get(), "\n", &vSave); vLine != nullptr;
       vLine = qp_strtok_r(nullptr, "\n", &vSave)) {
    if (vLine[0] == '#') continue;
    parseLine(*this, vLine);
  }
  return 1;
}

unsigned char QpProperties::writeToFile(const char* path) {
  StCriticalSection vLock(&mLock);
  Text vText(toString());
  std::unique_ptr<FILE, CloseFile> vFile(path != nullptr ? qp_fopen(path, "w") : nullptr);
  if (!vFile) raiseFileError(errno, "QpProperties::writeToFile(%s)", path);
  size_t vLength = qp_strlen(vText.get());
  if (qp_fwrite(vText.get(), 1, vLength, vFile.get()) != vLength || qp_fflush(vFile.get()) != 0)
    raiseFileError(errno, "QpProperties::writeToFile(%s)", path);
  return 1;
}

// The header is written even for a set without entries, so that the file still names its set.
char* QpProperties::toString() {
  size_t vSize = 2 * sizeof(kHeaderRule) + qp_strlen(mName) + 8;
  for (int i = 0; i < size(); ++i)
    vSize += qp_strlen(getName(i)) + qp_strlen(QpHashMap::getValue(i)) + 2;
  auto* vText = static_cast<char*>(qp_malloc(vSize));
  if (vText == nullptr) qpRaiseOutOfMemory(QP_HERE);
  char* vOut = vText;
  vOut += qp_sprintf(vOut, "%s\n# %s\n%s\n\n", kHeaderRule, mName, kHeaderRule);
  for (int i = 0; i < size(); ++i)
    vOut += qp_sprintf(vOut, "%s=%s\n", getName(i), QpHashMap::getValue(i));
  return vText;
}

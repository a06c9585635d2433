// QpLogBasic.cpp - file handling shared by the writers: opening modes, counting, the size test,
// rotation into overflow files and the callback.
#include "QpLogBasic.h"

#include <climits>
#include <cstdarg>
#include <cstring>

#include "QpException.h"
#include "QpLoggingState.h"
#include "QpRaise.h"
#include "QpStringConversion.h"
#include "qpos32.h"

namespace {

// Room for "_ovr", a decimal int and the terminator around the base name and extension.
const size_t kOverflowExtra = 4 + 11 + 1;
// Room for "." + seconds + milliseconds (+ up to 99) and the terminator.
const size_t kUniqueExtra = 1 + 20 + 11 + 1;
const int kUniqueTries = 100;

// Clears mOpening on every way out of openFile.
class StOpening {
 public:
  explicit StOpening(bool* ioFlag) : mFlag(ioFlag), mPrevious(*ioFlag) { *ioFlag = true; }
  ~StOpening() { *mFlag = mPrevious; }
  StOpening(const StOpening&) = delete;
  StOpening& operator=(const StOpening&) = delete;

 private:
  bool* mFlag;
  bool mPrevious;
};

int clampLevel(int inLevel) {
  return inLevel >= 0 && inLevel <= 8 ? inLevel : 4;
}

}  // namespace

QpLogBasic::QpLogBasic()
    : mFile(nullptr),
      mPath(nullptr),
      mAppend(false),
      mKeepExisting(false),
      mLevel(4),
      mMaxOverflows(1),
      mMaxSizeInKb(-1),
      mSizeCount(0),
      mComponents(ALL),
      mCallback(nullptr),
      mOpening(false) {}

QpLogBasic::~QpLogBasic() {
  if (mFile != nullptr) qp_fclose(mFile);
  qp_free(mPath);
}

void QpLogBasic::writeHeader() {}
void QpLogBasic::writeFooter() {}
int QpLogBasic::reserve() {
  return 0;
}

void QpLogBasic::takeLimits(const _logOptions& inOptions) {
  mKeepExisting = inOptions.keepExisting;
  mMaxOverflows = inOptions.maxOverflows;
  mMaxSizeInKb = inOptions.maxSizeInKb;
  mComponents = inOptions.components;
  mLevel = clampLevel(inOptions.level);
}

void QpLogBasic::construct(const _logOptions& inOptions, bool inAppend) {
  try {
    mAppend = inAppend;
    const char* vName =
        inOptions.newLogFileName != nullptr ? inOptions.newLogFileName : inOptions.path;
    if (vName != nullptr) {
      mPath = qp_strdup(vName);
      if (mPath == nullptr) qpRaise<QpOutOfMemException>(QP_HERE, 0, nullptr);
    }
    takeLimits(inOptions);
    mSizeCount = 0;
    if (mPath != nullptr) openFile(mPath, mAppend, mKeepExisting);
  } catch (...) {
    if (mFile != nullptr) qp_fclose(mFile);
    mFile = nullptr;
    qp_free(mPath);
    mPath = nullptr;
    throw;
  }
}

void QpLogBasic::write(const char* inFormat, ...) {
  if (mFile == nullptr) return;
  va_list vArgs;
  va_start(vArgs, inFormat);
  const int vWritten = qp_vfprintf(mFile, inFormat, vArgs);
  va_end(vArgs);
  if (vWritten > 0 && mMaxSizeInKb != -1) mSizeCount += vWritten + 1;
  qp_fflush(mFile);
}

void QpLogBasic::writeLine(char* ioLine, size_t inHeadLen, size_t inRoom, const char* inText) {
  if (mFile == nullptr) return;
  const size_t vTextLen = qp_strlen(inText);
  const size_t vTotal = inHeadLen + vTextLen + 1;
  // A short entry goes to the stream in one piece, a long one in three; either way the line
  // leaves the stream buffer in the one flush below.
  size_t vWritten;
  if (vTotal <= inRoom) {
    std::memcpy(ioLine + inHeadLen, inText, vTextLen);
    ioLine[vTotal - 1] = '\n';
    vWritten = qp_fwrite(ioLine, 1, vTotal, mFile);
  } else {
    vWritten = qp_fwrite(ioLine, 1, inHeadLen, mFile);
    vWritten += qp_fwrite(inText, 1, vTextLen, mFile);
    vWritten += qp_fwrite("\n", 1, 1, mFile);
  }
  // A formatted write that stops midway reports an error, not a shorter count: count only a
  // whole line.
  if (vWritten == vTotal && mMaxSizeInKb != -1) mSizeCount += static_cast<QpLong>(vTotal) + 1;
  qp_fflush(mFile);
}

void QpLogBasic::logEntry(verbosity_level_t level, component_t component, const char* text) {
  if (level > mLevel || (component & mComponents) == 0) return;
  if (mFile != nullptr && mMaxSizeInKb != -1 && !mOpening) sizeTest(text);
  if (mFile == nullptr && mCallback == nullptr) return;
  log(level, component, text);
}

void QpLogBasic::sizeTest(const char* inText) {
  // A limit from outside may be any 64-bit number: saturate instead of overflowing.
  QpLong vLimit;
  if (mMaxSizeInKb > LLONG_MAX / 1024)
    vLimit = LLONG_MAX;
  else if (mMaxSizeInKb < LLONG_MIN / 1024)
    vLimit = LLONG_MIN;
  else
    vLimit = mMaxSizeInKb * 1024;
  const QpLong vProjected = mSizeCount + reserve();
  const QpLong vText = static_cast<QpLong>(qp_strlen(inText)) + 1;
  if (vProjected >= vLimit || vProjected + vText >= vLimit) rotate();
}

void QpLogBasic::rotate() {
  if (mFile != nullptr) {
    writeFooter();
    qp_fclose(mFile);
    mFile = nullptr;
  }
  rotateFiles(mPath, mMaxOverflows);
  mSizeCount = 0;
  openFile(mPath, mMaxOverflows == 0 ? false : mAppend, mKeepExisting);
}

void QpLogBasic::rotateFiles(const char* inPath, int inCount) {
  if (inPath == nullptr || inCount < 1) return;
  const size_t vPathLen = qp_strlen(inPath);
  const size_t vNameSize = vPathLen + kOverflowExtra;
  // One block for the split copy of the path and two names, so that nothing is moved unless
  // every name can be built.
  char* vBlock = static_cast<char*>(qp_malloc(vPathLen + 1 + 2 * vNameSize));
  if (vBlock == nullptr) qpRaiseOutOfMemory(QP_HERE);
  char* vBase = vBlock;
  char* vFrom = vBlock + vPathLen + 1;
  char* vTo = vFrom + vNameSize;
  qp_strcpy(vBase, inPath);
  // The last '.' anywhere in the path, directories included, starts the extension.
  const char* vExt = "";
  char* vDot = qp_strrchr(vBase, '.');
  if (vDot != nullptr) {
    vExt = inPath + (vDot - vBase);
    *vDot = 0;
  }
  for (int k = inCount; k >= 1; --k) {
    qp_snprintf(vFrom, vNameSize, "%s%s%i%s", vBase, "_ovr", k, vExt);
    if (qp_access(vFrom, 0) != 0) continue;
    if (k == inCount) {
      qp_remove(vFrom);
    } else {
      qp_snprintf(vTo, vNameSize, "%s%s%i%s", vBase, "_ovr", k + 1, vExt);
      qp_rename(vFrom, vTo);
    }
  }
  qp_snprintf(vTo, vNameSize, "%s%s1%s", vBase, "_ovr", vExt);
  qp_rename(inPath, vTo);
  qp_free(vBlock);
}

FILE* QpLogBasic::openFile(const char* inPath, bool inAppend, bool inKeepExisting) {
  StOpening vOpening(&mOpening);
  if (mFile != nullptr) {
    writeFooter();
    qp_fclose(mFile);
    mFile = nullptr;
  }
  if (inPath == nullptr) return nullptr;
  if (inAppend) {
    qp_stat_t vInfo;
    mSizeCount = qp_stat(inPath, &vInfo) == 0 ? vInfo.st_size : 0;
    mFile = qp_fopen(inPath, "a");
  } else {
    mSizeCount = 0;
    if (inKeepExisting) {
      const size_t vSize = qp_strlen(inPath) + kUniqueExtra;
      char* vName = static_cast<char*>(qp_malloc(vSize));
      if (vName == nullptr) qpRaiseOutOfMemory(QP_HERE);
      for (int i = 0; i < kUniqueTries && mFile == nullptr; ++i) {
        qp_timeval vNow;
        if (qp_gettimeofday(&vNow, nullptr) != 0) vNow.tv_sec = 0, vNow.tv_usec = 0;
        if (i == 0)
          qp_strcpy(vName, inPath);
        else
          qp_snprintf(vName, vSize, "%s.%lld%.3ld", inPath, static_cast<long long>(vNow.tv_sec),
                      vNow.tv_usec / 1000 + i);
        qp_stat_t vInfo;
        if (qp_stat(vName, &vInfo) != 0) mFile = qp_fopen(vName, "a");
      }
      qp_free(vName);
    } else {
      mFile = qp_fopen(inPath, "w");
    }
  }
  if (mFile == nullptr)
    qpRaise<QpFileSystemException>(QP_HERE, 0, nullptr, "QpLogBasic::openFile(%s,%s,%s)",
                                   QpStringConversion::removePercent(inPath),
                                   inAppend ? "true" : "false", inKeepExisting ? "true" : "false");
  writeHeader();
  return mFile;
}

void QpLogBasic::callBack(const char* inText) {
  Callback vCallback = mCallback;
  char* vCopy = qp_strdup(inText);
  if (vCopy == nullptr) qpRaiseOutOfMemory(QP_HERE);
  int vResult;
  try {
    vResult = vCallback(vCopy);
  } catch (...) {
    qp_free(vCopy);
    throw;
  }
  qp_free(vCopy);
  if (vResult == 0) return;
  if (mCallback == vCallback) mCallback = nullptr;
  qpRaise<QpLogCallbackException>(QP_HERE, vResult, nullptr);
}

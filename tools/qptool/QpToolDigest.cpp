// qptool digest: the digest text of files, and their content address, through the library's
// incremental digest routers. Files are streamed through one fixed buffer, so a file of any size
// is hashed in the same small amount of memory.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "QpToolCommands.h"
#include "QpToolInput.h"

namespace qptool {
namespace {

constexpr size_t kBufferSize = 1u << 20;
// Below this a file is hashed in well under a second and a bar would only flicker.
constexpr long long kProgressFrom = 64ll << 20;

// A router context, deleted with its router on every path out.
template <class Router>
struct Context {
  void* mCtx = Router::createContext();
  Context() = default;
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;
  ~Context() {
    if (mCtx != nullptr) Router::deleteContext(mCtx, false);
  }
};

// Draws "NAME [#####.....]  42%" on standard error, rewritten in place.
class Progress {
 public:
  Progress(const char* inName, long long inTotal) : mName(inName), mTotal(inTotal) {}
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  ~Progress() {
    if (mShown) std::fputs("\r\033[K", stderr);
  }
  void advance(long long inDone) {
    const int vPercent = static_cast<int>(inDone * 100 / mTotal);
    if (vPercent == mPercent) return;
    mPercent = vPercent;
    mShown = true;
    const int vFilled = vPercent * 30 / 100;
    std::fprintf(stderr, "\r%s [%.*s%.*s] %3d%%", mName, vFilled, "##############################",
                 30 - vFilled, "..............................", vPercent);
    std::fflush(stderr);
  }

 private:
  const char* mName;
  long long mTotal;
  int mPercent = -1;
  bool mShown = false;
};

struct Options {
  bool mSha256 = false;
  char mType = 0;  // 0, or the type character of the content address
};

// Hashes one file and appends its line to ioOut. Returns an exit code.
int digestOne(const char* inPath, const Options& inOptions, std::vector<char>& ioBuffer,
              std::string& ioOut) {
  std::string vError;
  const int vFd = openInput(inPath, vError);
  if (vFd < 0) return fail("digest", vError, kExitInput);
  std::unique_ptr<Progress> vProgress;
  struct stat vStat;
  if (isatty(2) && fstat(vFd, &vStat) == 0 && S_ISREG(vStat.st_mode) &&
      vStat.st_size >= kProgressFrom)
    vProgress.reset(new Progress(inPath, vStat.st_size));

  // MD5 is needed for the MD5 text and for every content address; SHA-256 only when asked for.
  const bool vNeedMd5 = !inOptions.mSha256 || inOptions.mType != 0;
  std::unique_ptr<Context<QpMD5_Router>> vMd5(vNeedMd5 ? new Context<QpMD5_Router> : nullptr);
  std::unique_ptr<Context<QpSHA256_Router>> vSha(inOptions.mSha256 ? new Context<QpSHA256_Router>
                                                                   : nullptr);
  int vCode = kExitOk;
  if ((vMd5 && vMd5->mCtx == nullptr) || (vSha && vSha->mCtx == nullptr)) {
    vCode = fail("digest", "out of memory for a digest context", kExitFailed);
  } else {
    long long vDone = 0;
    unsigned int vScratch = 0;
    while (true) {
      const long vCount = readSome(vFd, ioBuffer.data(), ioBuffer.size());
      if (vCount == 0) break;
      if (vCount < 0) {
        vProgress.reset();
        vCode = fail("digest", std::string("cannot read ") + inPath + ": " + std::strerror(errno),
                     kExitInput);
        break;
      }
      const unsigned long vLength = static_cast<unsigned long>(vCount);
      if (vMd5) QpMD5_Router::update(vMd5->mCtx, ioBuffer.data(), vLength, false);
      if (vSha) QpSHA256_Router::update(vSha->mCtx, ioBuffer.data(), vLength, vScratch, false);
      vDone += vCount;
      if (vProgress) vProgress->advance(vDone);
    }
  }
  if (vFd != 0) close(vFd);
  vProgress.reset();
  if (vCode != kExitOk) return vCode;

  // The content address is the MD5 text with the type character inside, so the plain MD5 text
  // is that address without it: one completion gives both.
  char vMd5Text[32] = {0};
  char vShaText[64] = {0};
  const char vMd5Type = inOptions.mType != 0 ? inOptions.mType : 'e';
  if (vMd5 && QpMD5_Router::complete(vMd5->mCtx, vMd5Type, vMd5Text, sizeof vMd5Text, false) != 0)
    return fail("digest", "the MD5 digest could not be completed", kExitFailed);
  if (vSha && QpSHA256_Router::complete(vSha->mCtx, 0, vShaText, sizeof vShaText, false) != 0)
    return fail("digest", "the SHA-256 digest could not be completed", kExitFailed);
  std::string vPlainMd5(vMd5Text);
  if (vMd5) vPlainMd5.erase(13, 1);
  ioOut += inOptions.mSha256 ? vShaText : vPlainMd5;
  if (inOptions.mType != 0) {
    // The identifier classes check the address as the rest of the system will read it.
    QpObjectGuid vGuid(vMd5Text);
    ioOut += "  ";
    ioOut += vGuid.GetCA();
  }
  ioOut += "  ";
  ioOut += inPath;
  ioOut += "\n";
  return kExitOk;
}

}  // namespace

int runDigest(int argc, char** argv) {
  Options vOptions;
  std::vector<const char*> vFiles;
  for (int i = 1; i < argc; ++i) {
    const std::string vArg = argv[i];
    if (vArg == "--md5") {
      vOptions.mSha256 = false;
    } else if (vArg == "--sha256") {
      vOptions.mSha256 = true;
    } else if (vArg == "--type") {
      if (++i >= argc) return fail("digest", "--type needs clip or blob", kExitUsage);
      const std::string vType = argv[i];
      if (vType != "clip" && vType != "blob")
        return fail("digest", "--type must be clip or blob, not " + vType, kExitUsage);
      vOptions.mType = vType == "clip" ? 'e' : 'x';
    } else if (vArg.size() > 1 && vArg[0] == '-') {
      return fail("digest", "unknown option " + vArg, kExitUsage);
    } else {
      vFiles.push_back(argv[i]);
    }
  }
  if (vFiles.empty()) return fail("digest", "no file given (use - for standard input)", kExitUsage);

  std::vector<char> vBuffer(kBufferSize);
  int vCode = kExitOk;
  try {
    for (const char* vFile : vFiles) {
      // Each line goes out as soon as its file is done: a long run shows its progress.
      std::string vLine;
      const int vOne = digestOne(vFile, vOptions, vBuffer, vLine);
      if (vOne != kExitOk && vCode != kExitFailed) vCode = vOne;
      if (!writeOutput(vLine)) return fail("digest", "cannot write the output", kExitFailed);
    }
  } catch (QpException& e) {
    return fail("digest", describe(e), kExitFailed);
  }
  return vCode;
}

}  // namespace qptool

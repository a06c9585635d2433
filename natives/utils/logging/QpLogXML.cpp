// QpLogXML.cpp - the XML writer.
#include "QpLogXML.h"

#include "QpLoggingState.h"
#include "qpos32.h"

QpLogXML::QpLogXML(QpLoggingState* options) : apiKey(0), mHaveApiKey(false) {
  const _logOptions vOptions = options->getLogOptions();
  construct(vOptions, false);
  // Without a key the entries simply carry no API name.
  mHaveApiKey = qp_key_create(&apiKey, qp_free) == 0;
}

QpLogXML::~QpLogXML() {
  if (mFile != nullptr) writeFooter();
  if (mHaveApiKey) {
    // The other threads' names stay with them until they end; this thread's goes now.
    qp_free(qp_getspecific(apiKey));
    qp_setspecific(apiKey, nullptr);
    qp_key_delete(apiKey);
  }
}

int QpLogXML::reserve() {
  return 0;
}

void QpLogXML::updateConfig(_logOptions options) {
  mAppend = false;
  takeLimits(options);
}

void QpLogXML::writeHeader() {
  write("<?xml version='1.0' encoding='UTF-8' standalone='no'?>\n");
  write("<SDKLog SDKVersion=\"4.0.710\">\n");
}

void QpLogXML::writeFooter() {
  write("</SDKLog>\n");
}

void QpLogXML::log(verbosity_level_t level, component_t component, const char* text) {
  if (mCallback != nullptr) {
    callBack(text);
    return;
  }
  qp_timeval vNow;
  if (qp_gettimeofday(&vNow, nullptr) != 0) vNow.tv_sec = 0, vNow.tv_usec = 0;
  const char* vApi = mHaveApiKey ? static_cast<const char*>(qp_getspecific(apiKey)) : nullptr;
  if (component == API && level == 3 && text[0] == 'S' && mHaveApiKey) {
    // The name starts at the seventh character; a shorter text clears it. Without memory for
    // the new name the thread keeps its old one: the entry itself matters more than the
    // attribute on the next ones.
    char* vName = qp_strlen(text) > 6 ? qp_strdup(text + 6) : nullptr;
    if ((vName != nullptr || qp_strlen(text) <= 6) && qp_setspecific(apiKey, vName) == 0)
      qp_free(const_cast<char*>(vApi));
    else
      qp_free(vName);
    vApi = nullptr;  // the naming entry itself carries no API attribute
  }
  const char* vLevel = QpLogging::LevelToString(level);
  write("\n<%s", vLevel);
  write(" procID=\"%d\"", qp_getpid());
  write(" tID=\"%d\"", static_cast<int>(qp_thread_self()));
  write(" msec=\"%lld%.3ld\"", static_cast<long long>(vNow.tv_sec), vNow.tv_usec / 1000);
  write(" usec=\"%llu\"", static_cast<unsigned long long>(vNow.tv_sec) * 1000000ULL +
                              static_cast<unsigned long long>(vNow.tv_usec));
  write(" comp=\"%s\"", QpLogging::ComponentToString(component));
  if (vApi != nullptr) write(" API=\"%s\"", vApi);
  write(">");
  write("<![CDATA[\n");
  write("%s", text);
  write("\n]]>");
  write("</%s>\n", vLevel);
}

// QpLogXML.h - the XML log writer: one SDKLog document a file, one element an entry, named
// after the entry's level, with the text in a CDATA section. An XML file is never appended to:
// every open starts a new document.
//
// Each thread has its own API name (set by an API entry at level 3 whose text begins with "S"),
// shown on that thread's later entries.
//
// Threads: as QpLogBasic (called under QpLogging::mLoggerLock only); the API name is per thread.
#ifndef QP_LOG_XML_H
#define QP_LOG_XML_H

#include "QpLogBasic.h"

class QpLoggingState;

class QP_EXPORT QpLogXML : public QpLogBasic {
 public:
  explicit QpLogXML(QpLoggingState* options);
  ~QpLogXML() override;  // ends the document

  void log(verbosity_level_t level, component_t component, const char* text) override;
  void writeHeader() override;
  void writeFooter() override;
  int reserve() override;
  void updateConfig(_logOptions options) override;

 private:
  unsigned long apiKey;  // thread-local API name (qp_strdup'd)
  bool mHaveApiKey;
};

#endif  // QP_LOG_XML_H

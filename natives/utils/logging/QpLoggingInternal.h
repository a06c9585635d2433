// QpLoggingInternal.h - rules shared by the environment and the state-file readers of the
// logging options. Library sources and tests only.
#ifndef QP_LOGGING_INTERNAL_H
#define QP_LOGGING_INTERNAL_H

// QP_LOGLEVEL's value: 1 to 8 taken, above 8 or below 0 give 4, 0 only for exactly "0", any
// other text that reads as 0 gives 3.
int qpLogLevelFromText(const char* inText);

#endif  // QP_LOGGING_INTERNAL_H

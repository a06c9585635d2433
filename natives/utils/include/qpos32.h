// qpos32.h - the library's one door to the operating system.
//
// Every qp_ function behaves as the C or POSIX function of the same name without the prefix,
// plus the guarantees written beside it here. None of them throws; failures are reported as the
// POSIX namesake reports them (null, -1, an error number) and errno is left as the call set it.
// All of them may be called from any thread without a lock of the caller's.
//
// Platform headers stay behind this file: callers see only the opaque types declared here.
#ifndef QP_OS32_H
#define QP_OS32_H

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <ctime>

#include "QpTypes.h"

// ---- Memory ------------------------------------------------------------------------------------
// A null result is the only out-of-memory signal. With the fault hook armed (QpFaultInjection.h)
// these fail on request exactly like an exhausted heap.
QP_EXPORT void* qp_malloc(size_t inSize);
QP_EXPORT void* qp_calloc(size_t inCount, size_t inSize);
QP_EXPORT void* qp_realloc(void* inPtr, size_t inSize);
QP_EXPORT void qp_free(void* inPtr);
QP_EXPORT void* qp_memcpy(void* outDest, const void* inSrc, size_t inLen);
QP_EXPORT void* qp_memset(void* outDest, int inValue, size_t inLen);

// ---- Strings -----------------------------------------------------------------------------------
QP_EXPORT size_t qp_strlen(const char* inText);
QP_EXPORT char* qp_strcpy(char* outDest, const char* inSrc);
QP_EXPORT char* qp_strncpy(char* outDest, const char* inSrc, size_t inCount);
QP_EXPORT char* qp_strcat(char* outDest, const char* inSrc);
QP_EXPORT char* qp_strdup(const char* inText);  // freed with qp_free; null when out of memory
QP_EXPORT int qp_strcmp(const char* inA, const char* inB);
QP_EXPORT int qp_strncmp(const char* inA, const char* inB, size_t inCount);
QP_EXPORT int qp_strcasecmp(const char* inA, const char* inB);  // 0 when equal ignoring ASCII case
QP_EXPORT char* qp_strchr(const char* inText, int inChar);
QP_EXPORT char* qp_strrchr(const char* inText, int inChar);
QP_EXPORT char* qp_strstr(const char* inText, const char* inNeedle);
QP_EXPORT char* qp_strtok_r(char* inText, const char* inDelims, char** ioSave);
QP_EXPORT char* qp_strupr(char* ioText);  // in place, ASCII letters only; returns ioText
QP_EXPORT int qp_atoi(const char* inText);
// Widens a multi-byte text into 16-bit units (the library's wide form); returns the units
// written, or (size_t)-1 on an invalid sequence.
QP_EXPORT size_t qp_mbstowcs(QpWChar* outDest, const char* inSrc, size_t inCount);

// ---- Formatting --------------------------------------------------------------------------------
QP_EXPORT int qp_sprintf(char* outBuf, const char* inFormat, ...)
    __attribute__((format(printf, 2, 3)));
QP_EXPORT int qp_snprintf(char* outBuf, size_t inSize, const char* inFormat, ...)
    __attribute__((format(printf, 3, 4)));
QP_EXPORT int qp_vsnprintf(char* outBuf, size_t inSize, const char* inFormat, va_list inArgs)
    __attribute__((format(printf, 3, 0)));
QP_EXPORT int qp_printf(const char* inFormat, ...) __attribute__((format(printf, 1, 2)));
QP_EXPORT int qp_vfprintf(FILE* inFile, const char* inFormat, va_list inArgs)
    __attribute__((format(printf, 2, 0)));

// ---- Files -------------------------------------------------------------------------------------
// <sys/stat.h> defines st_mtime as a macro on some systems; keep the field's name whatever was
// included before this header.
#pragma push_macro("st_mtime")
#undef st_mtime
struct qp_stat_t {
  QpLong st_size;   // bytes
  QpLong st_mtime;  // seconds since 1970-01-01 UTC
  int st_mode;      // the platform's mode bits
};
#pragma pop_macro("st_mtime")

QP_EXPORT FILE* qp_fopen(const char* inPath, const char* inMode);
QP_EXPORT size_t qp_fread(void* outBuf, size_t inSize, size_t inCount, FILE* inFile);
QP_EXPORT size_t qp_fwrite(const void* inBuf, size_t inSize, size_t inCount, FILE* inFile);
QP_EXPORT int qp_fflush(FILE* inFile);
QP_EXPORT int qp_fclose(FILE* inFile);
QP_EXPORT int qp_stat(const char* inPath, qp_stat_t* outStat);  // -1 when the path does not exist
QP_EXPORT int qp_access(const char* inPath, int inMode);        // mode 0: 0 when the path exists
QP_EXPORT int qp_rename(const char* inOld, const char* inNew);
QP_EXPORT int qp_remove(const char* inPath);
// A new temporary file in $TMPDIR (or /tmp), already unlinked, so that it disappears when its
// handle is closed. The handle is a FILE* open for reading and writing ("w+b"). Null (with errno
// set) when none can be made.
QP_EXPORT void* qp_newTmpfile();
QP_EXPORT int qp_CloseHandle(void* inHandle);  // 0 on success

// ---- Environment and process -------------------------------------------------------------------
QP_EXPORT const char* qp_getenv(const char* inName);  // null when unset
QP_EXPORT int qp_getpid();
QP_EXPORT unsigned long qp_thread_self();  // an integer identifying the calling thread

// ---- Time --------------------------------------------------------------------------------------
struct qp_timeval {
  QpLong tv_sec;
  long tv_usec;
};

// Seconds since 1970-01-01 UTC; also stored when outTime is set.
QP_EXPORT QpLong qp_time(QpLong* outTime);
QP_EXPORT int qp_gettimeofday(qp_timeval* outTime, void* inUnused);
// The result lies in a buffer of the calling thread, valid until that thread's next call; other
// threads and the application's own gmtime cannot overwrite it. The library still formats under
// StProtectQPOS, which the logging writers take around the pair qp_gmtime/qp_strftime.
QP_EXPORT struct tm* qp_gmtime(const QpLong* inTime);
QP_EXPORT size_t qp_strftime(char* outBuf, size_t inSize, const char* inFormat,
                             const struct tm* inTime);

// ---- Thread-local storage ----------------------------------------------------------------------
// The destructor runs with a thread's non-null value when that thread ends.
QP_EXPORT int qp_key_create(unsigned long* outKey, void (*inDestructor)(void*));  // 0 on success
QP_EXPORT void* qp_getspecific(unsigned long inKey);                              // null when unset
QP_EXPORT int qp_setspecific(unsigned long inKey, const void* inValue);           // 0 on success
QP_EXPORT int qp_key_delete(unsigned long inKey);

// ---- Mutexes -----------------------------------------------------------------------------------
// Both kinds admit the thread that already holds them: a second lock by the holder returns at
// once (QpMutex relies on this to detect relocking), and each lock needs its own unlock. Any other
// thread waits. The owner is recorded so that callers can ask whether they hold a mutex.
struct qp_mutex_t {
  alignas(8) unsigned char mOpaque[48];
  unsigned long mOwner;  // the holding thread's qp_thread_self(), 0 when free
};
typedef qp_mutex_t qp_recursive_mutex_t;

QP_EXPORT int qp_mutex_init(qp_mutex_t* ioMutex, void* inAttr);  // inAttr must be 0
QP_EXPORT int qp_mutex_lock(qp_mutex_t* ioMutex);
// Non-zero (EPERM) when the caller does not hold the mutex.
QP_EXPORT int qp_mutex_unlock(qp_mutex_t* ioMutex);
QP_EXPORT int qp_mutex_destroy(qp_mutex_t* ioMutex);
QP_EXPORT bool qp_mutex_held(const qp_mutex_t* inMutex);  // whether the calling thread holds it
QP_EXPORT int qp_recursive_mutex_init(qp_recursive_mutex_t* ioMutex, void* inAttr);
QP_EXPORT int qp_recursive_mutex_lock(qp_recursive_mutex_t* ioMutex);
QP_EXPORT int qp_recursive_mutex_unlock(qp_recursive_mutex_t* ioMutex);
QP_EXPORT int qp_recursive_mutex_destroy(qp_recursive_mutex_t* ioMutex);

// ---- Sockets -----------------------------------------------------------------------------------
// Levels and option numbers are the Winsock ones (see QpWinsock.h) and are translated here.
// Errors are -1 with the Winsock error number left for WSAGetLastError().
typedef int qp_socket_t;
#define QP_INVALID_SOCKET ((qp_socket_t)-1)

QP_EXPORT qp_socket_t qp_socket(int inFamily, int inType, int inProtocol);
QP_EXPORT int qp_connect(qp_socket_t inSocket, const void* inAddress, int inAddressLen);
QP_EXPORT int qp_send(qp_socket_t inSocket, const void* inData, int inLen, int inFlags);
// Returns 0 when the peer has closed.
QP_EXPORT int qp_recv(qp_socket_t inSocket, void* outBuf, int inLen, int inFlags);
QP_EXPORT int qp_setsockopt(qp_socket_t inSocket, int inLevel, int inOption, const void* inValue,
                            int inValueLen);
QP_EXPORT int qp_closesocket(qp_socket_t inSocket);
// Network order; 0xFFFFFFFF when invalid.
QP_EXPORT unsigned long qp_inet_addr(const char* inDotted);
// A second handle on the same socket, closed independently of the first (dup).
QP_EXPORT qp_socket_t qp_dupsocket(qp_socket_t inSocket);

// ---- Dynamic loading ---------------------------------------------------------------------------
QP_EXPORT void* qp_dlopen(const char* inName);                   // null when it cannot be loaded
QP_EXPORT void* qp_dlsym(void* inHandle, const char* inSymbol);  // null when missing
QP_EXPORT int qp_dlclose(void* inHandle);

// ---- UUIDs -------------------------------------------------------------------------------------
struct qp_uuid_t {
  unsigned char mBytes[16];
};
// A random (version 4) identifier from the kernel's random source; 0 on success.
QP_EXPORT int qp_uuid_create(qp_uuid_t* outUuid);
// The 36-character lower-case text form "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx", in storage that
// qp_uuid_string_free releases; 0 on success.
QP_EXPORT int qp_uuid_to_string(const qp_uuid_t* inUuid, char** outText);
QP_EXPORT void qp_uuid_string_free(char* inText);

// ---- Address space -----------------------------------------------------------------------------
// Reserves inSize bytes (a multiple of the page size) of address space that lies wholly below
// 4 GiB, with no access and no memory behind it: nothing can live there and no page is ever
// committed. Returns its start, or null (errno ENOMEM) when no such range is free. The range is
// never released.
QP_EXPORT void* qp_reserve_low_address_space(size_t inSize);

#endif  // QP_OS32_H

// QpStringBuffer.h - growable, NUL-terminated text owned by an object.
//
// QpBasicStringBuffer keeps UTF-8 text (or, in ASCII mode, plain bytes) together with its byte
// length and character count, grows in blocks (64, 128, 256, 512, then multiples of 256) and
// accepts 8-bit, UTF-16 and UCS-4 input. QpStringBuffer is the everyday class with the same
// behaviour; QpAsciiStringBuffer takes bytes only; QpConstStringBuffer is a read-only view of a
// string that its caller owns.
//
// A buffer whose storage could not be grown is "failed" (getError() != 0): it refuses further
// modification with QpSDKInternalException but can still be read, cleared, released, assigned
// to and destroyed. Every refusal leaves the text as it was.
//
// Threads: a buffer has no lock; one buffer must not be used by two threads at once.
#ifndef QP_STRING_BUFFER_H
#define QP_STRING_BUFFER_H

#include <cstdarg>
#include "QpTypes.h"

class QP_EXPORT QpBasicStringBuffer {
 public:
  QpBasicStringBuffer();
  explicit QpBasicStringBuffer(int inCapacity);  // < 0: no storage
  QpBasicStringBuffer(const char* inText);       // null: no storage
  QpBasicStringBuffer(const char* inFormat, va_list inArgs);
  // The integer only selects this printf-style form; its value is not used.
  QpBasicStringBuffer(int inUnused, const char* inFormat, ...)
      __attribute__((format(printf, 3, 4)));
  QpBasicStringBuffer(const unsigned short* inUtf16);
  QpBasicStringBuffer(const int* inUcs4);
  QpBasicStringBuffer(const QpBasicStringBuffer& inOther);
  virtual ~QpBasicStringBuffer();
  // No assignment of its own: the implicit one would share mData between two owners. The
  // assigning classes (QpStringBuffer, QpAsciiStringBuffer) copy the text instead.
  QpBasicStringBuffer& operator=(const QpBasicStringBuffer&) = delete;

  // Factories: a new heap object that the caller deletes, or null when memory is short.
  // createInstance and createNEWInstance are the same operation under two names.
  static QpBasicStringBuffer* createInstance();
  static QpBasicStringBuffer* createInstance(int inCapacity);
  static QpBasicStringBuffer* createInstance(const char* inText);
  static QpBasicStringBuffer* createInstance(const char* inFormat, va_list inArgs);
  static QpBasicStringBuffer* createInstance(const unsigned short* inUtf16);
  static QpBasicStringBuffer* createInstance(const int* inUcs4);
  static QpBasicStringBuffer* createInstance(const QpBasicStringBuffer& inOther);
  static QpBasicStringBuffer* createNEWInstance();
  static QpBasicStringBuffer* createNEWInstance(int inCapacity);
  static QpBasicStringBuffer* createNEWInstance(const char* inText);
  static QpBasicStringBuffer* createNEWInstance(const char* inFormat, va_list inArgs);
  static QpBasicStringBuffer* createNEWInstance(const unsigned short* inUtf16);
  static QpBasicStringBuffer* createNEWInstance(const int* inUcs4);
  static QpBasicStringBuffer* createNEWInstance(const QpBasicStringBuffer& inOther);
  // n default-constructed buffers, released with delete[]; null when memory is short.
  static QpBasicStringBuffer* createArray(int inCount);

  // Appending (virtual slots 1-7).
  virtual void strcat(const QpBasicStringBuffer& inOther);
  virtual void strcat(const int* inUcs4);
  virtual void strcat(const unsigned short* inUtf16);
  virtual void strcat(const char* inText);
  virtual void strcat(int inUcs4Char);
  virtual void strcat(unsigned short inUtf16Unit);
  virtual void strcat(char inByte);
  // Emptying and replacing (slots 8-15).
  virtual void clear();
  virtual void strncpy(const int* inUcs4, int inCount);
  virtual void strncpy(const unsigned short* inUtf16, int inCount);
  virtual void strncpy(const char* inText, int inCount);
  virtual void strcpy(const QpBasicStringBuffer& inOther);
  virtual void strcpy(const int* inUcs4);
  virtual void strcpy(const unsigned short* inUtf16);
  virtual void strcpy(const char* inText);

  // Reading.
  char* toString() const;              // new qp_malloc'd copy; the caller frees it
  const char* toStringConst() const;   // the text itself, "" without storage
  unsigned short* toString16() const;  // new qp_malloc'd UTF-16, 0-terminated; null on failure
  int* toString32() const;             // new qp_malloc'd UCS-4, 0-terminated; null on failure
  // Hands the storage to the caller (freed with qp_free) and leaves the buffer without storage.
  // Without storage: null when inAllowNull, else a new "".
  char* release(unsigned char inAllowNull);
  bool isEmpty() const;
  // Comparisons of the argument against the buffer (see the .cpp for the exact rules).
  int strcmp(const char* inText, int inCount) const;
  int strcasecmp(const char* inText, int inCount) const;
  bool equals(const QpBasicStringBuffer& inOther) const;
  bool equalsIgnoreCase(const QpBasicStringBuffer& inOther) const;

  // Observers of the bookkeeping.
  int getLength() const { return mLength; }
  int getCapacity() const { return mCapacity; }
  int getCharCount() const { return mCharCount; }
  int getError() const { return mError; }

 protected:
  int getBlockSize(int inSize);
  void grow(int inSize, bool inBlockSize);
  void init(int inCapacity, bool inAscii);
  int countCharacters(const char* inText, int inLength, bool inValidate, bool inAllowInvalid);
  void va_init(const char* inFormat, va_list inArgs, bool inAscii);
  void initWithString(const char* inText, bool inAscii);
  void initWithString(const unsigned short* inUtf16);
  void initWithString(const int* inUcs4);
  void copy(const QpBasicStringBuffer& inOther);
  void setAsciiStringBuffer() { mIsAscii = true; }
  bool isAsciiStringBuffer() const { return mIsAscii; }

  bool mIsAscii;   // bytes only, fixed at construction
  char* mData;     // NUL-terminated text (qp_malloc), or null before storage is needed
  int mCapacity;   // bytes allocated at mData
  int mLength;     // bytes before the terminator
  int mCharCount;  // code points (UTF-8) or bytes (ASCII) in the text
  int mError;      // 0, or why the last growth failed: the buffer is then "failed"
};

class QP_EXPORT QpStringBuffer : public QpBasicStringBuffer {
 public:
  QpStringBuffer();
  explicit QpStringBuffer(int inCapacity);
  QpStringBuffer(const char* inText);
  QpStringBuffer(const char* inFormat, va_list inArgs);
  QpStringBuffer(int inUnused, const char* inFormat, ...) __attribute__((format(printf, 3, 4)));
  QpStringBuffer(const unsigned short* inUtf16);
  QpStringBuffer(const int* inUcs4);
  QpStringBuffer(const QpStringBuffer& inOther);
  QpStringBuffer(const QpBasicStringBuffer& inOther);
  ~QpStringBuffer() override;

  QpStringBuffer& operator=(QpStringBuffer& inOther);

  static QpStringBuffer* createInstance();
  static QpStringBuffer* createInstance(int inCapacity);
  static QpStringBuffer* createInstance(const char* inText);
  static QpStringBuffer* createInstance(const char* inFormat, va_list inArgs);
  static QpStringBuffer* createInstance(const unsigned short* inUtf16);
  static QpStringBuffer* createInstance(const int* inUcs4);
  static QpStringBuffer* createInstance(const QpStringBuffer& inOther);
  static QpStringBuffer* createNEWInstance();
  static QpStringBuffer* createNEWInstance(int inCapacity);
  static QpStringBuffer* createNEWInstance(const char* inText);
  static QpStringBuffer* createNEWInstance(const char* inFormat, va_list inArgs);
  static QpStringBuffer* createNEWInstance(const unsigned short* inUtf16);
  static QpStringBuffer* createNEWInstance(const int* inUcs4);
  static QpStringBuffer* createNEWInstance(const QpStringBuffer& inOther);
  static QpStringBuffer* createArray(int inCount);
};

class QP_EXPORT QpAsciiStringBuffer : public QpStringBuffer {
 public:
  QpAsciiStringBuffer();
  explicit QpAsciiStringBuffer(int inCapacity);
  QpAsciiStringBuffer(const char* inText);
  QpAsciiStringBuffer(const char* inFormat, va_list inArgs);
  QpAsciiStringBuffer(int inUnused, const char* inFormat, ...)
      __attribute__((format(printf, 3, 4)));
  QpAsciiStringBuffer(const QpAsciiStringBuffer& inOther);
  ~QpAsciiStringBuffer() override;

  QpAsciiStringBuffer& operator=(QpAsciiStringBuffer& inOther);

  static QpAsciiStringBuffer* createInstance();
  static QpAsciiStringBuffer* createInstance(int inCapacity);
  static QpAsciiStringBuffer* createInstance(const char* inText);
  static QpAsciiStringBuffer* createInstance(const char* inFormat, va_list inArgs);
  static QpAsciiStringBuffer* createInstance(const QpAsciiStringBuffer& inOther);
  static QpAsciiStringBuffer* createNEWInstance();
  static QpAsciiStringBuffer* createNEWInstance(int inCapacity);
  static QpAsciiStringBuffer* createNEWInstance(const char* inText);
  static QpAsciiStringBuffer* createNEWInstance(const char* inFormat, va_list inArgs);
  static QpAsciiStringBuffer* createNEWInstance(const QpAsciiStringBuffer& inOther);
  static QpAsciiStringBuffer* createArray(int inCount);
};

// A read-only view of a caller's NUL-terminated string, which must outlive the view. Every
// modifying operation is refused with QpSDKInternalException and leaves the view unchanged.
class QP_EXPORT QpConstStringBuffer : public QpBasicStringBuffer {
 public:
  QpConstStringBuffer(const char* inText);
  QpConstStringBuffer(const QpConstStringBuffer& inOther);
  ~QpConstStringBuffer() override;

 private:
  void strcat(const QpBasicStringBuffer& inOther) override;
  void strcat(const int* inUcs4) override;
  void strcat(const unsigned short* inUtf16) override;
  void strcat(const char* inText) override;
  void strcat(int inUcs4Char) override;
  void strcat(unsigned short inUtf16Unit) override;
  void strcat(char inByte) override;
  void clear() override;
  void strncpy(const int* inUcs4, int inCount) override;
  void strncpy(const unsigned short* inUtf16, int inCount) override;
  void strncpy(const char* inText, int inCount) override;
  void strcpy(const QpBasicStringBuffer& inOther) override;
  void strcpy(const int* inUcs4) override;
  void strcpy(const unsigned short* inUtf16) override;
  void strcpy(const char* inText) override;
  virtual char* release(unsigned char inAllowNull);
  QpConstStringBuffer& operator=(const QpConstStringBuffer&);
  QpConstStringBuffer& operator=(QpBasicStringBuffer&);
};

#endif  // QP_STRING_BUFFER_H

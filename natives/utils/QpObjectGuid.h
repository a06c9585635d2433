// QpObjectGuid.h - the text identifiers of stored objects.
//
// An identifier starts with the 27-character MD5 digest text of the object's content with a type
// character at position 13 ("e" a clip, "x" a blob, "u" a dummy): the content address. Anything
// after it, up to 64 characters in all, is a discriminator that tells apart objects of the same
// content; the method is "MG" when there is one and "MD5" when the id is a bare content address.
// SetID accepts only ids of 27 to 64 characters with "e" or "x" at position 13, and leaves the
// object unchanged when it refuses one. QpClipGuid and QpBlobGuid differ from QpObjectGuid only
// in the type character they report: each accepts the other's ids.
//
// Threads: an object is used by one thread at a time; SetDummyID is safe from any thread.
#ifndef QP_OBJECT_GUID_H
#define QP_OBJECT_GUID_H

#include "QpTypes.h"

class QP_EXPORT QpObjectGuid {
 public:
  QpObjectGuid();
  // Raises as SetID does.
  QpObjectGuid(const char* id);
  QpObjectGuid(const QpObjectGuid& inOther);
  QpObjectGuid& operator=(const QpObjectGuid& inOther);

  // "u" here; "e" for QpClipGuid, "x" for QpBlobGuid.
  virtual char GetTypeChar() const;
  // The type character of the id (position 13) is "e".
  virtual bool isClipID() const;
  // The type character of the id is "x" or "u".
  virtual bool isBlobID() const;
  virtual ~QpObjectGuid();

  // Raises QpParameterException (trace "QpObjectGuid::SetID(NULL)" or "QpObjectGuid::SetID(<id>)")
  // for a null id, one shorter than 27 or longer than 64 characters, or one without "e" or "x"
  // at position 13; the object is then unchanged.
  void SetID(const char* id);
  // A new random id: the MD5 digest text of a fresh UUID with type character "u". Raises
  // QpOutOfMemException (the object unchanged) when none can be made.
  void SetDummyID();

  const char* toString() const { return mID; }
  const char* GetCA() const { return mCA[0] != '\0' ? mCA : nullptr; }
  // The id from its 28th character on, or null without a discriminator.
  const char* GetDiscriminator() const {
    return mDiscriminatorOffset < 1 ? nullptr : mID + mDiscriminatorOffset;
  }
  const char* GetMethod() const { return mMethod; }
  bool isEmpty() const { return mID[0] == '\0'; }

  // Exact, case-sensitive comparison of the ids.
  bool operator==(const QpObjectGuid& inOther) const;
  bool operator!=(const QpObjectGuid& inOther) const { return !(*this == inOther); }

  static const int kMaxIDLength = 64;
  static const int kCALength = 27;
  static const int kTypeCharPosition = 13;

 private:
  // Content address, offset and method from the id.
  void format();
  void store(const char* inID);

  static const char* const mFormatArray[2];  // "MD5", "MG"

  const char* mMethod;
  char mID[kMaxIDLength + 1];
  char mCA[kCALength + 1];
  QpInt mDiscriminatorOffset;
};

class QP_EXPORT QpClipGuid : public QpObjectGuid {
 public:
  QpClipGuid() {}
  QpClipGuid(const char* id) : QpObjectGuid(id) {}
  QpClipGuid(const QpClipGuid& inOther) = default;
  QpClipGuid& operator=(const QpClipGuid& inOther) = default;
  char GetTypeChar() const override;
};

class QP_EXPORT QpBlobGuid : public QpObjectGuid {
 public:
  QpBlobGuid() {}
  QpBlobGuid(const char* id) : QpObjectGuid(id) {}
  QpBlobGuid(const QpBlobGuid& inOther) = default;
  QpBlobGuid& operator=(const QpBlobGuid& inOther) = default;
  char GetTypeChar() const override;
};

#endif  // QP_OBJECT_GUID_H

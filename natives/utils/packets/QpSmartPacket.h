// QpSmartPacket.h - the typed, self-describing packet in which client and cluster exchange every
// request and reply, held as one contiguous byte image that grows in 512-byte steps.
//
// Image layout (every integer big-endian, encoded and decoded byte by byte with shifts):
//
//   offset 0   4 bytes  packet marker 01 2C 75 98
//   offset 4   4 bytes  length field, signed: image length - 8 (written by toBytes and loads only)
//   offset 8   4 bytes  magic "FSP2", no terminator
//   offset 12  ...      fields back to back, in the order stored; the image ends with the last one
//
//   field:     2 bytes code (signed; -1 is reserved for "no field")
//              1 byte  type (kType* below)
//              3 bytes value length (unsigned, at most 16,777,215)
//              value bytes
//
// A nested packet (and so every array) travels as a bytearray field holding the inner image from
// its magic on. Lookups walk the image from the first field and leave a one-field cursor on the
// field they found; the getters read at the cursor. The walk bounds-checks every header and value
// against the used length, so an image loaded from outside can only fail with
// QpPacketDataException, never lead a read past the buffer.
//
// Derived message classes override the virtual slots in declaration order: slot 0 the name hook
// GetFieldName, slot 1 the per-field dump line toString(QpStringBuffer&, int, int), slot 2
// toBytes, slot 3 the destructor. Overriding slot 1 hides the public toString(); such a class
// brings it back with `using QpSmartPacket::toString;`.
//
// Threads: a packet has no lock and even a lookup moves its cursor, so one packet must not be
// used by two threads at once. The marker constants are the only shared state; they are
// initialised at load time and never written afterwards.
#ifndef QP_SMART_PACKET_H
#define QP_SMART_PACKET_H

#include <atomic>

#include "ArrayTemplate.h"
#include "QpTypes.h"

class QpBasicStringBuffer;
class QpStringBuffer;
class QpHashMap;

class QP_EXPORT QpSmartPacket {
 public:
  // Field type codes as they stand in the image.
  enum {
    kTypeInvalid = 0,
    kTypeInteger = 1,  // 4 bytes, signed
    kTypeString = 2,   // the bytes, no terminator
    kTypeByteArray = 3,
    kTypeStringArray = 4,   // named only, never written
    kTypeStringMatrix = 5,  // named only, never written
    kTypePacket = 6,        // named only, never written
    kTypeLong = 7,          // 8 bytes, signed
    kTypeBoolean = 8,       // 1 byte, 0 or 1
    kTypePacketArray = 9,   // named only, never written
    kTypeShort = 10         // 2 bytes, signed; read only
  };
  static const int kHeaderSize = 12;         // marker + length field + magic
  static const int kFieldHeaderSize = 6;     // code + type + 24-bit length
  static const int kMaxValueLen = 0xFFFFFF;  // the most a 24-bit length can carry
  static const int kGrowStep = 512;

  QpSmartPacket();
  // Copies the whole used image; the copy has no field current. A source without a buffer
  // gives a packet without a buffer.
  QpSmartPacket(const QpSmartPacket& inOther);
  QpSmartPacket& operator=(const QpSmartPacket& inOther);

  // ---- Virtual slots, in this order -------------------------------------------------------------
  // Slot 0: the readable name of a code for dumps; writes "fieldcode=<code>" into buf (at most
  // size - 1 characters and a terminator) and returns buf. Families return their own names.
  virtual const char* GetFieldName(long code, char* buf, unsigned int size);

 protected:
  // Slot 1: appends the dump line of the field under the cursor (code and type as walked).
  virtual void toString(QpStringBuffer& out, int code, int type);

 public:
  // Slot 2: writes the length field and hands out the image and its length. The packet keeps
  // the image; the pointer is valid until the packet changes. A packet without a buffer first
  // gets its empty 12-byte image, so that it goes out as a packet with no fields.
  virtual void toBytes(void** outData, int* outLen);
  // Slot 3.
  virtual ~QpSmartPacket();

  // ---- Image ----------------------------------------------------------------------------------
  // Replaces the content by a copy of data: a full image (starting with the packet marker, whose
  // length field must match len) or a body starting with the magic. Malformed input raises
  // QpPacketDataException and leaves the packet without a buffer; a failed allocation raises
  // QpOutOfMemException and leaves the packet as it was.
  void fromBytes(void* data, int len);
  bool IsEmpty() const;  // no buffer, or no field
  int deleteMemory();    // frees the image; returns 0
  int resetMemory();     // keeps the capacity, empties the image to its header; returns 0
  static const char* GetEOFMarker();  // the 4 bytes of the end marker 01 2B 39 97

  // ---- Lookup ---------------------------------------------------------------------------------
  bool GetExists(short code);
  int GetFieldType(short code);  // the type code, 0 when the field is absent

  // ---- Stores: each refuses an existing code, then appends one field -----------------------
  void store(short code, int value);
  void store(short code, unsigned char value);  // written as a 32-bit integer
  void store(short code, int value, int flag);  // flag != 0: a 1-byte boolean field
  void store(short code, QpLong value);
  void store(short code, const char* text);
  void store(short code, const QpBasicStringBuffer* text);
  void store(short code, const unsigned char* data, int len);
  void store(short code, const QpSmartPacket& inner);  // nested: inner image from its magic on
  // String arrays: a nested packet with the count in field 0 and the strings in fields 1..n.
  void store(short code, const QpBasicStringBuffer* list, char delimiter);
  void store(short code, const ArrayTemplate<char>* items);  // nothing when items is empty
  // A name/value map as two string arrays, names under nameCode and values under valueCode.
  void store(short nameCode, short valueCode, const QpHashMap* map);

  // ---- Replacing stores: delete the field (both for the map form) if present, then store ------
  void Set(short code, int value);
  void Set(short code, unsigned char value);
  void Set(short code, QpLong value);
  void Set(short code, const char* text);
  void Set(short code, const QpBasicStringBuffer* text);
  void Set(short code, const QpBasicStringBuffer* list, char delimiter);
  void Set(short code, const unsigned char* data, int len);
  void Set(short nameCode, short valueCode, const QpHashMap* map);
  void Set(short code, QpSmartPacket& inner);

  // ---- Getters: a missing field raises QpRequiredPacketFieldMissingException unless a default
  // is given. Numbers accept the integer, long, boolean and short types at their fixed lengths.
  int GetInt(short code);
  int GetInt(short code, int def);
  QpLong GetLong(short code);
  QpLong GetLong(short code, QpLong def);
  unsigned char GetBool(short code);
  unsigned char GetBool(short code, unsigned char def);
  void GetStringLen(short code, int* len);  // value length, no terminator counted
  // On entry *len is buf's capacity; copies what fits with a terminator and sets *len to the
  // value length + 1. The field must be a string.
  void GetString(short code, char* buf, int* len);
  // As above, widened into at most *len units of buf.
  void GetString(short code, QpWChar* buf, int* len);
  QpStringBuffer GetString(short code);                  // the value bytes, any type
  char* GetString(short code, unsigned char unused);     // qp_malloc'd copy, any type; qp_free it
  void GetString(short code, QpBasicStringBuffer& out);  // strings only; else out unchanged
  int GetDataLen(short code);
  void* GetData(short code);  // into the image; valid until the packet changes
  // out becomes the nested packet held in the field (no type or magic check).
  void GetSmartPacket(short code, QpSmartPacket& out);
  // Arrays belong to the caller: deleteLongArray, delete[], deleteStrArrayTemplate. Null (and
  // count 0) for an array with no elements.
  QpLong* GetLongArray(short code, int& count);
  QpBasicStringBuffer* GetStrArray(short code, int& count);
  ArrayTemplate<char>* GetStrArray(short code, int& count, unsigned char flag);
  static void deleteLongArray(QpLong* array);
  static void deleteStrArrayTemplate(ArrayTemplate<char>* array);

  // ---- Deletion -------------------------------------------------------------------------------
  int deleteField(short code);  // the field must exist; 0 (also without a buffer)
  int deleteAllFields();        // keeps the header only; 0

  // ---- Text -----------------------------------------------------------------------------------
  char* toString();  // "SmartPacket\n" and one line per field; qp_malloc'd, the caller frees it
  char* dump();      // the same
  void print();      // toString() on standard output

 protected:
  // ---- Walk and cursor ------------------------------------------------------------------------
  short fetchFirst();  // code of the first field, or -1
  short fetchNext();   // code of the field after the cursor, or -1 at the end
  void setFetchCursor(short code);
  bool findField(short code);

  void checkMagic();
  // Makes room at the end of the image for one field with an inLen-byte value (creating the
  // 12-byte header when there is no buffer yet).
  void grow(int inLen);
  // Makes the buffer hold at least inCapacity bytes, keeping the bytes in use (a packet without a
  // buffer gets its empty 12-byte image first). For readers that fill the image directly. A
  // failed allocation raises QpOutOfMemException and leaves the image as it was.
  void reserve(int inCapacity);

  // ---- Byte-order primitives (big-endian), all returning 0 ----------------------------------
  // Writes must lie within the capacity and reads within the used length; a violation is an
  // internal error. Callers check data from outside before they get here.
  int _setByte(int off, unsigned char value);
  int _setShort(int off, short value);
  int _set3Byte(int off, int value);
  int _setInt(int off, int value);
  int _setLong(int off, QpLong value);
  int _setBytes(int off, const void* data, int len);
  // Copies min(strlen(text), len) characters and pads the rest of len with blanks.
  int _setString(int off, const char* text, int len);
  int _getByte(int off, unsigned char* value);
  int _getShort(int off, short* value);
  int _get3Byte(int off, int* value);
  int _getInt(int off, int* value);
  int _getLong(int off, QpLong* value);
  int _getBytes(int off, void* out, int len);
  int _getString(int off, char* out, int len);  // len bytes and a terminator
  // On any buffer; the caller guarantees 4 bytes at buf + off.
  static int _setInt(char* buf, int off, int value);
  static int _getInt(char* buf, int off, int* value);

  void resetCursor();  // no field current; the next walk starts at the first field

  char* mBuffer;   // the image from offset 0 (qp_malloc), or null before the first store/load
  int mCapacity;   // bytes allocated at mBuffer; at least kHeaderSize whenever mBuffer is set
  int mUsedLen;    // bytes of the image in use; 0 without a buffer
  short mCurCode;  // code of the field under the cursor, -1 for none
  short mCurType;  // its type, 0 for none
  int mCurOffset;  // offset of its value in the image
  int mCurLen;     // length of its value

  static const char sPACKETMARKER[4];
  static const char sEOFMARKER[4];
  static std::atomic<bool> sISPACKETINITED;  // set by the first construction

 private:
  // The common tail of every store: room is made before anything is written, so a failed
  // allocation leaves the image as it was. With inReplace an existing field of the code is
  // deleted first. inGrowBy is the growth requested, which for booleans exceeds the value.
  void appendField(short code, int type, const void* data, int len, int inGrowBy, bool inReplace);
  // The number under the cursor, checked for type and fixed length.
  QpLong readNumber();
  // Places the cursor on code when present (without a walk when it is there already); false,
  // not an exception, when it is absent.
  bool locate(short code);
  // Replaces the image by a fresh marker, inLengthField and the inLen bytes of inBody. inBody may
  // lie in the current image: it is copied before that is freed.
  void adoptBody(const char* inBody, int inLen, int inLengthField);
  void copyFrom(const QpSmartPacket& inOther);

  // The checks and bodies shared by store and Set. They raise without a trace label; the public
  // operation adds its own.
  void refuseDuplicate(short code);
  void storeNumber(short code, int type, const unsigned char* inValue, int inLen, int inGrowBy,
                   bool inReplace);
  void storeText(short code, const char* text, bool inReplace);
  void storeBytes(short code, const unsigned char* data, int len, bool inReplace);
  void storeInner(short code, const QpSmartPacket& inner, bool inReplace);
  void storeList(short code, const QpBasicStringBuffer* list, char delimiter, bool inReplace);
  void storeMap(short nameCode, short valueCode, const QpHashMap* map, bool inReplace);
  // Array images: field 0 the count, fields 1..n the strings.
  void appendArrayCount(int inCount);
  void appendArrayString(int inIndex, const char* inText, int inLen);
  static void buildArray(QpSmartPacket& outInner, const ArrayTemplate<char>* inItems);
  // Loads the nested array under code into outInner; its element count, 0 when it has none.
  int readArray(short code, QpSmartPacket& outInner);
};

#endif  // QP_SMART_PACKET_H

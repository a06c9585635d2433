// QpHashMap.h - a small string-to-string map with case-insensitive names, kept as two parallel
// arrays searched in order. Properties and packet fields carry a handful of entries, for which a
// linear scan beats hashing; the name is historical.
//
// Entries stand in slots 0 .. size()-1 in the order in which they were put; the slots behind
// them are null. Every name and value is a private copy that the map owns and frees with
// qp_free. Names compare as QpBasicStringBuffer::strcasecmp compares (the whole text, ASCII
// letters folded). put() never replaces: a second put of a name adds a second entry, which
// lookups never reach; replace() is the operation that updates. A full map grows to
// count + 2 x capacity slots (2, 6, 18, 54, ... from empty).
//
// Failures are reported by results, never raised: -1 for a slot index, 0 for a count, null or ""
// for a text. A refusal for lack of memory leaves the map exactly as it was.
//
// Threads: no locking; a map must not be used by two threads at once.
#ifndef QP_HASH_MAP_H
#define QP_HASH_MAP_H

#include "QpTypes.h"

class QP_EXPORT QpHashMap {
 public:
  QpHashMap();
  // A deep copy with the source's capacity and count. When memory runs short the copy is empty.
  QpHashMap(const QpHashMap& inOther);
  // A deep copy of inOther; assigning a map to itself does nothing. When memory runs short the
  // target is left as it was.
  QpHashMap& operator=(QpHashMap& inOther);
  ~QpHashMap();

  // A new empty map on the heap, which the caller deletes; null when memory is short.
  static QpHashMap* createInstance();

  // Stores copies of name and value; returns the slot index, or -1.
  int put(const char* name, const char* value);
  // Stores UTF-16 texts as UTF-8; the value's predefined XML entities are turned into their
  // characters. Returns the slot index, or -1 (also when a text is refused as XML).
  int rawPut(const unsigned short* name, const unsigned short* value);
  // list holds names and values alternately; the first n/2*2 entries are put pair by pair.
  // Returns the number of pairs stored.
  int putList(const char** list, int n);
  // Puts every separator-separated name of names (empty pieces included) with the same value,
  // stopping at the first that fails. Returns the number stored; names is not changed.
  int putList(const char* names, const char* value, char separator);
  // Sets the value of the first entry with this name (keeping its stored name), or puts a new
  // entry.
  void replace(const char* name, const char* value);
  // Removes the first entry with this name; returns its former index, or -1.
  int remove(const char* name);
  // The value of the first entry with this name, or null.
  const char* getValue(const char* name);
  // Entry i's name or value; "" when i is outside the slots or the slot is empty.
  const char* getName(int i);
  const char* getValue(int i);
  int size() const { return mCount; }
  // Makes room for count + delta entries; compacts the entries to the front.
  void resize(int delta);
  // Replaces every name, value and both arrays by fresh copies.
  void makeUnique();

 private:
  // Takes ownership of name and value when it succeeds (slot index); on -1 they stay the
  // caller's.
  int _put(char* name, char* value);
  void releaseMem();
  // Makes this map a deep copy of inOther; leaves it unchanged when memory is short.
  void copyFrom(const QpHashMap& inOther);
  // Zero-filled copies of the two arrays with copies of every text; null when memory is short
  // or the capacity is 0.
  char** copyNameArray() const;
  char** copyValueArray() const;
  // The first slot whose name equals name, or -1.
  int find(const char* name) const;

  int mCapacity;   // slots of both arrays
  int mCount;      // entries, in slots 0 .. mCount-1
  char** mNames;   // mCapacity names (qp_malloc'd), or null when mCapacity is 0
  char** mValues;  // mCapacity values (qp_malloc'd), or null when mCapacity is 0
};

#endif  // QP_HASH_MAP_H

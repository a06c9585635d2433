// QpAddressArray.h - an ordered set of server addresses built from comma-separated lists
// ("10.0.0.1,primary=node7:4000,secondary=node8"), each list with a reference number attached.
//
// The working list is what callers take addresses from (popAddressAndLongRef removes them); the
// master array keeps every address as it was stored or pushed, so that a refused duplicate can
// be recognised after the original has been taken. Only addresses that resolve, or that name
// the cluster itself, enter a list; a malformed item makes the whole store raise what address
// parsing raises. Every operation that raises leaves the array as it was.
//
// Threads: popAddressAndLongRef may be called by several threads at once (it holds the array's
// lock); every other operation is for one thread at a time, with no pop running.
#ifndef QP_ADDRESS_ARRAY_H
#define QP_ADDRESS_ARRAY_H

#include "ArrayTemplate.h"
#include "QpAddress.h"
#include "QpGenericArray.h"
#include "QpMutex.h"
#include "QpStringBuffer.h"

class QP_EXPORT QpAddressArray {
 public:
  QpAddressArray();
  // Copies both lists address by address (each copy of type 2) and the references by value.
  QpAddressArray(const QpAddressArray& inOther);
  QpAddressArray& operator=(const QpAddressArray& inOther);
  virtual ~QpAddressArray();

  int getSize() const;  // addresses in the working list

  // Replace the working list by the list's items of one kind (primary: untagged or "primary=";
  // secondary: "secondary="; all: every item whole) and append inRef to the references when the
  // list is not empty. inAlsoMaster: the master array gets the same treatment.
  void storePrimaryAddresses(const QpBasicStringBuffer& inList, long inRef, bool inAlsoMaster);
  void storeSecondaryAddresses(const QpBasicStringBuffer& inList, long inRef, bool inAlsoMaster);
  void storeAllAddresses(const QpBasicStringBuffer& inList, long inRef, bool inAlsoMaster);

  // Add one tagged address (see pushAddress); a text of the other kind is ignored.
  void pushPrimaryAddress(const QpBasicStringBuffer& inText, long inRef, bool inAlsoMaster);
  void pushSecondaryAddress(const QpBasicStringBuffer& inText, long inRef, bool inAlsoMaster);
  // Appends a copy of inAddress with inRef, unless it is not supported, or the master array
  // holds the same text (ignoring case) at a position whose reference is inRef already.
  void pushAddress(QpAddress& inAddress, long inRef, bool inAlsoMaster,
                   QpAddress::AddressTypeEnum inType);

  // Working address inIndex into outAddress (text and supported flag): 1, or 0 out of range.
  unsigned char getAddress(QpAddress& outAddress, int inIndex);
  const char* getConstAddress(int inIndex) const;  // null out of range
  // Takes the first working address and the first reference (its low 32 bits; 0 when there is
  // none): 1, or 0 when the working list is empty (outputs untouched).
  unsigned char popAddressAndLongRef(QpAddress& outAddress, long& outRef);
  // The master array's first getSize() texts joined with ",", as a new text the caller frees
  // with qp_free ("" when there are none).
  char* toString() const;

 private:
  enum ListKind { kPrimaryList, kSecondaryList, kAllList };

  // The master array itself: it has no master of its own.
  explicit QpAddressArray(int inNoMaster);

  typedef void (*NodeArrayMaker)(const char* inList, ArrayTemplate<QpAddress>& outArray);
  void storeAddresses(NodeArrayMaker inCreate, const QpBasicStringBuffer& inList, long inRef,
                      bool inAlsoMaster);
  unsigned char isAllowedTobeAdded(QpAddress& inAddress, long inRef);
  static void createPrimaryNodeArrayFrom(const char* inList, ArrayTemplate<QpAddress>& outArray);
  static void createSecondaryNodeArrayFrom(const char* inList, ArrayTemplate<QpAddress>& outArray);
  static void createAllNodeArrayFrom(const char* inList, ArrayTemplate<QpAddress>& outArray);
  static void createNodeArrayFrom(ListKind inKind, const char* inList,
                                  ArrayTemplate<QpAddress>& outArray);
  static void addIfSupported(const char* inText, int inLen, ArrayTemplate<QpAddress>& outArray);
  void copyLists(const QpAddressArray& inOther);

  ArrayTemplate<QpAddress> mAddresses;  // the working list, owning
  QpAddressArray* mMaster;              // owned; null in the master itself
  ArrayTemplate<QpLongObj> mRefs;       // owning
  QpMutex mLock;                        // guards popAddressAndLongRef
};

#endif  // QP_ADDRESS_ARRAY_H

// NetworkPacket.h - the smart packet as it travels on a connection to a cluster: the common
// request fields, the stream framing of send and receive, the translation of a reply's control
// code into the exception of that code, and the base table of field names.
//
// Stream framing: packet marker 01 2C 75 98, a signed big-endian size (the bytes that follow it),
// then the image from its magic "FSP2" on. A peer that ends its stream sends the end marker
// 01 2B 39 97 where a packet marker would stand. The announced size is checked before any memory
// is reserved for it, and the body is read as it arrives, so a hostile size costs nothing until
// the bytes are really there.
//
// Virtual slots, continuing those of QpSmartPacket: slot 4 GetControl, slot 5 receive. Every
// message family derives from this class and overrides the name hook (slot 0) with its own table,
// falling back to this one.
//
// Threads: a packet is used by one thread at a time. GetHostName is safe from any thread: the
// name is computed once under sMutex and published by a flag set only when it is complete.
#ifndef QP_NETWORK_PACKET_H
#define QP_NETWORK_PACKET_H

#include <atomic>

#include "PacketFieldCodes.h"
#include "QpMutex.h"
#include "QpSmartPacket.h"
#include "QpTypes.h"

class QpAddress;
class QpBasicStringBuffer;
class QpConnection;
class QpStringBuffer;

class QP_EXPORT NetworkPacket : public QpSmartPacket {
 public:
  // Values of the common fields in every request built here.
  static constexpr int kProtocolVersion = 3;         // NET_VERSION
  static constexpr int kClientVersion = 0x00040003;  // HPP_CLIENT_VERSION
  static constexpr short kClientBuildCode = 301;     // the field without a name
  static constexpr int kClientBuildVersion = 0x00010003;

  NetworkPacket();  // no buffer, no fields
  NetworkPacket(const QpSmartPacket& inOther);
  NetworkPacket(const NetworkPacket& inOther);
  NetworkPacket& operator=(const NetworkPacket& inOther);

  // Slot 0: the base table, else "fieldcode=<code>".
  const char* GetFieldName(long code, char* buf, unsigned int size) override;

 protected:
  // Slot 1: field 359 (the probe addresses with their load) has a line of its own.
  void toString(QpStringBuffer& out, int code, int type) override;

 public:
  using QpSmartPacket::toString;
  ~NetworkPacket() override;

  // Slot 4: the control code of a reply (field 113), 0 when absent.
  virtual int GetControl();
  // Slot 5: replaces the content by the next packet read from conn. Framing failures raise
  // QpSocketException, a malformed image QpPacketDataException, and a textual refusal in
  // NET_SERVERREPLY QpServerErrorException carrying that text. The control code is left to
  // checkControl. After a failure the content is undefined.
  virtual void receive(QpConnection& conn);

  // Writes the whole image (as slot 2 hands it out) in one send of conn.
  void send(QpConnection& conn);

  // Raises the exception that control code `code` stands for, with the server's text (field 131)
  // as its message when there is one; returns for the success codes 0, 1, 6 and 7.
  void checkControl(int code);
  void checkControl();  // checkControl(GetControl())

  int GetOpCode();                                // field 101, required
  void GetServerReply(QpBasicStringBuffer& out);  // field 7 when present, else out untouched
  void GetException(QpStringBuffer& out);         // field 131 when present
  QpStringBuffer GetException();                  // field 131, required
  void GetTransactionID(QpStringBuffer& out);     // field 5, required
  QpLong GetClusterTimestamp();                   // field 339, required
  int GetNumProbeAddresses();                     // field 353, required
  // Probe address `index` (field 354 + index), required.
  void GetProbeAddress(short index, QpAddress& out);
  QpAddress GetProbeAddress(short index);

  // The host name, computed on the first successful call and shared; "" while it cannot be read.
  static char* GetHostName();
  // The code of a field name of the reverse table, without regard to case; -1 when unknown.
  static short GetFieldCode(const char* name);

 protected:
  // The base of every request: fields 4 (host name), 5 (the transaction id, when given), 0, 123
  // and 301, in this order.
  NetworkPacket(const QpBasicStringBuffer* inTransactionId);

  // Logs "receive %s" with the packet's text for PACKET when debug logging is on.
  void logReceived();
  // Logs "<inLabel> <transaction id>" for TRANSACTION when debug logging is on; the id's text is
  // "NULL" without one.
  static void logTransaction(const char* inLabel, const QpBasicStringBuffer* inTransactionId);

  static char sHostname[256];
  static std::atomic<bool> sHostnameSet;
  static QpMutex sMutex;
};

#endif  // QP_NETWORK_PACKET_H

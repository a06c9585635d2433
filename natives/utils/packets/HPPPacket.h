// HPPPacket.h - the data operations between a client and a cluster node (message family 42):
// exporting blob data in segments, the node's reply and acknowledgement, importing, purge and
// existence replies, and federation discovery. The client library composes most fields of each
// request; this family fixes the common fields, the names, the reply check and the accessors.
//
// A reply object is built with the family's fields (or as an export segment) and then filled by
// receive, which replaces the whole image and raises when the node reports an error in
// HPP_ERROR.
//
// Threads: a packet is used by one thread at a time.
#ifndef QP_HPP_PACKET_H
#define QP_HPP_PACKET_H

#include "NetworkPacket.h"
#include "QpObjectGuid.h"

class QP_EXPORT HPPPacket : public NetworkPacket {
 public:
  static constexpr int kMessageId = 42;
  static constexpr int kVersion = 1;  // HPP_VERSION

  // The common request fields, then NET_MESSAGEID, HPP_VERSION and HPP_CONTROL = 0.
  HPPPacket(const QpBasicStringBuffer* inTransactionId = nullptr);
  HPPPacket(const HPPPacket& inOther);
  HPPPacket& operator=(const HPPPacket& inOther) = default;
  ~HPPPacket() override;

  // Slot 0: the HPP names, else the base table.
  const char* GetFieldName(long code, char* buf, unsigned int size) override;
  // Slot 5: the stream receive, then QpServerErrorException when HPP_ERROR is not 0 (its value
  // as the system error, HPP_EXCEPTION as the message). The control code is not examined.
  void receive(QpConnection& conn) override;

  int GetError();            // HPP_ERROR, 0 when absent
  QpLong GetOffset();        // HPP_OFFSET, -1 when absent
  QpLong GetBlobSize();      // HPP_BLOBSIZE, required
  void* GetBlobData();       // HPP_SEGDATA inside the image, required
  int GetBlobDataLen();      // HPP_SEGDATA, required
  int GetNumLocations();     // HPP_NUMLOCATIONS, required
  int GetCreateTimeStamp();  // HPP_CREATE_TIMESTAMP, required
  // HPP_BLOBID as an id; QpParameterException "Invalid blob id length" from 256 characters on.
  QpObjectGuid GetBlobID();
};

class QP_EXPORT HPPExportData : public HPPPacket {
 public:
  static constexpr int kLastSegment = 1;  // HPP_CONTROL of a segment of length 0
  static constexpr int kAbort = 23;       // HPP_CONTROL of a segment of length -1

  HPPExportData(const QpBasicStringBuffer* inTransactionId);
  // The family's fields, then Init with the same arguments.
  HPPExportData(const QpBasicStringBuffer* inTransactionId, QpLong inOffset, const void* inData,
                int inLen, const QpObjectGuid* inBlobId);
  HPPExportData(const HPPExportData& inOther);
  ~HPPExportData() override;

  // Stores one segment: HPP_OFFSET, HPP_SEGDATA (empty without data or length), and for the
  // lengths -1 (abort) and 0 (last segment, which names the blob) the control code and id.
  void Init(const QpBasicStringBuffer* inTransactionId, QpLong inOffset, const void* inData,
            int inLen, const QpObjectGuid* inBlobId);
};

// The replies: the family's fields without a transaction id (the id only labels the log line);
// receive replaces them.
class QP_EXPORT HPPExportReply : public HPPPacket {
 public:
  HPPExportReply(const QpBasicStringBuffer* inTransactionId);
  HPPExportReply(const HPPExportReply& inOther);
  ~HPPExportReply() override;
};

class QP_EXPORT HPPExportAck : public HPPPacket {
 public:
  HPPExportAck(const QpBasicStringBuffer* inTransactionId);
  HPPExportAck(const HPPExportAck& inOther);
  ~HPPExportAck() override;
};

class QP_EXPORT HPPImportData : public HPPPacket {
 public:
  HPPImportData(const QpBasicStringBuffer* inTransactionId);
  HPPImportData(const HPPImportData& inOther);
  ~HPPImportData() override;
};

class QP_EXPORT HPPPurgeReply : public HPPPacket {
 public:
  HPPPurgeReply(const QpBasicStringBuffer* inTransactionId);
  HPPPurgeReply(const HPPPurgeReply& inOther);
  ~HPPPurgeReply() override;
};

class QP_EXPORT HPPExistsReply : public HPPPacket {
 public:
  HPPExistsReply(const QpBasicStringBuffer* inTransactionId);
  HPPExistsReply(const HPPExistsReply& inOther);
  ~HPPExistsReply() override;
};

class QP_EXPORT HPPFederationDiscoveryRequest : public HPPPacket {
 public:
  static constexpr int kDiscover = 11;  // HPP_OPCODE

  HPPFederationDiscoveryRequest(const QpBasicStringBuffer* inTransactionId);
  HPPFederationDiscoveryRequest(const HPPFederationDiscoveryRequest& inOther);
  ~HPPFederationDiscoveryRequest() override;
};

class QP_EXPORT HPPFederationDiscoveryReply : public HPPPacket {
 public:
  HPPFederationDiscoveryReply(const QpBasicStringBuffer* inTransactionId);
  HPPFederationDiscoveryReply(const HPPFederationDiscoveryReply& inOther);
  ~HPPFederationDiscoveryReply() override;
};

#endif  // QP_HPP_PACKET_H

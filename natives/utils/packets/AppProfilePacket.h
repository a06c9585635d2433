// AppProfilePacket.h - associating a stored object with an application profile and reading the
// association back (message family 62). The family keeps its control code in field 105 and
// translates it with a table of its own.
//
// Threads: a packet is used by one thread at a time.
#ifndef QP_APP_PROFILE_PACKET_H
#define QP_APP_PROFILE_PACKET_H

#include "NetworkPacket.h"
#include "QpObjectGuid.h"

class QP_EXPORT AppProfilePacket : public NetworkPacket {
 public:
  static constexpr int kMessageId = 62;
  // Fields of the family (wire codes without names).
  static constexpr short kOperation = 101;    // 0 set the association, 1 get it
  static constexpr short kRequestMark = 102;  // 1 in every request
  static constexpr short kFirstId = 103;
  static constexpr short kSecondId = 104;
  static constexpr short kControl = 105;

  // The common request fields, then NET_MESSAGEID and kRequestMark.
  AppProfilePacket(const QpBasicStringBuffer* inTransactionId = nullptr);
  AppProfilePacket(const AppProfilePacket& inOther);
  ~AppProfilePacket() override;

  // Slot 4: the family's control code (field 105), 0 when absent.
  int GetControl() override;
  // Raises for the codes 1 to 4 (without the server's text or a trace entry); any other code
  // is success.
  void checkControl(int code);
  void checkControl();  // checkControl(GetControl())
};

class QP_EXPORT AppProfileSetClipRequest : public AppProfilePacket {
 public:
  // Associates inFirst with inSecond; the last argument is not used.
  AppProfileSetClipRequest(const QpClipGuid& inFirst, const QpClipGuid& inSecond,
                           const QpBasicStringBuffer* inTransactionId, unsigned char inUnused);
  AppProfileSetClipRequest(const AppProfileSetClipRequest& inOther);
  ~AppProfileSetClipRequest() override;
};

class QP_EXPORT AppProfileSetClipReply : public AppProfilePacket {
 public:
  AppProfileSetClipReply(const QpBasicStringBuffer* inTransactionId = nullptr);
  AppProfileSetClipReply(const AppProfileSetClipReply& inOther);
  ~AppProfileSetClipReply() override;
};

class QP_EXPORT AppProfileGetClipRequest : public AppProfilePacket {
 public:
  AppProfileGetClipRequest(const QpBasicStringBuffer* inTransactionId = nullptr);
  AppProfileGetClipRequest(const AppProfileGetClipRequest& inOther);
  ~AppProfileGetClipRequest() override;
};

class QP_EXPORT AppProfileGetClipReply : public AppProfilePacket {
 public:
  AppProfileGetClipReply(const QpBasicStringBuffer* inTransactionId = nullptr);
  AppProfileGetClipReply(const AppProfileGetClipReply& inOther);
  ~AppProfileGetClipReply() override;

  QpClipGuid GetClipID();  // field 103 as an id, required (at most 255 characters read)
};

#endif  // QP_APP_PROFILE_PACKET_H

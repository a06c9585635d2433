// AuthPackets.h - authentication on a connection, in two exchanges: the negotiation (family 52),
// in which the client names a scheme and the protocols it offers and the node answers with the
// one it chose, and the challenge-response (family 53), in which the client names its principal,
// the node sends a challenge, the client answers and the node acknowledges with a result. How a
// challenge is answered is the client library's business.
//
// Both families use codes from 122 on that the data operations use for other fields, so their
// requests drop HPP_CLIENT_VERSION (123) from the common fields before adding their own.
//
// Threads: a packet is used by one thread at a time.
#ifndef QP_AUTH_PACKETS_H
#define QP_AUTH_PACKETS_H

#include "NetworkPacket.h"

class QP_EXPORT AuthenticationNegationPacket : public NetworkPacket {
 public:
  static constexpr int kMessageId = 52;

  // The common request fields without HPP_CLIENT_VERSION, then NET_MESSAGEID and HPP_VERSION.
  AuthenticationNegationPacket(const QpBasicStringBuffer* inTransactionId);
  AuthenticationNegationPacket(const AuthenticationNegationPacket& inOther);
  ~AuthenticationNegationPacket() override;

  // Slot 0: the negotiation names, else the base table.
  const char* GetFieldName(long code, char* buf, unsigned int size) override;

  int GetOpcode();                           // AUTH_NEG_OPCODE, required
  void GetScheme(QpBasicStringBuffer& out);  // AUTH_NEG_SCHEME, required
  int GetErrorCode();                        // AUTH_NEG_ERROR_CODE, required
  // The first protocol of AUTH_NEG_PROTOCOLS: the one the node chose. Required.
  void GetProtocols(QpBasicStringBuffer& out);

 protected:
  AuthenticationNegationPacket();  // an empty packet, for receiving
};

class QP_EXPORT AuthNegationRequest : public AuthenticationNegationPacket {
 public:
  static constexpr int kNegotiate = 1;  // AUTH_NEG_OPCODE

  // inProtocols is a comma-separated list; empty items are dropped.
  AuthNegationRequest(const QpBasicStringBuffer* inTransactionId,
                      const QpBasicStringBuffer& inScheme, const QpBasicStringBuffer& inProtocols);
  AuthNegationRequest(const AuthNegationRequest& inOther);
  ~AuthNegationRequest() override;
};

class QP_EXPORT AuthNegationReply : public AuthenticationNegationPacket {
 public:
  AuthNegationReply(const QpBasicStringBuffer* inTransactionId);  // empty, for receiving
  AuthNegationReply(const AuthNegationReply& inOther);
  ~AuthNegationReply() override;
};

class QP_EXPORT AuthenticationChallengePacket : public NetworkPacket {
 public:
  static constexpr int kMessageId = 53;

  // The common request fields without HPP_CLIENT_VERSION, then NET_MESSAGEID.
  AuthenticationChallengePacket(const QpBasicStringBuffer* inTransactionId);
  AuthenticationChallengePacket(const AuthenticationChallengePacket& inOther);
  ~AuthenticationChallengePacket() override;

  // Slot 0: the challenge-response names, else the base table.
  const char* GetFieldName(long code, char* buf, unsigned int size) override;

  int GetOpCode();                              // AUTH_CR_OPCODE, required
  unsigned char GetResult();                    // AUTH_CR_RESULT's lowest bit, required
  void GetPrincipal(QpBasicStringBuffer& out);  // AUTH_CR_PRINCIPAL, required
  void* GetChallenge();                         // AUTH_CR_CHALLENGE inside the image, required
  int GetChallengeLen();
  void* GetResponse();  // AUTH_CR_RESPONSE inside the image, required
  int GetResponseLen();
  int GetAuthError();  // AUTH_CR_ERROR_CODE, 0 when absent

 protected:
  AuthenticationChallengePacket();  // an empty packet, for receiving
};

// The class name is spelled so on purpose: callers know it by this name.
class QP_EXPORT AuthCallengeInit : public AuthenticationChallengePacket {
 public:
  static constexpr int kInit = 1;  // AUTH_CR_OPCODE

  AuthCallengeInit(const QpBasicStringBuffer* inTransactionId,
                   const QpBasicStringBuffer& inPrincipal);
  AuthCallengeInit(const AuthCallengeInit& inOther);
  ~AuthCallengeInit() override;
};

class QP_EXPORT AuthChallenge : public AuthenticationChallengePacket {
 public:
  AuthChallenge(const QpBasicStringBuffer* inTransactionId);  // empty, for receiving
  AuthChallenge(const AuthChallenge& inOther);
  ~AuthChallenge() override;
};

class QP_EXPORT AuthChallengeAck : public AuthenticationChallengePacket {
 public:
  AuthChallengeAck(const QpBasicStringBuffer* inTransactionId);  // empty, for receiving
  AuthChallengeAck(const AuthChallengeAck& inOther);
  ~AuthChallengeAck() override;
};

#endif  // QP_AUTH_PACKETS_H

// AuthPackets.cpp - the negotiation and challenge-response families.
#include "AuthPackets.h"

#include "PacketFieldNamesInternal.h"
#include "QpStringBuffer.h"
#include "StMemory.h"
#include "qpos32.h"

// ---- Negotiation -------------------------------------------------------------------------------

AuthenticationNegationPacket::AuthenticationNegationPacket() {}

AuthenticationNegationPacket::AuthenticationNegationPacket(
    const QpBasicStringBuffer* inTransactionId)
    : NetworkPacket(inTransactionId) {
  deleteField(HPP_CLIENT_VERSION);
  store(NET_MESSAGEID, kMessageId);
  store(HPP_VERSION, 1);
}

AuthenticationNegationPacket::AuthenticationNegationPacket(
    const AuthenticationNegationPacket& inOther)
    : NetworkPacket(inOther) {}

AuthenticationNegationPacket::~AuthenticationNegationPacket() {}

const char* AuthenticationNegationPacket::GetFieldName(long code, char* buf, unsigned int size) {
  const char* vName = qpCopyFieldName(kAuthNegNames, code, buf, size);
  return vName != nullptr ? vName : NetworkPacket::GetFieldName(code, buf, size);
}

int AuthenticationNegationPacket::GetOpcode() {
  return GetInt(AUTH_NEG_OPCODE);
}

void AuthenticationNegationPacket::GetScheme(QpBasicStringBuffer& out) {
  GetString(AUTH_NEG_SCHEME, out);
}

int AuthenticationNegationPacket::GetErrorCode() {
  return GetInt(AUTH_NEG_ERROR_CODE);
}

void AuthenticationNegationPacket::GetProtocols(QpBasicStringBuffer& out) {
  QpSmartPacket vList;
  GetSmartPacket(AUTH_NEG_PROTOCOLS, vList);
  vList.GetString(1, out);
}

AuthNegationRequest::AuthNegationRequest(const QpBasicStringBuffer* inTransactionId,
                                         const QpBasicStringBuffer& inScheme,
                                         const QpBasicStringBuffer& inProtocols)
    : AuthenticationNegationPacket(inTransactionId) {
  store(AUTH_NEG_OPCODE, kNegotiate);
  store(AUTH_NEG_SCHEME, &inScheme);
  // The protocols go as a string array without empty items, so the count is taken by a first
  // walk over the list before the array is written. qp_strtok_r cuts the text it walks: each
  // walk has a scratch copy of its own.
  const char* vText = inProtocols.toStringConst();
  const int vSize = static_cast<int>(qp_strlen(vText)) + 1;
  StMalloc vFirst(vSize, 0);
  StMalloc vSecond(vSize, 0);
  qp_memcpy(vFirst.Get(), vText, static_cast<size_t>(vSize));
  qp_memcpy(vSecond.Get(), vText, static_cast<size_t>(vSize));
  char* vSave = nullptr;
  int vCount = 0;
  for (char* vToken = qp_strtok_r(static_cast<char*>(vFirst.Get()), ",", &vSave); vToken != nullptr;
       vToken = qp_strtok_r(nullptr, ",", &vSave)) {
    ++vCount;
  }
  QpSmartPacket vList;
  vList.store(0, vCount);
  short vIndex = 1;
  for (char* vToken = qp_strtok_r(static_cast<char*>(vSecond.Get()), ",", &vSave);
       vToken != nullptr; vToken = qp_strtok_r(nullptr, ",", &vSave)) {
    vList.store(vIndex++, vToken);
  }
  store(AUTH_NEG_PROTOCOLS, vList);
  logTransaction("Auth Neg Request", inTransactionId);
}

AuthNegationRequest::AuthNegationRequest(const AuthNegationRequest& inOther)
    : AuthenticationNegationPacket(inOther) {}

AuthNegationRequest::~AuthNegationRequest() {}

AuthNegationReply::AuthNegationReply(const QpBasicStringBuffer* inTransactionId) {
  logTransaction("Auth Neg Reply", inTransactionId);
}

AuthNegationReply::AuthNegationReply(const AuthNegationReply& inOther)
    : AuthenticationNegationPacket(inOther) {}

AuthNegationReply::~AuthNegationReply() {}

// ---- Challenge-response ------------------------------------------------------------------------

AuthenticationChallengePacket::AuthenticationChallengePacket() {}

AuthenticationChallengePacket::AuthenticationChallengePacket(
    const QpBasicStringBuffer* inTransactionId)
    : NetworkPacket(inTransactionId) {
  deleteField(HPP_CLIENT_VERSION);
  store(NET_MESSAGEID, kMessageId);
}

AuthenticationChallengePacket::AuthenticationChallengePacket(
    const AuthenticationChallengePacket& inOther)
    : NetworkPacket(inOther) {}

AuthenticationChallengePacket::~AuthenticationChallengePacket() {}

const char* AuthenticationChallengePacket::GetFieldName(long code, char* buf, unsigned int size) {
  const char* vName = qpCopyFieldName(kAuthCRNames, code, buf, size);
  return vName != nullptr ? vName : NetworkPacket::GetFieldName(code, buf, size);
}

int AuthenticationChallengePacket::GetOpCode() {
  return GetInt(AUTH_CR_OPCODE);
}

unsigned char AuthenticationChallengePacket::GetResult() {
  return GetBool(AUTH_CR_RESULT);
}

void AuthenticationChallengePacket::GetPrincipal(QpBasicStringBuffer& out) {
  GetString(AUTH_CR_PRINCIPAL, out);
}

void* AuthenticationChallengePacket::GetChallenge() {
  return GetData(AUTH_CR_CHALLENGE);
}

int AuthenticationChallengePacket::GetChallengeLen() {
  return GetDataLen(AUTH_CR_CHALLENGE);
}

void* AuthenticationChallengePacket::GetResponse() {
  return GetData(AUTH_CR_RESPONSE);
}

int AuthenticationChallengePacket::GetResponseLen() {
  return GetDataLen(AUTH_CR_RESPONSE);
}

int AuthenticationChallengePacket::GetAuthError() {
  return GetInt(AUTH_CR_ERROR_CODE, 0);
}

AuthCallengeInit::AuthCallengeInit(const QpBasicStringBuffer* inTransactionId,
                                   const QpBasicStringBuffer& inPrincipal)
    : AuthenticationChallengePacket(inTransactionId) {
  store(AUTH_CR_OPCODE, kInit);
  store(AUTH_CR_PRINCIPAL, &inPrincipal);
  logTransaction("Auth Init", inTransactionId);
}

AuthCallengeInit::AuthCallengeInit(const AuthCallengeInit& inOther)
    : AuthenticationChallengePacket(inOther) {}

AuthCallengeInit::~AuthCallengeInit() {}

AuthChallenge::AuthChallenge(const QpBasicStringBuffer* inTransactionId) {
  logTransaction("Auth Challenge", inTransactionId);
}

AuthChallenge::AuthChallenge(const AuthChallenge& inOther)
    : AuthenticationChallengePacket(inOther) {}

AuthChallenge::~AuthChallenge() {}

AuthChallengeAck::AuthChallengeAck(const QpBasicStringBuffer* inTransactionId) {
  logTransaction("Auth Chall Ack", inTransactionId);
}

AuthChallengeAck::AuthChallengeAck(const AuthChallengeAck& inOther)
    : AuthenticationChallengePacket(inOther) {}

AuthChallengeAck::~AuthChallengeAck() {}

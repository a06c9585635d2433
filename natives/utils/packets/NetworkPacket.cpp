// NetworkPacket.cpp - common request fields, stream framing, control-code translation, the host
// name and the base names of the protocol's packets.
#include "NetworkPacket.h"

#include <climits>

#include "Connection.h"
#include "PacketFieldNamesInternal.h"
#include "QpAddress.h"
#include "QpException.h"
#include "QpLogging.h"
#include "QpRaise.h"
#include "QpStringBuffer.h"
#include "QpStringConversion.h"
#include "QpWinsock.h"
#include "StMemory.h"
#include "qpos32.h"

namespace {

const QpInt kPacketMarker = 0x012C7598;
const QpInt kEndMarker = 0x012B3997;
const int kFrameHeader = 8;  // marker and size, in front of the image's magic
// The body of a stream packet is reserved in pieces that at most double what has arrived, from
// this first piece on: a peer that announces 2 GiB and sends 10 bytes gets 64 KiB of our memory,
// not 2 GiB. Replies of this size or less are read in a single receive.
const int kFirstPiece = 64 * 1024;

// The framing failures: QpSocketException with the reason as message.
[[noreturn]] void raiseFraming(const char* inMessage) {
  qpRaise<QpSocketException>(QP_HERE, 0, inMessage);
}

// The same with a decimal value in the reason.
[[noreturn]] void raiseFraming(const char* inPrefix, QpInt inValue) {
  char vText[48];
  qp_snprintf(vText, sizeof(vText), "%s%ld", inPrefix, static_cast<long>(inValue));
  raiseFraming(vText);
}

// ---- Control codes -----------------------------------------------------------------------------
// Each failing control code raises the exception of its error code, with the control code as the
// system error (where the reply's number is kept for the caller to see).

typedef void (*ControlRaise)(NetworkPacket& inPacket, int inCode);

template <class E>
[[noreturn]] void raiseControl(NetworkPacket&, int inCode) {
  qpRaise<E>(QP_HERE, inCode, nullptr);
}

// Code 25 is a veto whose reason (HPP_ERROR_REASON) tells hold from retention.
[[noreturn]] void raiseVeto(NetworkPacket& inPacket, int inCode) {
  switch (inPacket.GetExists(HPP_ERROR_REASON) ? inPacket.GetInt(HPP_ERROR_REASON) : -1) {
    case 0:
      raiseControl<QpHoldVetoException>(inPacket, inCode);
    case 1:
      raiseControl<QpRetentionVetoException>(inPacket, inCode);
    default:
      raiseControl<QpNotAllowedException>(inPacket, inCode);
  }
}

struct ControlRule {
  int mCode;
  ControlRaise mRaise;  // null: a success code
};

// Codes not listed here are server errors.
const ControlRule kControlRules[] = {
    {1, nullptr},
    {2, raiseControl<QpFileNotStoredException>},
    {4, raiseControl<QpDuplicateFileException>},
    {6, nullptr},
    {7, nullptr},
    {11, raiseControl<QpBlobBusyException>},
    {12, raiseControl<QpServerNotReadyException>},
    {13, raiseControl<QpServerErrorException>},
    {14, raiseControl<QpServerFullException>},
    {17, raiseControl<QpTransactionFailedException>},
    {18, raiseControl<QpNotAllowedException>},
    {21, raiseControl<QpBloblIDMismatchException>},
    {25, raiseVeto},
    {26, raiseControl<QpOutOfBoundsException>},
    {30, raiseControl<QpAdvancedRetentionDisabledException>},
    {31, raiseControl<QpNonEBRClipException>},
    {32, raiseControl<QpEBROverrideException>},
    {33, raiseControl<QpNoEBREventException>},
    {34, raiseControl<QpRetentionOutOfBoundsException>},
    {35, raiseControl<QpRetentionHoldCountExceededException>},
    {36, raiseControl<QpMetadataMismatchException>},
    {38, raiseControl<QpMetadataConstraintException>},
    {39, raiseControl<QpMetadataConcurrencyException>},
};

// Returned while the host name cannot be read. Kept apart from sHostname so that a caller still
// reading it never races with the thread that later writes the name.
char sNoHostname[1] = {0};

}  // namespace

char NetworkPacket::sHostname[256] = {0};
std::atomic<bool> NetworkPacket::sHostnameSet(false);
QpMutex NetworkPacket::sMutex;

// ---- Construction ------------------------------------------------------------------------------

NetworkPacket::NetworkPacket() {}

NetworkPacket::NetworkPacket(const QpSmartPacket& inOther) : QpSmartPacket(inOther) {}

NetworkPacket::NetworkPacket(const NetworkPacket& inOther) : QpSmartPacket(inOther) {}

NetworkPacket& NetworkPacket::operator=(const NetworkPacket& inOther) {
  QpSmartPacket::operator=(inOther);
  return *this;
}

NetworkPacket::NetworkPacket(const QpBasicStringBuffer* inTransactionId) {
  store(NET_SYSTEMID, GetHostName());
  if (inTransactionId != nullptr) store(NET_TRANSACTIONID, inTransactionId);
  store(NET_VERSION, kProtocolVersion);
  store(HPP_CLIENT_VERSION, kClientVersion);
  store(kClientBuildCode, kClientBuildVersion);
}

NetworkPacket::~NetworkPacket() {}

// ---- Names and dumps ---------------------------------------------------------------------------

const char* NetworkPacket::GetFieldName(long code, char* buf, unsigned int size) {
  const char* vName = qpCopyFieldName(kBaseNames, code, buf, size);
  return vName != nullptr ? vName : QpSmartPacket::GetFieldName(code, buf, size);
}

short NetworkPacket::GetFieldCode(const char* name) {
  return qpFieldCode(name);
}

void NetworkPacket::toString(QpStringBuffer& out, int code, int type) {
  if (code != POOLSERVER_PROBE_ALL) {
    QpSmartPacket::toString(out, code, type);
    return;
  }
  // "[<count><host>(<load>), <host>(<load>)]": the count runs into the first host, as the
  // cluster's other tools print it. The line is built apart, so that a list that cannot be read
  // (it came from outside) falls back to the plain line instead of failing the whole dump.
  QpStringBuffer vLine;
  try {
    char vName[64];
    const char* vFieldName = GetFieldName(code, vName, sizeof(vName));
    vLine.strcat("  ");
    vLine.strcat(vFieldName != nullptr ? vFieldName : "");
    vLine.strcat(" type=stringarray value=[");
    int vCount = 0;
    QpBasicStringBuffer* vItems = GetStrArray(static_cast<short>(code), vCount);
    vLine.strcat(QpStringConversion::toString(vCount));
    try {
      for (int i = 0; i < vCount; ++i) {
        QpAddress vAddress;
        vAddress.strcpy(vItems[i].toStringConst());
        StMalloc vHost(vAddress.GetAddress());
        vLine.strcat(static_cast<const char*>(vHost.Get()));
        vLine.strcat("(");
        vLine.strcat(QpStringConversion::toString(vAddress.GetLoad()));
        vLine.strcat(i + 1 < vCount ? "), " : ")");
      }
    } catch (QpException&) {
      delete[] vItems;
      throw;
    }
    delete[] vItems;
    vLine.strcat("]\n");
  } catch (QpOutOfMemException&) {
    throw;
  } catch (QpException&) {
    QpSmartPacket::toString(out, code, type);
    return;
  }
  out.strcat(vLine);
}

// ---- Transfer ----------------------------------------------------------------------------------

void NetworkPacket::send(QpConnection& conn) {
  QP_TRACE_BEGIN
  if (QpLogging::isDebugLogging()) {
    StMalloc vText(toString());
    QpLogging::Debug(PACKET, "send %s",
                     QpStringConversion::removePercent(static_cast<const char*>(vText.Get())));
  }
  void* vData = nullptr;
  int vLen = 0;
  toBytes(&vData, &vLen);
  conn.send(vData, vLen);
  QP_TRACE_END("NetworkPacket::send(Connection&)")
}

void NetworkPacket::receive(QpConnection& conn) {
  QP_TRACE_BEGIN
  try {
    // Marker and size are read aside: nothing is reserved before the size has been checked.
    char vHead[kFrameHeader];
    if (conn.receive(vHead, 4) != 4) raiseFraming("Unable to read marker");
    int vMarker = 0;
    _getInt(vHead, 0, &vMarker);
    if (vMarker != kPacketMarker) {
      if (vMarker == kEndMarker) raiseFraming("Premature end of packet");
      raiseFraming("Invalid marker: ", vMarker);
    }
    if (conn.receive(vHead + 4, 4) != 4) raiseFraming("Unable to read packet size");
    int vSize = 0;
    _getInt(vHead, 4, &vSize);
    // The image (frame header and body) must fit a signed 32-bit length together with the room
    // that a later store into the reply would ask for; a size beyond that is as impossible as a
    // negative one.
    if (vSize < 0 ||
        static_cast<long long>(vSize) + kFrameHeader + kHeaderSize + kFieldHeaderSize + kGrowStep >
            INT_MAX) {
      raiseFraming("Invalid packet size: ", vSize);
    }

    // The image is rebuilt in place: frame header first, then the body as it arrives. The used
    // length always covers exactly what has been received, so a growth keeps all of it.
    reserve(kFrameHeader + (vSize < kFirstPiece ? vSize : kFirstPiece));
    _setBytes(0, vHead, kFrameHeader);
    mUsedLen = kFrameHeader;
    resetCursor();
    for (;;) {
      // A buffer kept from an earlier packet may already have room for all of it.
      const int vRoom = mCapacity - kFrameHeader;
      const int vPiece = (vSize < vRoom ? vSize : vRoom) - (mUsedLen - kFrameHeader);
      if (vPiece > 0) {
        if (conn.receive(mBuffer + mUsedLen, vPiece) != vPiece) {
          raiseFraming("Unable to read packet data");
        }
        mUsedLen += vPiece;
      }
      const int vGot = mUsedLen - kFrameHeader;
      if (vGot == vSize) break;
      reserve(kFrameHeader + (vGot <= vSize / 2 ? 2 * vGot : vSize));
    }
    checkMagic();
  } catch (QpException&) {
    // What was read is not a packet; nothing of it may be walked later.
    deleteMemory();
    throw;
  }

  if (GetExists(NET_SERVERREPLY)) {
    QpStringBuffer vReply;
    GetString(NET_SERVERREPLY, vReply);
    const char* vText = vReply.toStringConst();
    if (qp_strcasecmp(vText, "IDNotRegistered") == 0 ||
        qp_strcasecmp(vText, "NoStreamerRegistered") == 0) {
      qpRaise<QpServerErrorException>(QP_HERE, 0, vText);
    }
  }
  QP_TRACE_END("Networkpacket::receive(Connection&)")
}

void NetworkPacket::logReceived() {
  if (QpLogging::isDebugLogging()) {
    StMalloc vText(toString());
    QpLogging::Debug(PACKET, "receive %s",
                     QpStringConversion::removePercent(static_cast<const char*>(vText.Get())));
  }
}

void NetworkPacket::logTransaction(const char* inLabel,
                                   const QpBasicStringBuffer* inTransactionId) {
  if (QpLogging::isDebugLogging()) {
    QpLogging::Debug(TRANSACTION, "%s %s", inLabel, QpStringConversion::toString(inTransactionId));
  }
}

// ---- Control -----------------------------------------------------------------------------------

int NetworkPacket::GetControl() {
  return GetInt(HPP_CONTROL, 0);
}

void NetworkPacket::checkControl() {
  checkControl(GetControl());
}

void NetworkPacket::checkControl(int code) {
  if (code == 0) return;
  QpStringBuffer vText;
  if (GetExists(HPP_EXCEPTION)) GetString(HPP_EXCEPTION, vText);
  try {
    ControlRaise vRaise = raiseControl<QpServerErrorException>;
    for (const ControlRule& vRule : kControlRules) {
      if (vRule.mCode == code) {
        vRaise = vRule.mRaise;
        break;
      }
    }
    if (vRaise != nullptr) vRaise(*this, code);
  } catch (QpException& e) {
    e.addTrace("NetworkPacket.checkControl(%s)", QpStringConversion::toString(code));
    if (!vText.isEmpty()) e.SetMessage(vText);
    throw;
  }
}

// ---- Accessors ---------------------------------------------------------------------------------

int NetworkPacket::GetOpCode() {
  return GetInt(HPP_OPCODE);
}

void NetworkPacket::GetServerReply(QpBasicStringBuffer& out) {
  if (GetExists(NET_SERVERREPLY)) GetString(NET_SERVERREPLY, out);
}

void NetworkPacket::GetException(QpStringBuffer& out) {
  if (GetExists(HPP_EXCEPTION)) GetString(HPP_EXCEPTION, out);
}

QpStringBuffer NetworkPacket::GetException() {
  QpStringBuffer vText;
  GetString(HPP_EXCEPTION, vText);
  return vText;
}

void NetworkPacket::GetTransactionID(QpStringBuffer& out) {
  GetString(NET_TRANSACTIONID, out);
}

QpLong NetworkPacket::GetClusterTimestamp() {
  return GetLong(POOLSERVER_CLUSTER_TIMESTAMP);
}

int NetworkPacket::GetNumProbeAddresses() {
  return GetInt(POOLSERVER_NUM_PROBE_IP);
}

void NetworkPacket::GetProbeAddress(short index, QpAddress& out) {
  GetString(static_cast<short>(POOLSERVER_PROBE_IP1 + index), out);
}

QpAddress NetworkPacket::GetProbeAddress(short index) {
  const short vCode = static_cast<short>(POOLSERVER_PROBE_IP1 + index);
  char vBuffer[256];
  QpInt vLen = 0;
  GetStringLen(vCode, &vLen);
  QP_CHECK(vLen < (QpInt)sizeof(vBuffer));
  vLen = sizeof(vBuffer);
  GetString(vCode, vBuffer, &vLen);
  return QpAddress(vBuffer, 2);
}

// ---- Host name ---------------------------------------------------------------------------------

char* NetworkPacket::GetHostName() {
  if (sHostnameSet.load(std::memory_order_acquire)) return sHostname;
  StCriticalSection vLock(&sMutex);
  if (!sHostnameSet.load(std::memory_order_relaxed)) {
    char vName[sizeof(sHostname)];
    if (QpWsGetHostName(vName, sizeof(vName)) != 0) return sNoHostname;  // tried again next time
    qp_memcpy(sHostname, vName, sizeof(sHostname));
    sHostnameSet.store(true, std::memory_order_release);
  }
  return sHostname;
}

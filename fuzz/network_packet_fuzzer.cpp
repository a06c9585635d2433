// network_packet_fuzzer.cpp - feeds arbitrary bytes to the reception of a reply, as a cluster
// node (or anything pretending to be one) could send them, then reads the reply every way the
// client can: control translation, every accessor of its family, and the dump.
//
// The first byte picks the reply class (and with it the stream or datagram reception); the rest
// is what the connection delivers, several packets in a row if the bytes hold them, all received
// into one packet object. Name resolution is switched off, so address texts from the input cost
// no network lookups. Refusals are QpException and expected; anything else, a read outside what
// was received, a leak or an allocation for a size that was only announced, is a finding.
#include "fuzz_support.h"

namespace {

using qpfuzz::attempt;

// Delivers the input in order; short counts once it is used up, as a stream that has ended.
class MemoryConnection : public QpConnection {
 public:
  MemoryConnection(const uint8_t* inData, size_t inLen) : mData(inData), mLen(inLen) {}
  void open(const QpAddress&) override {}
  void close() override {}
  int send(void*, int inLen) override { return inLen; }
  int receive(void* outData, int inLen) override {
    size_t vCount = inLen > 0 ? static_cast<size_t>(inLen) : 0;
    if (vCount > mLen - mPos) vCount = mLen - mPos;
    if (vCount > 0) std::memcpy(outData, mData + mPos, vCount);
    mPos += vCount;
    return static_cast<int>(vCount);
  }
  bool exhausted() const { return mPos >= mLen; }

 protected:
  int GetLastError() override { return 0; }

 private:
  const uint8_t* mData;
  size_t mLen;
  size_t mPos = 0;
};

// Keeps the values read alive without judging them. Several are summed here, as unsigned, because
// a sum of values from the input may overflow any signed type.
volatile uint64_t gSink;
template <class... T>
void sink(T... inValues) {
  gSink = gSink + (uint64_t{0} + ... + static_cast<uint64_t>(inValues));
}

// Touches the first and last byte of a block the packet hands out: ASan reports either when it
// lies outside what was received.
void touch(const void* inData, int inLen) {
  const uint8_t* vData = static_cast<const uint8_t*>(inData);
  if (inLen > 0) sink(vData[0], vData[inLen - 1]);
}

// clang-format off
// One reply class of each family, as the client builds them before a reception.
NetworkPacket* makeReply(uint8_t inKind) {
  switch (inKind % 10) {
    case 1: return new HPPExportReply(nullptr);
    case 2: return new HPPProbeReply(nullptr);  // the datagram reception
    case 3: return new HPPGetPoolInfoReply(nullptr);
    case 4: return new AuthNegationReply(nullptr);
    case 5: return new AuthChallenge(nullptr);
    case 6: return new MonitorOpenAccept(nullptr);
    case 7: return new HPPQueryReply(nullptr);
    case 8: return new AppProfileGetClipReply(nullptr);
    case 9: return new ComplianceGetRetentionClassesReply(nullptr);
    default: return new NetworkPacket();
  }
}
// clang-format on

void readCommon(NetworkPacket& p) {
  QpStringBuffer vText;
  attempt([&] { p.checkControl(); });
  attempt([&] { sink(p.GetOpCode()); });
  attempt([&] { p.GetServerReply(vText); });
  attempt([&] { p.GetException(vText); });
  attempt([&] { sink(p.GetException().getLength()); });
  attempt([&] { p.GetTransactionID(vText); });
  attempt([&] { sink(p.GetClusterTimestamp()); });
  attempt([&] { sink(p.GetNumProbeAddresses()); });
  for (short i = -1; i < 3; ++i) {
    attempt([&] { sink(p.GetProbeAddress(i).getLength()); });
    QP_FUZZ_READ(QpAddress vAddress; p.GetProbeAddress(i, vAddress));
  }
  attempt([&] { qp_free(p.toString()); });
}

void readFamily(NetworkPacket& inPacket) {
  QpStringBuffer vText;
  if (auto* p = dynamic_cast<PoolPacket*>(&inPacket)) {
    attempt([&] { sink(p->GetCapacity(), p->GetBytesFree()); });
    attempt([&] { p->GetClusterName(vText); });
    attempt([&] { p->GetPoolVersion(vText); });
  }
  if (auto* p = dynamic_cast<PoolClientPacket*>(&inPacket)) {
    QP_FUZZ_READ(QpAddressArray vReplicas; p->GetReplica(vReplicas));
    attempt([&] { p->GetClusterID(vText); });
    attempt([&] { p->GetClusterCapabilities(vText); });
  }
  if (auto* p = dynamic_cast<PoolServerPacket*>(&inPacket)) {
    QP_FUZZ_READ(QpAddressArray vReplicas; p->GetReplica(vReplicas));
    attempt([&] { sink(p->GetOpCode(), p->GetSegmentSize(), p->GetIdleTimeout()); });
    attempt([&] { p->GetClusterID(vText); });
    attempt([&] { p->GetClusterCapabilities(vText); });
    attempt([&] { p->GetArbitraryMMetaVersion(vText); });
  }
  if (auto* p = dynamic_cast<HPPPacket*>(&inPacket)) {
    attempt([&] { sink(p->GetError(), p->GetOffset(), p->GetBlobSize()); });
    attempt([&] { touch(p->GetBlobData(), p->GetBlobDataLen()); });
    attempt([&] { sink(p->GetNumLocations(), p->GetCreateTimeStamp()); });
    attempt([&] { sink(p->GetBlobID().isEmpty()); });
  }
  if (auto* p = dynamic_cast<AuthenticationNegationPacket*>(&inPacket)) {
    attempt([&] { sink(p->GetOpcode(), p->GetErrorCode()); });
    attempt([&] { p->GetScheme(vText); });
    attempt([&] { p->GetProtocols(vText); });
  }
  if (auto* p = dynamic_cast<AuthenticationChallengePacket*>(&inPacket)) {
    attempt([&] { sink(p->GetOpCode(), p->GetResult(), p->GetAuthError()); });
    attempt([&] { p->GetPrincipal(vText); });
    attempt([&] { touch(p->GetChallenge(), p->GetChallengeLen()); });
    attempt([&] { touch(p->GetResponse(), p->GetResponseLen()); });
  }
  if (auto* p = dynamic_cast<MonitorPacket*>(&inPacket)) {
    attempt([&] { sink(p->GetCode(-1), p->GetIdleTimeout(-1)); });
    attempt([&] { touch(p->GetResultXML(), p->GetResultXMLLen()); });
  }
  if (auto* p = dynamic_cast<QueryPacket*>(&inPacket)) {
    attempt([&] { sink(p->GetResultCode(), p->GetResultTimestamp()); });
    attempt([&] { sink(p->GetResultClipID().isEmpty()); });
    attempt([&] { p->GetResultString(vText); });
  }
  if (auto* p = dynamic_cast<AppProfileGetClipReply*>(&inPacket)) {
    attempt([&] { p->checkControl(); });
    attempt([&] { sink(p->GetClipID().isEmpty()); });
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  qpfuzz::refuseNameLookups();
  if (inSize == 0) return 0;
  MemoryConnection vConnection(inData + 1, inSize - 1);
  std::unique_ptr<NetworkPacket> vReply;
  attempt([&] { vReply.reset(makeReply(inData[0])); });
  if (!vReply) return 0;
  for (int i = 0; i < 3 && !vConnection.exhausted(); ++i) {
    bool vReceived = false;
    QP_FUZZ_READ(vReply->receive(vConnection); vReceived = true);
    // A refused packet is read as well: it must refuse again, never show stale bytes.
    readCommon(*vReply);
    readFamily(*vReply);
    if (!vReceived) break;
  }
  return 0;
}

// qptool packet dump: a packet image from a file or standard input, shown as the library dumps it,
// with the field names of the image's message family.
#include <cstring>
#include <memory>

#include "QpToolCommands.h"
#include "QpToolInput.h"

namespace qptool {
namespace {

// A family's packet made empty for loading; some families keep that constructor protected.
template <class Family>
struct Loader : Family {
  Loader() : Family() {}
};

std::unique_ptr<NetworkPacket> packetOfFamily(int inMessageId) {
  switch (inMessageId) {
    case PoolClientPacket::kMessageId:
      return std::unique_ptr<NetworkPacket>(new Loader<PoolClientPacket>);
    case PoolServerPacket::kMessageId:
      return std::unique_ptr<NetworkPacket>(new Loader<PoolServerPacket>);
    case MonitorPacket::kMessageId:
      return std::unique_ptr<NetworkPacket>(new Loader<MonitorPacket>);
    case HPPPacket::kMessageId:
      return std::unique_ptr<NetworkPacket>(new Loader<HPPPacket>);
    case QueryPacket::kMessageId:
      return std::unique_ptr<NetworkPacket>(new Loader<QueryPacket>);
    case AuthenticationNegationPacket::kMessageId:
      return std::unique_ptr<NetworkPacket>(new Loader<AuthenticationNegationPacket>);
    case AuthenticationChallengePacket::kMessageId:
      return std::unique_ptr<NetworkPacket>(new Loader<AuthenticationChallengePacket>);
    case CompliancePacket::kMessageId:
      return std::unique_ptr<NetworkPacket>(new Loader<CompliancePacket>);
    case AppProfilePacket::kMessageId:
      return std::unique_ptr<NetworkPacket>(new Loader<AppProfilePacket>);
    default:
      return std::unique_ptr<NetworkPacket>(new NetworkPacket);
  }
}

// Whether inImage begins with the packet marker, as the library writes it at the head of every
// framed image (taken from an empty packet, so that the marker has one definition).
bool hasMarker(const std::string& inImage) {
  QpSmartPacket vEmpty;
  void* vBytes = nullptr;
  int vLength = 0;
  vEmpty.toBytes(&vBytes, &vLength);
  return inImage.size() >= 4 && std::memcmp(inImage.data(), vBytes, 4) == 0;
}

int dump(const std::string& inImage) {
  std::string vImage = inImage;  // fromBytes takes a non-const pointer
  const int vLength = static_cast<int>(vImage.size());
  int vMessageId = -1;
  {
    NetworkPacket vProbe;
    vProbe.fromBytes(&vImage[0], vLength);
    // An image whose family field is missing or of the wrong type is still dumped, with the
    // names every family shares.
    try {
      vMessageId = vProbe.GetInt(3, -1);
    } catch (QpPacketDataException&) {
      throw;
    } catch (QpException&) {
      vMessageId = -1;
    }
  }
  std::unique_ptr<NetworkPacket> vPacket = packetOfFamily(vMessageId);
  vPacket->fromBytes(&vImage[0], vLength);
  char* vText = static_cast<QpSmartPacket&>(*vPacket).toString();
  const bool vWritten = writeOutput(vText);
  qp_free(vText);
  return vWritten ? kExitOk : fail("packet", "cannot write the output", kExitFailed);
}

}  // namespace

int runPacket(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "dump") != 0)
    return fail("packet",
                argc < 2 ? "missing action (dump)" : std::string("unknown action ") + argv[1],
                kExitUsage);
  enum { kAuto, kFramed, kBare } vForm = kAuto;
  const char* vPath = nullptr;
  for (int i = 2; i < argc; ++i) {
    const std::string vArg = argv[i];
    if (vArg == "--framed") {
      vForm = kFramed;
    } else if (vArg == "--bare") {
      vForm = kBare;
    } else if (vArg.size() > 1 && vArg[0] == '-') {
      return fail("packet", "unknown option " + vArg, kExitUsage);
    } else if (vPath != nullptr) {
      return fail("packet", "one image at a time", kExitUsage);
    } else {
      vPath = argv[i];
    }
  }
  if (vPath == nullptr)
    return fail("packet", "no file given (use - for standard input)", kExitUsage);

  std::string vImage, vError;
  if (!readInput(vPath, vImage, vError)) return fail("packet", vError, kExitInput);
  if (vImage.empty()) return fail("packet", std::string(vPath) + " is empty", kExitInput);
  try {
    const bool vFramed = hasMarker(vImage);
    if (vForm == kFramed && !vFramed)
      return fail("packet", "not a framed image: no packet marker at its start", kExitInput);
    if (vForm == kBare && vFramed)
      return fail("packet", "not a bare image: it starts with the packet marker", kExitInput);
    return dump(vImage);
  } catch (QpException& e) {
    return failInput("packet", e);
  }
}

}  // namespace qptool

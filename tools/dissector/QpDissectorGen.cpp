// QpDissectorGen.cpp - writes the packet dissector for tshark and Wireshark: a Lua prologue with
// the names that the library's own packet dumps print (field names per message family, type
// names, the default port), asked from the library at build time, followed by the dissector's
// hand-written source. A name added to or changed in the library reaches the dissector with the
// next build; nothing here repeats a table.
//
// Usage: qp_dissector_gen DISSECTOR_SOURCE OUTPUT. Single-threaded; exits 1 on any failure.
#include <QpUtilsLib.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// One message family: the value of its NET_MESSAGEID field and an object whose name hook (slot 0)
// is the family's.
struct Family {
  const char* mClass;
  int mMessageId;
  std::unique_ptr<NetworkPacket> mPacket;
};

std::string fieldName(QpSmartPacket& inPacket, long inCode) {
  char vBuf[128];
  return inPacket.GetFieldName(inCode, vBuf, sizeof vBuf);
}

std::string luaString(const std::string& inText) {
  std::string vOut = "\"";
  for (unsigned char vChar : inText) {
    if (vChar == '"' || vChar == '\\') {
      vOut += '\\';
      vOut += static_cast<char>(vChar);
    } else if (vChar < 0x20 || vChar > 0x7E) {
      char vEscape[8];
      std::snprintf(vEscape, sizeof vEscape, "\\%03u", vChar);
      vOut += vEscape;
    } else {
      vOut += static_cast<char>(vChar);
    }
  }
  return vOut + "\"";
}

// The name the dump prints after "type=" for type code inType, or "" when the dump has no line
// for that type. Asked by dumping a one-field packet of that type, with a value of the length the
// number readers expect, so that the line is the one a well-formed field gets.
std::string typeName(int inType) {
  int vLen = 0;
  switch (inType) {
    case QpSmartPacket::kTypeInteger:
      vLen = 4;
      break;
    case QpSmartPacket::kTypeLong:
      vLen = 8;
      break;
    case QpSmartPacket::kTypeBoolean:
      vLen = 1;
      break;
    case QpSmartPacket::kTypeShort:
      vLen = 2;
      break;
    default:
      break;
  }
  unsigned char vImage[32] = {'F',
                              'S',
                              'P',
                              '2',
                              0,
                              1,
                              static_cast<unsigned char>(inType),
                              0,
                              0,
                              static_cast<unsigned char>(vLen)};
  QpSmartPacket vPacket;
  vPacket.fromBytes(vImage, 4 + QpSmartPacket::kFieldHeaderSize + vLen);
  char* vText = vPacket.toString();
  std::string vDump = vText;
  qp_free(vText);
  const std::string::size_type vStart = vDump.find(" type=");
  const std::string::size_type vEnd = vDump.find(" value=");
  if (vStart == std::string::npos || vEnd == std::string::npos || vEnd < vStart) return "";
  return vDump.substr(vStart + 6, vEnd - vStart - 6);
}

void writeTables(std::ostream& out) {
  QpSmartPacket vPlain;
  NetworkPacket vBase;
  std::vector<Family> vFamilies;
  vFamilies.push_back(
      {"PoolClientPacket", PoolClientPacket::kMessageId, std::make_unique<PoolClientPacket>()});
  vFamilies.push_back(
      {"PoolServerPacket", PoolServerPacket::kMessageId, std::make_unique<PoolServerPacket>()});
  vFamilies.push_back(
      {"MonitorPacket", MonitorPacket::kMessageId, std::make_unique<MonitorKeepAlive>(nullptr)});
  vFamilies.push_back({"HPPPacket", HPPPacket::kMessageId, std::make_unique<HPPPacket>()});
  vFamilies.push_back({"QueryPacket", QueryPacket::kMessageId, std::make_unique<QueryPacket>()});
  vFamilies.push_back({"AuthenticationNegationPacket", AuthenticationNegationPacket::kMessageId,
                       std::make_unique<AuthNegationReply>(nullptr)});
  vFamilies.push_back({"AuthenticationChallengePacket", AuthenticationChallengePacket::kMessageId,
                       std::make_unique<AuthChallenge>(nullptr)});
  vFamilies.push_back(
      {"CompliancePacket", CompliancePacket::kMessageId, std::make_unique<CompliancePacket>()});
  vFamilies.push_back(
      {"AppProfilePacket", AppProfilePacket::kMessageId, std::make_unique<AppProfilePacket>()});

  // A packet of no family names a code "<prefix><code>"; the dissector builds those names itself.
  const std::string vPrefix = fieldName(vPlain, 0).substr(0, fieldName(vPlain, 0).size() - 1);
  if (fieldName(vPlain, -12345) != vPrefix + "-12345") {
    throw std::runtime_error("unexpected name of an unnamed field: " + fieldName(vPlain, -12345));
  }

  out << "local QP = {}\n";
  out << "QP.default_port = " << QpAddress::kDefaultPort << "\n";
  out << "QP.message_id_code = " << NetworkPacket::GetFieldCode("NET_MESSAGEID") << "\n";
  out << "QP.unnamed_prefix = " << luaString(vPrefix) << "\n";
  out << "QP.type_names = {\n";
  for (int vType = 0; vType < 256; ++vType) {
    const std::string vName = typeName(vType);
    if (!vName.empty()) out << "  [" << vType << "] = " << luaString(vName) << ",\n";
  }
  out << "}\n";

  // Codes are signed 16-bit on the wire; -1 stands for no field and is never named.
  out << "QP.base_names = {\n";
  for (long vCode = -32768; vCode <= 32767; ++vCode) {
    const std::string vName = fieldName(vBase, vCode);
    if (vCode != -1 && vName != fieldName(vPlain, vCode)) {
      out << "  [" << vCode << "] = " << luaString(vName) << ",\n";
    }
  }
  out << "}\n";
  // A family's table lists only where it differs from the base table it falls back to.
  out << "QP.families = {\n";
  for (Family& vFamily : vFamilies) {
    out << "  [" << vFamily.mMessageId << "] = { class = " << luaString(vFamily.mClass)
        << ", names = {\n";
    for (long vCode = -32768; vCode <= 32767; ++vCode) {
      const std::string vName = fieldName(*vFamily.mPacket, vCode);
      if (vCode != -1 && vName != fieldName(vBase, vCode)) {
        out << "    [" << vCode << "] = " << luaString(vName) << ",\n";
      }
    }
    out << "  } },\n";
  }
  out << "}\n\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: qp_dissector_gen DISSECTOR_SOURCE OUTPUT\n";
    return 1;
  }
  try {
    std::ifstream vSource(argv[1], std::ios::binary);
    std::stringstream vBody;
    vBody << vSource.rdbuf();
    if (!vSource || vBody.str().empty())
      throw std::runtime_error(std::string("cannot read ") + argv[1]);
    std::ostringstream vOut;
    vOut << "-- Generated by qp_dissector_gen from the QpUtils library's name tables and "
         << "tools/dissector/qpsp.lua.\n-- Do not edit: change those instead.\n\n";
    writeTables(vOut);
    vOut << vBody.str();
    std::ofstream vFile(argv[2], std::ios::binary | std::ios::trunc);
    vFile << vOut.str();
    vFile.close();
    if (!vFile) throw std::runtime_error(std::string("cannot write ") + argv[2]);
  } catch (QpException& e) {
    char* vMessage = e.GetMessageString();
    std::cerr << "qp_dissector_gen: error " << e.GetErrorCode() << " " << (vMessage ? vMessage : "")
              << "\n";
    qp_free(vMessage);
    std::remove(argv[2]);
    return 1;
  } catch (std::exception& e) {
    std::cerr << "qp_dissector_gen: " << e.what() << "\n";
    std::remove(argv[2]);
    return 1;
  }
  return 0;
}

// QpUtilsLib.h - the umbrella header: everything the library exports, in one include.
//
// The test hooks (QpOsHooks.h, QpFaultInjection.h, QpMemory.h) are exported and installed too, but
// are not brought in here: a program that wants to fail the library's platform calls or
// allocations on purpose includes them by name.
#ifndef QP_UTILS_LIB_H
#define QP_UTILS_LIB_H

// Platform layer and foundation
#include "QpTypes.h"
#include "qpos32.h"
#include "QpWinsock.h"
#include "StMemory.h"
#include "QpMutex.h"
#include "ArrayTemplate.h"
#include "QpGenericArray.h"
#include "QpHashMap.h"
#include "QpUtils.h"

// Error model
#include "QpErrorCodes.h"
#include "QpException.h"
#include "QpRaise.h"
#include "QpError.h"

// Strings and text encodings
#include "QpStringBuffer.h"
#include "QpStringConversion.h"
#include "QpXMLCodec.h"
#include "QpXmlUnescape.h"
#include "QpBase32.h"

// Packets
#include "QpSmartPacket.h"
#include "PacketFieldCodes.h"
#include "NetworkPacket.h"
#include "PoolPackets.h"
#include "QpRedirectPacket.h"
#include "HPPPacket.h"
#include "AuthPackets.h"
#include "MonitorPacket.h"
#include "QueryPacket.h"
#include "AppProfilePacket.h"
#include "CompliancePacket.h"

// Transport
#include "QpAddress.h"
#include "QpAddressArray.h"
#include "Connection.h"

// Object services
#include "QpProperties.h"
#include "QpTime.h"
#include "QpRef.h"

// Digests and identifiers
#include "QpMD5_Impl.h"
#include "QpSHA256_Impl.h"
#include "QpMD5_Router.h"
#include "QpSHA256_Router.h"
#include "QpObjectGuid.h"

// Logging
#include "QpLogging.h"
#include "QpLoggingState.h"
#include "QpLogBasic.h"
#include "QpLogTab.h"
#include "QpLogXML.h"
#include "QpLogFactory.h"

#endif  // QP_UTILS_LIB_H

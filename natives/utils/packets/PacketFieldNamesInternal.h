// PacketFieldNamesInternal.h - the readable names of the protocol's field codes, for the message
// families' dumps (GetFieldName) and for the reverse lookup by name (NetworkPacket::GetFieldCode).
//
// All names live in one table; each row says which name tables it belongs to. A family's table is
// the set of rows carrying its bit, so a name is written once however many lookups use it. The
// reverse lookup has a fixed set of names of its own (some of them in no family's table), marked
// by kReverseNames.
//
// Threads: constant data; every function may be called from any thread.
#ifndef QP_PACKET_FIELD_NAMES_INTERNAL_H
#define QP_PACKET_FIELD_NAMES_INTERNAL_H

enum QpFieldNameTable : unsigned {
  kBaseNames = 1u << 0,     // NetworkPacket, the fallback of every family
  kHPPNames = 1u << 1,      // HPPPacket
  kAuthNegNames = 1u << 2,  // AuthenticationNegationPacket
  kAuthCRNames = 1u << 3,   // AuthenticationChallengePacket
  kMonitorNames = 1u << 4,  // MonitorPacket
  kQueryNames = 1u << 5,    // QueryPacket
  kReverseNames = 1u << 6   // NetworkPacket::GetFieldCode
};

// The name of inCode in the table inTable, or null when that table does not name it.
const char* qpFieldName(QpFieldNameTable inTable, long inCode);

// The slot-0 hook of a family: when inTable names inCode, copies the name into outBuf (at most
// inSize - 1 characters and a terminator) and returns the name; null when it does not, so that
// the caller defers to its base class.
const char* qpCopyFieldName(QpFieldNameTable inTable, long inCode, char* outBuf,
                            unsigned int inSize);

// The code of a name of the reverse table, compared without regard to case; -1 when unknown.
short qpFieldCode(const char* inName);

#endif  // QP_PACKET_FIELD_NAMES_INTERNAL_H

// PacketFieldNames.cpp - the one table of field names behind every packet dump and the reverse
// lookup by name. Each row is built from the constant of PacketFieldCodes.h, so a row's code and
// its printed name cannot disagree.
#include "PacketFieldNamesInternal.h"

#include "PacketFieldCodes.h"
#include "qpos32.h"

namespace {

struct FieldName {
  short mCode;
  const char* mName;
  unsigned mTables;  // QpFieldNameTable bits
};

const unsigned B = kBaseNames;
const unsigned H = kHPPNames;
const unsigned N = kAuthNegNames;
const unsigned C = kAuthCRNames;
const unsigned M = kMonitorNames;
const unsigned Q = kQueryNames;
const unsigned R = kReverseNames;

#define QP_NAME(name, tables) \
  { name, #name, tables }

// The rows of the reverse lookup come first and in its search order; the names are unique
// without regard to case, so the order never changes an answer, but it keeps the lookup easy to
// compare with the protocol's list.
const FieldName kNames[] = {
    QP_NAME(NET_MESSAGEID, B | R),
    QP_NAME(NET_EXCEPTION, B | R),
    QP_NAME(NET_SERVERREPLY, B | R),
    QP_NAME(NET_SYSTEMID, B | R),
    QP_NAME(NET_TRANSACTIONID, B | R),
    QP_NAME(NET_VERSION, B | R),
    QP_NAME(HPP_OPCODE, B | R),
    QP_NAME(HPP_BLOBID, H | R),
    QP_NAME(HPP_BLOBSIZE, H | R),
    QP_NAME(HPP_CLIPID, H | R),
    QP_NAME(HPP_CLIPSIZE, H | R),
    QP_NAME(HPP_CLIPTIMESTAMP, H | R),
    QP_NAME(HPP_VERSION, B | R),
    QP_NAME(HPP_NUMLOCATIONS, H | R),
    QP_NAME(HPP_REFID, H | R),
    QP_NAME(HPP_CALCID_NAMING, H | R),
    QP_NAME(HPP_CALCID_MODE, H | R),
    QP_NAME(HPP_CONTROL, B | R),
    QP_NAME(HPP_OFFSET, H | R),
    QP_NAME(HPP_LENGTH, H | R),
    QP_NAME(HPP_ERROR, H | R),
    QP_NAME(HPP_CLASS, H | R),
    QP_NAME(HPP_SEGDATA, H | R),
    QP_NAME(HPP_NEWFRONTEND, H | R),
    QP_NAME(HPP_MIRROR_LOCATIONS, H | R),
    QP_NAME(HPP_CLIENT_VERSION, B | R),
    QP_NAME(HPP_IS_CLIPFILE, H | R),
    QP_NAME(HPP_POOL_CAPACITY, B | R),
    QP_NAME(HPP_CLUSTER_ID, B | R),
    QP_NAME(HPP_POOL_VERSION, B | R),
    QP_NAME(HPP_REPLICA_LOCATIONS, B | R),
    QP_NAME(HPP_POOL_FREE, B | R),
    QP_NAME(HPP_EXCEPTION, H | R),
    QP_NAME(HPP_WRITETIMESTAMP, H | R),
    QP_NAME(HPP_DUPLICATE_MD5, H | R),
    QP_NAME(HPP_CLUSTERNAME, B | R),
    QP_NAME(HPP_CAPABILITIES, B | R),
    QP_NAME(HPP_BLOBNAMINGID, H | R),
    QP_NAME(HPP_PURGE_BLOBS, H | R),
    QP_NAME(HPP_DISCRIMINATOR, H | R),
    QP_NAME(HPP_REASON, H | R),
    QP_NAME(HPP_OPTION, H | R),
    QP_NAME(HPP_FEAT_ID, H | R),
    QP_NAME(HPP_STORAGE_BLOBTYPE, H | R),
    QP_NAME(POOLSERVER_INDEX, B | R),
    QP_NAME(POOLSERVER_VERSION, B | R),
    QP_NAME(POOLSERVER_OPCODE, B | R),
    QP_NAME(POOLSERVER_POOL_ID, B | R),
    QP_NAME(POOLSERVER_CLUSTER_ID, B | R),
    QP_NAME(POOLSERVER_CLUSTER_STATUS, B | R),
    QP_NAME(POOLSERVER_CLUSTER_VERSION, B | R),
    QP_NAME(POOLSERVER_CLUSTER_TIMESTAMP, B | R),
    QP_NAME(POOLSERVER_CLUSTER_INITDATE, B | R),
    QP_NAME(POOLSERVER_CLUSTER_KEY, B | R),
    QP_NAME(POOLSERVER_REPLICA, B | R),
    QP_NAME(POOLSERVER_SEGMENT_SIZE, B | R),
    QP_NAME(POOLSERVER_IDLE_TIMEOUT, B | R),
    QP_NAME(POOLSERVER_ACCESS_PORT, B | R),
    QP_NAME(POOLSERVER_CONTROL, B | R),
    QP_NAME(POOLSERVER_NUM_PROBE_IP, B | R),
    QP_NAME(POOLSERVER_PROBE_IP1, B | R),
    QP_NAME(POOLSERVER_PROBE_IP2, B | R),
    QP_NAME(POOLSERVER_PROBE_ALL, B | R),
    QP_NAME(POOLSERVER_CAPABILITIES, B | R),
    QP_NAME(POOLSERVER_ARBITRARY_MMETA_VER, B | R),
    QP_NAME(QUERY_OPCODE, Q | R),
    QP_NAME(QUERY_SESSIONID, Q | R),
    QP_NAME(QUERY_START_TIMESTAMP, Q | R),
    QP_NAME(QUERY_STOP_TIMESTAMP, Q | R),
    QP_NAME(QUERY_RESULT_BLOBID, Q | R),
    QP_NAME(QUERY_RESULT_TIMESTAMP, Q | R),
    QP_NAME(QUERY_RESULT_CODE, Q | R),
    QP_NAME(QUERY_RESULT_DESCRIPTION, R),  // a query dump prints 108 as HPP_VERSION
    QP_NAME(QUERY_INFO_REPLYSTATE, Q | R),
    QP_NAME(QUERY_INFO_COMMAND, Q | R),
    QP_NAME(QUERY_INFO_DESCRIPTION, Q | R),
    QP_NAME(QUERY_QUERY_STRING, Q | R),
    QP_NAME(AUTH_NEG_TARGET, R),  // no message writes it, so no dump names it
    QP_NAME(AUTH_NEG_SCHEME, N | R),
    QP_NAME(AUTH_NEG_OPCODE, N | R),
    QP_NAME(AUTH_NEG_ERROR_CODE, N | R),
    QP_NAME(AUTH_NEG_PROTOCOLS, N | R),
    QP_NAME(AUTH_CR_OPCODE, C | R),
    QP_NAME(AUTH_CR_ERROR_CODE, C | R),
    QP_NAME(AUTH_CR_PRINCIPAL, C | R),
    QP_NAME(AUTH_CR_CHALLENGE, C | R),
    QP_NAME(AUTH_CR_RESPONSE, C | R),
    QP_NAME(AUTH_CR_RESULT, C | R),

    // Names for dumps only.
    QP_NAME(HPP_SDK_HOST, B),
    QP_NAME(HPP_SDK_OS, B),
    QP_NAME(HPP_SDK_VER, B),
    QP_NAME(HPP_APP_NAME, B),
    QP_NAME(HPP_APP_VER, B),
    QP_NAME(HPP_MIN_INDEX, H),
    QP_NAME(HPP_AFFINITY_LEVEL, H),
    {HPP_STORAGEBLOB_BASENAME, "HPP_STORAGEBLOB_BASENAME|TRANSPORT_OBJECT_ID", H},
    QP_NAME(HPP_STORAGEBLOB_NAMINGSCHEME, H),
    QP_NAME(HPP_STORAGEBLOB_DISCRIMINATOR, H),
    QP_NAME(HPP_CREATE_TIMESTAMP, H),
    QP_NAME(HPP_MODIF_PROFILE, H),
    QP_NAME(HPP_VPOOL_ID, H),
    QP_NAME(HPP_BLOB_IDS, H),
    QP_NAME(HPP_BLOB_LOCATIONS, H),
    QP_NAME(HPP_BLOB_REFS_IN_CDF, H),
    QP_NAME(HPP_SUPPRESS_DATA, H),
    QP_NAME(HPP_MMETA_NAMES, H),
    QP_NAME(HPP_MMETA_VALUES, H),
    QP_NAME(HPP_MMETA_DEL_NAMES, H),
    QP_NAME(HPP_MMETA_DEL_VALUES, H),
    QP_NAME(HPP_BLOB_WRITE_SEGNUM, H),
    QP_NAME(HPP_MMETA_VTIME_NAMES, H),
    QP_NAME(HPP_MMETA_VTIME_VALUES, H),
    QP_NAME(HPP_CLIP_TYPE, H),
    QP_NAME(HPP_ERROR_REASON, H),
    QP_NAME(HPP_MAX_INDEX, H),
    QP_NAME(MONITOR_STREAM_ID, M),
    QP_NAME(MONITOR_CONNID, M),
    QP_NAME(MONITOR_TARGET_XML, M),
    QP_NAME(MONITOR_OPCODE, M),
    QP_NAME(MONITOR_FILTER_XML, M),
    QP_NAME(MONITOR_EVENT_TYPE, M),
    QP_NAME(MONITOR_TARGETID, M),
    QP_NAME(MONITOR_CLUSTERID, M),
    QP_NAME(MONITOR_TIMESTAMP, M),
    QP_NAME(MONITOR_USERNAME, M),
    QP_NAME(MONITOR_PASSWORD, M),
    QP_NAME(MONITOR_IDLETIMEOUT, M),
    QP_NAME(MONITOR_FRMP_VERSION, M),
    QP_NAME(MONITOR_RESULT_XML, M),
};

#undef QP_NAME

}  // namespace

const char* qpFieldName(QpFieldNameTable inTable, long inCode) {
  for (const FieldName& vRow : kNames) {
    if ((vRow.mTables & inTable) != 0 && vRow.mCode == inCode) return vRow.mName;
  }
  return nullptr;
}

const char* qpCopyFieldName(QpFieldNameTable inTable, long inCode, char* outBuf,
                            unsigned int inSize) {
  const char* vName = qpFieldName(inTable, inCode);
  if (vName != nullptr && outBuf != nullptr && inSize > 0) {
    // Cut to the buffer and always terminated: a dump line reads the buffer as a text.
    qp_snprintf(outBuf, inSize, "%s", vName);
  }
  return vName;
}

short qpFieldCode(const char* inName) {
  if (inName == nullptr) return -1;
  for (const FieldName& vRow : kNames) {
    if ((vRow.mTables & kReverseNames) != 0 && qp_strcasecmp(vRow.mName, inName) == 0) {
      return vRow.mCode;
    }
  }
  return -1;
}

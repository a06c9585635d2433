// QpErrorTestTable.h - the expected vocabulary of error codes, shared by the lookup, record and
// exception tests: for every code its constant, name, message and, where a class carries it, the
// leaf exception class, its family and whether a failure of that kind may be retried.
//
// Written out by hand rather than derived from the library's own table, so that a wrong name,
// message, code or class cannot hide behind the list it was generated from; codes are numbers so
// that a wrong named constant cannot make a wrong row look right. Constant data only: any thread
// may read it.
#ifndef QP_ERROR_TEST_TABLE_H
#define QP_ERROR_TEST_TABLE_H

namespace qptest {

enum Family { kN, kS, kC, kA, kO };  // network, server, client (kC and after), application, OS

const char kRetired[] = "SDK 2.0: no longer used";

}  // namespace qptest

// LEAF(code, constant, message, Leaf, family, retryable); NOLEAF(code, constant, message) for a
// named code no class carries; RETIRED(code) for an unnamed retired code.
// clang-format off
#define QP_EXPECTED_CODES(LEAF, NOLEAF, RETIRED) \
  NOLEAF(0, ENOERR, "no error") \
  NOLEAF(12, ENOMEM, "Out of memory") \
  LEAF(-10222, QP_INVALID_FEDERATION_ERR, "The federation being used does not have any active members.", QpInvalidFederationException, kC, 0) \
  LEAF(-10221, QP_FEDERATED_VER_ERR, "Detected federated version different than original.", QpFederationVersionException, kC, 0) \
  LEAF(-10220, QP_INVALID_REDIRECT_ERR, "Server issued a redirect either without providing a redirect packet or redirected to an ineligible cluster.", QpInvalidRedirectException, kC, 0) \
  LEAF(-10219, QP_REDIRECTED_ERR, "Can\x92" "t continue current operation because server issued a valid redirect but it could not be honored.", QpRedirectedException, kC, 1) \
  LEAF(-10218, QP_COLLOCATION_ERR, "Encountered and error during collocation.", QpCollocationException, kC, 0) \
  LEAF(-10217, QP_MIGRATION_ERR, "A write error occurred during migration.", QpMigrationException, kC, 1) \
  LEAF(-10216, QP_LOGGING_CALLBACK_ERR, "An error in the application's registered logging callback occurred", QpLogCallbackException, kA, 0) \
  NOLEAF(-10215, QP_UNABLE_TO_GET_LAST_ERROR, "There was an error with the error reporting system") \
  LEAF(-10214, QP_INVALID_XML_ERR, "The specified string is not valid XML", QpInvalidXMLException, kA, 0) \
  LEAF(-10213, QP_PROFILECLIPID_WRITE_ERR, "Unable to store the profile clip ID", QpProfileClipIDWriteException, kA, 0) \
  LEAF(-10212, QP_PROBE_TIME_EXPIRED_ERR, "The probe limit time was reached", QpProbeLimitExpiredException, kA, 0) \
  LEAF(-10211, QP_THREAD_ERR, "Error creating background thread", QpThreadException, kA, 0) \
  LEAF(-10210, QP_TAGCLOSED_ERR, "The QpTag for this object is already closed (Java only)", QpTagClosedException, kA, 0) \
  LEAF(-10209, QP_STREAM_ERR, "An error in the generic stream occurred", QpStreamException, kA, 0) \
  LEAF(-10208, QP_NOTYET_OPEN_ERR, "The object is not yet opened", QpNotYetOpenException, kA, 0) \
  LEAF(-10207, QP_OBJECTINUSE_ERR, "Can't close object because it's still in use", QpInUseException, kA, 0) \
  LEAF(-10206, QP_OUT_OF_MEMORY_ERR, "System ran out of memory", QpOutOfMemException, kO, 0) \
  LEAF(-10205, QP_SDK_INTERNAL_ERR, "An SDK internal programming error was detected", QpSDKInternalException, kA, 0) \
  LEAF(-10204, QP_OPERATION_NOT_ALLOWED, "The use of this operation is restricted", QpNotAllowedException, kA, 0) \
  LEAF(-10203, QP_WRONG_STREAM_ERR, "Method expects an input stream and Gets an output stream or vice-versa", QpWrongStreamException, kA, 0) \
  LEAF(-10202, QP_QUERYCLOSED_ERR, "The QpQuery for this object is already closed (Java only)", QpQueryClosedException, kA, 0) \
  LEAF(-10201, QP_OPERATION_REQUIRES_MARK, "The application requires marker support but stream does not provide it", QpMarkRequiredException, kA, 0) \
  LEAF(-10168, QP_HOLD_VETO_ERR, "Operation failed: Object under hold.", QpHoldVetoException, kS, 0) \
  LEAF(-10167, QP_RETENTION_VETO_ERR, "Operation failed: Object under retention.", QpRetentionVetoException, kS, 0) \
  LEAF(-10166, QP_METADATA_CONCURRENCY_ERR, "Server detected a concurrency error.", QpMetadataConcurrencyException, kS, 0) \
  LEAF(-10165, QP_METADATA_CONSTRAINT_ERR, "Mutable metadata constraint error found", QpMetadataConstraintException, kS, 0) \
  LEAF(-10164, QP_METADATA_MISMATCH_ERR, "Mutable metadata mismatch found", QpMetadataMismatchException, kS, 0) \
  LEAF(-10163, QP_RETENTION_HOLD_COUNT_ERR, "Attempt to set more holds than allowed", QpRetentionHoldCountExceededException, kS, 0) \
  LEAF(-10162, QP_RETENTION_OUT_OF_BOUNDS_ERR, "Attempt to set a retention period outside min/max range", QpRetentionOutOfBoundsException, kS, 0) \
  LEAF(-10161, QP_NO_EBR_EVENT_ERR, "Attempt to delete a clip which is waiting under ebr", QpNoEBREventException, kS, 0) \
  LEAF(-10160, QP_EBR_OVERRIDE_ERR, "Attempt to set ebr information a second time", QpEBROverrideException, kS, 0) \
  LEAF(-10159, QP_NON_EBR_CLIP_ERR, "Attempt to trigger an ebr event on a non-ebr clip", QpNonEBRClipException, kS, 0) \
  LEAF(-10158, QP_ADVANCED_RETENTION_DISABLED_ERR, "Compliance feature not supported", QpAdvancedRetentionDisabledException, kS, 0) \
  LEAF(-10157, QP_PROFILECLIPID_NOTFOUND_ERR, "Clip ID not found", QpProfileClipIDNotFoundException, kS, 0) \
  LEAF(-10156, QP_TRANSACTION_FAILED_ERR, "Transaction on the server failed", QpTransactionFailedException, kS, 1) \
  LEAF(-10155, QP_UNKNOWN_AUTH_PROTOCOL_ERR, "Unknown authentication protocol", QpUnknownAuthProtocolException, kS, 0) \
  LEAF(-10154, QP_UNKNOWN_AUTH_SCHEME_ERR, "Unknown authentication scheme", QpUnknownAuthSchemeException, kS, 0) \
  LEAF(-10153, QP_AUTHENTICATION_FAILED_ERR, "Authentication failed", QpAuthFailedException, kS, 0) \
  LEAF(-10152, QP_PACKET_FIELD_MISSING_ERR, "The packet field is missing", QpRequiredPacketFieldMissingException, kS, 0) \
  NOLEAF(-10151, QP_OPCODE_FIELD_ERR, "The Query Opcode field is missing from the packet") \
  LEAF(-10103, QP_ACCESSNODE_ERR, "No Access Node can be found", QpNoAccessNodeException, kN, 1) \
  LEAF(-10102, QP_PACKETDATA_ERR, "Wrong data in packet", QpPacketDataException, kS, 1) \
  LEAF(-10101, QP_SOCKET_ERR, "Error on network socket", QpSocketException, kN, 1) \
  LEAF(-10045, QP_STREAM_BYTECOUNT_MISMATCH_ERR, "Detected a mismatch in the generic stream bytecount", QpStreamMismatchException, kA, 0) \
  LEAF(-10044, QP_STREAM_VALIDATION_ERR, "Detected a generic stream usage error", QpStreamValidationException, kA, 0) \
  LEAF(-10043, QP_DUPLICATE_ID_ERR, "Duplicate sequence IDs detected.", QpDuplicateSeqIdException, kA, 0) \
  LEAF(-10042, QP_SERVER_NO_CAPACITY_ERR, "The server has no capacity to store this data", QpServerFullException, kS, 1) \
  LEAF(-10041, QP_SERVER_NOTREADY_ERR, "The server is not yet ready to process your request", QpServerNotReadyException, kS, 1) \
  LEAF(-10040, QP_BLOBBUSY_ERR, "The blob on the server is busy and cannot be read or written to", QpBlobBusyException, kS, 1) \
  LEAF(-10039, QP_POOLCLOSED_ERR, "The QpPool this object belongs to is already closed (java only)", QpPoolClosedException, kA, 0) \
  LEAF(-10038, QP_CLIPCLOSED_ERR, "The QpClip this object belongs to is already closed (java only)", QpClipClosedException, kA, 0) \
  NOLEAF(-10037, QP_PROBEPACKET_ERR, kRetired) /* the one retired code with a name */ \
  LEAF(-10036, QP_BLOBIDMISMATCH_ERR, "BlobID mismatch between client & server, blob corrupt?", QpBloblIDMismatchException, kS, 0) \
  RETIRED(-10035) \
  LEAF(-10034, QP_NO_SOCKET_AVAIL_ERR, "No new socket is available for the transaction", QpNoSocketAvailException, kN, 1) \
  LEAF(-10033, QP_PROTOCOL_ERR, "Unknown protocol option", QpProtocolException, kS, 0) \
  LEAF(-10032, QP_MULTI_BLOB_ERR, "The tag already has data associated with it", QpMultiBlobException, kA, 0) \
  LEAF(-10031, QP_VERSION_ERR, "Clip version mismatch", QpVersionException, kS, 0) \
  LEAF(-10030, QP_TAG_HAS_NO_DATA_ERR, "tag should have a blob", QpTagHasNoDataException, kA, 0) \
  LEAF(-10029, QP_STACK_DEPTH_ERR, "max depth of enclosing tags is reached", QpStackDepthException, kA, 0) \
  LEAF(-10027, QP_FILESYS_ERR, "file system error occurred (eg. fopen on unknown file)", QpFileSystemException, kA, 0) \
  LEAF(-10026, QP_OUT_OF_BOUNDS_ERR, "the options parameter is out of bounds", QpOutOfBoundsException, kA, 0) \
  LEAF(-10025, QP_TAG_READONLY_ERR, "Some tags cannot be changed!", QpTagReadOnlyException, kA, 0) \
  LEAF(-10024, QP_UNEXPECTEDTAG_ERR, "We expected either a 'file' or 'folder' tag", QpUnexpectedTagException, kA, 0) \
  LEAF(-10023, QP_ISNOT_DIRECTORY_ERR, "We expect a path to a directory, but it's a file", QpNotDirectoryException, kA, 0) \
  LEAF(-10022, QP_TAGTREE_ERR, "An error in the tagtree was discovered", QpTagTreeException, kA, 0) \
  LEAF(-10021, QP_CLIP_NOT_FOUND_ERR, "Clip CDF is not found in the pool", QpClipNotFoundException, kS, 1) \
  LEAF(-10020, QP_NO_POOL_ERR, "No connection with any pool", QpNoPoolException, kN, 0) \
  LEAF(-10019, QP_WRONG_REFERENCE_ERR, "We're Getting an invalid reference", QpWrongReferenceException, kA, 0) \
  LEAF(-10018, QP_ATTR_NOT_FOUND_ERR, "Attribute with that name not found", QpAttrNotFoundException, kA, 0) \
  LEAF(-10017, QP_TAG_NOT_FOUND_ERR, "Tag in Q-Clip description not found", QpTagNotFoundException, kA, 0) \
  RETIRED(-10016) \
  RETIRED(-10015) \
  LEAF(-10014, QP_FILE_NOT_STORED_ERR, "Blob could not be stored on write or could not be found on import", QpFileNotStoredException, kS, 1) \
  LEAF(-10013, QP_ACK_NOT_RCV_ERR, "Write acknowledge not received", QpNotReceiveAckException, kN, 1) \
  LEAF(-10012, QP_OPERATION_NOT_SUPPORTED, "Operation not (yet) supported (eg. on flat Q-Clip)", QpNotSupportedException, kA, 0) \
  RETIRED(-10011) \
  LEAF(-10010, QP_DUPLICATE_FILE_ERR, "Duplicate Blob already exist on server", QpDuplicateFileException, kS, 0) \
  RETIRED(-10009) \
  RETIRED(-10008) \
  LEAF(-10007, QP_PATH_NOT_FOUND_ERR, "Path does not correspond to a file/directory on the local system", QpPathNotFoundException, kA, 0) \
  LEAF(-10006, QP_PARAM_ERR, "Wrong parameter detected", QpParameterException, kA, 0) \
  LEAF(-10005, QP_SERVER_ERR, "The server reported an error from the operation", QpServerErrorException, kS, 1) \
  LEAF(-10004, QP_NOT_RECEIVE_REPLY_ERR, "Error receiving reply from the server", QpNotReceiveReplyException, kN, 1) \
  LEAF(-10003, QP_NOT_SEND_REQUEST_ERR, "Error sending a request to the server", QpNotSendRequestException, kN, 1) \
  LEAF(-10002, QP_UNKNOWN_OPTION, "QP_SetIntOption/GetIntOption: unknown option name", QpUnknownOptionException, kA, 0) \
  LEAF(-10001, QP_INVALID_NAME, "The name is not valid XML", QpInvalidNameException, kA, 0)
// clang-format on

#endif  // QP_ERROR_TEST_TABLE_H

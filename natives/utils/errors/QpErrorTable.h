// QpErrorTable.h - the library's vocabulary of error codes: the one list from which the named
// constants, the name and message lookups and the leaf exception classes are all generated, so
// that they cannot drift apart. Include it after defining the macros you need:
//
//   QP_ERROR(code, NAME, "message", LeafClass, Family, Kind)  a code raised by its leaf class
//   QP_ERROR_NOCLASS(code, NAME, "message")                   a named code no class raises
//   QP_ERROR_RETIRED(code)                                    a retired code without a name
//
// Family is the intermediate class of the leaf. Kind is PLAIN for a leaf that only sets its
// code, OWN for one written by hand because it overrides behaviour (QpException.h).
// Messages are byte strings: -10219 carries the single byte 0x92 (a Windows-1252 right quote)
// exactly as the cluster's other tools print it. This file has no include guard on purpose.
#ifndef QP_ERROR
#define QP_ERROR(code, name, message, leaf, family, kind)
#endif
#ifndef QP_ERROR_NOCLASS
#define QP_ERROR_NOCLASS(code, name, message)
#endif
#ifndef QP_ERROR_RETIRED
#define QP_ERROR_RETIRED(code)
#endif

// clang-format off
QP_ERROR(-10222, QP_INVALID_FEDERATION_ERR, "The federation being used does not have any active members.", QpInvalidFederationException, QpClientException, PLAIN)
QP_ERROR(-10221, QP_FEDERATED_VER_ERR, "Detected federated version different than original.", QpFederationVersionException, QpClientException, PLAIN)
QP_ERROR(-10220, QP_INVALID_REDIRECT_ERR, "Server issued a redirect either without providing a redirect packet or redirected to an ineligible cluster.", QpInvalidRedirectException, QpClientException, PLAIN)
QP_ERROR(-10219, QP_REDIRECTED_ERR, "Can\x92t continue current operation because server issued a valid redirect but it could not be honored.", QpRedirectedException, QpClientException, OWN)
QP_ERROR(-10218, QP_COLLOCATION_ERR, "Encountered and error during collocation.", QpCollocationException, QpClientException, OWN)
QP_ERROR(-10217, QP_MIGRATION_ERR, "A write error occurred during migration.", QpMigrationException, QpClientException, OWN)
QP_ERROR(-10216, QP_LOGGING_CALLBACK_ERR, "An error in the application's registered logging callback occurred", QpLogCallbackException, QpApplicationException, PLAIN)
QP_ERROR_NOCLASS(-10215, QP_UNABLE_TO_GET_LAST_ERROR, "There was an error with the error reporting system")
QP_ERROR(-10214, QP_INVALID_XML_ERR, "The specified string is not valid XML", QpInvalidXMLException, QpApplicationException, PLAIN)
QP_ERROR(-10213, QP_PROFILECLIPID_WRITE_ERR, "Unable to store the profile clip ID", QpProfileClipIDWriteException, QpApplicationException, PLAIN)
QP_ERROR(-10212, QP_PROBE_TIME_EXPIRED_ERR, "The probe limit time was reached", QpProbeLimitExpiredException, QpApplicationException, PLAIN)
QP_ERROR(-10211, QP_THREAD_ERR, "Error creating background thread", QpThreadException, QpApplicationException, PLAIN)
QP_ERROR(-10210, QP_TAGCLOSED_ERR, "The QpTag for this object is already closed (Java only)", QpTagClosedException, QpApplicationException, PLAIN)
QP_ERROR(-10209, QP_STREAM_ERR, "An error in the generic stream occurred", QpStreamException, QpApplicationException, PLAIN)
QP_ERROR(-10208, QP_NOTYET_OPEN_ERR, "The object is not yet opened", QpNotYetOpenException, QpApplicationException, PLAIN)
QP_ERROR(-10207, QP_OBJECTINUSE_ERR, "Can't close object because it's still in use", QpInUseException, QpApplicationException, PLAIN)
QP_ERROR(-10206, QP_OUT_OF_MEMORY_ERR, "System ran out of memory", QpOutOfMemException, QpOSException, OWN)
QP_ERROR(-10205, QP_SDK_INTERNAL_ERR, "An SDK internal programming error was detected", QpSDKInternalException, QpApplicationException, OWN)
QP_ERROR(-10204, QP_OPERATION_NOT_ALLOWED, "The use of this operation is restricted", QpNotAllowedException, QpApplicationException, PLAIN)
QP_ERROR(-10203, QP_WRONG_STREAM_ERR, "Method expects an input stream and Gets an output stream or vice-versa", QpWrongStreamException, QpApplicationException, PLAIN)
QP_ERROR(-10202, QP_QUERYCLOSED_ERR, "The QpQuery for this object is already closed (Java only)", QpQueryClosedException, QpApplicationException, PLAIN)
QP_ERROR(-10201, QP_OPERATION_REQUIRES_MARK, "The application requires marker support but stream does not provide it", QpMarkRequiredException, QpApplicationException, PLAIN)
QP_ERROR(-10168, QP_HOLD_VETO_ERR, "Operation failed: Object under hold.", QpHoldVetoException, QpServerException, PLAIN)
QP_ERROR(-10167, QP_RETENTION_VETO_ERR, "Operation failed: Object under retention.", QpRetentionVetoException, QpServerException, PLAIN)
QP_ERROR(-10166, QP_METADATA_CONCURRENCY_ERR, "Server detected a concurrency error.", QpMetadataConcurrencyException, QpServerException, PLAIN)
QP_ERROR(-10165, QP_METADATA_CONSTRAINT_ERR, "Mutable metadata constraint error found", QpMetadataConstraintException, QpServerException, PLAIN)
QP_ERROR(-10164, QP_METADATA_MISMATCH_ERR, "Mutable metadata mismatch found", QpMetadataMismatchException, QpServerException, PLAIN)
QP_ERROR(-10163, QP_RETENTION_HOLD_COUNT_ERR, "Attempt to set more holds than allowed", QpRetentionHoldCountExceededException, QpServerException, PLAIN)
QP_ERROR(-10162, QP_RETENTION_OUT_OF_BOUNDS_ERR, "Attempt to set a retention period outside min/max range", QpRetentionOutOfBoundsException, QpServerException, PLAIN)
QP_ERROR(-10161, QP_NO_EBR_EVENT_ERR, "Attempt to delete a clip which is waiting under ebr", QpNoEBREventException, QpServerException, PLAIN)
QP_ERROR(-10160, QP_EBR_OVERRIDE_ERR, "Attempt to set ebr information a second time", QpEBROverrideException, QpServerException, PLAIN)
QP_ERROR(-10159, QP_NON_EBR_CLIP_ERR, "Attempt to trigger an ebr event on a non-ebr clip", QpNonEBRClipException, QpServerException, PLAIN)
QP_ERROR(-10158, QP_ADVANCED_RETENTION_DISABLED_ERR, "Compliance feature not supported", QpAdvancedRetentionDisabledException, QpServerException, PLAIN)
QP_ERROR(-10157, QP_PROFILECLIPID_NOTFOUND_ERR, "Clip ID not found", QpProfileClipIDNotFoundException, QpServerException, PLAIN)
QP_ERROR(-10156, QP_TRANSACTION_FAILED_ERR, "Transaction on the server failed", QpTransactionFailedException, QpServerException, PLAIN)
QP_ERROR(-10155, QP_UNKNOWN_AUTH_PROTOCOL_ERR, "Unknown authentication protocol", QpUnknownAuthProtocolException, QpServerException, PLAIN)
QP_ERROR(-10154, QP_UNKNOWN_AUTH_SCHEME_ERR, "Unknown authentication scheme", QpUnknownAuthSchemeException, QpServerException, PLAIN)
QP_ERROR(-10153, QP_AUTHENTICATION_FAILED_ERR, "Authentication failed", QpAuthFailedException, QpServerException, PLAIN)
QP_ERROR(-10152, QP_PACKET_FIELD_MISSING_ERR, "The packet field is missing", QpRequiredPacketFieldMissingException, QpServerException, PLAIN)
QP_ERROR_NOCLASS(-10151, QP_OPCODE_FIELD_ERR, "The Query Opcode field is missing from the packet")
QP_ERROR(-10103, QP_ACCESSNODE_ERR, "No Access Node can be found", QpNoAccessNodeException, QpNetworkException, PLAIN)
QP_ERROR(-10102, QP_PACKETDATA_ERR, "Wrong data in packet", QpPacketDataException, QpServerException, PLAIN)
QP_ERROR(-10101, QP_SOCKET_ERR, "Error on network socket", QpSocketException, QpNetworkException, PLAIN)
QP_ERROR(-10045, QP_STREAM_BYTECOUNT_MISMATCH_ERR, "Detected a mismatch in the generic stream bytecount", QpStreamMismatchException, QpApplicationException, PLAIN)
QP_ERROR(-10044, QP_STREAM_VALIDATION_ERR, "Detected a generic stream usage error", QpStreamValidationException, QpApplicationException, PLAIN)
QP_ERROR(-10043, QP_DUPLICATE_ID_ERR, "Duplicate sequence IDs detected.", QpDuplicateSeqIdException, QpApplicationException, PLAIN)
QP_ERROR(-10042, QP_SERVER_NO_CAPACITY_ERR, "The server has no capacity to store this data", QpServerFullException, QpServerException, PLAIN)
QP_ERROR(-10041, QP_SERVER_NOTREADY_ERR, "The server is not yet ready to process your request", QpServerNotReadyException, QpServerException, PLAIN)
QP_ERROR(-10040, QP_BLOBBUSY_ERR, "The blob on the server is busy and cannot be read or written to", QpBlobBusyException, QpServerException, PLAIN)
QP_ERROR(-10039, QP_POOLCLOSED_ERR, "The QpPool this object belongs to is already closed (java only)", QpPoolClosedException, QpApplicationException, PLAIN)
QP_ERROR(-10038, QP_CLIPCLOSED_ERR, "The QpClip this object belongs to is already closed (java only)", QpClipClosedException, QpApplicationException, PLAIN)
QP_ERROR_NOCLASS(-10037, QP_PROBEPACKET_ERR, "SDK 2.0: no longer used")
QP_ERROR(-10036, QP_BLOBIDMISMATCH_ERR, "BlobID mismatch between client & server, blob corrupt?", QpBloblIDMismatchException, QpServerException, PLAIN)
QP_ERROR_RETIRED(-10035)
QP_ERROR(-10034, QP_NO_SOCKET_AVAIL_ERR, "No new socket is available for the transaction", QpNoSocketAvailException, QpNetworkException, PLAIN)
QP_ERROR(-10033, QP_PROTOCOL_ERR, "Unknown protocol option", QpProtocolException, QpServerException, PLAIN)
QP_ERROR(-10032, QP_MULTI_BLOB_ERR, "The tag already has data associated with it", QpMultiBlobException, QpApplicationException, PLAIN)
QP_ERROR(-10031, QP_VERSION_ERR, "Clip version mismatch", QpVersionException, QpServerException, PLAIN)
QP_ERROR(-10030, QP_TAG_HAS_NO_DATA_ERR, "tag should have a blob", QpTagHasNoDataException, QpApplicationException, PLAIN)
QP_ERROR(-10029, QP_STACK_DEPTH_ERR, "max depth of enclosing tags is reached", QpStackDepthException, QpApplicationException, PLAIN)
QP_ERROR(-10027, QP_FILESYS_ERR, "file system error occurred (eg. fopen on unknown file)", QpFileSystemException, QpApplicationException, PLAIN)
QP_ERROR(-10026, QP_OUT_OF_BOUNDS_ERR, "the options parameter is out of bounds", QpOutOfBoundsException, QpApplicationException, PLAIN)
QP_ERROR(-10025, QP_TAG_READONLY_ERR, "Some tags cannot be changed!", QpTagReadOnlyException, QpApplicationException, PLAIN)
QP_ERROR(-10024, QP_UNEXPECTEDTAG_ERR, "We expected either a 'file' or 'folder' tag", QpUnexpectedTagException, QpApplicationException, PLAIN)
QP_ERROR(-10023, QP_ISNOT_DIRECTORY_ERR, "We expect a path to a directory, but it's a file", QpNotDirectoryException, QpApplicationException, PLAIN)
QP_ERROR(-10022, QP_TAGTREE_ERR, "An error in the tagtree was discovered", QpTagTreeException, QpApplicationException, PLAIN)
QP_ERROR(-10021, QP_CLIP_NOT_FOUND_ERR, "Clip CDF is not found in the pool", QpClipNotFoundException, QpServerException, PLAIN)
QP_ERROR(-10020, QP_NO_POOL_ERR, "No connection with any pool", QpNoPoolException, QpNetworkException, OWN)
QP_ERROR(-10019, QP_WRONG_REFERENCE_ERR, "We're Getting an invalid reference", QpWrongReferenceException, QpApplicationException, PLAIN)
QP_ERROR(-10018, QP_ATTR_NOT_FOUND_ERR, "Attribute with that name not found", QpAttrNotFoundException, QpApplicationException, PLAIN)
QP_ERROR(-10017, QP_TAG_NOT_FOUND_ERR, "Tag in Q-Clip description not found", QpTagNotFoundException, QpApplicationException, PLAIN)
QP_ERROR_RETIRED(-10016)
QP_ERROR_RETIRED(-10015)
QP_ERROR(-10014, QP_FILE_NOT_STORED_ERR, "Blob could not be stored on write or could not be found on import", QpFileNotStoredException, QpServerException, PLAIN)
QP_ERROR(-10013, QP_ACK_NOT_RCV_ERR, "Write acknowledge not received", QpNotReceiveAckException, QpNetworkException, PLAIN)
QP_ERROR(-10012, QP_OPERATION_NOT_SUPPORTED, "Operation not (yet) supported (eg. on flat Q-Clip)", QpNotSupportedException, QpApplicationException, PLAIN)
QP_ERROR_RETIRED(-10011)
QP_ERROR(-10010, QP_DUPLICATE_FILE_ERR, "Duplicate Blob already exist on server", QpDuplicateFileException, QpServerException, PLAIN)
QP_ERROR_RETIRED(-10009)
QP_ERROR_RETIRED(-10008)
QP_ERROR(-10007, QP_PATH_NOT_FOUND_ERR, "Path does not correspond to a file/directory on the local system", QpPathNotFoundException, QpApplicationException, PLAIN)
QP_ERROR(-10006, QP_PARAM_ERR, "Wrong parameter detected", QpParameterException, QpApplicationException, PLAIN)
QP_ERROR(-10005, QP_SERVER_ERR, "The server reported an error from the operation", QpServerErrorException, QpServerException, PLAIN)
QP_ERROR(-10004, QP_NOT_RECEIVE_REPLY_ERR, "Error receiving reply from the server", QpNotReceiveReplyException, QpNetworkException, PLAIN)
QP_ERROR(-10003, QP_NOT_SEND_REQUEST_ERR, "Error sending a request to the server", QpNotSendRequestException, QpNetworkException, PLAIN)
QP_ERROR(-10002, QP_UNKNOWN_OPTION, "QP_SetIntOption/GetIntOption: unknown option name", QpUnknownOptionException, QpApplicationException, PLAIN)
QP_ERROR(-10001, QP_INVALID_NAME, "The name is not valid XML", QpInvalidNameException, QpApplicationException, PLAIN)

// clang-format on

#undef QP_ERROR
#undef QP_ERROR_NOCLASS
#undef QP_ERROR_RETIRED

/*
 * qorvex.h: the scan engine ABI, the one contract between the scanner and any engine library.
 *
 * Conventions, stated once:
 * - Handles: every engine object is named by an opaque 64-bit qvx_handle that qvx_create_object
 *   writes. 0 is never a valid handle.
 * - Results: every entry point returns a 32-bit signed result. 0 is success, a negative value is a
 *   failure, a positive value is an outcome that is no failure (QVX_R_* below).
 * - Buffers: the caller allocates and frees every buffer. A (buffer, size) pair means the engine
 *   never writes more than size bytes; text is left zero-terminated when it fits. Integer
 *   properties are read and written as little-endian 32- or 64-bit values as the calling code
 *   states, and the size says which.
 * - A pointer passed in the first or second parameter of qvx_run_command travels as its address.
 * - Callback: the engine calls the qvx_callback given to qvx_create_object on the thread that made
 *   the engine call, with the object's handle, one QVX_EV_* code and the context pointer. Inside
 *   the callback the caller may read the object's properties with qvx_get_property.
 * - Threads: entries 3 to 7 may run at the same time on different threads, each on its own
 *   object. One object is used by one thread at a time.
 * - Property, command, event and result numbers are those of the scanner's design; the meaning the
 *   engine gives them is written down in the engine's own documentation.
 */
#ifndef QORVEX_INCLUDE_QORVEX_H_
#define QORVEX_INCLUDE_QORVEX_H_

#include <stdint.h>

#if defined(QORVEX_BUILDING_ENGINE)
#define QORVEX_EXPORT __attribute__((visibility("default")))
#else
#define QORVEX_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint64_t qvx_handle;
typedef int32_t (*qvx_callback)(qvx_handle object, int32_t event, void* context);

/* Results. */
enum {
  QVX_R_SUCCESS = 0,
  QVX_R_DETECTED = 1,
  QVX_R_RESERVED_2 = 2, /* reserved; a scan command answering it handled its target */
  QVX_R_INTERNAL = 3,
  QVX_R_NOT_SUPPORTED = 4,
  QVX_R_NOT_IMPLEMENTED = 5,
  QVX_R_INTERRUPTED = 6,
  QVX_R_REBOOT_REQUIRED = 8,
  QVX_R_FAILED = -1,
  QVX_R_INVALID_DATA = -2,
  QVX_R_ACCESS = -3,
  QVX_R_NOT_LOADED = -4,
  QVX_R_NO_MEMORY = -5,
  QVX_R_RESERVED_6 = -6, /* reserved, answered by no engine; callers treat it as internal */
  QVX_R_NOT_FOUND = -8,
  QVX_R_BUSY = -9,
  QVX_R_RESERVED_10 = -10 /* reserved as -6 */
};

/* Events, each a single bit of the event mask (property QVX_P_EVENT_MASK). */
enum {
  QVX_EV_OPEN = 1,
  QVX_EV_SCANNING = 2,
  QVX_EV_DETECTION = 16,
  QVX_EV_STATUS = 32,
  QVX_EV_CLOSE = 64,
  QVX_EV_NAMES = 128,
  QVX_EV_PROGRESS = 256,
  QVX_EV_ACTION = 512,
  QVX_EV_DEBUG = 4096
};

/* Commands of qvx_run_command. */
enum {
  QVX_CMD_SCAN_FILE = 1,
  QVX_CMD_SCAN_FOLDER = 2,
  QVX_CMD_SCAN_BOOT_SECTORS = 3,
  QVX_CMD_SCAN_MBR = 4,
  QVX_CMD_SCAN_GPT = 5,
  QVX_CMD_SCAN_MEMORY = 7,
  QVX_CMD_SCAN_STARTUP = 8,
  QVX_CMD_LIST_NAMES = 13
};

/* Properties of qvx_get_property and qvx_set_property. */
enum {
  QVX_P_ENGINE_VERSION = 1,  /* u32: major << 24 | minor << 16 | build */
  QVX_P_DEFS_VERSION = 3,    /* text; index 0 signatures, index 1 companion data */
  QVX_P_ACTION = 4,          /* i32 */
  QVX_P_STATUS = 5,          /* i32: status (event 32) or action code (event 512) */
  QVX_P_SCAN_FLAGS = 6,      /* i32 bits */
  QVX_P_LIMITS = 7,          /* u32; index 6: bytes extracted from one archive member */
  QVX_P_EVENT_MASK = 9,      /* i32 */
  QVX_P_INCLUDE_EXT = 11,    /* text, one value per call */
  QVX_P_EXCLUDE_EXT = 12,    /* text */
  QVX_P_EXCLUDE_FILE = 13,   /* text */
  QVX_P_EXCLUDE_FOLDER = 14, /* text */
  QVX_P_KIND = 15,           /* i32, 0 to 30 */
  QVX_P_ACCURACY = 16,       /* i32, 0 to 4 */
  QVX_P_MALWARE_NAME = 17,   /* text */
  QVX_P_REPORT_TEXT = 18,    /* text */
  QVX_P_INNER_NAME = 20,     /* text */
  QVX_P_OBJECT_NAME = 21,    /* text */
  QVX_P_OBJECTS_PROCESSED = 22,
  QVX_P_OBJECTS_DETECTED = 23,
  QVX_P_OBJECTS_DELETED = 24,
  QVX_P_OBJECTS_FAILED = 25,
  QVX_P_OBJECTS_CLEANED = 26,
  QVX_P_NAME_COUNT = 27,    /* u64 */
  QVX_P_NAME = 28,          /* text; index: the name's number */
  QVX_P_ARCHIVE_DEPTH = 30, /* i32, 0 to 99 */
  QVX_P_QUALIFIERS = 31,    /* u32 bits */
  QVX_P_MACRO_MODE = 32,    /* i32 */
  QVX_P_MALWARE_COUNT = 39, /* i64 */
  QVX_P_HIDDEN_KINDS = 40,  /* u64: bit (1 << kind) hides that kind */
  QVX_P_FILES_PROCESSED = 41,
  QVX_P_OBJECTS_QUARANTINED = 43,
  QVX_P_FILES_DISINFECT_FAILED = 44,
  QVX_P_FILES_DELETE_FAILED = 45,
  QVX_P_FILES_PENDING_DELETE = 46,
  QVX_P_FILES_QUARANTINE_FAILED = 47,
  QVX_P_HEURISTICS = 52 /* i32: -1 default, 0 off, 1 low, 3 medium, 4 high */
};

/* Object types of qvx_create_object. */
enum {
  QVX_TYPE_V1 = 2,
  QVX_TYPE_ZIP = 6,
  QVX_TYPE_ANDROID = 10,
  QVX_TYPE_V2 = 14,
  QVX_TYPE_V2S = 18
};

/* Values of the properties and events above. Each group names the numbers of one property or
 * event; the numbers are part of the ABI and never change. */

/* Scan-flag bits of QVX_P_SCAN_FLAGS. */
enum {
  QVX_FLAG_STANDARD = 2, /* set by the scanner on every scan */
  QVX_FLAG_RECURSE = 8,
  QVX_FLAG_FOLLOW_LINKS = 16,
  QVX_FLAG_EXTENDED_ATTRIBUTES = 32, /* scanned as alternate streams */
  QVX_FLAG_NO_ALLOW_LIST = 256,
  QVX_FLAG_APK_QUICK = 512
};

/* Actions of QVX_P_ACTION, applied to a file of interest. */
enum {
  QVX_ACTION_NONE = 0,
  QVX_ACTION_DISINFECT = 1,
  QVX_ACTION_DELETE = 2,
  QVX_ACTION_FORCE_DELETE = 3,
  QVX_ACTION_QUARANTINE = 4
};

/* Levels of QVX_P_HEURISTICS. */
enum {
  QVX_HEUR_DEFAULT = -1,
  QVX_HEUR_OFF = 0,
  QVX_HEUR_LOW = 1,
  QVX_HEUR_MEDIUM = 3,
  QVX_HEUR_HIGH = 4
};

/* Modes of QVX_P_MACRO_MODE. */
enum { QVX_MACRO_KEEP = 0, QVX_MACRO_REMOVE_ALL = 1, QVX_MACRO_REMOVE_VARIANTS = 2 };

/* Indexes of QVX_P_LIMITS and QVX_P_DEFS_VERSION. */
enum { QVX_LIMIT_MEMBER_BYTES = 6 };
enum { QVX_DEFS_SIGNATURES = 0, QVX_DEFS_COMPANION = 1 };

/* The int32 that the `second` parameter of QVX_CMD_SCAN_MEMORY points to. */
enum { QVX_MEMORY_ADVANCED = 1 };

/* Statuses of QVX_EV_STATUS (property QVX_P_STATUS). */
enum {
  QVX_ST_CLEAN = 0,
  QVX_ST_NOT_SCANNED = 1, /* a known type not scanned, as far as a work budget allowed */
  QVX_ST_DAMAGED = 2,
  QVX_ST_ENCRYPTED = 3,
  QVX_ST_UNSUPPORTED = 4,
  QVX_ST_TOO_DEEP = 5,
  QVX_ST_DISINFECTED = 7,
  QVX_ST_DISINFECT_FAILED = 10
};

/* Action codes of QVX_EV_ACTION (property QVX_P_STATUS). */
enum {
  QVX_AC_OF_INTEREST = 6, /* the file holds a detection, before any action */
  QVX_AC_DELETED = 8,
  QVX_AC_PENDING_DELETE = 9,
  QVX_AC_DELETE_FAILED = 11,
  QVX_AC_MAY_HOLD_DATA = 12, /* not deleted: the detection is only a part of the file */
  QVX_AC_CANNOT_OPEN = 14,
  QVX_AC_QUARANTINED = 15,
  QVX_AC_QUARANTINE_FAILED = 16
};

/* Detection kinds of QVX_P_KIND; bit (1 << kind) of QVX_P_HIDDEN_KINDS hides a kind. */
enum {
  QVX_KIND_NONE = 0,
  QVX_KIND_VIRUS = 1,
  QVX_KIND_ADWARE = 2,
  QVX_KIND_APPLICATION = 3,
  QVX_KIND_BACKDOOR = 4,
  QVX_KIND_ARCHIVE_BOMB = 5,
  QVX_KIND_BOOT_VIRUS = 6,
  QVX_KIND_DENIAL_OF_SERVICE = 7,
  QVX_KIND_DIALER = 8,
  QVX_KIND_DOWNLOADER = 9,
  QVX_KIND_EXPLOIT = 10,
  QVX_KIND_GARBAGE = 11,
  QVX_KIND_JOKE = 12,
  QVX_KIND_MACRO = 13,
  QVX_KIND_MASS_MAILER = 14,
  QVX_KIND_MISDISINFECTED = 15,
  QVX_KIND_NETWORK_WORM = 16,
  QVX_KIND_PEER_TO_PEER_WORM = 17,
  QVX_KIND_PROXY_TROJAN = 18,
  QVX_KIND_PASSWORD_STEALER = 19,
  QVX_KIND_REMOTE_TEMPLATE = 20,
  QVX_KIND_SECURITY_RISK = 21,
  QVX_KIND_SPYWARE = 22,
  QVX_KIND_TOOL = 23,
  QVX_KIND_TROJAN = 24,
  QVX_KIND_PACKER = 25,
  QVX_KIND_RANSOMWARE = 26,
  QVX_KIND_MINER = 27,
  QVX_KIND_PHISHING = 28,
  QVX_KIND_HIDDEN_PROCESS = 29,
  QVX_KIND_INJECTED_CODE = 30,
  QVX_KIND_COUNT = 31
};

/* Accuracies of QVX_P_ACCURACY. */
enum {
  QVX_ACC_INACCURATE = 0,
  QVX_ACC_EXACT = 1,
  QVX_ACC_HEURISTIC = 2,
  QVX_ACC_VARIANT = 3,
  QVX_ACC_POSSIBLE = 4
};

/* Qualifier bits of QVX_P_QUALIFIERS. */
enum {
  QVX_Q_SOURCE = 1,
  QVX_Q_INTENDED = 2,
  QVX_Q_DROPPER = 4,
  QVX_Q_COMPONENT = 8,
  QVX_Q_DAMAGED = 256,
  QVX_Q_UNKNOWN_COMPONENT = 512,
  QVX_Q_REMNANTS = 2048
};

/* Answers of the callback to QVX_EV_DETECTION; to any other event it answers 0. */
enum { QVX_ANSWER_NONE = 0, QVX_ANSWER_DISINFECT = 1 };

/* The seven entry points; the number in brackets is the entry number. */
QORVEX_EXPORT int32_t qvx_initialize(const char* reserved); /* [1] */
QORVEX_EXPORT int32_t qvx_finalize(void);                   /* [2] */
QORVEX_EXPORT int32_t qvx_create_object(int32_t reserved, int32_t object_type,
                                        const char* definitions_dir, qvx_callback callback,
                                        void* context, qvx_handle* object); /* [3] */
QORVEX_EXPORT int32_t qvx_get_property(qvx_handle object, int32_t property, int32_t index,
                                       void* buffer, uint64_t size); /* [4] */
QORVEX_EXPORT int32_t qvx_set_property(qvx_handle object, int32_t property, int32_t index,
                                       const void* buffer, uint64_t size); /* [5] */
QORVEX_EXPORT int32_t qvx_run_command(qvx_handle object, int32_t command, const void* argument,
                                      uint64_t first, uint64_t second); /* [6] */
QORVEX_EXPORT int32_t qvx_close_object(qvx_handle object);              /* [7] */

/* One function-pointer type per entry point, for engines that check their definitions. */
typedef int32_t (*qvx_initialize_fn)(const char*);
typedef int32_t (*qvx_finalize_fn)(void);
typedef int32_t (*qvx_create_object_fn)(int32_t, int32_t, const char*, qvx_callback, void*,
                                        qvx_handle*);
typedef int32_t (*qvx_get_property_fn)(qvx_handle, int32_t, int32_t, void*, uint64_t);
typedef int32_t (*qvx_set_property_fn)(qvx_handle, int32_t, int32_t, const void*, uint64_t);
typedef int32_t (*qvx_run_command_fn)(qvx_handle, int32_t, const void*, uint64_t, uint64_t);
typedef int32_t (*qvx_close_object_fn)(qvx_handle);

#ifdef __cplusplus
} /* extern "C" */

/* The definitions must keep the typedefs' shapes. */
static_assert(sizeof(qvx_handle) == 8, "handles are 64-bit");
#define QORVEX_CHECK_ENTRY(name) \
  static_assert(__is_same(decltype(&name), name##_fn), #name " does not match its typedef")
QORVEX_CHECK_ENTRY(qvx_initialize);
QORVEX_CHECK_ENTRY(qvx_finalize);
QORVEX_CHECK_ENTRY(qvx_create_object);
QORVEX_CHECK_ENTRY(qvx_get_property);
QORVEX_CHECK_ENTRY(qvx_set_property);
QORVEX_CHECK_ENTRY(qvx_run_command);
QORVEX_CHECK_ENTRY(qvx_close_object);
#undef QORVEX_CHECK_ENTRY
#endif

#endif /* QORVEX_INCLUDE_QORVEX_H_ */

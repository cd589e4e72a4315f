/*
 * IEC 61850 definitions shared by client, GOOSE and SV parts of the stack: functional
 * constraints, quality flags, time stamps, report and trigger options.
 */
#ifndef IEC61850_COMMON_H_
#define IEC61850_COMMON_H_

#include "libiec61850_common_api.h"
#include "mms_value.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Functional constraints. Text forms are the two-letter codes ("ST", "MX", ...). */
typedef enum eFunctionalConstraint {
    IEC61850_FC_ST = 0,
    IEC61850_FC_MX = 1,
    IEC61850_FC_SP = 2,
    IEC61850_FC_SV = 3,
    IEC61850_FC_CF = 4,
    IEC61850_FC_DC = 5,
    IEC61850_FC_SG = 6,
    IEC61850_FC_SE = 7,
    IEC61850_FC_SR = 8,
    IEC61850_FC_OR = 9,
    IEC61850_FC_BL = 10,
    IEC61850_FC_EX = 11,
    IEC61850_FC_CO = 12,
    IEC61850_FC_US = 13,
    IEC61850_FC_MS = 14,
    IEC61850_FC_RP = 15,
    IEC61850_FC_BR = 16,
    IEC61850_FC_LG = 17,
    IEC61850_FC_GO = 18,
    IEC61850_FC_ALL = 99,
    IEC61850_FC_NONE = -1
} FunctionalConstraint;

/* The two-letter text of a functional constraint; NULL for IEC61850_FC_ALL, NONE and unknown codes. */
LIB61850_API char* FunctionalConstraint_toString(FunctionalConstraint fc);

/* The functional constraint named by the first two characters of fcString (exact upper case);
 * IEC61850_FC_NONE for NULL, short or unknown texts. */
LIB61850_API FunctionalConstraint FunctionalConstraint_fromString(const char* fcString);

/* ---- quality (13 bits of the IEC 61850 Quality bit string) ---- */

typedef uint16_t Quality;
typedef uint16_t Validity;

#define QUALITY_VALIDITY_GOOD 0
#define QUALITY_VALIDITY_INVALID 2
#define QUALITY_VALIDITY_RESERVED 1
#define QUALITY_VALIDITY_QUESTIONABLE 3

#define QUALITY_DETAIL_OVERFLOW 4
#define QUALITY_DETAIL_OUT_OF_RANGE 8
#define QUALITY_DETAIL_BAD_REFERENCE 16
#define QUALITY_DETAIL_OSCILLATORY 32
#define QUALITY_DETAIL_FAILURE 64
#define QUALITY_DETAIL_OLD_DATA 128
#define QUALITY_DETAIL_INCONSISTENT 256
#define QUALITY_DETAIL_INACCURATE 512

#define QUALITY_SOURCE_SUBSTITUTED 1024
#define QUALITY_TEST 2048
#define QUALITY_OPERATOR_BLOCKED 4096
#define QUALITY_DERIVED 8192

LIB61850_API Validity Quality_getValidity(Quality* self);
LIB61850_API void Quality_setValidity(Quality* self, Validity validity);
LIB61850_API void Quality_setFlag(Quality* self, int flag);
LIB61850_API void Quality_unsetFlag(Quality* self, int flag);
LIB61850_API bool Quality_isFlagSet(Quality* self, int flag);
/* Quality from a bit string value (bit 0 of the bit string is bit 0 of the Quality). */
LIB61850_API Quality Quality_fromMmsValue(const MmsValue* mmsValue);
/* Writes the quality into a bit string value (of at least 13 bits) and returns it; a NULL
 * mmsValue gives a new 13-bit bit string. */
LIB61850_API MmsValue* Quality_toMmsValue(Quality* self, MmsValue* mmsValue);

/* ---- time stamps (the 8 bytes of an IEC 61850 TimeStamp) ---- */

typedef union {
    uint8_t val[8];
} Timestamp;

LIB61850_API Timestamp* Timestamp_create(void);
LIB61850_API Timestamp* Timestamp_createFromByteArray(const uint8_t* byteArray);
LIB61850_API void Timestamp_destroy(Timestamp* self);
LIB61850_API void Timestamp_clearFlags(Timestamp* self);
LIB61850_API uint32_t Timestamp_getTimeInSeconds(Timestamp* self);
LIB61850_API uint64_t Timestamp_getTimeInMs(Timestamp* self);
LIB61850_API bool Timestamp_isLeapSecondKnown(Timestamp* self);
LIB61850_API void Timestamp_setLeapSecondKnown(Timestamp* self, bool value);
LIB61850_API bool Timestamp_hasClockFailure(Timestamp* self);
LIB61850_API void Timestamp_setClockFailure(Timestamp* self, bool value);
LIB61850_API bool Timestamp_isClockNotSynchronized(Timestamp* self);
LIB61850_API void Timestamp_setClockNotSynchronized(Timestamp* self, bool value);
LIB61850_API int Timestamp_getSubsecondPrecision(Timestamp* self);
LIB61850_API void Timestamp_setSubsecondPrecision(Timestamp* self, int subsecondPrecision);
LIB61850_API void Timestamp_setTimeInSeconds(Timestamp* self, uint32_t secondsSinceEpoch);
LIB61850_API void Timestamp_setTimeInMilliseconds(Timestamp* self, uint64_t millisSinceEpoch);
LIB61850_API void Timestamp_setByMmsUtcTime(Timestamp* self, const MmsValue* mmsValue);
/* Writes the time stamp into a UTC time value and returns it; NULL gives a new value. */
LIB61850_API MmsValue* Timestamp_toMmsValue(Timestamp* self, MmsValue* mmsValue);

/* ---- report control block options ---- */

/* OptFlds of a report control block. */
#define RPT_OPT_SEQ_NUM 1
#define RPT_OPT_TIME_STAMP 2
#define RPT_OPT_REASON_FOR_INCLUSION 4
#define RPT_OPT_DATA_SET 8
#define RPT_OPT_DATA_REFERENCE 16
#define RPT_OPT_BUFFER_OVERFLOW 32
#define RPT_OPT_ENTRY_ID 64
#define RPT_OPT_CONF_REV 128

/* TrgOps of a report or log control block. */
#define TRG_OPT_DATA_CHANGED 1
#define TRG_OPT_QUALITY_CHANGED 2
#define TRG_OPT_DATA_UPDATE 4
#define TRG_OPT_INTEGRITY 8
#define TRG_OPT_GI 16
#define TRG_OPT_TRANSIENT 128

/* Sampled Values sample modes. */
#define IEC61850_SV_SMPMOD_PER_NOMINAL_PERIOD 0
#define IEC61850_SV_SMPMOD_SAMPLES_PER_SECOND 1
#define IEC61850_SV_SMPMOD_SECONDS_PER_SAMPLE 2

/* ---- controls ---- */

/* ctlModel of a controllable data object. */
typedef enum {
    CONTROL_MODEL_STATUS_ONLY = 0,
    CONTROL_MODEL_DIRECT_NORMAL = 1,
    CONTROL_MODEL_SBO_NORMAL = 2,
    CONTROL_MODEL_DIRECT_ENHANCED = 3,
    CONTROL_MODEL_SBO_ENHANCED = 4
} ControlModel;

/* orCat of a control's originator. */
typedef enum {
    CONTROL_ORCAT_NOT_SUPPORTED = 0,
    CONTROL_ORCAT_BAY_CONTROL = 1,
    CONTROL_ORCAT_STATION_CONTROL = 2,
    CONTROL_ORCAT_REMOTE_CONTROL = 3,
    CONTROL_ORCAT_AUTOMATIC_BAY = 4,
    CONTROL_ORCAT_AUTOMATIC_STATION = 5,
    CONTROL_ORCAT_AUTOMATIC_REMOTE = 6,
    CONTROL_ORCAT_MAINTENANCE = 7,
    CONTROL_ORCAT_PROCESS = 8
} orCategory;

/* Error of a LastApplError report. */
typedef enum {
    CONTROL_ERROR_NO_ERROR = 0,
    CONTROL_ERROR_UNKNOWN = 1,
    CONTROL_ERROR_TIMEOUT_TEST = 2,
    CONTROL_ERROR_OPERATOR_TEST = 3
} ControlLastApplError;

/* AddCause of a refused or failed control. */
typedef enum {
    ADD_CAUSE_UNKNOWN = 0,
    ADD_CAUSE_NOT_SUPPORTED = 1,
    ADD_CAUSE_BLOCKED_BY_SWITCHING_HIERARCHY = 2,
    ADD_CAUSE_SELECT_FAILED = 3,
    ADD_CAUSE_INVALID_POSITION = 4,
    ADD_CAUSE_POSITION_REACHED = 5,
    ADD_CAUSE_PARAMETER_CHANGE_IN_EXECUTION = 6,
    ADD_CAUSE_STEP_LIMIT = 7,
    ADD_CAUSE_BLOCKED_BY_MODE = 8,
    ADD_CAUSE_BLOCKED_BY_PROCESS = 9,
    ADD_CAUSE_BLOCKED_BY_INTERLOCKING = 10,
    ADD_CAUSE_BLOCKED_BY_SYNCHROCHECK = 11,
    ADD_CAUSE_COMMAND_ALREADY_IN_EXECUTION = 12,
    ADD_CAUSE_BLOCKED_BY_HEALTH = 13,
    ADD_CAUSE_1_OF_N_CONTROL = 14,
    ADD_CAUSE_ABORTION_BY_CANCEL = 15,
    ADD_CAUSE_TIME_LIMIT_OVER = 16,
    ADD_CAUSE_ABORTION_BY_TRIP = 17,
    ADD_CAUSE_OBJECT_NOT_SELECTED = 18,
    ADD_CAUSE_OBJECT_ALREADY_SELECTED = 19,
    ADD_CAUSE_NO_ACCESS_AUTHORITY = 20,
    ADD_CAUSE_ENDED_WITH_OVERSHOOT = 21,
    ADD_CAUSE_ABORTION_DUE_TO_DEVIATION = 22,
    ADD_CAUSE_ABORTION_BY_COMMUNICATION_LOSS = 23,
    ADD_CAUSE_ABORTION_BY_COMMAND = 24,
    ADD_CAUSE_NONE = 25,
    ADD_CAUSE_INCONSISTENT_PARAMETERS = 26,
    ADD_CAUSE_LOCKED_BY_OTHER_CLIENT = 27
} ControlAddCause;

/* ---- link layer addressing of GOOSE and SV publishers ---- */

/* Ethernet parameters of a GOOSE or SV publication: VLAN priority (0..7) and id (0..4095),
 * APPID and destination MAC address. */
typedef struct {
    uint8_t vlanPriority;
    uint16_t vlanId;
    uint16_t appId;
    uint8_t dstAddress[6];
} CommParameters;

/* The same address as configured in a control block's PhyComAddr. */
typedef struct {
    uint8_t vlanPriority;
    uint16_t vlanId;
    uint16_t appId;
    uint8_t dstAddress[6];
} PhyComAddress;

/* Version text of the stack. */
LIB61850_API const char* LibIEC61850_getVersionString(void);

#ifdef __cplusplus
}
#endif

#endif /* IEC61850_COMMON_H_ */

/*
 * Types shared by the MMS parts of the stack: data type codes, error codes, data access errors
 * and the description of a variable's type.
 */
#ifndef MMS_COMMON_H_
#define MMS_COMMON_H_

#include "libiec61850_common_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Errors reported by the MMS client services. */
typedef enum {
    /* general errors */
    MMS_ERROR_NONE = 0,
    MMS_ERROR_CONNECTION_REJECTED = 1,
    MMS_ERROR_CONNECTION_LOST = 2,
    MMS_ERROR_SERVICE_TIMEOUT = 3,
    MMS_ERROR_PARSING_RESPONSE = 4,
    MMS_ERROR_HARDWARE_FAULT = 5,
    MMS_ERROR_CONCLUDE_REJECTED = 6,
    MMS_ERROR_INVALID_ARGUMENTS = 7,
    MMS_ERROR_OUTSTANDING_CALL_LIMIT = 8,

    MMS_ERROR_OTHER = 9,

    /* confirmed error PDU codes */
    MMS_ERROR_VMDSTATE_OTHER = 10,

    MMS_ERROR_APPLICATION_REFERENCE_OTHER = 20,

    MMS_ERROR_DEFINITION_OTHER = 30,
    MMS_ERROR_DEFINITION_INVALID_ADDRESS = 31,
    MMS_ERROR_DEFINITION_TYPE_UNSUPPORTED = 32,
    MMS_ERROR_DEFINITION_TYPE_INCONSISTENT = 33,
    MMS_ERROR_DEFINITION_OBJECT_UNDEFINED = 34,
    MMS_ERROR_DEFINITION_OBJECT_EXISTS = 35,
    MMS_ERROR_DEFINITION_OBJECT_ATTRIBUTE_INCONSISTENT = 36,

    MMS_ERROR_RESOURCE_OTHER = 40,
    MMS_ERROR_RESOURCE_CAPABILITY_UNAVAILABLE = 41,

    MMS_ERROR_SERVICE_OTHER = 50,
    MMS_ERROR_SERVICE_OBJECT_CONSTRAINT_CONFLICT = 55,

    MMS_ERROR_SERVICE_PREEMPT_OTHER = 60,

    MMS_ERROR_TIME_RESOLUTION_OTHER = 70,

    MMS_ERROR_ACCESS_OTHER = 80,
    MMS_ERROR_ACCESS_OBJECT_NON_EXISTENT = 81,
    MMS_ERROR_ACCESS_OBJECT_ACCESS_UNSUPPORTED = 82,
    MMS_ERROR_ACCESS_OBJECT_ACCESS_DENIED = 83,
    MMS_ERROR_ACCESS_OBJECT_INVALIDATED = 84,
    MMS_ERROR_ACCESS_OBJECT_VALUE_INVALID = 85,
    MMS_ERROR_ACCESS_TEMPORARILY_UNAVAILABLE = 86,

    MMS_ERROR_FILE_OTHER = 90,
    MMS_ERROR_FILE_FILENAME_AMBIGUOUS = 91,
    MMS_ERROR_FILE_FILE_BUSY = 92,
    MMS_ERROR_FILE_FILENAME_SYNTAX_ERROR = 93,
    MMS_ERROR_FILE_CONTENT_TYPE_INVALID = 94,
    MMS_ERROR_FILE_POSITION_INVALID = 95,
    MMS_ERROR_FILE_FILE_ACCESS_DENIED = 96,
    MMS_ERROR_FILE_FILE_NON_EXISTENT = 97,
    MMS_ERROR_FILE_DUPLICATE_FILENAME = 98,
    MMS_ERROR_FILE_INSUFFICIENT_SPACE_IN_FILESTORE = 99,

    /* reject codes */
    MMS_ERROR_REJECT_OTHER = 100,
    MMS_ERROR_REJECT_UNKNOWN_PDU_TYPE = 101,
    MMS_ERROR_REJECT_INVALID_PDU = 102,
    MMS_ERROR_REJECT_UNRECOGNIZED_SERVICE = 103,
    MMS_ERROR_REJECT_UNRECOGNIZED_MODIFIER = 104,
    MMS_ERROR_REJECT_REQUEST_INVALID_ARGUMENT = 105
} MmsError;

/* MMS data type codes (the tags of the MMS Data CHOICE minus one). */
typedef enum {
    MMS_ARRAY = 0,
    MMS_STRUCTURE = 1,
    MMS_BOOLEAN = 2,
    MMS_BIT_STRING = 3,
    MMS_INTEGER = 4,
    MMS_UNSIGNED = 5,
    MMS_FLOAT = 6,
    MMS_OCTET_STRING = 7,
    MMS_VISIBLE_STRING = 8,
    MMS_GENERALIZED_TIME = 9,
    MMS_BINARY_TIME = 10,
    MMS_BCD = 11,
    MMS_OBJ_ID = 12,
    MMS_STRING = 13,
    MMS_UTC_TIME = 14,
    MMS_DATA_ACCESS_ERROR = 15
} MmsType;

/* DataAccessError codes of an MMS read or write result. The negative codes are local. */
typedef enum {
    DATA_ACCESS_ERROR_SUCCESS_NO_UPDATE = -3,
    DATA_ACCESS_ERROR_NO_RESPONSE = -2,
    DATA_ACCESS_ERROR_SUCCESS = -1,
    DATA_ACCESS_ERROR_OBJECT_INVALIDATED = 0,
    DATA_ACCESS_ERROR_HARDWARE_FAULT = 1,
    DATA_ACCESS_ERROR_TEMPORARILY_UNAVAILABLE = 2,
    DATA_ACCESS_ERROR_OBJECT_ACCESS_DENIED = 3,
    DATA_ACCESS_ERROR_OBJECT_UNDEFINED = 4,
    DATA_ACCESS_ERROR_INVALID_ADDRESS = 5,
    DATA_ACCESS_ERROR_TYPE_UNSUPPORTED = 6,
    DATA_ACCESS_ERROR_TYPE_INCONSISTENT = 7,
    DATA_ACCESS_ERROR_OBJECT_ATTRIBUTE_INCONSISTENT = 8,
    DATA_ACCESS_ERROR_OBJECT_ACCESS_UNSUPPORTED = 9,
    DATA_ACCESS_ERROR_OBJECT_NONE_EXISTENT = 10,
    DATA_ACCESS_ERROR_OBJECT_VALUE_INVALID = 11,
    DATA_ACCESS_ERROR_UNKNOWN = 12
} MmsDataAccessError;

/* Description of an MMS variable's type, with the component's name. */
typedef struct sMmsVariableSpecification MmsVariableSpecification;

struct sMmsVariableSpecification {
    MmsType type;
    char* name; /* component name; NULL for array elements and unnamed roots */
    union uMmsTypeSpecification {
        struct sMmsArray {
            int elementCount;
            MmsVariableSpecification* elementTypeSpec;
        } array;
        struct sMmsStructure {
            int elementCount;
            MmsVariableSpecification** elements;
        } structure;
        int boolean;         /* unused */
        int integer;         /* size in bits */
        int unsignedInteger; /* size in bits */
        struct sMmsFloat {
            uint8_t exponentWidth;
            uint8_t formatWidth; /* 32 or 64 */
        } floatingpoint;
        int bitString;     /* size in bits; negative for a variable size of at most -bitString bits */
        int octetString;   /* size in bytes; negative for a variable size */
        int visibleString; /* maximum length; negative for a variable size */
        int mmsString;     /* maximum length; negative for a variable size */
        int utctime;       /* unused */
        int binaryTime;    /* 4 (time of day) or 6 (with date) */
    } typeSpec;
};

#ifdef __cplusplus
}
#endif

#endif /* MMS_COMMON_H_ */

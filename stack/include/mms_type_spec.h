/*
 * Descriptions of MMS variable types, as returned by
 * IedConnection_getVariableSpecification. The structure itself is declared in mms_common.h.
 */
#ifndef MMS_TYPE_SPEC_H_
#define MMS_TYPE_SPEC_H_

#include "libiec61850_common_api.h"
#include "mms_common.h"
#include "mms_value.h"
#include "linked_list.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Frees the type description, its name and all its children. NULL is ignored. */
LIB61850_API void MmsVariableSpecification_destroy(MmsVariableSpecification* self);

/* The child value of a structured value, following the "$"-separated component names of childId
 * through the type description; NULL when a name does not exist or the value does not match the
 * type. The returned value belongs to value. */
LIB61850_API MmsValue* MmsVariableSpecification_getChildValue(MmsVariableSpecification* self, MmsValue* value,
                                                              const char* childId);

/* The type of a (nested) component given by a "$"-separated name, or NULL. */
LIB61850_API MmsVariableSpecification*
MmsVariableSpecification_getNamedVariableRecursive(MmsVariableSpecification* self, const char* nameId);

LIB61850_API MmsType MmsVariableSpecification_getType(MmsVariableSpecification* self);

/* true when value has the type described by self (structures and arrays checked recursively). */
LIB61850_API bool MmsVariableSpecification_isValueOfType(MmsVariableSpecification* self,
                                                         const MmsValue* value);

/* The component name, or NULL (unnamed root or array element). Belongs to self. */
LIB61850_API const char* MmsVariableSpecification_getName(MmsVariableSpecification* self);

/* A new list with the names of a structure's components (NULL for other types). The names are
 * copies that LinkedList_destroy frees. */
LIB61850_API LinkedList MmsVariableSpecification_getStructureElements(MmsVariableSpecification* self);

/* Number of components (structure), of elements (array), bits (bit string, integer, unsigned),
 * or the maximum length (strings, octet string); -1 for types without a size. */
LIB61850_API int MmsVariableSpecification_getSize(MmsVariableSpecification* self);

/* The index-th component of a structure, or NULL. */
LIB61850_API MmsVariableSpecification*
MmsVariableSpecification_getChildSpecificationByIndex(MmsVariableSpecification* self, int index);

/* The component called name of a structure (its index in *index when index is not NULL), or NULL. */
LIB61850_API MmsVariableSpecification*
MmsVariableSpecification_getChildSpecificationByName(MmsVariableSpecification* self, const char* name,
                                                     int* index);

/* The element type of an array, or NULL. */
LIB61850_API MmsVariableSpecification*
MmsVariableSpecification_getArrayElementSpecification(MmsVariableSpecification* self);

/* Exponent width of a floating point type (8 for single, 11 for double precision), -1 otherwise. */
LIB61850_API int MmsVariableSpecification_getExponentWidth(MmsVariableSpecification* self);

#ifdef __cplusplus
}
#endif

#endif /* MMS_TYPE_SPEC_H_ */

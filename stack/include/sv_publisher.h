/*
 * Sampled Values (IEC 61850-9-2) publisher: one stream of frames with one or more ASDUs.
 *
 * Build it with SVPublisher_addASDU and the SVPublisher_ASDU_add... calls (each returns the byte
 * offset of the new value in the ASDU's data), finish with SVPublisher_setupComplete, then set
 * values and publish. VLAN tag: SVPublisher_create tags frames when the VLAN id or priority is
 * not zero; SVPublisher_createEx decides explicitly.
 */
#ifndef SAMPLED_VALUES_PUBLISHER_H_
#define SAMPLED_VALUES_PUBLISHER_H_

#include "libiec61850_common_api.h"
#include "iec61850_common.h"

#ifdef __cplusplus
extern "C" {
#endif

#define IEC61850_SV_SMPSYNC_NOT_SYNCHRONIZED 0
#define IEC61850_SV_SMPSYNC_SYNCED_UNSPEC_LOCAL_CLOCK 1
#define IEC61850_SV_SMPSYNC_SYNCED_GLOBAL_CLOCK 2

typedef struct sSVPublisher* SVPublisher;
typedef struct sSVPublisher_ASDU* SVPublisher_ASDU;

/* NULL when the interface cannot be opened. Without parameters (NULL) the frames go to
 * 01:0C:CD:04:00:01 with APPID 0x4000 and no tag. */
LIB61850_API SVPublisher SVPublisher_create(CommParameters* parameters, const char* interfaceId);
LIB61850_API SVPublisher SVPublisher_createEx(CommParameters* parameters, const char* interfaceId,
                                              bool useVlanTag);

/* A new ASDU (owned by the publisher). datset may be NULL (not sent). */
LIB61850_API SVPublisher_ASDU SVPublisher_addASDU(SVPublisher self, const char* svID, const char* datset,
                                                  uint32_t confRev);
LIB61850_API void SVPublisher_setupComplete(SVPublisher self);
/* Sends one frame with all ASDUs. */
LIB61850_API void SVPublisher_publish(SVPublisher self);
LIB61850_API void SVPublisher_destroy(SVPublisher self);

LIB61850_API void SVPublisher_ASDU_resetBuffer(SVPublisher_ASDU self);
LIB61850_API int SVPublisher_ASDU_addINT8(SVPublisher_ASDU self);
LIB61850_API void SVPublisher_ASDU_setINT8(SVPublisher_ASDU self, int index, int8_t value);
LIB61850_API int SVPublisher_ASDU_addINT32(SVPublisher_ASDU self);
LIB61850_API void SVPublisher_ASDU_setINT32(SVPublisher_ASDU self, int index, int32_t value);
LIB61850_API int SVPublisher_ASDU_addINT64(SVPublisher_ASDU self);
LIB61850_API void SVPublisher_ASDU_setINT64(SVPublisher_ASDU self, int index, int64_t value);
LIB61850_API int SVPublisher_ASDU_addFLOAT(SVPublisher_ASDU self);
LIB61850_API void SVPublisher_ASDU_setFLOAT(SVPublisher_ASDU self, int index, float value);
LIB61850_API int SVPublisher_ASDU_addFLOAT64(SVPublisher_ASDU self);
LIB61850_API void SVPublisher_ASDU_setFLOAT64(SVPublisher_ASDU self, int index, double value);
LIB61850_API int SVPublisher_ASDU_addTimestamp(SVPublisher_ASDU self);
LIB61850_API void SVPublisher_ASDU_setTimestamp(SVPublisher_ASDU self, int index, Timestamp value);
LIB61850_API int SVPublisher_ASDU_addQuality(SVPublisher_ASDU self);
LIB61850_API void SVPublisher_ASDU_setQuality(SVPublisher_ASDU self, int index, Quality value);

LIB61850_API void SVPublisher_ASDU_setSmpCnt(SVPublisher_ASDU self, uint16_t value);
LIB61850_API uint16_t SVPublisher_ASDU_getSmpCnt(SVPublisher_ASDU self);
/* smpCnt + 1, back to 0 at the wrap value (default 65536, i.e. never before 65535). */
LIB61850_API void SVPublisher_ASDU_increaseSmpCnt(SVPublisher_ASDU self);
LIB61850_API void SVPublisher_ASDU_setSmpCntWrap(SVPublisher_ASDU self, uint16_t value);
LIB61850_API void SVPublisher_ASDU_enableRefrTm(SVPublisher_ASDU self);
LIB61850_API void SVPublisher_ASDU_setRefrTm(SVPublisher_ASDU self, uint64_t refrTm);
LIB61850_API void SVPublisher_ASDU_setRefrTmNs(SVPublisher_ASDU self, uint64_t refrTmNs);
LIB61850_API void SVPublisher_ASDU_setSmpMod(SVPublisher_ASDU self, uint8_t smpMod);
LIB61850_API void SVPublisher_ASDU_setSmpRate(SVPublisher_ASDU self, uint16_t smpRate);
LIB61850_API void SVPublisher_ASDU_setSmpSynch(SVPublisher_ASDU self, uint16_t smpSynch);

#ifdef __cplusplus
}
#endif

#endif /* SAMPLED_VALUES_PUBLISHER_H_ */

/*
 * Addressing and authentication of an MMS association: transport, session and presentation
 * selectors, ACSE AP titles and AE qualifiers, and the ACSE password.
 *
 * The parameters of a connection belong to it (MmsConnection_getIsoConnectionParameters); they
 * are read at each connect. An AcseAuthenticationParameter set on them stays the caller's and
 * must live as long as it is set.
 */
#ifndef ISO_CONNECTION_PARAMETERS_H_
#define ISO_CONNECTION_PARAMETERS_H_

#include "libiec61850_common_api.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    ACSE_AUTH_NONE = 0,
    ACSE_AUTH_PASSWORD = 1,
    ACSE_AUTH_CERTIFICATE = 2,
    ACSE_AUTH_TLS = 3
} AcseAuthenticationMechanism;

typedef struct sAcseAuthenticationParameter* AcseAuthenticationParameter;

struct sAcseAuthenticationParameter {
    AcseAuthenticationMechanism mechanism;
    union {
        struct {
            uint8_t* octetString; /* the password, not terminated */
            int passwordLength;
        } password;
        struct {
            uint8_t* buf;
            int length;
        } certificate;
    } value;
};

LIB61850_API AcseAuthenticationParameter AcseAuthenticationParameter_create(void);
/* Frees the parameter and its password. */
LIB61850_API void AcseAuthenticationParameter_destroy(AcseAuthenticationParameter self);
LIB61850_API void AcseAuthenticationParameter_setAuthMechanism(AcseAuthenticationParameter self,
                                                               AcseAuthenticationMechanism mechanism);
/* Copies the password (a C string). */
LIB61850_API void AcseAuthenticationParameter_setPassword(AcseAuthenticationParameter self, char* password);

/* Selectors: `size` significant octets of `value`. */
typedef struct {
    uint8_t size;
    uint8_t value[4];
} TSelector;

typedef struct {
    uint8_t size;
    uint8_t value[16];
} SSelector;

typedef struct {
    uint8_t size;
    uint8_t value[16];
} PSelector;

typedef struct sIsoConnectionParameters* IsoConnectionParameters;

/* Stand-alone parameters (the connection's own come from MmsConnection_getIsoConnectionParameters). */
LIB61850_API IsoConnectionParameters IsoConnectionParameters_create(void);
LIB61850_API void IsoConnectionParameters_destroy(IsoConnectionParameters self);

/* Sets (or, with NULL, removes) the authentication sent in the AARQ. */
LIB61850_API void
IsoConnectionParameters_setAcseAuthenticationParameter(IsoConnectionParameters self,
                                                       AcseAuthenticationParameter acseAuthParameter);
/* AP title as a dotted object identifier ("1.1.1.999.1") and AE qualifier of the peer; a NULL
 * title sends none. */
LIB61850_API void IsoConnectionParameters_setRemoteApTitle(IsoConnectionParameters self, const char* apTitle,
                                                           int aeQualifier);
LIB61850_API void IsoConnectionParameters_setRemoteAddresses(IsoConnectionParameters self,
                                                             PSelector pSelector, SSelector sSelector,
                                                             TSelector tSelector);
LIB61850_API void IsoConnectionParameters_setLocalApTitle(IsoConnectionParameters self, const char* apTitle,
                                                          int aeQualifier);
LIB61850_API void IsoConnectionParameters_setLocalAddresses(IsoConnectionParameters self, PSelector pSelector,
                                                            SSelector sSelector, TSelector tSelector);

#ifdef __cplusplus
}
#endif

#endif /* ISO_CONNECTION_PARAMETERS_H_ */

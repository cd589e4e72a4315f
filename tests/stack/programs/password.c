/* Connects with ACSE password authentication: password HOST PORT PASSWORD ("-" for none).
 * Prints "connected" or the error code; exit status 0 when connected, 3 when refused. */
#include "iec61850_client.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
    if (argc < 4)
        return 2;
    IedClientError error;
    IedConnection con = IedConnection_create();
    MmsConnection mms = IedConnection_getMmsConnection(con);
    IsoConnectionParameters parameters = MmsConnection_getIsoConnectionParameters(mms);
    AcseAuthenticationParameter auth = AcseAuthenticationParameter_create();
    AcseAuthenticationParameter_setAuthMechanism(auth, ACSE_AUTH_PASSWORD);
    AcseAuthenticationParameter_setPassword(auth, argv[3]);
    if (strcmp(argv[3], "-") != 0)
        IsoConnectionParameters_setAcseAuthenticationParameter(parameters, auth);
    /* Addresses as a typical program sets them (the values most IEDs expect). */
    IsoConnectionParameters_setRemoteApTitle(parameters, "1.1.1.999.1", 12);
    IsoConnectionParameters_setLocalApTitle(parameters, "1.1.1.999", 12);
    PSelector p = {4, {0, 0, 0, 1}};
    SSelector s = {2, {0, 1}};
    TSelector t = {2, {0, 1}};
    IsoConnectionParameters_setRemoteAddresses(parameters, p, s, t);
    IsoConnectionParameters_setLocalAddresses(parameters, p, s, t);
    IedConnection_setLocalAddress(con, "127.0.0.1", 0);

    IedConnection_connect(con, &error, argv[1], atoi(argv[2]));
    int status;
    if (error == IED_ERROR_OK) {
        printf("connected\n");
        LinkedList devices = IedConnection_getLogicalDeviceList(con, &error);
        printf("devices %d\n", devices ? LinkedList_size(devices) : -1);
        LinkedList_destroy(devices);
        IedConnection_close(con);
        status = 0;
    } else {
        printf("error %d state %d\n", error, IedConnection_getState(con));
        status = 3;
    }
    IedConnection_destroy(con);
    AcseAuthenticationParameter_destroy(auth);
    return status;
}

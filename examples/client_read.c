/* A client written against the libiec61850-compatible C API alone: list the logical devices,
 * read one value with its functional constraint and the values of a data set.
 *     client_read HOST PORT REFERENCE FC DATASET
 * e.g. client_read 127.0.0.1 102 PROT1CTRL/Q0XCBR1.Pos ST PROT1CTRL/LLN0.dsPos */
#include "iec61850_client.h"

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    IedClientError error;
    IedConnection con;
    LinkedList devices, device;
    MmsValue* value;
    ClientDataSet dataSet;
    char text[512];
    int i;

    if (argc != 6) {
        fprintf(stderr, "usage: client_read HOST PORT REFERENCE FC DATASET\n");
        return 2;
    }
    con = IedConnection_create();
    IedConnection_setConnectTimeout(con, 2000);
    IedConnection_connect(con, &error, argv[1], atoi(argv[2]));
    if (error != IED_ERROR_OK) {
        printf("connect failed: error %d\n", error);
        IedConnection_destroy(con);
        return 1;
    }

    devices = IedConnection_getLogicalDeviceList(con, &error);
    for (device = LinkedList_getNext(devices); device != NULL; device = LinkedList_getNext(device))
        printf("logical device %s\n", (char*)LinkedList_getData(device));
    LinkedList_destroy(devices); /* frees each name too */

    value = IedConnection_readObject(con, &error, argv[3], FunctionalConstraint_fromString(argv[4]));
    if (value != NULL) {
        MmsValue_printToBuffer(value, text, sizeof text);
        printf("%s[%s] = %s\n", argv[3], argv[4], text);
        MmsValue_delete(value); /* the caller owns what readObject returns */
    } else {
        printf("%s[%s]: error %d\n", argv[3], argv[4], error);
    }

    dataSet = IedConnection_readDataSetValues(con, &error, argv[5], NULL);
    if (dataSet != NULL) {
        MmsValue* members = ClientDataSet_getValues(dataSet);
        for (i = 0; i < (int)MmsValue_getArraySize(members); i++) {
            MmsValue_printToBuffer(MmsValue_getElement(members, i), text, sizeof text);
            printf("%s member %d = %s\n", argv[5], i, text);
        }
        ClientDataSet_destroy(dataSet);
    } else {
        printf("%s: error %d\n", argv[5], error);
    }

    IedConnection_close(con);
    IedConnection_destroy(con);
    return error == IED_ERROR_OK ? 0 : 1;
}

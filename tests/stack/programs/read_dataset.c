/* Reads a data set in one request and prints its members with their values, the way
 * libiec61850 client programs do: read_dataset HOST PORT DATASET_REFERENCE */
#include "iec61850_client.h"

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    if (argc < 4)
        return 2;
    IedClientError error;
    IedConnection con = IedConnection_create();
    IedConnection_connect(con, &error, argv[1], atoi(argv[2]));
    if (error != IED_ERROR_OK) {
        printf("connect failed: %d\n", error);
        IedConnection_destroy(con);
        return 1;
    }
    int status = 0;
    LinkedList members = IedConnection_getDataSetDirectory(con, &error, argv[3], NULL);
    ClientDataSet dataSet = IedConnection_readDataSetValues(con, &error, argv[3], NULL);
    if (dataSet == NULL || members == NULL) {
        printf("read failed: %d\n", error);
        status = 1;
    } else {
        MmsValue* values = ClientDataSet_getValues(dataSet);
        printf("size %d\n", ClientDataSet_getDataSetSize(dataSet));
        LinkedList member = LinkedList_getNext(members);
        for (int i = 0; i < ClientDataSet_getDataSetSize(dataSet); i++) {
            char text[128];
            MmsValue_printToBuffer(MmsValue_getElement(values, i), text, sizeof(text));
            printf("%s = %s\n", member ? (char*)LinkedList_getData(member) : "?", text);
            member = LinkedList_getNext(member);
        }
        /* A second read updates the same object. */
        if (IedConnection_readDataSetValues(con, &error, argv[3], dataSet) != dataSet) {
            printf("update failed: %d\n", error);
            status = 1;
        }
        ClientDataSet_destroy(dataSet);
    }
    LinkedList_destroy(members);
    if (IedConnection_readDataSetValues(con, &error, "CTLIEDLD0/LLN0.Missing", NULL) != NULL)
        status = 1;
    printf("missing data set: %d\n", error);
    IedConnection_close(con);
    IedConnection_destroy(con);
    return status;
}

/* Creates, reads and deletes a persistent and an association-specific data set:
 * create_dataset HOST PORT LD */
#include "iec61850_client.h"

#include <stdio.h>
#include <stdlib.h>

static char* ref(const char* ld, const char* rest) {
    static char text[6][128];
    static int next = 0;
    char* out = text[next++ % 6];
    snprintf(out, 128, "%s/%s", ld, rest);
    return out;
}

int main(int argc, char** argv) {
    if (argc < 4)
        return 2;
    const char* ld = argv[3];
    IedClientError error;
    IedConnection con = IedConnection_create();
    IedConnection_connect(con, &error, argv[1], atoi(argv[2]));
    if (error != IED_ERROR_OK)
        return 1;

    LinkedList elements = LinkedList_create();
    LinkedList_add(elements, ref(ld, "Q0CSWI1.Pos.stVal[ST]"));
    LinkedList_add(elements, ref(ld, "MMXU1.TotW.mag.f[MX]"));
    const char* names[] = {ref(ld, "LLN0.Mine"), "@Temporary"};
    for (int i = 0; i < 2; i++) {
        IedConnection_createDataSet(con, &error, names[i], elements);
        printf("create %s: %d\n", names[i], error);
        IedConnection_createDataSet(con, &error, names[i], elements);
        printf("create again: %d\n", error);
        ClientDataSet ds = IedConnection_readDataSetValues(con, &error, names[i], NULL);
        printf("read: %d size %d\n", error, ds ? ClientDataSet_getDataSetSize(ds) : -1);
        ClientDataSet_destroy(ds);
        bool deletable = false;
        LinkedList dir = IedConnection_getDataSetDirectory(con, &error, names[i], &deletable);
        printf("directory: %d members %d deletable %d\n", error, dir ? LinkedList_size(dir) : -1, deletable);
        LinkedList_destroy(dir);
    }
    LinkedList_destroyStatic(elements);

    LinkedList bad = LinkedList_create();
    LinkedList_add(bad, ref(ld, "Q0CSWI1.Nothing.stVal[ST]"));
    IedConnection_createDataSet(con, &error, ref(ld, "LLN0.Bad"), bad);
    printf("create with unknown member: %d\n", error == IED_ERROR_OK ? 0 : 1);
    LinkedList_destroyStatic(bad);

    for (int i = 0; i < 2; i++) {
        bool deleted = IedConnection_deleteDataSet(con, &error, names[i]);
        printf("delete %s: %d %d\n", names[i], deleted, error);
        deleted = IedConnection_deleteDataSet(con, &error, names[i]);
        printf("delete again: %d\n", deleted);
    }
    bool deleted = IedConnection_deleteDataSet(con, &error, ref(ld, "LLN0.Positions"));
    printf("delete configured: %d\n", deleted);
    IedConnection_close(con);
    IedConnection_destroy(con);
    return 0;
}

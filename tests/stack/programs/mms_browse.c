/* A generic MMS browser: domains, variables, variable lists with their members and values,
 * journals, and reads of a variable and of one of its components:
 * mms_browse HOST PORT */
#include "mms_client_connection.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    MmsError error;
    MmsConnection con = MmsConnection_create();
    MmsConnection_setRequestTimeout(con, 3000);
    if (!MmsConnection_connect(con, &error, argv[1], atoi(argv[2]))) {
        printf("connect failed: %d\n", error);
        MmsConnection_destroy(con);
        return 1;
    }
    LinkedList domains = MmsConnection_getDomainNames(con, &error);
    for (LinkedList d = LinkedList_getNext(domains); d != NULL; d = LinkedList_getNext(d)) {
        char* domain = (char*)LinkedList_getData(d);
        LinkedList variables = MmsConnection_getDomainVariableNames(con, &error, domain);
        LinkedList lists = MmsConnection_getDomainVariableListNames(con, &error, domain);
        LinkedList journals = MmsConnection_getDomainJournals(con, &error, domain);
        printf("domain %s variables %d lists %d journals %d (error %d)\n", domain, LinkedList_size(variables),
               LinkedList_size(lists), journals ? LinkedList_size(journals) : -1, error);
        for (LinkedList l = LinkedList_getNext(lists); l != NULL; l = LinkedList_getNext(l)) {
            char* list = (char*)LinkedList_getData(l);
            bool deletable = true;
            LinkedList members =
                MmsConnection_readNamedVariableListDirectory(con, &error, domain, list, &deletable);
            MmsValue* values = MmsConnection_readNamedVariableListValues(con, &error, domain, list, true);
            printf("list %s members %d values %d deletable %d\n", list, LinkedList_size(members),
                   values ? (int)MmsValue_getArraySize(values) : -1, deletable);
            for (LinkedList m = LinkedList_getNext(members); m != NULL; m = LinkedList_getNext(m)) {
                MmsVariableAccessSpecification* member = (MmsVariableAccessSpecification*)LinkedList_getData(m);
                printf("  %s/%s\n", member->domainId, member->itemId);
            }
            LinkedList_destroyDeep(members,
                                   (LinkedListValueDeleteFunction)MmsVariableAccessSpecification_destroy);
            MmsValue_delete(values);
        }
        LinkedList_destroy(variables);
        LinkedList_destroy(lists);
        LinkedList_destroy(journals);
    }
    LinkedList_destroy(domains);

    char text[256];
    MmsValue* whole = MmsConnection_readVariable(con, &error, "CTLIEDLD0", "MMXU1$MX$TotW");
    printf("read %s\n", whole ? MmsValue_printToBuffer(whole, text, sizeof(text)) : "failed");
    MmsValue_delete(whole);
    MmsValue* part = MmsConnection_readVariableComponent(con, &error, "CTLIEDLD0", "MMXU1$MX$TotW", "mag$f");
    printf("component type %d\n", part ? (int)MmsValue_getType(part) : -1);
    MmsValue_delete(part);
    MmsValue* missing = MmsConnection_readVariable(con, &error, "CTLIEDLD0", "MMXU1$MX$Nothing");
    printf("missing: error %d type %d access %d\n", error, missing ? (int)MmsValue_getType(missing) : -1,
           missing ? (int)MmsValue_getDataAccessError(missing) : -1);
    MmsValue_delete(missing);
    MmsConnection_conclude(con, &error);
    MmsConnection_destroy(con);
    return 0;
}

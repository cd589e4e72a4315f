/* Operates a controllable object the way its control model asks for, and prints each step:
 * control HOST PORT OBJECT_REFERENCE VALUE(0|1) */
#include "hal_thread.h"
#include "iec61850_client.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static Semaphore terminated;
static int terminations = 0;

static void onTermination(void* parameter, ControlObjectClient control) {
    (void)parameter;
    LastApplError e = ControlObjectClient_getLastApplError(control);
    terminations++;
    printf("termination addCause %d\n", e.addCause);
    Semaphore_post(terminated);
}

static void report(const char* step, bool ok, ControlObjectClient control) {
    LastApplError e = ControlObjectClient_getLastApplError(control);
    printf("%s %s", step, ok ? "ok" : "refused");
    if (!ok)
        printf(" error %d addCause %d", ControlObjectClient_getLastError(control), e.addCause);
    printf("\n");
}

int main(int argc, char** argv) {
    if (argc < 5)
        return 2;
    IedClientError error;
    IedConnection con = IedConnection_create();
    IedConnection_connect(con, &error, argv[1], atoi(argv[2]));
    if (error != IED_ERROR_OK)
        return 1;
    terminated = Semaphore_create(0);
    ControlObjectClient control = ControlObjectClient_create(argv[3], con);
    if (control == NULL) {
        printf("no control object\n");
        return 1;
    }
    ControlObjectClient_setOrigin(control, "iecx test", CONTROL_ORCAT_STATION_CONTROL);
    ControlObjectClient_setInterlockCheck(control, true);
    ControlObjectClient_setSynchroCheck(control, true);
    ControlObjectClient_setTestMode(control, false);
    ControlObjectClient_setCommandTerminationHandler(control, onTermination, NULL);
    ControlModel model = ControlObjectClient_getControlModel(control);
    printf("model %d ctlVal type %d\n", model, ControlObjectClient_getCtlValType(control));

    MmsValue* value = MmsValue_newBoolean(atoi(argv[4]) != 0);
    bool ok;
    switch (model) {
    case CONTROL_MODEL_SBO_NORMAL:
        report("operate unselected", ControlObjectClient_operate(control, value, 0), control);
        report("select", ControlObjectClient_select(control), control);
        report("cancel", ControlObjectClient_cancel(control), control);
        report("select", ControlObjectClient_select(control), control);
        break;
    case CONTROL_MODEL_SBO_ENHANCED:
        report("select", ControlObjectClient_selectWithValue(control, value), control);
        break;
    default:
        break;
    }
    ok = ControlObjectClient_operate(control, value, 0);
    report("operate", ok, control);
    if (model == CONTROL_MODEL_DIRECT_ENHANCED || model == CONTROL_MODEL_SBO_ENHANCED) {
        Semaphore_wait(terminated);
        printf("terminations %d\n", terminations);
    }
    if (model == CONTROL_MODEL_SBO_NORMAL) {
        /* The selection ended with the operate. */
        report("operate again", ControlObjectClient_operate(control, value, 0), control);
        report("select", ControlObjectClient_select(control), control);
        Thread_sleep(400);
        report("operate after wait", ControlObjectClient_operate(control, value, 0), control);
    }
    MmsValue_delete(value);

    char stVal[128];
    snprintf(stVal, sizeof(stVal), "%s.stVal", argv[3]);
    MmsValue* position = IedConnection_readObject(con, &error, stVal, IEC61850_FC_ST);
    char text[64] = "?";
    if (position != NULL)
        MmsValue_printToBuffer(position, text, sizeof(text));
    printf("stVal %s\n", text);
    MmsValue_delete(position);

    ControlObjectClient_destroy(control);
    Semaphore_destroy(terminated);
    IedConnection_close(con);
    IedConnection_destroy(con);
    return 0;
}

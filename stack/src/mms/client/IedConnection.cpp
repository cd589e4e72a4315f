// IedConnection: the connection object, its association (connect, release, abort, close), its
// state and handlers, and the confirmed requests the other client files run through it.
#include "stack/src/mms/client/IedConnectionInternal.h"

using namespace stack::mms;

void sIedConnection::setState(IedConnectionState newState) {
    int old = state.exchange(newState);
    if (old == newState)
        return;
    IedConnection_StateChangedHandler handler;
    void* parameter;
    {
        std::lock_guard<std::mutex> lock(stateHandlerMutex);
        handler = stateHandler;
        parameter = stateParameter;
    }
    if (handler != nullptr)
        handler(parameter, this, newState);
}

IedClientError sIedConnection::finish(MmsError err) {
    // A lost connection is lost from this answer on, even while the receive thread has not yet
    // seen the socket close: later calls answer CONNECTION_LOST, never NOT_CONNECTED.
    if (err == MMS_ERROR_CONNECTION_LOST || (err == MMS_ERROR_PARSING_RESPONSE && !mms.isConnected())) {
        lost.store(true);
        setState(IED_STATE_CLOSED);
    }
    return toIedError(err);
}

IedClientError sIedConnection::disconnectedError() {
    if (state.load() == IED_STATE_CONNECTED) {
        lost.store(true);
        setState(IED_STATE_CLOSED);
    }
    return notConnectedError();
}

IedClientError sIedConnection::endAssociation(bool release) {
    if (state.load() != IED_STATE_CONNECTED || !mms.isConnected())
        return disconnectedError();
    setState(IED_STATE_CLOSING);
    mms.close(release);
    setState(IED_STATE_CLOSED);
    return IED_ERROR_OK;
}

IedClientError sIedConnection::request(const MmsClient::Encoder& encode, Response& response) {
    if (!mms.isConnected())
        return disconnectedError();
    return finish(mms.request(encode, response));
}

IedClientError sIedConnection::getNameList(ObjectClass cls, const std::string& domain,
                                           std::vector<std::string>& names) {
    names.clear();
    if (!mms.isConnected())
        return disconnectedError();
    return finish(mms.getNameList(static_cast<int>(cls), domain, names));
}

extern "C" {

IedConnection IedConnection_create(void) try {
    IedConnection self = new sIedConnection();
    self->mms.setReportHandler(
        [self](VariableAccess& access, std::vector<MmsValue*>& values) { self->onReport(access, values); });
    self->mms.setLostHandler([self]() {
        self->lost.store(true);
        self->setState(IED_STATE_CLOSED);
        IedConnectionClosedHandler handler;
        void* parameter;
        {
            std::lock_guard<std::mutex> lock(self->closedMutex);
            handler = self->closedHandler;
            parameter = self->closedParameter;
        }
        if (handler != nullptr)
            handler(parameter, self);
    });
    return self;
} catch (...) {
    return nullptr;
}

void IedConnection_destroy(IedConnection self) try {
    if (self == nullptr)
        return;
    IedConnection_close(self);
    delete self;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void IedConnection_setConnectTimeout(IedConnection self, uint32_t timeoutInMs) try {
    if (self == nullptr)
        return;
    self->mms.connectTimeoutMs = timeoutInMs;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}
void IedConnection_setRequestTimeout(IedConnection self, uint32_t timeoutInMs) try {
    if (self == nullptr)
        return;
    self->mms.requestTimeoutMs = timeoutInMs;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}
uint32_t IedConnection_getRequestTimeout(IedConnection self) {
    if (self == nullptr)
        return 0;
    return self->mms.requestTimeoutMs.load();
}

void IedConnection_connect(IedConnection self, IedClientError* error, const char* hostname, int tcpPort) try {
    if (self == nullptr || hostname == nullptr || hostname[0] == '\0') {
        setError(error, IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
        return;
    }
    if (self->mms.isConnected()) {
        setError(error, IED_ERROR_ALREADY_CONNECTED);
        return;
    }
    std::string host = hostname;
    int port = tcpPort > 0 ? tcpPort : 102;
    size_t colon = host.rfind(':');
    if (colon != std::string::npos && host.find(':') == colon) {
        // "host:port" overrides the port argument.
        char* end = nullptr;
        long p = std::strtol(host.c_str() + colon + 1, &end, 10);
        if (end == nullptr || *end != '\0' || p <= 0 || p > 65535 || colon == 0) {
            setError(error, IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
            return;
        }
        port = static_cast<int>(p);
        host = host.substr(0, colon);
    }
    if (port > 65535) {
        setError(error, IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
        return;
    }
    self->clearCache();
    self->lost.store(false);
    self->setState(IED_STATE_CONNECTING);
    self->mms.isoParameters.applyAuthentication();
    MmsError err = self->mms.connect(host, static_cast<uint16_t>(port));
    if (err != MMS_ERROR_NONE) {
        self->setState(IED_STATE_CLOSED);
        setError(error, toIedError(err));
        return;
    }
    self->setState(IED_STATE_CONNECTED);
    setError(error, IED_ERROR_OK);
} catch (...) {
    if (error != nullptr)
        *error = IED_ERROR_UNKNOWN;
}

void IedConnection_release(IedConnection self, IedClientError* error) try {
    setError(error, self != nullptr ? self->endAssociation(true) : IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
} catch (...) {
    if (error != nullptr)
        *error = IED_ERROR_UNKNOWN;
}

void IedConnection_abort(IedConnection self, IedClientError* error) try {
    setError(error, self != nullptr ? self->endAssociation(false) : IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
} catch (...) {
    if (error != nullptr)
        *error = IED_ERROR_UNKNOWN;
}

void IedConnection_close(IedConnection self) try {
    if (self == nullptr)
        return;
    if (self->mms.isConnected())
        self->setState(IED_STATE_CLOSING);
    self->mms.close(true);
    self->lost.store(false);
    self->setState(IED_STATE_CLOSED);
    self->clearCache();
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

IedConnectionState IedConnection_getState(IedConnection self) {
    if (!self->mms.isConnected())
        self->disconnectedError(); // a loss the receive thread has not reported yet
    return static_cast<IedConnectionState>(self->state.load());
}

MmsConnection IedConnection_getMmsConnection(IedConnection self) try {
    if (self == nullptr)
        return nullptr;
    return &self->mms;
} catch (...) {
    return nullptr;
}

void IedConnection_installStateChangedHandler(IedConnection self, IedConnection_StateChangedHandler handler,
                                              void* parameter) try {
    if (self == nullptr)
        return;
    std::lock_guard<std::mutex> lock(self->stateHandlerMutex);
    self->stateHandler = handler;
    self->stateParameter = parameter;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void IedConnection_setLocalAddress(IedConnection self, const char* localIpAddress, int localPort) try {
    if (self == nullptr)
        return;
    self->mms.params.localAddress = localIpAddress != nullptr ? localIpAddress : "";
    self->mms.params.localPort = localPort > 0 && localPort <= 65535 ? static_cast<uint16_t>(localPort) : 0;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void IedConnection_installConnectionClosedHandler(IedConnection self, IedConnectionClosedHandler handler,
                                                  void* parameter) try {
    if (self == nullptr)
        return;
    std::lock_guard<std::mutex> lock(self->closedMutex);
    self->closedHandler = handler;
    self->closedParameter = parameter;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

} // extern "C"

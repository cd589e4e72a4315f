#include "stack/src/mms/server/MmsServer.h"

namespace stack {
namespace mms {

class MmsServerImpl {
public:
    std::string error = "server engine not built yet";
};

MmsServer::MmsServer(MmsServerHandler&, MmsServerOptions) : _impl(new MmsServerImpl) {}
MmsServer::~MmsServer() {
    stop();
}
bool MmsServer::start(const std::string&, uint16_t) {
    return false;
}
void MmsServer::stop() {}
bool MmsServer::isRunning() const {
    return false;
}
uint16_t MmsServer::port() const {
    return 0;
}
std::string MmsServer::lastError() const {
    return _impl->error;
}
std::vector<MmsServerConnectionPtr> MmsServer::connections() const {
    return {};
}

} // namespace mms
} // namespace stack

#include "stack/src/mms/client/WalkAhead.h"

#include <algorithm>
#include <chrono>

namespace stack {
namespace mms {

namespace {

using Clock = std::chrono::steady_clock;
using Requests = std::map<std::string, sIedConnection::AheadRequest>;

MmsClient::Encoder nameRequest(const std::string& domain) {
    return [&domain](ber::Writer& w, uint32_t id) {
        encodeGetNameListRequest(w, id, static_cast<int>(ObjectClass::NamedVariable), domain, nullptr);
    };
}

// Gives up the requests left unanswered past the request time-out, so that a silent server
// cannot hold the slots. The caller holds cacheMutex.
void giveUpSilent(IedConnection self, Requests& requests, Clock::time_point now) {
    const auto timeout = std::chrono::milliseconds(self->mms.requestTimeoutMs.load());
    for (auto it = requests.begin(); it != requests.end();)
        if (now - it->second.sent > timeout && !self->mms.answered(it->second.invokeId)) {
            self->mms.abandon(it->second.invokeId);
            it = requests.erase(it);
        } else {
            ++it;
        }
}

// The requests to send together, each with the list its invoke id goes to, up to the spare
// slots of the association (one slot stays free for the program's other threads).
class Batch {
public:
    explicit Batch(IedConnection self) : _self(self), _room(std::max(0, self->mms.freeSlots() - 1)) {}
    bool full() const { return _encoders.size() >= _room; }
    void add(Requests& to, std::string key, MmsClient::Encoder encode) {
        _encoders.push_back(std::move(encode));
        _keys.emplace_back(&to, std::move(key));
    }
    // In one write: the server is woken once for all of them.
    void send(Clock::time_point now) {
        std::vector<uint32_t> ids;
        _self->mms.startAll(_encoders, ids);
        for (size_t i = 0; i < ids.size(); ++i)
            (*_keys[i].first)[_keys[i].second] = {ids[i], now};
    }

private:
    IedConnection _self;
    size_t _room;
    std::vector<MmsClient::Encoder> _encoders;
    std::vector<std::pair<Requests*, std::string>> _keys;
};

// Adds the type requests of the logical nodes of `list` (a device's variable names) from index
// `first` on that are neither known nor asked yet; true when every one of them is.
bool addTypes(IedConnection self, Batch& batch, const std::string& domain,
              const std::vector<std::string>& list, size_t first) {
    for (size_t i = first; i < list.size(); ++i) {
        if (list[i].find('$') != std::string::npos)
            continue;
        std::string key = domain + "/" + list[i];
        if (self->typeCache.count(key) != 0 || self->typeRequests.count(key) != 0)
            continue;
        if (batch.full())
            return false;
        batch.add(self->typeRequests, std::move(key), typeRequest(domain, list[i]));
    }
    return true;
}

// The device after `domain` in the last server directory; nullptr when there is none. The
// caller holds cacheMutex.
const std::string* nextDevice(IedConnection self, const std::string& domain) {
    auto it = std::find(self->devices.begin(), self->devices.end(), domain);
    return it == self->devices.end() || it + 1 == self->devices.end() ? nullptr : &*(it + 1);
}

// The first page of names in the answer to request `id`; false when it failed.
bool firstPage(IedConnection self, uint32_t id, std::vector<std::string>& names, bool& more) {
    Response r;
    return self->finish(self->mms.finish(id, r)) == IED_ERROR_OK &&
           decodeGetNameListResponse(r.pdu.service, names, more);
}

// Reads the first page of the next device's names once it has been answered, so that the walk
// can ask for that device's types. Not under cacheMutex: reading an answer waits until the raw
// message handler has seen it, and that handler may call into this connection.
void readNextNames(IedConnection self, const std::string& domain) {
    std::string next;
    uint32_t id = 0;
    {
        std::lock_guard<std::mutex> lock(self->cacheMutex);
        const std::string* device = nextDevice(self, domain);
        auto asked = device != nullptr ? self->nameRequests.find(*device) : self->nameRequests.end();
        if (asked == self->nameRequests.end() || !self->mms.answered(asked->second.invokeId))
            return;
        next = *device;
        id = asked->second.invokeId;
        self->nameRequests.erase(asked);
    }
    auto names = std::make_shared<std::vector<std::string>>();
    bool more = false;
    if (!firstPage(self, id, *names, more))
        return; // the device's directory asks again
    std::lock_guard<std::mutex> lock(self->cacheMutex);
    self->aheadLists[next] = {names, more};
}

} // namespace

MmsClient::Encoder typeRequest(const std::string& domain, const std::string& ln) {
    return [&domain, &ln](ber::Writer& w, uint32_t id) {
        encodeGetVariableAccessAttributesRequest(w, id, ObjectName(domain, ln));
    };
}

void rememberDevices(IedConnection self, const std::vector<std::string>& devices) {
    std::lock_guard<std::mutex> lock(self->cacheMutex);
    self->devices = devices;
}

bool takeNamesAsked(IedConnection self, const std::string& domain,
                    std::shared_ptr<const std::vector<std::string>>& names) {
    std::vector<std::string> list;
    bool more = false, answerToRead = false;
    uint32_t id = 0;
    {
        std::lock_guard<std::mutex> lock(self->cacheMutex);
        auto read = self->aheadLists.find(domain);
        auto asked = self->nameRequests.find(domain);
        if (read != self->aheadLists.end()) {
            list = std::move(*read->second.names);
            more = read->second.more;
            self->aheadLists.erase(read);
        } else if (asked != self->nameRequests.end()) {
            id = asked->second.invokeId;
            answerToRead = true;
            self->nameRequests.erase(asked);
        } else {
            return false;
        }
    }
    if (answerToRead && !firstPage(self, id, list, more))
        return false;
    if (more && self->finish(self->mms.continueNameList(static_cast<int>(ObjectClass::NamedVariable), domain,
                                                        list)) != IED_ERROR_OK)
        return false;
    auto fresh = std::make_shared<const std::vector<std::string>>(std::move(list));
    {
        std::lock_guard<std::mutex> lock(self->cacheMutex);
        self->variableCache[domain] = fresh;
    }
    names = fresh;
    return true;
}

void askTypesAhead(IedConnection self, const std::string& domain) {
    askAheadOf(self, domain, std::string());
}

void askAheadOf(IedConnection self, const std::string& domain, const std::string& ln) {
    if (!self->mms.isConnected())
        return;
    readNextNames(self, domain);
    std::lock_guard<std::mutex> lock(self->cacheMutex);
    const auto now = Clock::now();
    giveUpSilent(self, self->typeRequests, now);
    giveUpSilent(self, self->nameRequests, now);
    Batch batch(self);
    auto names = self->variableCache.find(domain);
    if (batch.full() || names == self->variableCache.end())
        return;
    // `ln` in the device's names, searched from where the last walk stood: a walk moves forward
    // through a list of thousands of names.
    const std::vector<std::string>& list = *names->second;
    size_t first = 0;
    if (!ln.empty()) {
        size_t at = self->walkedTo.first == domain ? std::min(self->walkedTo.second, list.size()) : 0;
        auto found = std::find(list.begin() + static_cast<std::ptrdiff_t>(at), list.end(), ln);
        if (found == list.end() && (found = std::find(list.begin(), list.end(), ln)) == list.end())
            return;
        at = static_cast<size_t>(found - list.begin());
        self->walkedTo = {domain, at};
        first = at + 1;
    }
    // With this device's nodes all known or asked, the next device of the server directory.
    const std::string* next = nextDevice(self, domain);
    if (addTypes(self, batch, domain, list, first) && next != nullptr && !batch.full()) {
        auto read = self->aheadLists.find(*next);
        auto known = self->variableCache.find(*next);
        if (read != self->aheadLists.end())
            addTypes(self, batch, *next, *read->second.names, 0);
        else if (known != self->variableCache.end())
            addTypes(self, batch, *next, *known->second, 0);
        else if (self->nameRequests.count(*next) == 0)
            batch.add(self->nameRequests, *next, nameRequest(*next));
    }
    batch.send(now);
}

bool takeTypeRequest(IedConnection self, const std::string& key, uint32_t& id) {
    std::lock_guard<std::mutex> lock(self->cacheMutex);
    auto it = self->typeRequests.find(key);
    if (it == self->typeRequests.end())
        return false;
    id = it->second.invokeId;
    self->typeRequests.erase(it);
    return true;
}

} // namespace mms
} // namespace stack

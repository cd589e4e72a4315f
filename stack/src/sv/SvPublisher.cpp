#include "sv_publisher.h"

#include "stack/src/ethernet/PacketSocket.h"
#include "stack/src/goose/GooseFrame.h"
#include "stack/src/sv/SvFrame.h"

#include <linux/filter.h>
#include <sys/socket.h>

#include <cstring>
#include <memory>
#include <new>

struct sSVPublisher_ASDU {
    stack::sv::SvAsduParams params;
    uint32_t smpCntWrap = 65536;
};

struct sSVPublisher {
    std::unique_ptr<stack::eth::PacketSocket> socket;
    stack::sv::SvFrameParams params; // link part; ASDUs are taken from `asdus` at publish
    std::vector<std::unique_ptr<sSVPublisher_ASDU>> asdus;
    std::vector<uint8_t> frame;
};

namespace {

int grow(SVPublisher_ASDU self, size_t size) {
    if (!self)
        return -1;
    size_t index = self->params.data.size();
    self->params.data.resize(index + size, 0);
    return static_cast<int>(index);
}

void put(SVPublisher_ASDU self, int index, uint64_t value, int size) {
    if (!self || index < 0 ||
        static_cast<size_t>(index) + static_cast<size_t>(size) > self->params.data.size())
        return;
    for (int i = 0; i < size; ++i)
        self->params.data[static_cast<size_t>(index + i)] =
            static_cast<uint8_t>(value >> (8 * (size - 1 - i)));
}

} // namespace

extern "C" {

SVPublisher SVPublisher_createEx(CommParameters* parameters, const char* interfaceId, bool useVlanTag) try {
    auto* self = stack::eth::newWithSocket<sSVPublisher>(interfaceId);
    if (!self)
        return nullptr;
    // The publisher never reads its socket: a filter that accepts nothing keeps the kernel from
    // queueing a copy of every frame of the interface on it (the socket taps all EtherTypes).
    sock_filter none{BPF_RET | BPF_K, 0, 0, 0};
    sock_fprog program{1, &none};
    setsockopt(self->socket->fd(), SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program);
    static const uint8_t defaultDst[6] = {0x01, 0x0C, 0xCD, 0x04, 0x00, 0x01};
    stack::eth::setPublisherLink(self->params.link, parameters, defaultDst, 0x4000, useVlanTag,
                                 self->socket->mac());
    return self;
} catch (...) {
    return nullptr;
}

SVPublisher SVPublisher_create(CommParameters* parameters, const char* interfaceId) try {
    return SVPublisher_createEx(parameters, interfaceId, stack::eth::wantsVlanTag(parameters));
} catch (...) {
    return nullptr;
}

SVPublisher_ASDU SVPublisher_addASDU(SVPublisher self, const char* svID, const char* datset,
                                     uint32_t confRev) try {
    if (!self)
        return nullptr;
    std::unique_ptr<sSVPublisher_ASDU> asdu(new (std::nothrow) sSVPublisher_ASDU());
    if (!asdu)
        return nullptr;
    asdu->params.svId = svID ? svID : "";
    asdu->params.hasDatSet = datset != nullptr;
    asdu->params.datSet = datset ? datset : "";
    asdu->params.confRev = confRev;
    self->asdus.push_back(std::move(asdu));
    return self->asdus.back().get();
} catch (...) {
    return nullptr;
}

void SVPublisher_setupComplete(SVPublisher self) try {
    if (!self)
        return;
    self->params.asdus.clear();
    for (const auto& a : self->asdus)
        self->params.asdus.push_back(a->params);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void SVPublisher_publish(SVPublisher self) try {
    if (!self || self->asdus.empty())
        return;
    // Values may change between publishes: take the current ASDUs (copies reuse their buffers).
    self->params.asdus.resize(self->asdus.size());
    for (size_t i = 0; i < self->asdus.size(); ++i)
        self->params.asdus[i] = self->asdus[i]->params;
    if (stack::sv::encodeSvFrame(self->params, self->frame))
        self->socket->send(self->frame.data(), self->frame.size());
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void SVPublisher_destroy(SVPublisher self) try { delete self; } catch (...) {
    // an exception ends the call here instead of crossing into C
}

void SVPublisher_ASDU_resetBuffer(SVPublisher_ASDU self) try {
    if (self)
        self->params.data.clear();
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

int SVPublisher_ASDU_addINT8(SVPublisher_ASDU self) try { return grow(self, 1); } catch (...) {
    return -1;
}
void SVPublisher_ASDU_setINT8(SVPublisher_ASDU self, int index, int8_t value) try {
    put(self, index, static_cast<uint8_t>(value), 1);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}
int SVPublisher_ASDU_addINT32(SVPublisher_ASDU self) try { return grow(self, 4); } catch (...) {
    return -1;
}
void SVPublisher_ASDU_setINT32(SVPublisher_ASDU self, int index, int32_t value) try {
    put(self, index, static_cast<uint32_t>(value), 4);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}
int SVPublisher_ASDU_addINT64(SVPublisher_ASDU self) try { return grow(self, 8); } catch (...) {
    return -1;
}
void SVPublisher_ASDU_setINT64(SVPublisher_ASDU self, int index, int64_t value) try {
    put(self, index, static_cast<uint64_t>(value), 8);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}
int SVPublisher_ASDU_addFLOAT(SVPublisher_ASDU self) try { return grow(self, 4); } catch (...) {
    return -1;
}
void SVPublisher_ASDU_setFLOAT(SVPublisher_ASDU self, int index, float value) try {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    put(self, index, bits, 4);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}
int SVPublisher_ASDU_addFLOAT64(SVPublisher_ASDU self) try { return grow(self, 8); } catch (...) {
    return -1;
}
void SVPublisher_ASDU_setFLOAT64(SVPublisher_ASDU self, int index, double value) try {
    uint64_t bits;
    std::memcpy(&bits, &value, 8);
    put(self, index, bits, 8);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}
int SVPublisher_ASDU_addTimestamp(SVPublisher_ASDU self) try { return grow(self, 8); } catch (...) {
    return -1;
}
void SVPublisher_ASDU_setTimestamp(SVPublisher_ASDU self, int index, Timestamp value) try {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v = v << 8 | value.val[i];
    put(self, index, v, 8);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}
int SVPublisher_ASDU_addQuality(SVPublisher_ASDU self) try { return grow(self, 4); } catch (...) {
    return -1;
}
void SVPublisher_ASDU_setQuality(SVPublisher_ASDU self, int index, Quality value) try {
    put(self, index, value, 4);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void SVPublisher_ASDU_setSmpCnt(SVPublisher_ASDU self, uint16_t value) try {
    if (self)
        self->params.smpCnt = value;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

uint16_t SVPublisher_ASDU_getSmpCnt(SVPublisher_ASDU self) {
    return self ? self->params.smpCnt : 0;
}

void SVPublisher_ASDU_increaseSmpCnt(SVPublisher_ASDU self) try {
    if (!self)
        return;
    uint32_t next = static_cast<uint32_t>(self->params.smpCnt) + 1;
    self->params.smpCnt = static_cast<uint16_t>(next >= self->smpCntWrap ? 0 : next);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void SVPublisher_ASDU_setSmpCntWrap(SVPublisher_ASDU self, uint16_t value) try {
    if (self)
        self->smpCntWrap = value == 0 ? 65536 : value;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void SVPublisher_ASDU_enableRefrTm(SVPublisher_ASDU self) try {
    if (self)
        self->params.hasRefrTm = true;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void SVPublisher_ASDU_setRefrTm(SVPublisher_ASDU self, uint64_t refrTm) try {
    if (!self)
        return;
    self->params.hasRefrTm = true;
    stack::goose::utcTimeFromMs(refrTm, self->params.refrTm);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void SVPublisher_ASDU_setRefrTmNs(SVPublisher_ASDU self, uint64_t refrTmNs) try {
    if (!self)
        return;
    self->params.hasRefrTm = true;
    uint32_t seconds = static_cast<uint32_t>(refrTmNs / 1000000000ull);
    uint64_t ns = refrTmNs % 1000000000ull;
    uint32_t fraction = static_cast<uint32_t>(((ns << 24) + 999999999ull) / 1000000000ull);
    uint8_t* t = self->params.refrTm;
    t[0] = static_cast<uint8_t>(seconds >> 24);
    t[1] = static_cast<uint8_t>(seconds >> 16);
    t[2] = static_cast<uint8_t>(seconds >> 8);
    t[3] = static_cast<uint8_t>(seconds);
    t[4] = static_cast<uint8_t>(fraction >> 16);
    t[5] = static_cast<uint8_t>(fraction >> 8);
    t[6] = static_cast<uint8_t>(fraction);
    t[7] = 0x18; // time quality: 24 bits of fraction accuracy
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void SVPublisher_ASDU_setSmpMod(SVPublisher_ASDU self, uint8_t smpMod) try {
    if (!self)
        return;
    self->params.hasSmpMod = true;
    self->params.smpMod = smpMod;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void SVPublisher_ASDU_setSmpRate(SVPublisher_ASDU self, uint16_t smpRate) try {
    if (!self)
        return;
    self->params.hasSmpRate = true;
    self->params.smpRate = smpRate;
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void SVPublisher_ASDU_setSmpSynch(SVPublisher_ASDU self, uint16_t smpSynch) try {
    if (self)
        self->params.smpSynch = static_cast<uint8_t>(smpSynch);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

} // extern "C"

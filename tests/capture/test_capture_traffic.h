#pragma once
// Traffic for the capture tests: GOOSE and SV frames from the stack's publishers.
#include "goose_publisher.h"
#include "linked_list.h"
#include "mms_value.h"
#include "sv_publisher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace capturetest {

// `count` GOOSE frames (sqNum counts up: every frame differs), tagged unless `vlanPriority` and
// the VLAN are 0.
inline void publishGoose(const std::string& iface, int count, uint8_t vlanPriority = 4) {
    CommParameters params{};
    params.appId = 0x1001;
    params.vlanPriority = vlanPriority; // tagged: the kernel removes the tag, the capture puts it back
    const uint8_t dst[6] = {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x10};
    std::copy(dst, dst + 6, params.dstAddress);
    GoosePublisher publisher = GoosePublisher_create(&params, iface.c_str());
    ASSERT_NE(publisher, nullptr);
    char goCbRef[] = "IED1LD0/LLN0$GO$gcb01";
    char dataSet[] = "IED1LD0/LLN0$DS1";
    char goId[] = "IED1_GOOSE1";
    GoosePublisher_setGoCbRef(publisher, goCbRef);
    GoosePublisher_setDataSetRef(publisher, dataSet);
    GoosePublisher_setGoID(publisher, goId);
    GoosePublisher_setConfRev(publisher, 1);
    GoosePublisher_setTimeAllowedToLive(publisher, 2000);
    LinkedList values = LinkedList_create();
    LinkedList_add(values, MmsValue_newBoolean(true));
    LinkedList_add(values, MmsValue_newIntegerFromInt32(42));
    for (int i = 0; i < count; ++i)
        GoosePublisher_publish(publisher, values); // sqNum counts up: every frame differs
    LinkedList_destroyDeep(values, reinterpret_cast<LinkedListValueDeleteFunction>(MmsValue_delete));
    GoosePublisher_destroy(publisher);
}

// `count` SV frames of one ASDU, smpCnt 0, 1, ...
inline void publishSv(const std::string& iface, int count) {
    CommParameters params{};
    params.appId = 0x4000;
    const uint8_t dst[6] = {0x01, 0x0C, 0xCD, 0x04, 0x00, 0x01};
    std::copy(dst, dst + 6, params.dstAddress);
    SVPublisher publisher = SVPublisher_create(&params, iface.c_str());
    ASSERT_NE(publisher, nullptr);
    SVPublisher_ASDU asdu = SVPublisher_addASDU(publisher, "MU01", nullptr, 1);
    int channel = SVPublisher_ASDU_addINT32(asdu);
    SVPublisher_ASDU_addQuality(asdu);
    SVPublisher_setupComplete(publisher);
    for (int i = 0; i < count; ++i) {
        SVPublisher_ASDU_setINT32(asdu, channel, i * 100);
        SVPublisher_ASDU_setSmpCnt(asdu, static_cast<uint16_t>(i));
        SVPublisher_publish(publisher);
    }
    SVPublisher_destroy(publisher);
}

} // namespace capturetest

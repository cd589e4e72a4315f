// Filtering of GooseSubscriberPool: of two publishers that differ in one field, only the one
// that matches the criterion reaches the values.
#include "test_goose_support.h"

#include <functional>

namespace {

using namespace goosetest;

struct FilterCase {
    const char* name;
    std::function<void(GooseIdentifer&)> criterion; // set on the pool's identifier
    std::function<void(Publication&)> differ;       // makes the other publication fail it
};

const FilterCase kCases[] = {
    {"goCbRef", [](GooseIdentifer& id) { id.goCbRef = Publication{}.goCbRef; },
     [](Publication& p) { p.goCbRef = "IED1LD0/LLN0$GO$gcb2"; }},
    {"goCbRef prefix", [](GooseIdentifer& id) { id.goCbRef = Publication{}.goCbRef; },
     [](Publication& p) { p.goCbRef += "X"; }},
    {"appId", [](GooseIdentifer& id) { id.appId = Publication{}.appId; },
     [](Publication& p) { p.appId = 0x1002; }},
    {"goId", [](GooseIdentifer& id) { id.goId = Publication{}.goId; },
     [](Publication& p) { p.goId = "IED1_gcbX"; }},
    {"goId length", [](GooseIdentifer& id) { id.goId = Publication{}.goId; },
     [](Publication& p) { p.goId = Publication{}.goId + "1"; }},
    {"confRev", [](GooseIdentifer& id) { id.confRev = 1; }, [](Publication& p) { p.confRev = 2; }},
    {"test flag", [](GooseIdentifer& id) { id.test = false; }, [](Publication& p) { p.test = true; }},
    // The stack matches the destination address for a named control block (an observer takes
    // every message).
    {"dstMac with goCbRef",
     [](GooseIdentifer& id) {
         id.goCbRef = Publication{}.goCbRef;
         id.dstMac = std::string("01:0C:CD:01:00:01");
     },
     [](Publication& p) { p.dstMac[5] = 0x02; }},
    {"goCbRef with appId",
     [](GooseIdentifer& id) {
         id.goCbRef = Publication{}.goCbRef;
         id.appId = Publication{}.appId;
     },
     [](Publication& p) { p.appId = 0x1003; }},
};

TEST_F(GoosePoolTest, OnlyTheMatchingPublicationUpdatesTheValues) {
    for (const FilterCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Publication matching;
        Publication other;
        c.differ(other);
        GooseIn target = makeTarget(veth.b(), {"LD0/GGIO2.Ind2.stVal[ST]"});
        c.criterion(target.identifier);

        GooseSubscriberPool pool;
        Seen seen;
        seen.connect(pool);
        ASSERT_TRUE(pool.setTarget(target));
        ASSERT_TRUE(pool.start());
        Publisher good(veth.a(), matching);
        Publisher bad(veth.a(), other);
        ASSERT_TRUE(good.ok() && bad.ok());
        // Frames of one interface arrive in order: when the pool has the good frame of a round, it
        // has already passed over the bad frame sent before it.
        for (int round = 0; round < 50 && seen.count() < 3; ++round) {
            bad.publish(false, 2);
            good.publish(true, 1);
            seen.waitFor(seen.count() + 1, std::chrono::milliseconds(200));
        }
        for (int i = 0; i < 3; ++i)
            bad.publish(false, 2);
        size_t last = seen.count();
        good.publish(true, 1);
        seen.waitFor(last + 1);
        pool.stop();

        std::lock_guard<std::mutex> lock(seen.mutex);
        ASSERT_GE(seen.updates.size(), 4u);
        for (const auto& texts : seen.printed)
            ASSERT_EQ(texts[0], "1") << "a message failing the " << c.name << " criterion got through";
    }
}

} // namespace

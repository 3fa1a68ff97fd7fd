#include "WordProbe.h"

#include "automation/Automation.h"

bool WordWritesDocx() {
    using namespace automation;
    static constexpr CallDesc kVersion{L"Version", CallKind::PropertyGet};
    const BusyServerFilter busyWord; // Word may still be starting up
    try {
        const Variant word = Create(L"Word.Application");
        return CompareWithInt(Call(word, kVersion), 12) >= 0;
    } catch (const CallGivenUp& e) {
        throw Error(FollowedBy(e.message(), kWordMayStillBeStarting));
    }
}

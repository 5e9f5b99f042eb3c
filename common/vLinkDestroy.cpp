#include "vLinkRecord.h"

vErr vLink_Destroy(int32_t *id) {
    if (id == nullptr) {
        return vErrParam;
    }
    vLinkEntryRef entry = sLookupEntryByID(std::exchange(*id, 0));
    if (entry == nullptr) {
        return vErrParam;
    }
    if (sChangeUseCount(entry, -1) > 0) {
        return vErrNone;
    }
    vLinkRecord *record = entry->link;
    if (record != nullptr) {
        vLink_InstallUserPacketFilter(entry->id, nullptr, nullptr);
    }
    sExtractEntry(entry->id);
    if (record == nullptr) {
        return vErrUnknown;
    }
    vLink_Stop(record);
    if (int32_t paired = entry->pairedId) {
        vLink_Destroy(&paired);
    }
    vErr result = vErrNone;
    if (LinkCoreRef core = record->core()) {
        vPacketFifo_Destroy(&core->incoming);
        result = vPacketFifo_Destroy(&core->outgoing);
    }
    record->replaceCore(nullptr);
    record->check = 0;
    delete record;
    return result;
}

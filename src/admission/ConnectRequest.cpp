#include "admission/ConnectRequest.h"

#include "protocol/AdmissionLayouts.h"
#include "protocol/ByteReader.h"
#include "protocol/MessageTypes.h"

namespace {

std::string textAt(ByteReader& r, size_t offset, size_t width, size_t capacity) {
    r.seek(offset);
    std::string s = r.text(width);
    if (s.size() > capacity - 1)
        s.resize(capacity - 1);
    return s;
}

}  // namespace

ConnectRequest ConnectRequest::read(const uint8_t* data, int size) {
    using namespace connect_request;
    ByteReader r(data, size);
    ConnectRequest q;
    q.spectator = r.u8() == RV_CONNECTRVTV;
    q.guid = textAt(r, kGuid, kGuidWidth, 64);
    q.userName = textAt(r, kUserName, kUserNameWidth, 64);
    q.team = textAt(r, kTeam, kTeamWidth, 64);
    q.extraName = textAt(r, kExtraName, kExtraNameWidth, 64);
    q.model = textAt(r, kModel, kModelWidth, 32);
    r.seek(kRaceNumber);
    q.raceNumber = r.u16();
    q.version = r.i32();
    q.bandwidth = r.u8();
    q.password = textAt(r, kPassword, kPasswordWidth, 64);
    r.seek(kConnectValue1);
    q.connectValue1 = r.f32();
    q.connectValue2 = r.f32();
    q.frontTyre = textAt(r, kFrontTyre, kTyreWidth, 32);
    q.rearTyre = textAt(r, kRearTyre, kTyreWidth, 32);
    r.seek(kTyreChecksum);
    q.tyreChecksum = r.i32();
    q.nationality = textAt(r, kNationality, kNationalityWidth, 32);
    r.seek(kAccidentRatio);
    q.accidentRatio = r.f32();
    q.onlineKm = r.i32();
    r.seek(kDnfRatio);
    q.dnfRatio = r.f32();
    return q;
}

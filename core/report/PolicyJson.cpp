#include "report/PolicyJson.h"

#include "report/JsonReader.h"
#include "report/JsonWriter.h"

namespace halvetrop {

namespace {

using json::Child;
using json::Frame;
using json::ListFrame;
using json::Reader;
using json::RecordFrame;
using json::Value;

class DriveNamesFrame final : public ListFrame {
public:
    explicit DriveNamesFrame(std::set<std::string>& out) : out_(out) { out_.clear(); }

protected:
    Child element(Reader& r, size_t, Value& v) override {
        out_.insert(r.text(v));
        return nullptr;
    }

private:
    std::set<std::string>& out_;
};

class PolicyFrame final : public RecordFrame {
public:
    static constexpr std::string_view keys[] = {"requiredCopies",     "minEvidence",
                                                "requiredDrives",     "acceptEditedCopies",
                                                "countCloudCopies",   "maxDestEvidenceAge"};
    explicit PolicyFrame(SafeToFormatPolicy& out) : RecordFrame(keys, 6, 0), out_(out) {}

protected:
    Child field(Reader& r, int f, Value& v) override {
        switch (f) {
            case 0: out_.requiredCopies = r.integer(v); break;
            case 1: out_.minEvidence = r.evidence(v); break;
            case 2: r.expectArray(v); return std::make_unique<DriveNamesFrame>(out_.requiredDrives);
            case 3: out_.acceptEditedCopies = r.boolean(v); break;
            case 4: out_.countCloudCopies = r.boolean(v); break;
            case 5: out_.maxDestEvidenceAge = r.number(v); break;
        }
        return nullptr;
    }

private:
    SafeToFormatPolicy& out_;
};

}  // namespace

std::string toStoredJson(const SafeToFormatPolicy& policy) {
    std::string out;
    json::Writer w(out);
    w.beginObject();
    w.key("requiredCopies");
    w.integer(policy.requiredCopies);
    w.key("minEvidence");
    w.integer(rawValue(policy.minEvidence));
    w.key("requiredDrives");
    w.beginArray();
    for (const std::string& drive : policy.requiredDrives) w.text(drive);
    w.endArray();
    w.key("acceptEditedCopies");
    w.boolean(policy.acceptEditedCopies);
    w.key("countCloudCopies");
    w.boolean(policy.countCloudCopies);
    w.key("maxDestEvidenceAge");
    w.number(policy.maxDestEvidenceAge);
    w.endObject();
    return out;
}

template <>
SafeToFormatPolicy fromStoredJson<SafeToFormatPolicy>(std::string_view json) {
    SafeToFormatPolicy policy;
    Reader::read(json, std::make_unique<PolicyFrame>(policy));
    return policy;
}

}  // namespace halvetrop

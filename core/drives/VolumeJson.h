#pragma once
// Keyed stored form of VolumeInfo and PhysicalDriveID: keys are the field names in field order;
// volumeID and maxFileSize are written only when present; every other key is required on reading
// (a missing or mistyped key throws nlohmann::json's exception).
#include "drives/Drives.h"

#include <nlohmann/json.hpp>

namespace halvetrop {

template <class Json>
void to_json(Json& j, const PhysicalDriveID& d) {
    j = Json::object();
    j["raw"] = d.raw;
}

template <class Json>
void from_json(const Json& j, PhysicalDriveID& d) {
    d.raw = j.at("raw").template get<std::string>();
}

template <class Json>
void to_json(Json& j, const VolumeInfo& v) {
    j = Json::object();
    j["path"] = v.path;
    j["volumePath"] = v.volumePath;
    j["name"] = v.name;
    j["drive"] = Json(v.drive);
    j["fileSystem"] = v.fileSystem;
    j["isRemovable"] = v.isRemovable;
    j["isInternal"] = v.isInternal;
    j["isNetwork"] = v.isNetwork;
    j["isLikelyCameraCard"] = v.isLikelyCameraCard;
    j["isDiskImage"] = v.isDiskImage;
    if (v.volumeID) j["volumeID"] = *v.volumeID;
    j["totalBytes"] = v.totalBytes;
    j["freeBytes"] = v.freeBytes;
    if (v.maxFileSize) j["maxFileSize"] = *v.maxFileSize;
}

template <class Json>
void from_json(const Json& j, VolumeInfo& v) {
    auto str = [&](const char* k) { return j.at(k).template get<std::string>(); };
    auto boolean = [&](const char* k) {
        const Json& x = j.at(k);
        if (!x.is_boolean()) throw Json::type_error::create(302, std::string("\"") + k + "\" is not a boolean", &x);
        return x.template get<bool>();
    };
    auto integer = [&](const char* k) {
        const Json& x = j.at(k);
        if (!x.is_number_integer()) throw Json::type_error::create(302, std::string("\"") + k + "\" is not an integer", &x);
        return x.template get<std::int64_t>();
    };
    v.path = str("path");
    v.volumePath = str("volumePath");
    v.name = str("name");
    v.drive = j.at("drive").template get<PhysicalDriveID>();
    v.fileSystem = str("fileSystem");
    v.isRemovable = boolean("isRemovable");
    v.isInternal = boolean("isInternal");
    v.isNetwork = boolean("isNetwork");
    v.isLikelyCameraCard = boolean("isLikelyCameraCard");
    v.isDiskImage = boolean("isDiskImage");
    if (auto it = j.find("volumeID"); it != j.end()) v.volumeID = it->template get<std::string>(); else v.volumeID.reset();
    v.totalBytes = integer("totalBytes");
    v.freeBytes = integer("freeBytes");
    if (auto it = j.find("maxFileSize"); it != j.end()) {
        if (!it->is_number_integer()) throw Json::type_error::create(302, "\"maxFileSize\" is not an integer", &*it);
        v.maxFileSize = it->template get<std::int64_t>();
    } else {
        v.maxFileSize.reset();
    }
}

}  // namespace halvetrop

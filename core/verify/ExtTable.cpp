#include "verify/ExtTable.h"

#include "anatomy/Anatomy.h"

namespace halvetrop {

uint16_t ExtTable::id(std::string_view name) {
    std::string ext = Anatomy::ext(name);
    std::lock_guard<std::mutex> guard(lock_);
    auto it = ids_.find(ext);
    if (it != ids_.end()) return it->second;
    const auto number = static_cast<uint16_t>((ids_.size() + 1) & 0xFFFF);
    ids_.emplace(std::move(ext), number);
    return number;
}

size_t ExtTable::count() const {
    std::lock_guard<std::mutex> guard(lock_);
    return ids_.size();
}

}  // namespace halvetrop

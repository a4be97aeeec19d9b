#pragma once
// A flat list model whose rows stand for things with a key (a shoot, a folder, a file). A new
// state of the same list reaches the views as removed, inserted and changed rows, never as a
// reset, so a view keeps its scroll position, its current item and the delegates that stay.
#include <QAbstractListModel>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace halvetrop {

// Positions into `values` of one longest strictly increasing subsequence, in order.
inline std::vector<size_t> longestIncreasing(const std::vector<size_t>& values) {
    std::vector<size_t> tails;  // positions of the smallest tail of a run of each length
    std::vector<size_t> before(values.size(), SIZE_MAX);
    for (size_t i = 0; i < values.size(); ++i) {
        auto at = std::lower_bound(tails.begin(), tails.end(), values[i],
                                   [&](size_t p, size_t v) { return values[p] < v; });
        if (at != tails.begin()) before[i] = *(at - 1);
        if (at == tails.end())
            tails.push_back(i);
        else
            *at = i;
    }
    std::vector<size_t> out(tails.size());
    size_t p = tails.empty() ? SIZE_MAX : tails.back();
    for (size_t k = out.size(); k > 0; --k, p = before[p]) out[k - 1] = p;
    return out;
}

class KeyedRows : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

protected:
    // Turns `rows`, what data() reads, into `after`. The longest run of rows whose order holds
    // stays put; the other rows that leave or move are removed and the new ones inserted, then
    // every row is reported changed. Keys are distinct within each list.
    template <class Row, class KeyOf>
    void morphRows(std::vector<Row>& rows, std::vector<Row> after, KeyOf key) {
        const auto sameKey = [&](const Row& a, const Row& b) { return key(a) == key(b); };
        if (!std::equal(rows.begin(), rows.end(), after.begin(), after.end(), sameKey)) {
            using Key = std::decay_t<decltype(key(after.front()))>;
            std::unordered_map<Key, size_t> at;
            at.reserve(after.size());
            for (size_t j = 0; j < after.size(); ++j) at.emplace(key(after[j]), j);
            std::vector<size_t> staying, targets;
            for (size_t i = 0; i < rows.size(); ++i)
                if (auto found = at.find(key(rows[i])); found != at.end()) {
                    staying.push_back(i);
                    targets.push_back(found->second);
                }
            std::vector<char> keep(rows.size(), 0), placed(after.size(), 0);
            for (size_t k : longestIncreasing(targets)) {
                keep[staying[k]] = 1;
                placed[targets[k]] = 1;
                // Before anything moves, so that every row a view reads meanwhile is of the new state.
                rows[staying[k]] = after[targets[k]];
            }
            for (size_t end = rows.size(); end > 0;) {
                if (keep[end - 1]) {
                    --end;
                    continue;
                }
                size_t begin = end - 1;
                while (begin > 0 && !keep[begin - 1]) --begin;
                beginRemoveRows({}, int(begin), int(end - 1));
                rows.erase(rows.begin() + std::ptrdiff_t(begin), rows.begin() + std::ptrdiff_t(end));
                endRemoveRows();
                end = begin;
            }
            // The kept rows now stand in their new order; the missing ones go in between.
            for (size_t j = 0; j < after.size();) {
                if (placed[j]) {
                    ++j;
                    continue;
                }
                size_t end = j;
                while (end < after.size() && !placed[end]) ++end;
                beginInsertRows({}, int(j), int(end - 1));
                rows.insert(rows.begin() + std::ptrdiff_t(j), after.begin() + std::ptrdiff_t(j),
                            after.begin() + std::ptrdiff_t(end));
                endInsertRows();
                j = end;
            }
        }
        rows = std::move(after);
        if (!rows.empty()) emit dataChanged(index(0), index(int(rows.size()) - 1));
    }
};

}  // namespace halvetrop

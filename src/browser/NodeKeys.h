#pragma once

#include "browser/SharedText.h"

#include <cstdint>
#include <vector>

namespace browser {

// Every node of tvNode by its key (the path of its SharedText), each key once. An open-addressed
// table of pointers to the nodes themselves: a key costs a pointer and 32 bits of its hash
// instead of a copy of the string. Linear probing. The stored hash keeps a probe from reading a
// node whose hash differs, and lets the table grow and close gaps without reading any node:
// each node read is a cache miss.
class NodeKeys {
public:
    const SharedText* find(QByteArrayView key) const;
    // False, and nothing changes, when a node with the same key is already in the table.
    bool insert(const SharedText* node);
    // Takes out exactly this node (not another with the same key); nothing when it is not in.
    void remove(const SharedText* node);
    void clear();
    qsizetype size() const { return static_cast<qsizetype>(count_); }

private:
    static std::uint32_t hashOf(QByteArrayView key);
    const SharedText* find(QByteArrayView key, std::uint32_t hash) const;
    size_t mask() const { return hashes_.size() - 1; }
    void place(std::uint32_t hash, const SharedText* node);
    void grow();

    std::vector<const SharedText*> nodes_;
    std::vector<std::uint32_t> hashes_; // 0: empty
    size_t count_ = 0;
};

} // namespace browser

#pragma once

#include "browser/SharedText.h"

#include <cstdint>
#include <vector>

namespace browser {

// Every node of tvNode by its key (the path of its SharedText), each key once. An open-addressed
// table of pointers to the nodes themselves: a key costs a pointer and a tag byte instead of a
// copy of the string. Linear probing; the tag (seven bits of the hash) keeps a probe from
// reading a node whose hash differs, so a probe stays within the tag array.
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
    struct Probe {
        size_t slot;
        std::uint8_t tag;
    };
    Probe probeOf(QByteArrayView key) const;
    size_t mask() const { return tags_.size() - 1; }
    void grow();

    std::vector<const SharedText*> nodes_;
    std::vector<std::uint8_t> tags_; // 0: empty
    size_t count_ = 0;
};

} // namespace browser

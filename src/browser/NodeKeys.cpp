#include "browser/NodeKeys.h"

#include <QHashFunctions>

namespace browser {

namespace {

constexpr size_t firstSize = 16; // a power of two, like every size after it

// Grown beyond four fifths full: a tag byte per probe keeps a longer run cheap, and 100,000 keys
// still fit in 131,072 slots.
bool tooFull(size_t count, size_t slotCount)
{
    return count * 5 > slotCount * 4;
}

} // namespace

NodeKeys::Probe NodeKeys::probeOf(QByteArrayView key) const
{
    const size_t hash = qHash(key);
    // The low bits place the key, the high ones tag it; the top bit makes every tag non-zero.
    return { hash & mask(), static_cast<std::uint8_t>(0x80U | (hash >> (sizeof(size_t) * 8 - 7))) };
}

const SharedText* NodeKeys::find(QByteArrayView key) const
{
    if (count_ == 0)
        return nullptr;
    auto [slot, tag] = probeOf(key);
    for (; tags_[slot] != 0; slot = (slot + 1) & mask()) {
        if (tags_[slot] == tag && nodes_[slot]->pathBytes() == key)
            return nodes_[slot];
    }
    return nullptr;
}

bool NodeKeys::insert(const SharedText* node)
{
    if (tags_.empty() || tooFull(count_ + 1, tags_.size()))
        grow();
    const QByteArrayView key = node->pathBytes();
    auto [slot, tag] = probeOf(key);
    for (; tags_[slot] != 0; slot = (slot + 1) & mask()) {
        if (tags_[slot] == tag && nodes_[slot]->pathBytes() == key)
            return false;
    }
    tags_[slot] = tag;
    nodes_[slot] = node;
    ++count_;
    return true;
}

void NodeKeys::remove(const SharedText* node)
{
    if (count_ == 0)
        return;
    size_t slot = probeOf(node->pathBytes()).slot;
    while (nodes_[slot] != node) {
        if (tags_[slot] == 0)
            return;
        slot = (slot + 1) & mask();
    }
    // Backward shift: each later key of the run that may sit in the freed slot moves into it,
    // so no probe ever stops early at a hole (and no tombstones pile up).
    size_t hole = slot;
    for (size_t next = (hole + 1) & mask(); tags_[next] != 0; next = (next + 1) & mask()) {
        const size_t home = probeOf(nodes_[next]->pathBytes()).slot;
        // Movable when its home is not in the cyclic range (hole, next].
        if (((next - home) & mask()) >= ((next - hole) & mask())) {
            tags_[hole] = tags_[next];
            nodes_[hole] = nodes_[next];
            hole = next;
        }
    }
    tags_[hole] = 0;
    nodes_[hole] = nullptr;
    --count_;
}

void NodeKeys::clear()
{
    std::vector<const SharedText*>().swap(nodes_);
    std::vector<std::uint8_t>().swap(tags_);
    count_ = 0;
}

void NodeKeys::grow()
{
    std::vector<const SharedText*> oldNodes(tags_.empty() ? firstSize : tags_.size() * 2);
    oldNodes.swap(nodes_);
    std::vector<std::uint8_t> oldTags(nodes_.size());
    oldTags.swap(tags_);
    count_ = 0;
    for (size_t i = 0; i < oldTags.size(); ++i) {
        if (oldTags[i] != 0)
            insert(oldNodes[i]);
    }
}

} // namespace browser

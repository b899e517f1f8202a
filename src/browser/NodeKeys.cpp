#include "browser/NodeKeys.h"

#include <QHashFunctions>

namespace browser {

namespace {

constexpr size_t firstSize = 16; // a power of two, like every size after it

// Grown beyond four fifths full: the stored hash keeps a longer run cheap, so the table may be
// fuller and smaller.
bool tooFull(size_t count, size_t slotCount)
{
    return count * 5 > slotCount * 4;
}

} // namespace

std::uint32_t NodeKeys::hashOf(QByteArrayView key)
{
    // Seeded per process like QHash: a server cannot choose names that all land in one run.
    // Never 0, which marks an empty slot.
    const auto hash = static_cast<std::uint32_t>(qHash(key, QHashSeed::globalSeed()));
    return hash == 0 ? 1 : hash;
}

const SharedText* NodeKeys::find(QByteArrayView key) const
{
    return count_ == 0 ? nullptr : find(key, hashOf(key));
}

const SharedText* NodeKeys::find(QByteArrayView key, std::uint32_t hash) const
{
    for (size_t slot = hash & mask(); hashes_[slot] != 0; slot = (slot + 1) & mask()) {
        if (hashes_[slot] == hash && nodes_[slot]->pathBytes() == key)
            return nodes_[slot];
    }
    return nullptr;
}

bool NodeKeys::insert(const SharedText* node)
{
    const std::uint32_t hash = hashOf(node->pathBytes());
    if (count_ > 0 && find(node->pathBytes(), hash))
        return false;
    if (hashes_.empty() || tooFull(count_ + 1, hashes_.size()))
        grow();
    place(hash, node);
    return true;
}

void NodeKeys::place(std::uint32_t hash, const SharedText* node)
{
    size_t slot = hash & mask();
    while (hashes_[slot] != 0)
        slot = (slot + 1) & mask();
    hashes_[slot] = hash;
    nodes_[slot] = node;
    ++count_;
}

void NodeKeys::remove(const SharedText* node)
{
    if (count_ == 0)
        return;
    size_t slot = hashOf(node->pathBytes()) & mask();
    while (nodes_[slot] != node) {
        if (hashes_[slot] == 0)
            return;
        slot = (slot + 1) & mask();
    }
    // Backward shift: each later key of the run that may sit in the freed slot moves into it,
    // so no probe ever stops early at a hole (and no tombstones pile up).
    size_t hole = slot;
    for (size_t next = (hole + 1) & mask(); hashes_[next] != 0; next = (next + 1) & mask()) {
        const size_t home = hashes_[next] & mask();
        // Movable when its home is not in the cyclic range (hole, next].
        if (((next - home) & mask()) >= ((next - hole) & mask())) {
            hashes_[hole] = hashes_[next];
            nodes_[hole] = nodes_[next];
            hole = next;
        }
    }
    hashes_[hole] = 0;
    nodes_[hole] = nullptr;
    --count_;
}

void NodeKeys::clear()
{
    std::vector<const SharedText*>().swap(nodes_);
    std::vector<std::uint32_t>().swap(hashes_);
    count_ = 0;
}

void NodeKeys::grow()
{
    std::vector<const SharedText*> oldNodes(hashes_.empty() ? firstSize : hashes_.size() * 2);
    oldNodes.swap(nodes_);
    std::vector<std::uint32_t> oldHashes(nodes_.size());
    oldHashes.swap(hashes_);
    count_ = 0;
    for (size_t i = 0; i < oldHashes.size(); ++i) {
        if (oldHashes[i] != 0)
            place(oldHashes[i], oldNodes[i]);
    }
}

} // namespace browser

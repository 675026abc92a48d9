#include "htextindex.h"

#include <QHash>
#include <QtMath>

HTextIndex::HTextIndex(qint64 expected)
{
    // At most half full.
    m_slots.resize(qNextPowerOfTwo(quint32(qBound<qint64>(8, expected * 2, 1 << 24))));
    m_texts.reserve(int(qBound<qint64>(0, expected, 1 << 23)));
}

// The slot holding `text`, or the free slot where it belongs.
size_t HTextIndex::slotOf(const QString &text, uint hash) const
{
    const size_t mask = m_slots.size() - 1;
    size_t at = hash & mask;
    for (; m_slots[at].second != 0; at = (at + 1) & mask) {
        if (m_slots[at].first == hash && m_texts.at(m_slots[at].second - 1) == text)
            break;
    }
    return at;
}

int HTextIndex::insert(const QString &text, bool *added)
{
    if (quint64(m_texts.size()) * 2 >= m_slots.size()) {
        std::vector<std::pair<uint, int>> grown(m_slots.size() * 2);
        const size_t mask = grown.size() - 1;
        for (const auto &slot : m_slots) {
            if (slot.second == 0)
                continue;
            size_t at = slot.first & mask;
            while (grown[at].second != 0)
                at = (at + 1) & mask;
            grown[at] = slot;
        }
        m_slots.swap(grown);
    }
    const uint hash = qHash(text);
    const size_t at = slotOf(text, hash);
    if (added)
        *added = m_slots[at].second == 0;
    if (m_slots[at].second != 0)
        return m_slots[at].second - 1;
    m_texts.append(text);
    m_slots[at] = {hash, m_texts.size()};
    return m_texts.size() - 1;
}

int HTextIndex::find(const QString &text) const
{
    return m_slots[slotOf(text, qHash(text))].second - 1;
}

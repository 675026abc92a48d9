#pragma once

#include <QString>
#include <QVector>

#include <utility>
#include <vector>

// Distinct texts in the order they were first added, found by their text. The index is one
// array of (hash, position + 1) pairs searched by open addressing: a hash table's node per
// text made allocating and freeing it most of the time of a large workbook exchange.
class HTextIndex
{
public:
    // `expected`: about how many distinct texts will be added (the array grows past it).
    explicit HTextIndex(qint64 expected = 0);

    // The position of `text`, added at the end when it is new (*added then true).
    int insert(const QString &text, bool *added = nullptr);
    // The position of `text`, or -1.
    int find(const QString &text) const;

    const QVector<QString> &texts() const { return m_texts; }

private:
    size_t slotOf(const QString &text, uint hash) const;

    QVector<QString> m_texts;
    std::vector<std::pair<uint, int>> m_slots;
};

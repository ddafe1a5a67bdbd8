#pragma once
// An address kept in one column ("東京都府中市宮西町4-5-6 パークハイツ府中302")
// split into prefecture, municipality (a designated city's ward and a county
// town included, as the postal list writes them) and the rest (town, number,
// building), by the names of the postal list when one is loaded and by the
// shipped table of municipalities otherwise.

#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>

namespace tessolo::csvimport {

struct SplitAddress {
    QString prefecture;
    QString city;
    QString rest;
};

class TAddressSplitter {
public:
    // From "prefecture,municipality" pairs.
    explicit TAddressSplitter(const QList<std::pair<QString, QString>>& municipalities);

    // The names of m_postal when it holds any, else the shipped table.
    static TAddressSplitter forImport();
    static TAddressSplitter shipped();

    // Empty when the value names no municipality this table knows, or when
    // the prefecture is left off and the municipality's name is found in
    // more than one prefecture (府中市).
    std::optional<SplitAddress> split(const QString& whole) const;

private:
    QString municipalityAt(QStringView text, const QString& prefecture, QStringList* prefectures) const;

    QStringList m_prefectures;
    QHash<QString, QStringList> m_prefecturesOf; // municipality -> prefectures holding one of that name
    qsizetype m_longest = 0;                     // longest municipality name
};

} // namespace tessolo::csvimport

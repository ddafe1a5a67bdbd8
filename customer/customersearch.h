#pragma once
// Finding customers in the roster by any part of what is kept about them.
// Each listed customer carries a key made once when the list is read; a
// keystroke then only compares keys, so the list follows the typing without
// asking the database again. Matching is on the text as the user sees it
// (decoded from code page 932), never on the stored bytes.

#include "customer/customer.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace tessolo::customersearch {

struct Key {
    QString text;   // name, readings, company, department, address, mail, memo: folded
    QString phones; // telephone, fax and postal code: folded, separators removed
};

Key keyOf(const customer::Record& r);
// The same from the values in table order, wherever they are held.
using Values = std::array<QStringView, customer::kColumnCount>;
Key keyOf(const Values& r);

// What the user typed: blank-separated words, each of which must be found.
class TQuery {
public:
    explicit TQuery(const QString& typed = QString());
    bool isEmpty() const { return m_terms.isEmpty(); }
    bool matches(const Key& key) const;

private:
    struct Term {
        QString text;
        QString phone; // empty when the word holds no digit
    };
    QList<Term> m_terms;
};

} // namespace tessolo::customersearch

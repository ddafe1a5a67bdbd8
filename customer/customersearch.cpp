#include "customer/customersearch.h"

#include "text/searchfold.h"

namespace tessolo::customersearch {

namespace {

bool hasDigit(QStringView s)
{
    for (QChar c : s) {
        if (c.isDigit())
            return true;
    }
    return false;
}

} // namespace

Key keyOf(const Values& r)
{
    // A line break keeps a word from running from one field into the next;
    // the four parts of the address run on, as the address is read.
    const QChar sep = QLatin1Char('\n');
    QString text;
    text.reserve(256);
    namespace col = customer::col;
    for (int c : {col::PersonName, col::PersonKana, col::CompanyName, col::CompanyKana, col::Department})
        text.append(r[size_t(c)]).append(sep);
    for (int c : {col::Prefecture, col::City, col::Town, col::Building})
        text.append(r[size_t(c)]);
    for (int c : {col::Email1, col::Email2, col::Memo})
        text.append(sep).append(r[size_t(c)]);
    // The postal code sits with the numbers, so that 123-4567 finds the
    // stored 1234567 with or without its hyphen.
    QString numbers;
    numbers.reserve(r[col::Tel].size() + r[col::Fax].size() + r[col::PostalCode].size() + 2);
    numbers.append(r[col::Tel]).append(sep).append(r[col::Fax]).append(sep).append(r[col::PostalCode]);
    return {foldForSearch(text), phoneDigits(foldForSearch(numbers))};
}

Key keyOf(const customer::Record& r)
{
    Values v;
    for (size_t c = 0; c < v.size(); ++c)
        v[c] = r[c];
    return keyOf(v);
}

TQuery::TQuery(const QString& typed)
{
    const QString folded = foldForSearch(typed);
    for (const QString& word : folded.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        QString digits = phoneDigits(word);
        // 〒150-0001 is how a postal code is written, not part of it.
        if (digits.startsWith(QChar(0x3012)))
            digits.remove(0, 1);
        m_terms.append({word, hasDigit(digits) ? digits : QString()});
    }
}

bool TQuery::matches(const Key& key) const
{
    for (const Term& t : m_terms) {
        if (key.text.contains(t.text))
            continue;
        if (!t.phone.isEmpty() && key.phones.contains(t.phone))
            continue;
        return false;
    }
    return true;
}

} // namespace tessolo::customersearch

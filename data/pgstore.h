#pragma once
// The roster on a PostgreSQL server an office shares. The server holds the
// program's three tables with the same columns, and what several PCs at once
// need besides: a key per customer and site (the rowid's role, a bigserial
// column named rowid), a row version that every update raises (a stale
// update or delete touches no row and is refused), an index for the postal
// lookup, and a trigger that tells every listening PC of a change.
//
// Text is UTF-8 on the server but holds only what code page 932 can: every
// value passes through the same '?' rule as the file, so a roster moved from
// the file to the server and back gives the same bytes.
//
// Readings are ordered here, in the program, with the file's own kana
// collation over the code page 932 bytes: the server's collations know
// nothing of that order (hiragana read as katakana, ties by bytes).

#include "data/store.h"

#include <memory>

namespace tessolo::store {

class TPgConnection;

class TPgStore final : public TStore {
public:
    // Connects (asking for a password once where the server wants one) and
    // makes sure the schema is there. Throws EServerUnavailable.
    explicit TPgStore(const QString& uri);
    ~TPgStore() override;

    QString description() const override;
    bool isServer() const override { return true; }
    void ensureSchema() override;

    QList<CustomerRow> customers() override;
    std::optional<CustomerRow> customer(qint64 key) override;
    CustomerRow insertCustomer(const CustomerValues& values) override;
    CustomerRow updateCustomer(const CustomerRow& loaded, const CustomerValues& values) override;
    void deleteCustomer(const CustomerRow& loaded) override;
    qsizetype insertCustomers(const QList<CustomerValues>& rows) override;
    qsizetype deleteCustomers(const QList<qint64>& keys) override;
    qsizetype updateCustomers(const QList<qint64>& keys, const CustomerChange& change) override;

    QList<SiteRow> sites() override;
    SiteRow insertSite(const SiteValues& values) override;
    SiteRow updateSite(const SiteRow& loaded, const SiteValues& values) override;
    void deleteSite(const SiteRow& loaded) override;

    QList<postal::PostalAddress> postalAddresses(const QString& code) override;
    PostalAddressesByCode postalAddressesOf(const QSet<QString>& codes) override;
    bool postalListLoaded() override;
    std::optional<Business> postalBusiness(const QString& code) override;
    qint64 loadPostalList(PostalKind kind, const PostalSource& next) override;

    bool waitForChange(int timeoutMs) override;

    // The connection the store works on, for moving whole tables in and out.
    TPgConnection& connection();

private:
    QString m_uri;
    std::unique_ptr<TPgConnection> m_conn;
    std::unique_ptr<TPgConnection> m_listen; // opened by the first waitForChange
};

} // namespace tessolo::store

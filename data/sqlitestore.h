#pragma once
// The roster in a SQLite file, through the same statements TSQLiteDo runs
// for the windows: the file stays exactly what it always was (no key or
// version column is added), so a conflict is found by comparing the stored
// row with the values the window loaded.

#include "data/store.h"

#include <memory>

namespace tessolo {
class TSQLiteDatabase;
}

namespace tessolo::store {

class TSqliteStore final : public TStore {
public:
    // `path` empty: the file every TSQLiteDo opens (location::databaseFile).
    explicit TSqliteStore(QString path = QString());
    ~TSqliteStore() override;

    QString path() const;

    QString description() const override { return path(); }
    bool isServer() const override { return false; }
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

private:
    std::unique_ptr<TSQLiteDatabase> connect() const;
    // Takes the file's change counter as seen now as the last one known.
    void noteOwnWrite();

    QString m_path;
    std::unique_ptr<TSQLiteDatabase> m_watch; // kept open: the change counter is per connection
    qint64 m_seenVersion = -1;
};

} // namespace tessolo::store

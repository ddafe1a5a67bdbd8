#pragma once
// Where the roster lives: the SQLite file on this PC, or a PostgreSQL server
// an office shares. The windows that have moved to this interface work the
// same on both; what differs (the file's rowid against the server's key
// column, comparing the loaded values against a row version) stays inside
// the two implementations.
//
// A row is handed out with its key (the file's rowid, the server's rowid
// column) and what it looked like when read. Update and delete take that
// loaded row back and refuse, with EConflict and nothing written, when the
// stored row is no longer the one loaded: another PC (or another program on
// the same file) changed or deleted it meanwhile.

#include "data/errors.h"
#include "data/fieldtable.h"
#include "postal/postalcode.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

namespace tessolo::store {

// The same array type as customer::Record and ourcompany::Record.
using CustomerValues = std::array<QString, customer::kFields.size()>;
using SiteValues = std::array<QString, ourcompany::kFields.size()>;

template <typename Values> struct Row {
    qint64 key = 0;     // rowid
    qint64 version = 0; // the server's row version; 0 in the file, which compares values instead
    Values values;
};
using CustomerRow = Row<CustomerValues>;
using SiteRow = Row<SiteValues>;

// The nine stored fields of one line of the national postal list.
inline constexpr int kPostalColumnCount = 9;
using PostalValues = std::array<QString, kPostalColumnCount>;
// m_postal's columns, in table order.
extern const std::array<QString, kPostalColumnCount> kPostalColumns;

// Which rows of m_postal a list replaces: an address list its address rows,
// the business list its business rows (those with an empty prefecture1).
enum class PostalKind { Addresses, Businesses };

// Given a stored customer's values, answers what they become, or nothing to
// leave the customer as it is.
using CustomerChange = std::function<std::optional<CustomerValues>(const CustomerValues& stored)>;

// Gives the next line of a list being loaded; false when there is none.
using PostalSource = std::function<bool(PostalValues& next)>;

// The stored row is no longer the one the window loaded.
class EConflict : public TessoloError {
public:
    EConflict()
        : TessoloError(QStringLiteral("この顧客は他で変更または削除されました。"))
    { }
    explicit EConflict(QString message)
        : TessoloError(std::move(message))
    { }
};

// The conflict said of a customer, or of one of the own company's sites.
template <typename Values> EConflict conflictOf()
{
    if constexpr (std::is_same_v<Values, SiteValues>)
        return EConflict(QStringLiteral("この自社情報は他で変更または削除されました。"));
    else
        return EConflict();
}

// The server cannot be reached, or went away during the work. Nothing of
// that work was kept; the caller keeps what the user typed.
class EServerUnavailable : public TessoloError {
public:
    using TessoloError::TessoloError;
};

class TStore {
public:
    virtual ~TStore() = default;
    TStore() = default;
    TStore(const TStore&) = delete;
    TStore& operator=(const TStore&) = delete;

    // What the store is, for a window's title or a message: the file's path,
    // or the server URI (never a password).
    virtual QString description() const = 0;
    virtual bool isServer() const = 0;

    // Creates whatever the three tables (and, on a server, their keys,
    // indexes and triggers) lack.
    virtual void ensureSchema() = 0;

    // Every customer in reading order (person_kana, hiragana read as
    // katakana, as the file's kana collation orders).
    virtual QList<CustomerRow> customers() = 0;
    virtual std::optional<CustomerRow> customer(qint64 key) = 0;
    // The stored row as it is now, key and version included.
    virtual CustomerRow insertCustomer(const CustomerValues& values) = 0;
    // Throw EConflict when the stored row is not `loaded` any more.
    virtual CustomerRow updateCustomer(const CustomerRow& loaded, const CustomerValues& values) = 0;
    virtual void deleteCustomer(const CustomerRow& loaded) = 0;
    // All rows or none, in one transaction. Returns the rows stored.
    virtual qsizetype insertCustomers(const QList<CustomerValues>& rows) = 0;
    // Many chosen customers at once, all or none in one transaction; keys
    // no longer stored are passed over. Unlike the loaded customer's 更新,
    // a change here starts from the row as stored now (held against other
    // writers until the commit), so that it adds to another PC's change
    // instead of overwriting it. Each returns the rows it changed.
    virtual qsizetype deleteCustomers(const QList<qint64>& keys) = 0;
    virtual qsizetype updateCustomers(const QList<qint64>& keys, const CustomerChange& change) = 0;

    // The own company's sites, in the order they were added.
    virtual QList<SiteRow> sites() = 0;
    virtual SiteRow insertSite(const SiteValues& values) = 0;
    virtual SiteRow updateSite(const SiteRow& loaded, const SiteValues& values) = 0;
    virtual void deleteSite(const SiteRow& loaded) = 0;

    // Every address a seven-digit code stands for, as TSQLiteDo's lookup
    // gives them (table order, notes cleaned, each once, the last wins).
    virtual QList<postal::PostalAddress> postalAddresses(const QString& code) = 0;
    // The same for many codes at once, as an import's check asks: each code
    // given maps to its addresses, empty where the list lacks it.
    using PostalAddressesByCode = QHash<QString, QList<postal::PostalAddress>>;
    virtual PostalAddressesByCode postalAddressesOf(const QSet<QString>& codes) = 0;
    virtual bool postalListLoaded() = 0;
    // The business a business's own code names, from the business list:
    // its name and the name's reading, as the list writes them.
    struct Business {
        QString name, reading;
    };
    virtual std::optional<Business> postalBusiness(const QString& code) = 0;
    // Replaces the rows of `kind` with the lines `next` gives, in one
    // transaction: a failure, or `next` throwing, keeps the old rows.
    // Returns the lines stored.
    virtual qint64 loadPostalList(PostalKind kind, const PostalSource& next) = 0;

    // True when the customers or the sites changed since the last call,
    // by anyone but this store itself; waits at most `timeoutMs` for it.
    virtual bool waitForChange(int timeoutMs) = 0;
};

// The stored text of a value: code page 932 holds it, or it becomes '?' as in
// the file. Applied to every value a server is given.
QString keptAsCp932(const QString& value);

// Adds one row of a postal lookup's result as TSQLiteDo's lookup does: the
// town cleaned of the list's notes, a row that only continues the one before
// dropped, equal rows once (the last keeps its place).
void addPostalRow(QList<postal::PostalAddress>& rows, const QString& prefecture2, const QString& city2,
                  const QString& town2);

// The server URI forms libpq reads ("postgresql://", "postgres://").
bool isServerUri(const QString& text);

// Opens the store `location` names: a server URI, else a SQLite file path
// (empty: the default tessolo.db). Throws EServerUnavailable, TessoloError.
std::unique_ptr<TStore> open(const QString& location);

// The store the windows use. Without a choice it is the SQLite file every
// TSQLiteDo opens; setCurrent() gives the windows a server (or file) instead.
TStore& current();
void setCurrent(std::unique_ptr<TStore> store);
bool currentIsServer();
class TPgStore;
// The server the windows use; nullptr when they use a file.
TPgStore* currentServer();
// For the commands that still work on the file alone: refuses, saying so,
// while the windows use a server, so that nothing is read from or written
// to a file the office does not see.
void requireFile(const QString& command);

// The password of a server that asks for one is asked once per start
// through this (a window sets it); kept in memory only, never written.
using PasswordPrompt = std::function<std::optional<QString>(const QString& uri)>;
void setPasswordPrompt(PasswordPrompt prompt);
PasswordPrompt passwordPrompt();

} // namespace tessolo::store

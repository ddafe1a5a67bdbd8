#include "data/store.h"

#include "data/pgstore.h"
#include "data/sqlitestore.h"
#include "text/cp932.h"

namespace tessolo::store {

const std::array<QString, kPostalColumnCount> kPostalColumns = {
    QStringLiteral("gov_code"),    QStringLiteral("postal_code1"), QStringLiteral("postal_code2"),
    QStringLiteral("prefecture1"), QStringLiteral("city1"),        QStringLiteral("town1"),
    QStringLiteral("prefecture2"), QStringLiteral("city2"),        QStringLiteral("town2"),
};

namespace {

std::unique_ptr<TStore>& currentStore()
{
    static std::unique_ptr<TStore> store;
    return store;
}

PasswordPrompt& prompt()
{
    static PasswordPrompt p;
    return p;
}

} // namespace

QString keptAsCp932(const QString& value)
{
    // Plain ASCII is what most values are: it converts to itself.
    bool ascii = true;
    for (const QChar c : value) {
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    }
    return ascii ? value : cp932::decode(cp932::encode(value));
}

void addPostalRow(QList<postal::PostalAddress>& rows, const QString& prefecture2, const QString& city2,
                  const QString& town2)
{
    const postal::PostalAddress a{prefecture2, city2, postal::townName(town2)};
    const bool continuation =
        a.town.isEmpty() && !rows.isEmpty() && rows.last().prefecture == a.prefecture && rows.last().city == a.city;
    if (!continuation) {
        rows.removeAll(a);
        rows.append(a);
    }
}

bool isServerUri(const QString& text)
{
    return text.startsWith(QLatin1String("postgresql://")) || text.startsWith(QLatin1String("postgres://"));
}

std::unique_ptr<TStore> open(const QString& location)
{
    if (isServerUri(location))
        return std::make_unique<TPgStore>(location);
    auto file = std::make_unique<TSqliteStore>(location);
    file->ensureSchema();
    return file;
}

TStore& current()
{
    auto& store = currentStore();
    if (!store)
        store = std::make_unique<TSqliteStore>();
    return *store;
}

void setCurrent(std::unique_ptr<TStore> store) { currentStore() = std::move(store); }

bool currentIsServer() { return current().isServer(); }

TPgStore* currentServer() { return dynamic_cast<TPgStore*>(&current()); }

void requireFile(const QString& command)
{
    if (currentIsServer()) {
        throw TessoloError(QStringLiteral("「%1」は、サーバーの顧客名簿ではまだ使えません。"
                                          "このパソコンのファイルを使うときに実行してください。")
                               .arg(command));
    }
}

void setPasswordPrompt(PasswordPrompt p) { prompt() = std::move(p); }

PasswordPrompt passwordPrompt() { return prompt(); }

} // namespace tessolo::store

#pragma once
// Shared pieces of the window tests: a database of the test's own (suites run
// in parallel), customers and postal rows put in through the data layer, and
// the messages the default error display would have shown.

#include "data/datalocation.h"
#include "data/sqlitedo.h"
#include "customer/customer.h"
#include "ui/errordisplay.h"
#include "tests/testevents.h"

#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace uitest {

class Db {
public:
    Db()
    {
        tessolo::location::setDataDirectory(m_dir.path());
        tessolo::TSQLiteDo h;
        h.initDB(tessolo::kDatabaseName);
    }
    ~Db() { tessolo::location::setDataDirectory(QString()); }
    bool ok() const { return m_dir.isValid(); }

    static void exec(const QString& sql)
    {
        tessolo::TSQLiteDo h;
        h.setDBpoint(tessolo::kDatabaseName);
        h.exec_sql(sql);
    }
    // Adds a customer from its leading columns (name, reading, company, ...).
    static void addCustomer(std::initializer_list<QString> leading)
    {
        tessolo::customer::Record r;
        int i = 0;
        for (const QString& v : leading)
            r[size_t(i++)] = v;
        exec(tessolo::customer::insertSql(r));
    }
    static void addPostal(const QString& code, const QString& pref, const QString& city, const QString& town)
    {
        exec(QStringLiteral(
                 "insert into m_postal (postal_code2, prefecture2, city2, town2) values ('%1','%2','%3','%4')")
                 .arg(code, pref, city, town));
    }
    // One column of a query, every row.
    static QStringList column(const QString& sql, const QString& name)
    {
        tessolo::TSQLiteDo h;
        h.getDBpoint(tessolo::kDatabaseName);
        QStringList out;
        auto t = h.query(sql);
        for (t->MoveFirst(); !t->Eof(); t->Next())
            out << t->NamedFieldAsString(name);
        return out;
    }
    static int customerCount()
    {
        return column(QStringLiteral("select count(*) as n from t_customer"), QStringLiteral("n")).value(0).toInt();
    }

private:
    QTemporaryDir m_dir;
};

// Collects what the default error display shows while it lives.
class Errors {
public:
    Errors()
    {
        QObject::connect(&testEvents(), &tessolo::ui::TAppEvents::errorRaised,
                         [this](const QString& m) { messages << m; });
    }
    ~Errors() { QObject::disconnect(&testEvents(), &tessolo::ui::TAppEvents::errorRaised, nullptr, nullptr); }
    QStringList messages;
};

} // namespace uitest

#pragma once
// A transaction bound to a scope: begun when the object is made, rolled back
// when the scope is left without commit(), by an exception or an early
// return alike. Every bulk write goes through one, so that a failure half way
// never leaves half a list in the file and no caller writes its own rollback.

#include "data/sqlitedb.h"

namespace tessolo {

class TTransaction {
public:
    explicit TTransaction(TSQLiteDatabase& db);
    // Rolls back unless committed. A failing rollback is swallowed: the
    // error already unwinding is the one the user must see, and closing the
    // connection rolls back again.
    ~TTransaction();
    TTransaction(const TTransaction&) = delete;
    TTransaction& operator=(const TTransaction&) = delete;

    // Makes the writes permanent; raises when the commit fails, and the
    // destructor then rolls back.
    void commit();
    bool committed() const { return m_committed; }
    TSQLiteDatabase& connection() const { return m_db; }

private:
    TSQLiteDatabase& m_db;
    bool m_committed = false;
};

} // namespace tessolo

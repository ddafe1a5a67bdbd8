#include "data/transaction.h"

#include "data/errors.h"

namespace tessolo {

Transaction::Transaction(TSQLiteDatabase& db) : m_db(db) { m_db.BeginTransaction(); }

Transaction::~Transaction()
{
    if (m_committed || !m_db.IsTransactionOpen())
        return;
    try {
        m_db.Rollback();
    } catch (const ESQLiteException&) {
    }
}

void Transaction::commit()
{
    m_db.Commit();
    m_committed = true;
}

} // namespace tessolo

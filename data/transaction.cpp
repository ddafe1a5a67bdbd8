#include "data/transaction.h"

#include "data/errors.h"

namespace tessolo {

TTransaction::TTransaction(TSQLiteDatabase& db)
    : m_db(db)
{
    m_db.BeginTransaction();
}

TTransaction::~TTransaction()
{
    if (m_committed || !m_db.IsTransactionOpen())
        return;
    try {
        m_db.Rollback();
    } catch (const ESQLiteException&) { }
}

void TTransaction::commit()
{
    m_db.Commit();
    m_committed = true;
}

} // namespace tessolo

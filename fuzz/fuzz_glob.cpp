// The code page 932 GLOB with arbitrary pattern and text (the picker's search
// puts typed text into a pattern). Checked against SQLite's own GLOB where
// both are ASCII, since there the two must agree.
#include "text/cp932glob.h"

#include <QByteArray>
#include <sqlite3.h>
#include <cstdlib>

namespace {

sqlite3* plainDb()
{
    static sqlite3* db = [] {
        sqlite3* d = nullptr;
        sqlite3_open(":memory:", &d);
        return d;
    }();
    return db;
}

bool sqliteGlob(const QByteArray& pattern, const QByteArray& text)
{
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(plainDb(), "select ?2 glob ?1", -1, &st, nullptr);
    sqlite3_bind_text(st, 1, pattern.constData(), int(pattern.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    sqlite3_step(st);
    const bool r = sqlite3_column_int(st, 0) != 0;
    sqlite3_finalize(st);
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t split = std::min<size_t>(data[0], size - 1);
    const QByteArray pattern(reinterpret_cast<const char*>(data) + 1, qsizetype(split));
    const QByteArray text(reinterpret_cast<const char*>(data) + 1 + split, qsizetype(size - 1 - split));
    const bool ours = tessolo::cp932Glob(pattern, text);

    auto plainAscii = [](const QByteArray& b) {
        for (char c : b) {
            if (c <= 0 || c > 126)
                return false;
        }
        return true;
    };
    if (plainAscii(pattern) && plainAscii(text) && ours != sqliteGlob(pattern, text))
        abort();
    return 0;
}

#include "data/cp932glob.h"

#include "data/kanafold.h"

namespace tessolo {

namespace {

bool isLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Reads one character at `i` and advances; a lead byte at the very end stands
// alone. A hiragana reads as its katakana: a reading typed in hiragana is
// found under the kana it stands for.
unsigned readChar(QByteArrayView s, qsizetype& i)
{
    const auto b = static_cast<unsigned char>(s[i++]);
    if (isLeadByte(b) && i < s.size())
        return kana::foldCp932((unsigned(b) << 8) | static_cast<unsigned char>(s[i++]));
    return b;
}

// Matches a class starting after '['; sets `i` past its ']'. An unclosed
// class matches nothing, as in SQLite.
bool matchClass(QByteArrayView p, qsizetype& i, unsigned c, bool& closed)
{
    bool invert = false, seen = false;
    unsigned prev = 0;
    closed = false;
    if (i < p.size() && p[i] == '^') {
        invert = true;
        ++i;
    }
    if (i < p.size() && p[i] == ']') {
        seen = (c == ']');
        prev = ']';
        ++i;
    }
    while (i < p.size()) {
        if (p[i] == ']') {
            ++i;
            closed = true;
            return seen != invert;
        }
        if (p[i] == '-' && prev && i + 1 < p.size() && p[i + 1] != ']') {
            ++i;
            const unsigned hi = readChar(p, i);
            if (c >= prev && c <= hi)
                seen = true;
            prev = 0;
            continue;
        }
        prev = readChar(p, i);
        if (c == prev)
            seen = true;
    }
    return false;
}

bool match(QByteArrayView p, qsizetype pi, QByteArrayView s, qsizetype si)
{
    while (pi < p.size()) {
        const char pc = p[pi];
        if (pc == '*') {
            while (pi < p.size() && (p[pi] == '*' || p[pi] == '?')) {
                if (p[pi] == '?') {
                    if (si >= s.size())
                        return false;
                    readChar(s, si);
                }
                ++pi;
            }
            if (pi >= p.size())
                return true;
            while (si <= s.size()) {
                if (match(p, pi, s, si))
                    return true;
                if (si >= s.size())
                    return false;
                readChar(s, si);
            }
            return false;
        }
        if (si >= s.size())
            return false;
        const unsigned c = readChar(s, si);
        if (pc == '?') {
            ++pi;
            continue;
        }
        if (pc == '[') {
            ++pi;
            bool closed = false;
            if (!matchClass(p, pi, c, closed) || !closed)
                return false;
            continue;
        }
        if (readChar(p, pi) != c)
            return false;
    }
    return si >= s.size();
}

void globFunction(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    // glob(pattern, text), as SQLite calls it for "text GLOB pattern".
    const auto* pattern = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const int plen = sqlite3_value_bytes(argv[0]);
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    const int tlen = sqlite3_value_bytes(argv[1]);
    if (!pattern || !text)
        return; // NULL in, NULL out: no row matches
    sqlite3_result_int(ctx, cp932Glob(QByteArrayView(pattern, plen), QByteArrayView(text, tlen)) ? 1 : 0);
}

} // namespace

bool cp932Glob(QByteArrayView pattern, QByteArrayView text) { return match(pattern, 0, text, 0); }

int registerCp932Glob(sqlite3* db)
{
    return sqlite3_create_function(db, "glob", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, &globFunction,
                                   nullptr, nullptr);
}

} // namespace tessolo

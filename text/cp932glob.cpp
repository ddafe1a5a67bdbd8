#include "text/cp932glob.h"

#include "text/kanafold.h"

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

enum class Step { Matched, Mismatched, Never };

// Matches the one pattern element at `pi` (not a '*') against the character
// at `si`, advancing both on a match. Never: the pattern can match no text
// (an unclosed class), wherever the stars put it.
Step matchOne(QByteArrayView p, qsizetype& pi, QByteArrayView s, qsizetype& si)
{
    if (si >= s.size())
        return Step::Mismatched;
    const unsigned c = readChar(s, si);
    const char pc = p[pi];
    if (pc == '?') {
        ++pi;
        return Step::Matched;
    }
    if (pc == '[') {
        ++pi;
        bool closed = false;
        const bool in = matchClass(p, pi, c, closed);
        if (!closed)
            return Step::Never;
        return in ? Step::Matched : Step::Mismatched;
    }
    return readChar(p, pi) == c ? Step::Matched : Step::Mismatched;
}

// Only the latest '*' is ever retried: whatever an earlier one swallowed,
// the later one can swallow as well, so time stays within pattern times
// text even for a typed "*ア*ア*ア*ン".
bool match(QByteArrayView p, QByteArrayView s)
{
    qsizetype pi = 0, si = 0;
    qsizetype starP = -1, starS = 0;
    while (pi < p.size() || si < s.size()) {
        if (pi < p.size() && p[pi] == '*') {
            while (pi < p.size() && p[pi] == '*')
                ++pi;
            starP = pi;
            starS = si;
            continue;
        }
        if (pi < p.size()) {
            qsizetype np = pi, ns = si;
            const Step step = matchOne(p, np, s, ns);
            if (step == Step::Never)
                return false;
            if (step == Step::Matched) {
                pi = np;
                si = ns;
                continue;
            }
        }
        // Mismatch, or text left over after the pattern: let the last star
        // take one more character and try again from behind it.
        if (starP < 0 || starS >= s.size())
            return false;
        readChar(s, starS);
        pi = starP;
        si = starS;
    }
    return true;
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

bool cp932Glob(QByteArrayView pattern, QByteArrayView text) { return match(pattern, text); }

int registerCp932Glob(sqlite3* db)
{
    return sqlite3_create_function(db, "glob", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, &globFunction, nullptr,
                                   nullptr);
}

} // namespace tessolo

#pragma once
// One description of each record's fields: the customer (t_customer) and the
// own company's sites (m_our_company). Saving, loading and clearing a window,
// the list columns, the CSV export header, the CSV import's field list and
// the statements all go by these tables, so a field is added or renamed in
// one place. Each table runs in the order of its table's columns, which is
// the order the inserts give their values in.

#include <QString>
#include <QStringList>
#include <QStringView>
#include <array>
#include <span>

namespace tessolo::fields {

// What a field holds, which decides how it is typed, shown and stored.
enum class Role {
    Text,        // a name or title, typed in Japanese
    Reading,     // the katakana reading of the field before it
    PostalCode,  // seven digits, stored without the hyphen
    AddressPart, // prefecture, city, town or building
    Phone,       // telephone or fax number
    Mail,        // an e-mail address
    Web,         // a web address, stored without its scheme
    Memo,        // free lines, stored with CR LF between them
};

struct Field {
    QStringView column;  // the column in the database table
    QStringView caption; // the name in a CSV file's header line
    QStringView label;   // the label beside the control in the window
    QStringView heading; // the heading of its column in a list (empty where no list shows it)
    const char* control; // objectName of the control that shows the field
    Role role;
    // Other names a CSV header may give the field, '|' between them; they
    // are compared as the import compares header names.
    QStringView aliases = {};
};

using Table = std::span<const Field>;

// One text of every field as a list, e.g. texts(kFields, &Field::column).
QStringList texts(Table table, QStringView Field::*member);
// One text of every field, e.g. each(kFields, &Field::column).
template <std::size_t N> std::array<QString, N> each(const std::array<Field, N>& table, QStringView Field::*member)
{
    std::array<QString, N> out;
    for (std::size_t i = 0; i < N; ++i)
        out[i] = (table[i].*member).toString();
    return out;
}
// The position of the first field with `role`; -1 when there is none.
template <std::size_t N> constexpr int firstWith(const std::array<Field, N>& table, Role role)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (table[i].role == role)
            return int(i);
    }
    return -1;
}
// Equal texts, at compile time: the column names' checks below.
constexpr bool sameText(QStringView a, const char16_t* b)
{
    qsizetype i = 0;
    for (; b[i]; ++i) {
        if (i >= a.size() || a[i].unicode() != b[i])
            return false;
    }
    return i == a.size();
}
// The position of `column` in `table`; -1 when the table has no such column.
int indexOf(Table table, QStringView column);
// The field of `column`, and the field shown by the control named
// `control`; each throws when the table has none.
const Field& byColumn(Table table, QStringView column);
const Field& byControl(Table table, QLatin1String control);
// The positions of the fields with `role`, in table order.
QList<int> withRole(Table table, Role role);

} // namespace tessolo::fields

namespace tessolo::customer {

using fields::Field;
using fields::Role;

inline constexpr std::array<Field, 17> kFields = {{
    {u"person_name", u"氏名", u"氏名", u"氏名", "EditName", Role::Text, u"氏名|名前|お名前|姓名|顧客名|name"},
    {u"person_kana", u"氏名「カナ」", u"氏名（カナ）", u"氏名（カナ）", "EditNmKana", Role::Reading,
     u"氏名カナ|氏名フリガナ|氏名ふりがな|フリガナ|ふりがな|カナ|かな|よみ|ヨミ|読み|よみがな|名前カナ|名前フリガナ"},
    {u"company_name", u"会社名", u"会社名", u"会社名", "EditCompany", Role::Text, u"会社|企業名|法人名|社名|勤務先"},
    {u"company_kana", u"会社名「カナ」", u"会社名（カナ）", u"", "EditCokana", Role::Reading,
     u"会社名カナ|会社名フリガナ|会社名ふりがな|会社カナ|会社フリガナ|企業名カナ|企業名フリガナ"},
    {u"cm_position", u"役職", u"役職（担当）", u"役職", "EditPosision", Role::Text, u"役職担当|肩書|肩書き|担当|職位"},
    {u"department", u"部署", u"部署名", u"部署名", "EditDepar", Role::Text, u"部署名|部門|所属|所属部署"},
    {u"postal_code", u"郵便番号", u"郵便番号", u"", "MaskEditPostal", Role::PostalCode,
     u"〒|郵便|〒番号|郵便no|zip|zipcode"},
    {u"prefecture", u"都道府県", u"都道府県", u"都道府県", "EditPref", Role::AddressPart, u"県|都道府県名"},
    {u"city", u"市区町村", u"市区町村", u"市区町村", "EditCity", Role::AddressPart, u"市町村|市区町村名|市区郡"},
    {u"town", u"住所", u"住所", u"", "EditAddr", Role::AddressPart, u"住所1|町域|番地|町名番地"},
    {u"building", u"ビルマンション名", u"ビル、マンション名等", u"", "EditBuild", Role::AddressPart,
     u"ビルマンション名等|ビル名|マンション名|建物名|建物|住所2"},
    {u"tel", u"電話番号", u"TEL", u"", "EditTel", Role::Phone, u"電話|tel|tel番号|電話no|電話番号1|phone"},
    {u"fax", u"ＦＡＸ", u"FAX", u"", "EditFax", Role::Phone, u"fax番号|ファックス|ファクス|ファックス番号"},
    {u"email1", u"email1", u"e-mail", u"", "EditEmail1", Role::Mail,
     u"email|e-mail|メール|メールアドレス|mail|eメール|メール1|メールアドレス1"},
    {u"email2", u"email2", u"e-mail", u"", "EditEmail2", Role::Mail, u"メール2|メールアドレス2|eメール2|e-mail2"},
    {u"url", u"URL", u"URL", u"", "EditUrl", Role::Web, u"ホームページ|hp|web|ウェブサイト|webサイト|サイト"},
    {u"memo", u"備考", u"備考", u"", "Memo1", Role::Memo, u"メモ|memo|摘要|コメント|注記|note"},
}};

// Each column's position in kFields and in a customer::Record. The field
// table is the only place that gives a column by number; everything else
// names it, and the checks below keep the names and the table in step.
namespace col {
enum : int {
    PersonName,
    PersonKana,
    CompanyName,
    CompanyKana,
    Position,
    Department,
    PostalCode,
    Prefecture,
    City,
    Town,
    Building,
    Tel,
    Fax,
    Email1,
    Email2,
    Url,
    Memo,
};
} // namespace col
static_assert(fields::sameText(kFields[col::PersonName].column, u"person_name"));
static_assert(fields::sameText(kFields[col::PostalCode].column, u"postal_code"));
static_assert(fields::sameText(kFields[col::Prefecture].column, u"prefecture"));
static_assert(fields::sameText(kFields[col::Town].column, u"town"));
static_assert(fields::sameText(kFields[col::Tel].column, u"tel"));
static_assert(fields::sameText(kFields[col::Memo].column, u"memo"));
static_assert(col::Memo + 1 == int(kFields.size()));

// The roster list's columns, in the order it shows them (before the rowid).
inline constexpr std::array<QStringView, 7> kListed = {
    u"person_name", u"person_kana", u"company_name", u"department", u"cm_position", u"prefecture", u"city",
};

} // namespace tessolo::customer

namespace tessolo::ourcompany {

using fields::Field;
using fields::Role;

inline constexpr std::array<Field, 11> kFields = {{
    {u"co_name", u"会社名", u"会社名", u"会社名", "EditCompany", Role::Text},
    {u"postal_code", u"郵便番号", u"郵便番号", u"", "MaskEditPostal", Role::PostalCode},
    {u"prefecture", u"都道府県", u"都道府県", u"", "EditPref", Role::AddressPart},
    {u"city", u"市区町村", u"市区町村", u"", "EditCity", Role::AddressPart},
    {u"town", u"住所", u"住所", u"", "EditAddr", Role::AddressPart},
    {u"building", u"ビル、マンション名等", u"ビル、マンション名等", u"", "EditBuild", Role::AddressPart},
    {u"tel", u"TEL", u"TEL", u"", "EditTel", Role::Phone},
    {u"fax", u"FAX", u"FAX", u"", "EditFax", Role::Phone},
    {u"email", u"e-mail", u"e-mail", u"", "EditEmail1", Role::Mail},
    {u"url", u"URL", u"URL", u"", "EditUrl", Role::Web},
    {u"memo", u"備考", u"備考", u"", "Memo1", Role::Memo},
}};

namespace col {
enum : int { CoName, PostalCode, Prefecture, City, Town, Building, Tel, Fax, Email, Url, Memo };
} // namespace col
static_assert(fields::sameText(kFields[col::PostalCode].column, u"postal_code"));
static_assert(fields::sameText(kFields[col::Town].column, u"town"));
static_assert(col::Memo + 1 == int(kFields.size()));

} // namespace tessolo::ourcompany

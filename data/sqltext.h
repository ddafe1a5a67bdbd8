#pragma once
// Statements are built as text with every value between single quotes. A value
// from a user or a file is carried with each single quote doubled, so that an
// apostrophe is stored as typed and can never end the literal early.

#include <QString>
#include <QStringList>
#include <QStringView>

namespace tessolo::sqltext {

// 'value' with inner quotes doubled.
QString literal(QStringView value);

// "insert into <table> values ('v0','v1',...)" + terminator
QString insertValues(QStringView table, const QStringList& values, QStringView terminator = {});

// "update <table> set c0='v0',c1='v1',... where rowid=<rowid>"
QString updateAll(QStringView table, const QStringList& columns, const QStringList& values, QStringView rowid);

} // namespace tessolo::sqltext

import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';

const require = createRequire(import.meta.url);
const { normalizeAddress, stripQuotes, formatLabel, parseRadiusKm } = require('../../app/web/js/address.js');

test('normalizeAddress folds the spellings people type for one address', () => {
  const same = [
    ['東京都千代田区丸の内１－２－３', '東京都千代田区丸の内1-2-3'],
    ['東京都千代田区丸ノ内1-2-3', '東京都千代田区丸の内1-2-3'],
    ['東京都　千代田区 丸の内 1-2-3', '東京都千代田区丸の内1-2-3'],
    ['千代田区霞ヶ関', '千代田区霞が関'],
    ['千代田区霞ケ関', '千代田区霞ヵ関'],
    ['千代田区一ツ橋', '千代田区一つ橋'],
    ['三之町', '三ノ町'],
    ['銀座4ー5ー6', '銀座4-5-6'],
    ['銀座4−5―6', '銀座4-5-6'],
    ['ﾊﾟｰｸﾀﾜｰ', 'パークタワー'],
    ['ＡＢＣビル', 'ABCビル'],
    ['長﨑', '長崎'],
    ['龍ケ崎市', '竜ヶ崎市'],
    ['＇東京都＇', '東京都']
  ];
  for (const [a, b] of same) assert.equal(normalizeAddress(a), normalizeAddress(b), `${a} vs ${b}`);
});

test('normalizeAddress leaves apart what differs', () => {
  // the long vowel mark stays inside katakana words; only after a digit is it a dash
  assert.notEqual(normalizeAddress('パークタワー'), normalizeAddress('パークタワ-'));
  // の between kana is not the connecting の of a place name
  assert.equal(normalizeAddress('ひばりの丘'), 'ひばりの丘');
  assert.notEqual(normalizeAddress('東京都'), normalizeAddress('京都府'));
  assert.equal(normalizeAddress(null), '');
  assert.equal(normalizeAddress(undefined), '');
});

test('stripQuotes removes exactly one enclosing pair of single quotes', () => {
  assert.equal(stripQuotes("'東京都千代田区丸の内'"), '東京都千代田区丸の内');
  assert.equal(stripQuotes("''"), '');
  assert.equal(stripQuotes("'"), "'");
  assert.equal(stripQuotes("'O'Hara'"), "O'Hara");
  assert.equal(stripQuotes('東京都'), '東京都');
  assert.equal(stripQuotes("  '東京都'  "), '東京都');
  assert.equal(stripQuotes(undefined), '');
});

test('formatLabel shows person and company as 氏名（会社名）', () => {
  assert.equal(formatLabel('山田太郎::山田商事'), '山田太郎（山田商事）');
  assert.equal(formatLabel('::山田商事'), '山田商事');
  assert.equal(formatLabel('山田太郎::'), '山田太郎');
  assert.equal(formatLabel('::'), '');
  // the address search sends the typed text, quoted, as its label
  assert.equal(formatLabel("'東京都港区'"), '東京都港区');
  // the postal search sends the postal code as its label
  assert.equal(formatLabel('100-0005'), '100-0005');
  // only the first :: separates
  assert.equal(formatLabel('山田::A::B'), '山田（A::B）');
});

test('parseRadiusKm accepts a positive number and nothing else', () => {
  assert.equal(parseRadiusKm('5'), 5);
  assert.equal(parseRadiusKm('2.5'), 2.5);
  assert.equal(parseRadiusKm('.5'), 0.5);
  assert.equal(parseRadiusKm('１０'), 10);
  assert.equal(parseRadiusKm(' 3 '), 3);
  assert.equal(parseRadiusKm('3km'), 3);
  assert.equal(parseRadiusKm('３ ｋｍ'), 3);
  for (const bad of ['abc', '0', '0.0', '-3', '', '   ', '1e3', '5,5', 'Infinity', 'NaN', '3 4', null, undefined]) {
    assert.equal(parseRadiusKm(bad), null, JSON.stringify(bad));
  }
});

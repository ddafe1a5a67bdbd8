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

test('townKey brings block numbers, 大字/字 and が to one form', () => {
  const { townKey } = require('../../app/web/js/address.js');
  const same = [
    ['旭町二丁目', '旭町2丁目'], ['旭町２丁目', '旭町2丁目'], ['北三十三条西十二丁目', '北33条西12丁目'],
    ['東鷹栖十五線', '東鷹栖15線'], ['第一地割', '第1地割'], ['大字当新田', '当新田'], ['字近文七線', '近文7線'],
    ['久保田町大字久保田', '久保田町久保田'], ['常呂町字土佐', '常呂町土佐'], ['ひばりが丘', 'ひばりケ丘'], ['緑ヶ丘', '緑が丘']
  ];
  for (const [a, b] of same) assert.equal(townKey(a), townKey(b), `${a} vs ${b}`);
  // a kanji numeral that is part of a name stays a name
  assert.equal(townKey('三田'), '三田');
  assert.equal(townKey('十日町'), '十日町');
  assert.notEqual(townKey('十文字町'), townKey('十文町'));
});

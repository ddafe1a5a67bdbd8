import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';

const require = createRequire(import.meta.url);
const { assign, PALETTE, SLOTS, OTHER, EMPTY, OTHER_VALUE } = require('../../app/web/js/colors.js');

// The page's storage as it is across a reload: only what was written stays.
function memoryStorage() {
  const data = new Map();
  return { getItem: (k) => (data.has(k) ? data.get(k) : null), setItem: (k, v) => data.set(k, String(v)) };
}
const counts = (pairs) => new Map(pairs);
const look = (a, v) => { const l = a.lookOf(v); return l.color + l.letter; };

test('a value keeps its look across a reload, also when others come and go', () => {
  const storage = memoryStorage();
  const first = assign('co', counts([['山田商店', 5], ['佐藤工務店', 3], ['鈴木建設', 1]]), storage);
  const before = ['山田商店', '佐藤工務店', '鈴木建設'].map((v) => look(first, v));
  assert.equal(new Set(before).size, 3);

  // Next start: 佐藤工務店 is gone, a new company is now the most frequent.
  const again = assign('co', counts([['新会社', 50], ['鈴木建設', 4], ['山田商店', 1]]), storage);
  assert.equal(look(again, '山田商店'), before[0]);
  assert.equal(look(again, '鈴木建設'), before[2]);
  // The newcomer takes a look never given before, not 佐藤工務店's.
  assert.ok(!before.includes(look(again, '新会社')));
  // 佐藤工務店 back: its look is still its own.
  const third = assign('co', counts([['佐藤工務店', 1], ['山田商店', 1]]), storage);
  assert.equal(look(third, '佐藤工務店'), before[1]);
  // Without storage (refused) the looks still differ within one start.
  const bare = assign('co', counts([['a', 1], ['b', 1]]), null);
  assert.notEqual(look(bare, 'a'), look(bare, 'b'));
});

test('past eight values letters tell them apart; past the looks, その他', () => {
  const many = counts(Array.from({ length: SLOTS + 5 }, (_, i) => ['v' + String(i).padStart(3, '0'), 1000 - i]));
  many.set('', 7);
  const a = assign('pf', many, memoryStorage());
  const shown = a.entries.filter((e) => e.value !== OTHER_VALUE && e.value !== '');
  assert.equal(shown.length, SLOTS);
  assert.equal(new Set(shown.map((e) => e.look.color + e.look.letter)).size, SLOTS, 'every look is distinct');
  assert.deepEqual(shown.slice(0, 8).map((e) => e.look.letter), Array(8).fill(''));
  assert.deepEqual(shown.slice(0, 8).map((e) => e.look.color), PALETTE);
  assert.equal(shown[8].look.letter, 'A');
  // The most frequent values got the looks; the five rarest are その他.
  const other = a.entries.find((e) => e.value === OTHER_VALUE);
  assert.equal(other.label, OTHER);
  // counted in customers: the five rarest hold 1000 - 32 … 1000 - 36
  assert.equal(other.count, [32, 33, 34, 35, 36].reduce((sum, i) => sum + 1000 - i, 0));
  assert.equal(a.entryValue('v' + String(SLOTS + 4).padStart(3, '0')), OTHER_VALUE);
  const empty = a.entries.find((e) => e.value === '');
  assert.equal(empty.label, EMPTY);
  assert.equal(empty.count, 7);
});

test('fields are kept apart in storage', () => {
  const storage = memoryStorage();
  const byCompany = assign('co', counts([['東京', 1]]), storage);
  const byPref = assign('pf', counts([['大阪', 9], ['東京', 1]]), storage);
  assert.equal(look(assign('co', counts([['東京', 1]]), storage), '東京'), look(byCompany, '東京'));
  assert.notEqual(look(byPref, '大阪'), look(byPref, '東京'));
});

test('customers are counted in the municipality that holds them, holes and islands too', () => {
  const { createIndex } = require('../../app/web/js/density.js');
  const square = (w, s, e, n) => [[w, s], [e, s], [e, n], [w, n], [w, s]];
  const features = [
    // a town with a hole, in which lies an island town of its own
    { properties: { name: 'ring' }, geometry: { type: 'Polygon', coordinates: [square(139, 35, 139.5, 35.5), square(139.2, 35.2, 139.3, 35.3)] } },
    { properties: { name: 'island' }, geometry: { type: 'Polygon', coordinates: [square(139.2, 35.2, 139.3, 35.3)] } },
    // two pieces of one town
    { properties: { name: 'parts' }, geometry: { type: 'MultiPolygon', coordinates: [[square(140, 35, 140.1, 35.1)], [square(141, 36, 141.1, 36.1)]] } }
  ];
  const index = createIndex(features);
  const counts = index.count([
    { lat: 35.1, lng: 139.1 }, { lat: 35.45, lng: 139.45 }, // ring
    { lat: 35.25, lng: 139.25 },                             // in the hole: island
    { lat: 35.05, lng: 140.05 }, { lat: 36.05, lng: 141.05 }, // both parts
    { lat: 30, lng: 130 }                                     // at sea
  ]);
  assert.deepEqual([...counts], [2, 1, 2]);
});

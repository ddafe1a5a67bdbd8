// The page's geocoder against the table it ships with.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { readFileSync } from 'node:fs';

const require = createRequire(import.meta.url);
const { createGeocoder } = require('../../app/web/js/geocoder.js');
const table = JSON.parse(readFileSync(new URL('../../app/web/data/geocode-table.json', import.meta.url), 'utf8'));
const geo = createGeocoder(table);

const q = (s) => "'" + s + "'"; // as the program sends customer addresses

function km(a, b) {
  const r = Math.PI / 180;
  const h = Math.sin((b.lat - a.lat) * r / 2) ** 2 +
    Math.cos(a.lat * r) * Math.cos(b.lat * r) * Math.sin((b.lng - a.lng) * r / 2) ** 2;
  return 2 * 6371 * Math.asin(Math.sqrt(h));
}
const TOKYO_STATION = { lat: 35.681, lng: 139.767 };

test('a Tokyo ward address is placed at its ward, near the real place', () => {
  const r = geo.geocode(q('東京都千代田区丸の内一丁目'));
  assert.equal(r.ok, true);
  assert.equal(r.pref, '東京都');
  assert.equal(r.city, '千代田区');
  assert.equal(r.level, 'city');
  assert.ok(km(r, TOKYO_STATION) < 5, `${km(r, TOKYO_STATION)} km from Tokyo station`);
});

test('a town the table knows is placed at the town', () => {
  const r = geo.geocode(q('東京都中央区銀座４－５－６'));
  assert.equal(r.level, 'town');
  assert.equal(r.town, '銀座');
  const ginza = { lat: 35.672, lng: 139.765 };
  assert.ok(km(r, ginza) < 2, `${km(r, ginza)} km from Ginza`);
});

test('福岡県 addresses stay in 福岡県 though the main source lacks it', () => {
  const r = geo.geocode(q('福岡県福岡市中央区天神'));
  assert.equal(r.pref, '福岡県');
  assert.equal(r.level, 'city');
  assert.equal(r.city, '福岡市');
  const tenjin = { lat: 33.59, lng: 130.40 };
  assert.ok(km(r, tenjin) < 15, `${km(r, tenjin)} km from Tenjin`);

  // a municipality no source knows: the prefecture's point, never a namesake elsewhere
  const n = geo.geocode(q('福岡県那珂川市'));
  assert.equal(n.pref, '福岡県');
  assert.equal(n.level, 'pref');
  const fukuoka = geo.prefectureOf('福岡県');
  assert.deepEqual([n.lat, n.lng], [fukuoka.lat, fukuoka.lng]);
});

test('a designated city ward without a point of its own falls back to its city', () => {
  const ward = geo.geocode(q('神奈川県横浜市西区みなとみらい'));
  const city = geo.geocode(q('神奈川県横浜市'));
  assert.equal(ward.level, 'city');
  assert.equal(ward.city, '横浜市');
  assert.deepEqual([ward.lat, ward.lng], [city.lat, city.lng]);
  assert.equal(geo.geocode(q('大阪府大阪市淀川区')).city, '大阪市');
  // ...but a town of that ward which the table knows is placed at the town
  const umeda = geo.geocode(q('大阪府大阪市北区梅田１丁目'));
  assert.equal(umeda.level, 'town');
  assert.ok(km(umeda, { lat: 34.702, lng: 135.496 }) < 2, `${km(umeda, { lat: 34.702, lng: 135.496 })} km from Umeda`);
});

test('spelling variants reach the same municipality', () => {
  const pairs = [
    ['埼玉県鶴ヶ島市', '埼玉県鶴ケ島市'],
    ['茨城県龍ケ崎市', '茨城県竜ヶ崎市'],
    ['東京都千代田区霞が関', '東京都千代田区霞ヶ関'],
    ['東京都千代田区丸の内', '東京都千代田区丸之内'],
    ['東京都 千代田区　丸の内１丁目', '東京都千代田区丸の内1丁目']
  ];
  for (const [a, b] of pairs) {
    const ra = geo.geocode(q(a));
    const rb = geo.geocode(q(b));
    assert.equal(ra.level, 'city', a);
    assert.deepEqual([rb.pref, rb.city, rb.lat, rb.lng], [ra.pref, ra.city, ra.lat, ra.lng], `${a} vs ${b}`);
  }
});

test('county and island prefixes are read past', () => {
  const withCounty = geo.geocode(q('福岡県糟屋郡宇美町宇美'));
  const without = geo.geocode(q('福岡県宇美町'));
  assert.equal(withCounty.level, 'city');
  assert.equal(withCounty.city, '宇美町');
  assert.deepEqual([withCounty.lat, withCounty.lng], [without.lat, without.lng]);
  assert.equal(geo.geocode(q('富山県中新川郡立山町')).city, '立山町');
  assert.equal(geo.geocode(q('東京都三宅島三宅村')).city, '三宅村');
  // 郡 inside a city's own name is not a county
  assert.equal(geo.geocode(q('奈良県大和郡山市')).city, '大和郡山市');
  assert.equal(geo.geocode(q('福島県郡山市')).city, '郡山市');
  assert.equal(geo.geocode(q('福岡県小郡市')).city, '小郡市');
});

test('without a prefecture only a name unique in Japan is placed', () => {
  assert.equal(geo.geocode(q('千代田区丸の内')).pref, '東京都');
  assert.equal(geo.geocode(q('大阪狭山市')).pref, '大阪府');
  assert.equal(geo.geocode(q('京都市左京区')).pref, '京都府');
  // 府中市 is both Tokyo's and Hiroshima's
  assert.equal(geo.geocode(q('府中市')).ok, false);
  // 東京 for 東京都
  const r = geo.geocode(q('東京府中市'));
  assert.equal(r.pref, '東京都');
  assert.equal(r.city, '府中市');
});

test('a prefecture alone, or with an unknown city, is placed at the prefecture', () => {
  const r = geo.geocode(q('北海道どこか村'));
  assert.equal(r.level, 'pref');
  assert.equal(r.pref, '北海道');
  assert.equal(geo.geocode(q('沖縄県')).level, 'pref');
});

test('nothing placeable is reported as such, not guessed', () => {
  for (const a of ["'ほげほげ'", "''", '', "'   '", "'100-0005'", undefined, null]) {
    const r = geo.geocode(a);
    assert.equal(r.ok, false, String(a));
  }
});

test('a short town name does not catch a longer town that starts with it', () => {
  // The table holds no town that is a prefix of another town of the same
  // municipality, so longest-prefix matching cannot pick the wrong one.
  for (const [, , , cities] of table.prefectures) {
    for (const [city, row] of Object.entries(cities)) {
      const towns = Object.keys(row[2] || {});
      for (const t of towns) {
        const clash = towns.find((o) => o !== t && o.startsWith(t));
        assert.equal(clash, undefined, `${city}: ${t} / ${clash}`);
      }
    }
  }
});

test('every municipality point lies in Japan and within its prefecture\'s reach', () => {
  for (const [pref, plat, plng, cities] of table.prefectures) {
    for (const [city, row] of Object.entries(cities)) {
      const r = geo.geocode(pref + city);
      assert.equal(r.pref, pref, pref + city);
      assert.ok(r.lat > 20 && r.lat < 46 && r.lng > 122 && r.lng < 154, pref + city);
      // Tokyo's islands lie up to ~1,000 km from the capital; Hokkaido spans ~500 km.
      const reach = pref === '東京都' ? 1100 : pref === '北海道' || pref === '沖縄県' || pref === '鹿児島県' ? 600 : 200;
      assert.ok(km(r, { lat: plat, lng: plng }) < reach, `${pref}${city} ${km(r, { lat: plat, lng: plng })} km`);
    }
  }
});

test('geocoding stays cheap per address', () => {
  // guards against an accidental scan of the table per call
  const t0 = performance.now();
  for (let i = 0; i < 20000; i++) geo.geocode(q('愛知県名古屋市中区栄' + i));
  const ms = performance.now() - t0;
  assert.ok(ms < 3000, `${ms} ms for 20,000 addresses`);
});

test('a table without prefectures is refused', () => {
  assert.throws(() => createGeocoder({}), /prefectures/);
});

// Town-level placement with the shipped town tables: the written forms real
// addresses come in, and the names that are easy to misread.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { readFileSync, readdirSync } from 'node:fs';

const require = createRequire(import.meta.url);
const { createGeocoder, createTownLoader } = require('../../app/web/js/geocoder.js');
const data = new URL('../../app/web/data/', import.meta.url);
const readJson = (rel) => JSON.parse(readFileSync(new URL(rel, data), 'utf8'));
const table = readJson('geocode-table.json');
const index = readJson('towns/index.json');

function geocoderWithTowns() {
  const geo = createGeocoder(table, index);
  for (const f of readdirSync(new URL('towns/', data))) {
    if (!/^\d\d\.json$/.test(f)) continue;
    const t = readJson('towns/' + f);
    geo.addTowns(t.pref, t);
  }
  return geo;
}
const geo = geocoderWithTowns();
const q = (s) => "'" + s + "'";
const place = (a) => geo.geocode(q(a));

function km(a, b) {
  const r = Math.PI / 180;
  const h = Math.sin((b.lat - a.lat) * r / 2) ** 2 +
    Math.cos(a.lat * r) * Math.cos(b.lat * r) * Math.sin((b.lng - a.lng) * r / 2) ** 2;
  return 2 * 6371 * Math.asin(Math.sqrt(h));
}

function assertTown(address, pref, city, town) {
  const r = place(address);
  assert.deepEqual([r.level, r.pref, r.city, r.town], ['town', pref, city, town], address);
  return r;
}

test('丁目 in digits, full-width digits, kanji or as the first number of a block address', () => {
  for (const a of ['兵庫県宝塚市旭町2-1', '兵庫県宝塚市旭町２丁目１', '兵庫県宝塚市旭町二丁目1',
    '兵庫県宝塚市旭町２－１－３', '兵庫県宝塚市旭町2丁目1番3号', '兵庫県宝塚市旭町二丁目１番地の３', '兵庫県宝塚市旭町2']) {
    assertTown(a, '兵庫県', '宝塚市', '旭町二丁目');
  }
  // Hokkaido's 条 and 線 are numbered the same way
  assertTown('北海道札幌市北区北10条西3丁目2-1', '北海道', '札幌市北区', '北十条西三丁目');
  assertTown('北海道札幌市北区北１０条西３－２－１', '北海道', '札幌市北区', '北十条西三丁目');
  // …and written short, as on most of the city's signs and cards
  assertTown('北海道札幌市中央区南1西3-2-1 ビル5F', '北海道', '札幌市中央区', '南一条西三丁目');
  assertTown('北海道帯広市西5南7', '北海道', '帯広市', '西五条南七丁目');
});

test("堺市's blocks are numbered 一丁, 二丁 … without 目, and are read as 丁目 are", () => {
  for (const a of ['大阪府堺市南区若松台1-1', '大阪府堺市南区若松台１丁１－１', '大阪府堺市南区若松台一丁目1番1号']) {
    assertTown(a, '大阪府', '堺市南区', '若松台一丁');
  }
  assertTown('大阪府堺市堺区大町東3-2-1', '大阪府', '堺市堺区', '大町東三丁');
  assertTown('大阪府堺市南区若松台', '大阪府', '堺市南区', '若松台');
  // a lone 八丁 is a name, not a block
  assertTown('秋田県秋田市保戸野八丁3-1', '秋田県', '秋田市', '保戸野八丁');
});

test('a town written without its 丁目 is at the middle of its 丁目, at town level', () => {
  const r = assertTown('北海道北広島市朝日町', '北海道', '北広島市', '朝日町');
  const one = assertTown('北海道北広島市朝日町1丁目', '北海道', '北広島市', '朝日町一丁目');
  const six = assertTown('北海道北広島市朝日町6丁目', '北海道', '北広島市', '朝日町六丁目');
  assert.ok(r.lat > Math.min(one.lat, six.lat) && r.lat < Math.max(one.lat, six.lat), 'mean lies between its towns');
  // …also with a house number of a 丁目 the table lacks, or a building name
  assert.equal(place('北海道北広島市朝日町99-1').town, '朝日町');
  assert.equal(place('東京都千代田区霞が関霞が関ビル３階').level, 'town');
});

test('大字 and 字 written or left out on either side', () => {
  // the table writes 大字当新田
  assertTown('三重県三重郡川越町当新田123', '三重県', '川越町', '大字当新田');
  assertTown('三重県三重郡川越町大字当新田123番地', '三重県', '川越町', '大字当新田');
  // the table writes 当新田
  assertTown('岡山県岡山市南区大字当新田45', '岡山県', '岡山市南区', '当新田');
  // 大字 in the middle of the table's name (久保田町大字久保田)
  assert.equal(place('佐賀県佐賀市久保田町久保田100').level, 'town');
  // 字 after a former town's name (常呂町字土佐)
  assert.equal(place('北海道北見市常呂町土佐10').level, 'town');
});

test('ヶ, ケ and が, and kanji variants, are one spelling', () => {
  const forms = ['三重県伊賀市緑ケ丘中町1', '三重県伊賀市緑ヶ丘中町1', '三重県伊賀市緑が丘中町1', '三重県伊賀市緑ヵ丘中町1'];
  for (const a of forms) assertTown(a, '三重県', '伊賀市', '緑ケ丘中町');
  assert.equal(place('茨城県龍ケ崎市').pref, '茨城県');
  assert.equal(place('福岡県糟屋郡須惠町').level, 'city');
  // the table writes 藪之内町, most people type 薮ノ内町
  assertTown('京都府京都市上京区下立売通新町西入薮ノ内町', '京都府', '京都市上京区', '藪之内町');
});

test('house numbers and building names after the town leave the town as it is', () => {
  for (const a of ['大阪府大阪市北区梅田1-1-3 大阪駅前第1ビル5階', '大阪府大阪市北区梅田１丁目１番３号', '大阪府大阪市北区梅田一丁目1-3 梅田ビル']) {
    assertTown(a, '大阪府', '大阪市北区', '梅田一丁目');
  }
});

test("Kyoto's street directions: the town is after them", () => {
  for (const a of ['京都府京都市中京区烏丸通二条下る二条殿町５４６', '京都府京都市中京区烏丸通二条下ル二条殿町546',
    '京都市中京区二条通烏丸西入二条殿町', '京都府京都市中京区二条殿町546']) {
    assertTown(a, '京都府', '京都市中京区', '二条殿町');
  }
});

test('a bare ward name shared by designated cities is placed only where its town says which', () => {
  // 梅田 is a town of 大阪市北区 alone among the 北区 of Japan
  const umeda = assertTown('北区梅田1-1', '大阪府', '大阪市北区', '梅田一丁目');
  assert.ok(km(umeda, { lat: 34.700, lng: 135.498 }) < 1);
  assertTown('北区王子1-2-3', '東京都', '北区', '王子一丁目');
  // no town, or a town no 北区 has, or one several have: 位置不明
  for (const a of ['北区', '北区どこか1-2', '中央区日本橋1-1']) assert.equal(place(a).ok, false, a);
  // an island in front of its village, prefecture or none
  assertTown('東京都三宅島三宅村坪田1', '東京都', '三宅村', '坪田');
  assertTown('三宅島三宅村坪田1', '東京都', '三宅村', '坪田');
  // a ward name only one city has is placed as before
  assert.equal(place('港北区').pref, '神奈川県');
});

test('a bare ward name with a namesake newer than the town table is placed only where that one is ruled out', () => {
  // 浜松市中央区 (2024) has no towns of its own in the table: its city's
  // abolished wards stand in, so 熊本市中央区's 板屋町 no longer wins alone
  assert.equal(place('中央区板屋町1-1').ok, false);
  assertTown('中央区鴨江1-1', '静岡県', '浜松市中区', '鴨江一丁目');
  assertTown('浜名区小松1-1', '静岡県', '浜松市浜北区', '小松');
  // the new ward's towns are not those of 天竜区, which goes on (it has 月)
  assertTown('中央区月島1-1', '東京都', '中央区', '月島一丁目');
  assertTown('港区赤坂1-2-3', '東京都', '港区', '赤坂一丁目');
  assertTown('港区三田1-1', '東京都', '港区', '三田一丁目');
  // with its city or prefecture written it is placed as before
  assertTown('静岡県浜松市中央区板屋町1-1', '静岡県', '浜松市中区', '板屋町');
  assertTown('浜松市中央区板屋町1-1', '静岡県', '浜松市中区', '板屋町');
  assert.deepEqual([place('浜名区').level, place('浜名区').pref], ['city', '静岡県']);
});

test('a bare ward name after its prefecture is placed by its town', () => {
  // 梅田 is in 大阪市北区, not in 堺市北区
  for (const a of ['大阪府北区梅田1-1', '大阪北区梅田', '大阪府北区梅田']) assertTown(a, '大阪府', '大阪市北区', a.endsWith('1-1') ? '梅田一丁目' : '梅田');
  assertTown('静岡県中央区板屋町1-1', '静岡県', '浜松市中区', '板屋町');
  // one ward of that name in the prefecture: that ward, town or not
  assert.deepEqual([place('京都府北区').level, place('京都府北区').city], ['city', '京都市北区']);
  // two, and no town to choose by: the prefecture, never a guess
  assert.deepEqual([place('大阪府北区').level, place('大阪府北区どこか').level], ['pref', 'pref']);
});

test('a 郡 inside a town name is no county', () => {
  assertTown('山口市小郡大江町1-1', '山口県', '山口市', '小郡大江町');
  assertTown('山口県山口市小郡大江町1-1', '山口県', '山口市', '小郡大江町');
  // a real county is still read past
  assert.equal(place('山形県西村山郡大江町').city, '大江町');
  assert.equal(place('西村山郡大江町').pref, '山形県');
  assert.equal(place('福岡県糟屋郡宇美町宇美1-1').level, 'town');
});

test('a ward of 大阪市 called 福島 is not 福島県', () => {
  assertTown('大阪市福島区福島1-1', '大阪府', '大阪市福島区', '福島一丁目');
  assertTown('福島区福島1-1', '大阪府', '大阪市福島区', '福島一丁目');
  assert.equal(place('福島区').pref, '大阪府');
  assert.equal(place('福島市').pref, '福島県');
});

test('never a point in another prefecture', () => {
  // municipalities the municipality table lacks get the town index's point
  const n = place('福岡県那珂川市');
  assert.deepEqual([n.pref, n.level], ['福岡県', 'city']);
  // a ward gets a point of its own, inside its city
  const w = place('神奈川県横浜市西区');
  const c = place('神奈川県横浜市');
  assert.equal(w.level, 'city');
  assert.ok(km(w, c) < 15 && km(w, { lat: 35.455, lng: 139.62 }) < 3, `${km(w, { lat: 35.455, lng: 139.62 })} km`);
  // a ward newer than the town table is looked up in its city's wards
  const h = place('静岡県浜松市中央区板屋町1-1');
  assert.deepEqual([h.level, h.pref, h.town], ['town', '静岡県', '板屋町']);
  // a town of another prefecture's namesake city stays out
  assert.equal(place('東京都府中市宮西町1').pref, '東京都');
  assert.equal(place('広島県府中市府川町1').pref, '広島県');
});

test('needs() names the town tables an address waits for, and only until they are there', () => {
  const fresh = createGeocoder(table, index);
  assert.deepEqual(fresh.needs(q('大阪府大阪市北区梅田1-1')), ['大阪府']);
  assert.deepEqual(fresh.needs(q('梅田')), []);
  assert.deepEqual(fresh.needs(q('')), []);
  const wards = fresh.needs(q('北区梅田1-1'));
  assert.ok(wards.includes('東京都') && wards.includes('大阪府') && wards.includes('愛知県'), wards.join());
  // before the table is there the address is placed at its municipality
  assert.equal(fresh.geocode(q('大阪府大阪市福島区福島1-1')).level, 'city');
  fresh.addTowns('大阪府', readJson('towns/27.json'));
  assert.deepEqual(fresh.needs(q('大阪府大阪市福島区福島1-1')), []);
  assert.equal(fresh.geocode(q('大阪府大阪市福島区福島1-1')).level, 'town');
});

test('the town loader fetches each table once and survives a failed fetch', async () => {
  const fresh = createGeocoder(table, index);
  const asked = [];
  const load = createTownLoader(fresh, (file) => {
    asked.push(file);
    if (file === '13.json') return Promise.reject(new Error('offline'));
    return Promise.resolve(readJson('towns/' + file));
  });
  const errors = console.error;
  console.error = () => {};
  try {
    await Promise.all([load(['大阪府', '東京都']), load(['大阪府'])]);
  } finally {
    console.error = errors;
  }
  assert.deepEqual(asked.sort(), ['13.json', '27.json']);
  assert.equal(fresh.geocode(q('大阪府大阪市北区梅田1-1')).level, 'town');
  // the failed prefecture is no longer waited for, and places at its municipality
  assert.deepEqual(fresh.needs(q('東京都北区王子1-1')), []);
  assert.deepEqual([fresh.geocode(q('東京都北区王子1-1')).level, fresh.geocode(q('東京都北区王子1-1')).city], ['city', '北区']);
});

test('a town table that never comes is given up, not waited for forever', async () => {
  const fresh = createGeocoder(table, index);
  const load = createTownLoader(fresh, () => new Promise(() => {}), 30);
  const errors = console.error;
  console.error = () => {};
  try {
    await load(['大阪府']);
  } finally {
    console.error = errors;
  }
  assert.deepEqual(fresh.needs(q('大阪府大阪市福島区福島1-1')), []);
  assert.equal(fresh.geocode(q('大阪府大阪市福島区福島1-1')).level, 'city');
});

test('the town tables hold every town once, compactly, with the credit', () => {
  let towns = 0;
  let bytes = 0;
  assert.equal(index.credit, '住所データ © Geolonia (CC BY 4.0)');
  assert.equal(index.prefectures.length, 47);
  for (const [pref, file] of index.prefectures) {
    const raw = readFileSync(new URL('towns/' + file, data));
    bytes += raw.length;
    const t = JSON.parse(raw);
    assert.equal(t.pref, pref);
    for (const [, names, coords] of t.cities) {
      let n = 0;
      for (const e of names.split('|')) {
        const at = e.indexOf('#');
        if (at < 0) { n++; continue; }
        for (const part of e.slice(at + 1).split(',')) {
          const [a, b] = part.split('-').map(Number);
          n += (b || a) - a + 1;
        }
      }
      assert.equal(coords.length, 2 * n);
      towns += n;
    }
  }
  assert.equal(towns, 189974);
  assert.ok(bytes < 3.5 * 1024 * 1024, `${bytes} bytes`);
});

test('the committed town tables are exactly what the generator makes', async (t) => {
  const { sharedPath } = await import('../../tools/geodata/postal.mjs');
  const { existsSync, mkdtempSync, rmSync } = await import('node:fs');
  const { execFileSync } = await import('node:child_process');
  const { tmpdir } = await import('node:os');
  const { join } = await import('node:path');
  const { fileURLToPath } = await import('node:url');
  const root = fileURLToPath(new URL('../..', import.meta.url));
  const src = sharedPath(root, 'geodata/towns-jp.tsv.gz');
  const postal = sharedPath(root, 'postal/ken_all.csv');
  if (!existsSync(src) || !existsSync(postal)) { t.skip('towns-jp.tsv.gz or ken_all.csv not beside the checkout'); return; }
  const dir = mkdtempSync(join(tmpdir(), 'tessolo-towns-'));
  try {
    execFileSync(process.execPath, [fileURLToPath(new URL('../../tools/geodata/towns.mjs', import.meta.url)), src,
      '--postal', postal, '--out', dir, '--quiet']);
    const made = readdirSync(dir).sort();
    assert.deepEqual(made, readdirSync(new URL('towns/', data)).sort());
    for (const f of made) {
      assert.ok(readFileSync(join(dir, f)).equals(readFileSync(new URL('towns/' + f, data))), `${f} is stale: run npm run towns`);
    }
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});

test('the generator names the wards the postal list has and the town list lacks, and runs without the postal list', async (t) => {
  const { execFileSync } = await import('node:child_process');
  const { mkdtempSync, rmSync, writeFileSync } = await import('node:fs');
  const { gzipSync } = await import('node:zlib');
  const { tmpdir } = await import('node:os');
  const { join } = await import('node:path');
  const { fileURLToPath } = await import('node:url');
  const dir = mkdtempSync(join(tmpdir(), 'tessolo-towns-gen-'));
  try {
    const tsv = ['prefecture\tcity\ttown\tlat\tlng', '静岡県\t浜松市中区\t板屋町\t34.7\t137.7',
      '静岡県\t浜松市天竜区\t月\t35.0\t137.8', '熊本県\t熊本市中央区\t板屋町\t32.8\t130.7', ''].join('\n');
    writeFileSync(join(dir, 'towns.tsv.gz'), gzipSync(tsv));
    const row = (city, town) => `"22131","430  ","4300000","ｼｽﾞｵｶｹﾝ","ｼ","ﾁｮｳ","静岡県","${city}","${town}",0,0,0,0,0,0`;
    const csv = [row('浜松市中央区', '板屋町'), row('浜松市天竜区', '月'), row('静岡市葵区', '追手町'), ''].join('\r\n');
    let sjis;
    try {
      sjis = execFileSync('iconv', ['-f', 'UTF-8', '-t', 'CP932'], { input: csv });
    } catch {
      t.skip('iconv with CP932 not available'); return;
    }
    writeFileSync(join(dir, 'ken_all.csv'), sjis);
    const gen = fileURLToPath(new URL('../../tools/geodata/towns.mjs', import.meta.url));
    const run = (postal, out) => execFileSync(process.execPath, [gen, join(dir, 'towns.tsv.gz'), '--postal', postal,
      '--out', join(dir, out), '--quiet'], { stdio: ['ignore', 'pipe', 'pipe'] });
    run(join(dir, 'ken_all.csv'), 'with');
    const made = JSON.parse(readFileSync(join(dir, 'with', 'index.json'), 'utf8'));
    // 天竜区 goes on, so only 中区's towns are 中央区's; 静岡市 is no city the town list has wards of
    assert.deepEqual(made.wardsWithoutTowns, { 静岡県: { 浜松市中央区: ['浜松市中区'] } });
    run(join(dir, 'missing.csv'), 'without');
    assert.equal(JSON.parse(readFileSync(join(dir, 'without', 'index.json'), 'utf8')).wardsWithoutTowns, undefined);
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});

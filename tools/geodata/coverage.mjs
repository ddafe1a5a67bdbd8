// How precisely the offline geocoder places the addresses of Japan: every
// line of the national postal code list, written as prefecture + city +
// town (parenthesised notes cut; the lines that name no town left out), is
// geocoded with the page's own geocoder and the shipped tables, and the
// levels reached are counted. Then the same without the prefecture, and a
// sample of lines with house numbers in the three usual forms. Last, every
// line of a designated city's ward written as the bare ward + town + 1-1
// (中央区板屋町1-1), the form where a namesake ward elsewhere may win, and
// so again after its prefecture (大阪府北区梅田1-1).
//
//   node tools/geodata/coverage.mjs [path/to/ken_all.csv] [--list level] [--json]
//
// --list town|city|pref|none|wrong prints the lines that reached that level.

import { readFileSync, readdirSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { readPostalList, sharedPath } from './postal.mjs';

const here = dirname(fileURLToPath(import.meta.url));
const repo = resolve(here, '../..');
const require = createRequire(import.meta.url);
const { createGeocoder } = require(resolve(repo, 'app/web/js/geocoder.js'));
const { normalizeAddress } = require(resolve(repo, 'app/web/js/address.js'));

const args = process.argv.slice(2);
const opt = (name) => { const i = args.indexOf(name); return i < 0 ? null : args.splice(i, 2)[1]; };
const listLevel = opt('--list');
const asJson = args.includes('--json') && args.splice(args.indexOf('--json'), 1);
const postalPath = args[0] || sharedPath(repo, 'postal/ken_all.csv');
const data = resolve(repo, 'app/web/data');
const WARD_RE = /^(.+?市)(.+区)$/;

export function loadGeocoder() {
  const table = JSON.parse(readFileSync(resolve(data, 'geocode-table.json'), 'utf8'));
  const index = JSON.parse(readFileSync(resolve(data, 'towns/index.json'), 'utf8'));
  const geo = createGeocoder(table, index);
  for (const f of readdirSync(resolve(data, 'towns'))) {
    if (!/^\d\d\.json$/.test(f)) continue;
    const t = JSON.parse(readFileSync(resolve(data, 'towns', f), 'utf8'));
    geo.addTowns(t.pref, t);
  }
  return geo;
}

// A line's address as a customer's would be written: the notes in
// parentheses are no part of it, and some lines name no town at all.
export function postalAddresses(rows) {
  const out = [];
  for (const r of rows) {
    if (r.town === '以下に掲載がない場合' || /の次に番地がくる場合$/.test(r.town) || /一円$/.test(r.town)) continue;
    const town = r.town.replace(/（[^）]*）?|\([^)]*\)?/g, '');
    out.push({ pref: r.pref, city: r.city, town });
  }
  return out;
}

function count(geo, lines, write) {
  const c = { town: 0, city: 0, pref: 0, none: 0, wrong: 0, otherCity: 0 };
  const listed = [];
  for (const l of lines) {
    const a = write(l);
    const r = geo.geocode("'" + a + "'");
    let level = r.ok ? r.level : 'none';
    if (r.ok && r.pref !== l.pref) level = 'wrong';
    c[level]++;
    // placed under a municipality of another name (浜松市中央区 is newer than the town table)
    if ((level === 'town' || level === 'city') && !normalizeAddress(l.city).endsWith(normalizeAddress(r.city))) c.otherCity++;
    if (level === listLevel) listed.push(a + (r.ok ? '\t→ ' + r.pref + (r.city || '') + (r.town || '') : ''));
  }
  return { c, listed };
}

if (process.argv[1] && fileURLToPath(import.meta.url) === resolve(process.argv[1])) {
  const geo = loadGeocoder();
  const lines = postalAddresses(readPostalList(postalPath));
  const pct = (a) => (100 * a / lines.length).toFixed(1) + ' %';
  const show = (title, { c }, n = lines.length) => {
    const p = (a) => (100 * a / n).toFixed(1) + ' %';
    console.log(`${title} (${n} lines): town ${c.town} (${p(c.town)}), municipality ${c.city} (${p(c.city)}), ` +
      `prefecture ${c.pref} (${p(c.pref)}), unplaced ${c.none} (${p(c.none)}), in another prefecture ${c.wrong}; ` +
      `under a municipality of another name ${c.otherCity}`);
  };
  const full = count(geo, lines, (l) => l.pref + l.city + l.town);
  const bare = count(geo, lines, (l) => l.city + l.town);
  // Every 97th line with house numbers: 2-1-3 / ２丁目１番３号 / 二丁目1-3.
  const sample = lines.filter((_, i) => i % 97 === 0);
  const forms = [
    (l) => l.pref + l.city + l.town + '2-1-3',
    (l) => l.pref + l.city + l.town + '２丁目１番３号 サンプルビル１０１',
    (l) => l.pref + l.city + l.town + '二丁目1-3'
  ];
  const base = count(geo, sample, (l) => l.pref + l.city + l.town);
  const wardLines = lines.filter((l) => WARD_RE.test(l.city));
  const bareWard = count(geo, wardLines, (l) => WARD_RE.exec(l.city)[2] + l.town + '1-1');
  const prefWard = count(geo, wardLines, (l) => l.pref + WARD_RE.exec(l.city)[2] + l.town + '1-1');
  const withNumbers = forms.map((f) => count(geo, sample, f));
  if (asJson) {
    console.log(JSON.stringify({ lines: lines.length, full: full.c, bare: bare.c, sample: sample.length, base: base.c, forms: withNumbers.map((x) => x.c),
      wardLines: wardLines.length, bareWard: bareWard.c, prefWard: prefWard.c }));
  } else {
    show('prefecture + city + town', full);
    show('city + town, prefecture left off', bare);
    show('sample, as written', base, sample.length);
    ['2-1-3', '２丁目１番３号 + building', '二丁目1-3'].forEach((name, i) => show(`sample + ${name}`, withNumbers[i], sample.length));
    show('bare ward + town + 1-1, prefecture and city left off', bareWard, wardLines.length);
    show('prefecture + bare ward + town + 1-1, city left off', prefWard, wardLines.length);
    console.log(`goal: town level ≥ 90 % (${pct(full.c.town)} reached), in another prefecture 0 (${full.c.wrong})`);
  }
  if (listLevel) for (const s of [...full.listed, ...bare.listed, ...bareWard.listed, ...prefWard.listed]) console.log(s);
}

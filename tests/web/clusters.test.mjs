import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';

const require = createRequire(import.meta.url);
const { project, groupByCell, fanOffsets, cellSize } = require('../../app/web/js/clusters.js');

// A repeatable scatter of customers over the Kanto plain.
function scatter(n, seed) {
  let a = seed;
  const r = () => { a = (a * 48271) % 2147483647; return a / 2147483647; };
  return Array.from({ length: n }, (_, i) => ({ id: i, ...project(35 + r() * 1.5, 139 + r() * 1.5) }));
}

const ids = (list) => list.map((p) => p.id).sort((a, b) => a - b).join(',');

test('the projection is the map\'s Web Mercator on the unit square', () => {
  assert.deepEqual(project(0, 0), { x: 0.5, y: 0.5 });
  const corner = project(85.0511287798, 180);
  assert.ok(Math.abs(corner.x - 1) < 1e-12 && Math.abs(corner.y) < 1e-9);
  // Tokyo Station at zoom 10 is pixel (232847, 103226) in Leaflet's EPSG:3857.
  const t = project(35.681236, 139.767125);
  const px = 256 * 1024;
  assert.equal(Math.floor(t.x * px), 232847);
  assert.equal(Math.floor(t.y * px), 103226);
});

test('marks close together share a cluster, marks far apart do not', () => {
  // Two customers a quarter of a zoom-14 cell apart, around its centre.
  const size = cellSize(14);
  const t = project(35.6812, 139.7671);
  const cx = (Math.floor(t.x / size) + 0.5) * size;
  const cy = (Math.floor(t.y / size) + 0.5) * size;
  const a = { id: 1, x: cx - size / 8, y: cy };
  const b = { id: 2, x: cx + size / 8, y: cy };
  const c = { id: 3, ...project(34.7025, 135.4959) }; // Osaka
  assert.deepEqual([...groupByCell([a, b, c], 8).values()].map(ids).sort(), ['1,2', '3']);
  for (let z = 4; z <= 14; z++) assert.equal(groupByCell([a, b], z).size, 1, `apart at zoom ${z}`);
  assert.equal(groupByCell([a, b], 16).size, 2);
  // One place (a town's point) never splits.
  assert.equal(groupByCell([a, { id: 4, x: a.x, y: a.y }], 18).size, 1);
});

test('a cluster only splits when zooming in: each cell lies in one cell of the zoom above', () => {
  const points = scatter(3000, 7);
  for (let z = 4; z < 18; z++) {
    const outer = groupByCell(points, z);
    const home = new Map();
    for (const [key, list] of outer) for (const p of list) home.set(p.id, key);
    let total = 0;
    for (const list of groupByCell(points, z + 1).values()) {
      total += list.length;
      const keys = new Set(list.map((p) => home.get(p.id)));
      assert.equal(keys.size, 1, `a cell of zoom ${z + 1} spans cells of zoom ${z}`);
    }
    assert.equal(total, points.length);
    assert.ok(groupByCell(points, z + 1).size >= outer.size);
  }
});

test('only marks inside the view are counted, each once', () => {
  const points = scatter(2000, 11);
  const box = { x0: 0.887, y0: 0.39, x1: 0.889, y1: 0.4 };
  const inside = points.filter((p) => p.x >= box.x0 && p.x <= box.x1 && p.y >= box.y0 && p.y <= box.y1);
  assert.ok(inside.length > 0 && inside.length < points.length);
  const cells = groupByCell(points, 12, box);
  assert.equal(ids([...cells.values()].flat()), ids(inside));
  // The cell size follows the zoom: half the world span one zoom closer.
  assert.equal(cellSize(11) / cellSize(12), 2);
});

test('fanned-out marks do not overlap, however many share a place', () => {
  for (const n of [2, 5, 8, 9, 40, 300]) {
    const at = fanOffsets(n);
    assert.equal(at.length, n);
    let closest = Infinity;
    for (let i = 0; i < n; i++) {
      assert.ok(Math.hypot(at[i].x, at[i].y) >= 10, 'on the cluster itself');
      for (let j = i + 1; j < n; j++) closest = Math.min(closest, Math.hypot(at[i].x - at[j].x, at[i].y - at[j].y));
    }
    assert.ok(closest >= 15, `${n} marks: two only ${closest.toFixed(1)} px apart`);
  }
});

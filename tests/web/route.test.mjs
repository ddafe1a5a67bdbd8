import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { coordinates, optimalTour, optimum } from './fixtures/berlin52.mjs';

const require = createRequire(import.meta.url);
const { orderVisits, roundLength } = require('../../app/web/js/route.js');

// A repeatable scatter of n points in a square of `size` metres.
function scatter(n, seed, size = 10000) {
  let a = seed;
  const r = () => { a = (a * 48271) % 2147483647; return a / 2147483647; };
  return Array.from({ length: n }, () => ({ x: r() * size, y: r() * size }));
}

function permutations(items) {
  if (items.length <= 1) return [items.slice()];
  const out = [];
  items.forEach((x, i) => {
    for (const rest of permutations(items.slice(0, i).concat(items.slice(i + 1)))) out.push([x, ...rest]);
  });
  return out;
}

// The best round by trying every order of the stops after the start.
function bruteForce(points, returnToStart) {
  let best = Infinity;
  const rest = points.map((_, i) => i).slice(1);
  for (const p of permutations(rest)) best = Math.min(best, roundLength(points, [0, ...p], returnToStart));
  return best;
}

function assertIsOrder(order, n) {
  assert.equal(order.length, n);
  assert.equal(order[0], 0, 'the round starts at the first point');
  assert.deepEqual([...order].sort((a, b) => a - b), Array.from({ length: n }, (_, i) => i));
}

test('small rounds are the best of every order, closed and open', () => {
  for (let n = 2; n <= 9; n++) {
    for (const seed of [7, 1234, 99991]) {
      const points = scatter(n, seed * n);
      for (const returnToStart of [true, false]) {
        const order = orderVisits(points, { returnToStart });
        assertIsOrder(order, n);
        const got = roundLength(points, order, returnToStart);
        const best = bruteForce(points, returnToStart);
        assert.ok(got <= best + 1e-6, `n=${n} seed=${seed} return=${returnToStart}: ${got} > ${best}`);
      }
    }
  }
});

test('an open path may end far from the start, a closed round comes back', () => {
  // Stops on a line east of the start: the open path walks out once, the
  // closed round must come back the same way.
  const points = [{ x: 0, y: 0 }, { x: 3000, y: 0 }, { x: 1000, y: 0 }, { x: 4000, y: 0 }, { x: 2000, y: 0 }];
  assert.deepEqual(orderVisits(points, { returnToStart: false }), [0, 2, 4, 1, 3]);
  assert.equal(roundLength(points, orderVisits(points), true), 8000);
});

test('latitude and longitude are measured on the sphere', () => {
  // Tokyo, Yokohama, Osaka, Nagoya: the round goes along the coast, not across.
  const points = [
    { lat: 35.681, lon: 139.767 }, { lat: 34.702, lon: 135.495 },
    { lat: 35.466, lon: 139.622 }, { lat: 35.170, lng: 136.881 }
  ];
  const order = orderVisits(points, { returnToStart: false });
  assert.deepEqual(order, [0, 2, 3, 1]);
});

test('berlin52 comes within 2 % of its known optimum', () => {
  const points = coordinates.map(([x, y]) => ({ x, y }));
  const tsplib = (order) => {
    let sum = 0;
    for (let i = 0; i < order.length; i++) {
      const a = coordinates[order[i]];
      const b = coordinates[order[(i + 1) % order.length]];
      sum += Math.round(Math.hypot(a[0] - b[0], a[1] - b[1]));
    }
    return sum;
  };
  // the fixture is the published instance: its optimal tour measures 7542
  assert.equal(tsplib(optimalTour.map((i) => i - 1)), optimum);
  const order = orderVisits(points);
  assertIsOrder(order, points.length);
  const got = tsplib(order);
  assert.ok(got <= optimum * 1.02, `${got} is more than 2 % above ${optimum}`);
});

test('200 stops: a whole order, and how long it took', (t) => {
  const points = scatter(200, 42);
  orderVisits(scatter(200, 43)); // the first call also compiles the code
  const started = performance.now();
  const order = orderVisits(points);
  const ms = performance.now() - started;
  assertIsOrder(order, 200);
  // A timing is reported, not asserted: the machine is shared.
  t.diagnostic(`200 stops ordered in ${ms.toFixed(1)} ms`);
  // Much shorter than visiting them in the order given.
  assert.ok(roundLength(points, order) < 0.2 * roundLength(points, points.map((_, i) => i)));
});

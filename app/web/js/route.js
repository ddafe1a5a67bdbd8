/*
 * The order of a round of visits: as short a round as can be found in a
 * moment, by straight-line distance (no road data ships with the program).
 *
 * orderVisits(points, options) → indices into points, the first being 0.
 *   points: [{x, y}] in metres on a plane, or [{lat, lon}] (lng also read);
 *           the first point is where the round starts.
 *   options.returnToStart (default true): the round ends back at the start;
 *           false: it ends at whichever stop makes the path shortest.
 *   options.timeLimitMs (default 100): the search stops improving then.
 *   options.seed: the search is repeatable; the same points give the same
 *           order.
 *
 * The search: nearest neighbour, then 2-opt and Or-opt moves until none
 * shortens the round, then repeated double-bridge kicks with the same local
 * search, keeping a kick only when the round got shorter. On the published
 * instances of 50–100 points this ends within a percent or two of the best
 * round in a few tens of milliseconds.
 *
 * Pure: no DOM, no Leaflet. Loaded as a classic script by tessolo.html
 * (global TessoloRoute) and with require() by node's tests.
 */
(function (root, factory) {
  'use strict';
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.TessoloRoute = api;
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  const EARTH_RADIUS_M = 6371000;

  function isGeographic(p) {
    return p && typeof p.lat === 'number' && (typeof p.lon === 'number' || typeof p.lng === 'number');
  }

  function haversine(a, b) {
    const rad = Math.PI / 180;
    const lonA = a.lon !== undefined ? a.lon : a.lng;
    const lonB = b.lon !== undefined ? b.lon : b.lng;
    const s1 = Math.sin((b.lat - a.lat) * rad / 2);
    const s2 = Math.sin((lonB - lonA) * rad / 2);
    const h = s1 * s1 + Math.cos(a.lat * rad) * Math.cos(b.lat * rad) * s2 * s2;
    return EARTH_RADIUS_M * 2 * Math.atan2(Math.sqrt(h), Math.sqrt(Math.max(0, 1 - h)));
  }

  function planar(a, b) {
    return Math.hypot(b.x - a.x, b.y - a.y);
  }

  // The distance between two points, whichever kind they are.
  function distance(a, b) {
    return isGeographic(a) && isGeographic(b) ? haversine(a, b) : planar(a, b);
  }

  function matrix(points) {
    const n = points.length;
    const d = new Float64Array(n * n);
    for (let i = 0; i < n; i++) {
      for (let j = i + 1; j < n; j++) {
        const v = distance(points[i], points[j]);
        if (!Number.isFinite(v)) throw new TypeError('point ' + (Number.isFinite(distance(points[i], points[i])) ? j : i) + ' has no usable position');
        d[i * n + j] = v;
        d[j * n + i] = v;
      }
    }
    return d;
  }

  // Length of a closed tour over the matrix.
  function tourLength(tour, d, n) {
    let sum = 0;
    for (let i = 0; i < tour.length; i++) sum += d[tour[i] * n + tour[(i + 1) % tour.length]];
    return sum;
  }

  // A small repeatable generator (mulberry32): the same points give the
  // same round, which users expect when they press the button twice.
  function rng(seed) {
    let a = seed >>> 0;
    return function () {
      a = (a + 0x6d2b79f5) >>> 0;
      let t = a;
      t = Math.imul(t ^ (t >>> 15), t | 1);
      t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
      return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
    };
  }

  function nearestNeighbour(d, n) {
    const seen = new Uint8Array(n);
    const tour = [0];
    seen[0] = 1;
    let cur = 0;
    for (let k = 1; k < n; k++) {
      let best = -1;
      let bestD = Infinity;
      for (let j = 0; j < n; j++) {
        if (!seen[j] && d[cur * n + j] < bestD) { bestD = d[cur * n + j]; best = j; }
      }
      seen[best] = 1;
      tour.push(best);
      cur = best;
    }
    return tour;
  }

  // Neighbour lists: the K nearest of each point, where the moves look.
  function neighbours(d, n, k) {
    const lists = [];
    const idx = [];
    for (let i = 0; i < n; i++) idx.push(i);
    for (let i = 0; i < n; i++) {
      const row = idx.filter((j) => j !== i).sort((a, b) => d[i * n + a] - d[i * n + b]);
      lists.push(row.slice(0, k));
    }
    return lists;
  }

  const EPS = 1e-9;

  // 2-opt and Or-opt on an array tour until no move shortens it. Only the
  // stops in `active` (all when not given) are looked at, and those a move
  // touched join them: after a kick only its few ends need a look.
  function localSearch(tour, d, n, near, active) {
    const pos = new Int32Array(n);
    const fix = () => { for (let i = 0; i < n; i++) pos[tour[i]] = i; };
    fix();
    const next = (i) => (i + 1 === n ? 0 : i + 1);
    const prev = (i) => (i === 0 ? n - 1 : i - 1);
    const queued = new Uint8Array(n);
    const queue = [];
    const wake = (c) => { if (!queued[c]) { queued[c] = 1; queue.push(c); } };
    for (const c of active || tour) wake(c);
    // Reverses tour[i..j] (cyclic, i to j going forward), the shorter way.
    const reverse = (i, j) => {
      let len = j - i;
      if (len < 0) len += n;
      len += 1;
      // Reversing the complement is the same tour the other way round.
      if (len * 2 > n) { const a = next(j); j = prev(i); i = a; len = n - len; }
      for (let k = 0; k < len >> 1; k++) {
        const a = tour[i];
        const b = tour[j];
        tour[i] = b; pos[b] = i;
        tour[j] = a; pos[a] = j;
        i = next(i);
        j = prev(j);
      }
    };

    // 2-opt from a: its edge to the next (or previous) stop against an
    // edge at one of its near neighbours.
    const twoOpt = (a) => {
      const i = pos[a];
      const an = tour[next(i)];
      const dA = d[a * n + an];
      for (const c of near[a]) {
        if (dA - d[a * n + c] <= EPS) break;
        const j = pos[c];
        const cn = tour[next(j)];
        if (c === an || cn === a) continue;
        if (d[a * n + c] + d[an * n + cn] - dA - d[c * n + cn] < -EPS) {
          reverse(next(i), j);
          wake(a); wake(an); wake(c); wake(cn);
          return true;
        }
      }
      const ap = tour[prev(i)];
      const dP = d[ap * n + a];
      for (const c of near[a]) {
        if (dP - d[a * n + c] <= EPS) break;
        const j = pos[c];
        const cp = tour[prev(j)];
        if (c === ap || cp === a) continue;
        if (d[a * n + c] + d[ap * n + cp] - dP - d[cp * n + c] < -EPS) {
          reverse(j, prev(i));
          wake(a); wake(ap); wake(c); wake(cp);
          return true;
        }
      }
      return false;
    };

    // Or-opt from a: the run of 1 to 3 stops that begins at a moves next to
    // a near neighbour of its first or last stop, either way round.
    const orOpt = (a) => {
      for (let segLen = 1; segLen <= 3 && n > segLen + 2; segLen++) {
        const s = pos[a];
        const e = (s + segLen - 1) % n;
        const P = tour[prev(s)];
        const Q = tour[next(e)];
        const S = a;
        const E = tour[e];
        const removeGain = d[P * n + S] + d[E * n + Q] - d[P * n + Q];
        if (removeGain <= EPS) continue;
        const outside = (c) => { let off = pos[c] - s; if (off < 0) off += n; return off >= segLen; };
        for (const end of [S, E]) {
          for (const c of near[end]) {
            if (d[end * n + c] >= removeGain) break;
            if (!outside(c)) continue;
            const j = pos[c];
            for (const [x, y] of [[c, tour[next(j)]], [tour[prev(j)], c]]) {
              if (!outside(x) || !outside(y) || (x === P && y === Q)) continue;
              const base = d[x * n + y];
              const fwd = d[x * n + S] + d[E * n + y] - base; // x S..E y
              const bwd = d[x * n + E] + d[S * n + y] - base; // x E..S y
              if (Math.min(fwd, bwd) < removeGain - EPS) {
                const seg = [];
                for (let k = 0; k < segLen; k++) seg.push(tour[(s + k) % n]);
                if (bwd < fwd) seg.reverse();
                const rest = [];
                const q = pos[Q];
                for (let k = 0; k < n - segLen; k++) rest.push(tour[(q + k) % n]);
                rest.splice(rest.indexOf(x) + 1, 0, ...seg);
                for (let k = 0; k < n; k++) tour[k] = rest[k];
                fix();
                wake(P); wake(Q); wake(S); wake(E); wake(x); wake(y);
                return true;
              }
            }
          }
        }
      }
      return false;
    };

    while (queue.length) {
      const a = queue.pop();
      queued[a] = 0;
      if (twoOpt(a) || orOpt(a)) wake(a);
    }
    return tour;
  }

  // Four random cuts, the pieces joined A C B D: a change 2-opt cannot undo
  // in one move.
  function doubleBridge(tour, random) {
    const n = tour.length;
    const cuts = [];
    while (cuts.length < 3) {
      const c = 1 + Math.floor(random() * (n - 1));
      if (!cuts.includes(c)) cuts.push(c);
    }
    cuts.sort((a, b) => a - b);
    const [p1, p2, p3] = cuts;
    const ends = [p1 - 1, p1, p2 - 1, p2, p3 - 1, p3, n - 1, 0].map((i) => tour[i]);
    return { tour: tour.slice(0, p1).concat(tour.slice(p2, p3), tour.slice(p1, p2), tour.slice(p3)), ends };
  }

  // The shortest closed round the search finds over a symmetric matrix.
  function solveClosed(d, n, options, started) {
    const limit = options.timeLimitMs === undefined ? 100 : options.timeLimitMs;
    const random = rng(options.seed === undefined ? 12345 : options.seed);
    const near = neighbours(d, n, Math.min(n - 1, 12));
    let best = localSearch(nearestNeighbour(d, n), d, n, near);
    let bestLen = tourLength(best, d, n);
    if (n < 8) return best;
    // Enough kicks to settle the instances people plan (a few hundred
    // stops); the clock ends the search earlier on a slow machine.
    const kicks = Math.max(200, 50 * n);
    for (let k = 0; k < kicks; k++) {
      if ((k & 7) === 0 && Date.now() - started > limit) break;
      const kicked = doubleBridge(best, random);
      const t = localSearch(kicked.tour, d, n, near, kicked.ends);
      const len = tourLength(t, d, n);
      if (len < bestLen - EPS) { best = t; bestLen = len; }
    }
    return best;
  }

  function orderVisits(points, options) {
    const started = Date.now();
    const opts = options || {};
    const returnToStart = opts.returnToStart !== false;
    if (!Array.isArray(points)) throw new TypeError('points must be an array');
    const n = points.length;
    if (n <= 3) {
      if (n <= 2 || returnToStart) return points.map((_, i) => i);
      // start, then the nearer of the two first
      const d = matrix(points);
      return d[1] + d[3 + 2] <= d[2] + d[6 + 1] ? [0, 1, 2] : [0, 2, 1];
    }
    const base = matrix(points);
    let d = base;
    let m = n;
    if (!returnToStart) {
      // An open path is a closed round through one more, made-up point:
      // free to reach from the start, equally dear from every other stop, so
      // the best round passes start → … → last stop → made-up point.
      m = n + 1;
      d = new Float64Array(m * m);
      let far = 0;
      for (let i = 0; i < base.length; i++) far = Math.max(far, base[i]);
      const M = far * n + 1;
      for (let i = 0; i < n; i++) {
        for (let j = 0; j < n; j++) d[i * m + j] = base[i * n + j];
        d[i * m + n] = i === 0 ? 0 : M;
        d[n * m + i] = i === 0 ? 0 : M;
      }
    }
    const tour = solveClosed(d, m, opts, started);
    // Turn the round to begin at the start; open: the made-up point is
    // right before it (the start's other neighbour leads on).
    const at = tour.indexOf(0);
    let order = tour.slice(at).concat(tour.slice(0, at));
    if (!returnToStart) {
      if (order[1] === n) order = [0].concat(order.slice(1).reverse());
      order = order.filter((i) => i !== n);
    }
    return order;
  }

  // Total length of an order: the closing leg included when asked.
  function roundLength(points, order, returnToStart) {
    let sum = 0;
    for (let i = 1; i < order.length; i++) sum += distance(points[order[i - 1]], points[order[i]]);
    if (returnToStart !== false && order.length > 1) sum += distance(points[order[order.length - 1]], points[order[0]]);
    return sum;
  }

  return { orderVisits, roundLength, distance };
});

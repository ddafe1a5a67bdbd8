/*
 * Customers counted per municipality, on the boundaries the base map ships
 * (GeoJSON features, [lng, lat] coordinates): each point goes to the
 * municipality whose polygon holds it. A grid of one-tenth-degree cells
 * keeps the polygons to test per point to a handful.
 *
 * Pure: loaded as a classic script (global TessoloDensity) and with require()
 * by node's tests.
 */
(function (root, factory) {
  'use strict';
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.TessoloDensity = api;
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  const CELL = 0.1; // degrees

  function polygonsOf(geometry) {
    if (!geometry) return [];
    if (geometry.type === 'Polygon') return [geometry.coordinates];
    if (geometry.type === 'MultiPolygon') return geometry.coordinates;
    return [];
  }

  // Even-odd over every ring: holes (and islands in them) come out right.
  function inRings(lng, lat, rings) {
    let inside = false;
    for (const ring of rings) {
      for (let i = 0, j = ring.length - 1; i < ring.length; j = i++) {
        const xi = ring[i][0];
        const yi = ring[i][1];
        const xj = ring[j][0];
        const yj = ring[j][1];
        if ((yi > lat) !== (yj > lat) && lng < ((xj - xi) * (lat - yi)) / (yj - yi) + xi) inside = !inside;
      }
    }
    return inside;
  }

  /*
   * An index over the features; count(points) → Int32Array of counts per
   * feature (points {lat, lng}); a point in no municipality (at sea, or in a
   * gap of the simplified boundaries) counts nowhere.
   */
  function createIndex(features) {
    const parts = []; // {feature index, rings, bbox}
    const grid = new Map();
    features.forEach((f, fi) => {
      for (const poly of polygonsOf(f.geometry)) {
        let w = Infinity; let s = Infinity; let e = -Infinity; let n = -Infinity;
        for (const [x, y] of poly[0]) { w = Math.min(w, x); e = Math.max(e, x); s = Math.min(s, y); n = Math.max(n, y); }
        const part = { fi, rings: poly, w, s, e, n };
        const id = parts.push(part) - 1;
        for (let cx = Math.floor(w / CELL); cx <= Math.floor(e / CELL); cx++) {
          for (let cy = Math.floor(s / CELL); cy <= Math.floor(n / CELL); cy++) {
            const key = cx * 100000 + cy;
            let list = grid.get(key);
            if (!list) grid.set(key, (list = []));
            list.push(id);
          }
        }
      }
    });
    function featureAt(lat, lng) {
      const list = grid.get(Math.floor(lng / CELL) * 100000 + Math.floor(lat / CELL));
      if (!list) return -1;
      for (const id of list) {
        const p = parts[id];
        if (lng < p.w || lng > p.e || lat < p.s || lat > p.n) continue;
        if (inRings(lng, lat, p.rings)) return p.fi;
      }
      return -1;
    }
    function count(points) {
      const counts = new Int32Array(features.length);
      for (const pt of points) {
        const fi = featureAt(pt.lat, pt.lng);
        if (fi >= 0) counts[fi]++;
      }
      return counts;
    }
    return { featureAt, count };
  }

  // Five classes from light to dark (ColorBrewer YlOrRd, readable with the
  // common colour blindnesses as a light-to-dark scale); the class limits
  // are the counts' quintiles among municipalities with any customer.
  const SHADES = ['#ffffb2', '#fecc5c', '#fd8d3c', '#f03b20', '#bd0026'];
  function classes(counts) {
    const nonzero = [...counts].filter((c) => c > 0).sort((a, b) => a - b);
    const limits = [1, 2, 3, 4].map((k) => nonzero.length ? nonzero[Math.floor((k * nonzero.length) / 5)] : Infinity);
    return (c) => (c <= 0 ? -1 : limits.filter((l) => c >= l).length);
  }

  return { createIndex, classes, SHADES };
});

/*
 * The base map that needs no network: the municipalities of Japan (国土数値情報
 * 行政区域, simplified) as land, their boundaries, the prefecture boundaries
 * drawn stronger, and the names of the municipalities that fill a good part
 * of the window. It lies under the tiles: online the tiles cover it, offline
 * (or wherever a tile fails) it is the map.
 *
 * The topology is 1.5 MB; it is read only after the page has loaded, and
 * drawn in slices that stand back while marks are being drawn, so that
 * neither the page's start nor the program's calls wait for it.
 *
 * Classic script (global TessoloBasemap) and node module alike: the geometry
 * (names, label points, which labels fit) needs neither Leaflet nor a page.
 */
(function (root, factory) {
  'use strict';
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else root.TessoloBasemap = factory();
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  const CREDIT = '行政区域 出典：国土数値情報（行政区域データ）（国土交通省）を加工して作成';
  const LABEL_HEIGHT_PX = 18;
  const LABEL_CHAR_PX = 13;
  // A municipality is named once the part of it in the window covers this
  // share of the window: at a city's zoom the city and its neighbours, not
  // the hundred towns of a whole region.
  const MIN_WINDOW_SHARE = 0.01;
  const MAX_LABELS = 40;
  const BUILD_SLICE = 150;
  const MAX_YIELD_MS = 5000;

  // What a user reads on the map: a designated city's ward with its city
  // (横浜市西区), any other municipality by its own name, without its county.
  function municipalityName(p) {
    const city = p && p.N03_003 ? String(p.N03_003) : '';
    const own = p && p.N03_004 ? String(p.N03_004) : '';
    if (city && own && /市$/.test(city) && /区$/.test(own)) return city + own;
    return own || city;
  }

  function prefectureOf(p) {
    return p && p.N03_001 ? String(p.N03_001) : '';
  }

  // The outer rings and holes of a Polygon or MultiPolygon, as polygons.
  function polygonsOf(geometry) {
    if (!geometry) return [];
    if (geometry.type === 'Polygon') return [geometry.coordinates];
    if (geometry.type === 'MultiPolygon') return geometry.coordinates;
    return [];
  }

  function ringArea(ring) {
    let a = 0;
    for (let i = 0, j = ring.length - 1; i < ring.length; j = i++) a += ring[j][0] * ring[i][1] - ring[i][0] * ring[j][1];
    return a / 2;
  }

  function ringCentroid(ring) {
    let a = 0;
    let x = 0;
    let y = 0;
    for (let i = 0, j = ring.length - 1; i < ring.length; j = i++) {
      const f = ring[j][0] * ring[i][1] - ring[i][0] * ring[j][1];
      a += f;
      x += (ring[j][0] + ring[i][0]) * f;
      y += (ring[j][1] + ring[i][1]) * f;
    }
    if (a === 0) return ring.length ? [ring[0][0], ring[0][1]] : null;
    return [x / (3 * a), y / (3 * a)];
  }

  // The stretches of the line of latitude `lat` that lie inside the rings
  // (even-odd, so holes count), clipped to [west, east]. A line of latitude
  // is a horizontal line on the map, so this is exact on screen too.
  function insideStretches(rings, lat, west, east) {
    const xs = [];
    for (const ring of rings) {
      for (let i = 0, j = ring.length - 1; i < ring.length; j = i++) {
        const a = ring[j];
        const b = ring[i];
        if ((a[1] > lat) !== (b[1] > lat)) xs.push(a[0] + ((lat - a[1]) * (b[0] - a[0])) / (b[1] - a[1]));
      }
    }
    xs.sort((p, q) => p - q);
    const out = [];
    for (let k = 0; k + 1 < xs.length; k += 2) {
      const x0 = Math.max(xs[k], west);
      const x1 = Math.min(xs[k + 1], east);
      if (x1 > x0) out.push([x0, x1]);
    }
    return out;
  }

  // The widest of those stretches, or null.
  function widestStretch(rings, lat, west, east) {
    let best = null;
    for (const s of insideStretches(rings, lat, west, east)) if (!best || s[1] - s[0] > best[1] - best[0]) best = s;
    return best;
  }

  // A point for the name that lies inside the municipality: on the line
  // through the centroid of its largest part, in the middle of the widest
  // stretch there. A centroid alone falls outside a crescent or a bay.
  function labelPoint(geometry) {
    let largest = null;
    let largestArea = -1;
    for (const poly of polygonsOf(geometry)) {
      const a = Math.abs(ringArea(poly[0] || []));
      if (a > largestArea) { largest = poly; largestArea = a; }
    }
    if (!largest || !largest[0] || largest[0].length < 3) return null;
    const c = ringCentroid(largest[0]);
    const best = widestStretch(largest, c[1], -Infinity, Infinity);
    return best ? [(best[0] + best[1]) / 2, c[1]] : c;
  }

  function boundsOf(geometry) {
    let w = Infinity;
    let s = Infinity;
    let e = -Infinity;
    let n = -Infinity;
    for (const poly of polygonsOf(geometry)) {
      for (const p of poly[0] || []) {
        if (p[0] < w) w = p[0];
        if (p[0] > e) e = p[0];
        if (p[1] < s) s = p[1];
        if (p[1] > n) n = p[1];
      }
    }
    return w <= e ? [w, s, e, n] : null;
  }

  function objectOf(topology) {
    const names = Object.keys((topology && topology.objects) || {});
    if (!names.length) throw new Error('topology has no objects');
    return topology.objects[names[0]];
  }

  // Where and under which name a municipality is labelled; null for a
  // feature without area.
  function placeOf(feature) {
    const bounds = boundsOf(feature.geometry);
    const at = labelPoint(feature.geometry);
    if (!bounds || !at) return null;
    const rings = [].concat(...polygonsOf(feature.geometry));
    let area = 0; // square degrees; holes wind the other way and subtract
    for (const r of rings) area += ringArea(r);
    return {
      name: municipalityName(feature.properties),
      pref: prefectureOf(feature.properties),
      bounds,
      at,
      area: Math.abs(area),
      rings
    };
  }

  // The boundaries between two prefectures, each shared line once.
  function prefectureBorders(topology, topojson) {
    return topojson.mesh(topology, objectOf(topology),
      (a, b) => a !== b && prefectureOf(a.properties) !== prefectureOf(b.properties));
  }

  // The whole base map at once: land (one feature per municipality, whose
  // outlines are the municipal boundaries and the coast), the prefecture
  // boundaries and the places to label.
  function prepare(topology, topojson) {
    const land = topojson.feature(topology, objectOf(topology));
    const places = land.features.map(placeOf).filter(Boolean);
    return { land, prefectural: prefectureBorders(topology, topojson), places };
  }

  function labelWidth(name) {
    return name.length * LABEL_CHAR_PX + 8;
  }

  // Which names to show, in window pixels. Each candidate: {name, x, y (its
  // label point), width (of the municipality there), share (of the window
  // covered by the part of it inside)}. Larger ones first; a name that would
  // overlap one already placed, or that is much wider than its municipality,
  // is left out; one that sticks out of the window by less than half its
  // width is moved in. Returns the chosen candidates, with x and y where
  // their names go.
  function chooseLabels(candidates, view, options) {
    const minShare = (options && options.minShare) || MIN_WINDOW_SHARE;
    const max = (options && options.max) || MAX_LABELS;
    const fits = candidates.filter((c) => c.share >= minShare && c.x >= 0 && c.y >= 0 && c.x <= view.width && c.y <= view.height);
    fits.sort((a, b) => b.share - a.share);
    const chosen = [];
    const boxes = [];
    for (const c of fits) {
      const w = labelWidth(c.name);
      const h = LABEL_HEIGHT_PX;
      if (c.width < w * 0.6 || w > view.width) continue;
      const x = Math.min(Math.max(c.x, w / 2), view.width - w / 2);
      const y = Math.min(Math.max(c.y, h / 2), view.height - h / 2);
      if (Math.abs(x - c.x) > w / 2) continue;
      const box = [x - w / 2, y - h / 2, x + w / 2, y + h / 2];
      if (boxes.some((b) => box[0] < b[2] && b[0] < box[2] && box[1] < b[3] && b[1] < box[3])) continue;
      chosen.push(Object.assign({}, c, { x, y }));
      boxes.push(box);
      if (chosen.length >= max) break;
    }
    return chosen;
  }

  // ---- drawing (in the page) ------------------------------------------------

  // The municipalities in the window that may be named: where their label
  // goes and how much of the window they take.
  function candidates(map, places) {
    const size = map.getSize();
    const view = map.getBounds();
    const zoom = map.getZoom();
    const windowArea = size.x * size.y;
    const out = [];
    for (const p of places) {
      const [w, s, e, n] = p.bounds;
      if (e < view.getWest() || w > view.getEast() || n < view.getSouth() || s > view.getNorth()) continue;
      const nw = map.project([n, w], zoom);
      const se = map.project([s, e], zoom);
      const vnw = map.project([Math.min(n, view.getNorth()), Math.max(w, view.getWest())], zoom);
      const vse = map.project([Math.max(s, view.getSouth()), Math.min(e, view.getEast())], zoom);
      // The part in the window, judged by its box but never more than the
      // municipality's own area: a village of scattered islands has a
      // box the size of a sea.
      const pxPerDegree = (256 * Math.pow(2, zoom)) / 360;
      const ownArea = (p.area * pxPerDegree * pxPerDegree) / Math.cos((((s + n) / 2) * Math.PI) / 180);
      const share = Math.min((vse.x - vnw.x) * (vse.y - vnw.y), ownArea) / windowArea;
      let at = p.at;
      let width = se.x - nw.x;
      if (!view.contains([at[1], at[0]])) {
        // Zoomed in far, the label point is off-screen while the
        // municipality fills the window: name it on the window's middle
        // line, where it is widest.
        const lat = view.getCenter().lat;
        const best = widestStretch(p.rings, lat, view.getWest(), view.getEast());
        if (!best) continue;
        at = [(best[0] + best[1]) / 2, lat];
        width = map.project([lat, best[1]], zoom).x - map.project([lat, best[0]], zoom).x;
      }
      const pt = map.latLngToContainerPoint([at[1], at[0]]);
      out.push({ name: p.name, x: pt.x, y: pt.y, width, share });
    }
    return { list: out, view: { width: size.x, height: size.y } };
  }

  // bm: {map, options, state, places, labelLayer}: one base map on one map.
  function relabel(bm) {
    const L = window.L;
    bm.labelLayer.clearLayers();
    if (!bm.places.length) return;
    const c = candidates(bm.map, bm.places);
    const chosen = chooseLabels(c.list, c.view);
    bm.state.labels = chosen.map((l) => l.name);
    for (const l of chosen) {
      L.marker(bm.map.containerPointToLatLng([l.x, l.y]), {
        pane: 'basemapLabels',
        interactive: false,
        keyboard: false,
        icon: L.divIcon({ className: 'tsl-muni-label', html: '<span>' + window.TessoloText.escapeHtml(l.name) + '</span>', iconSize: null })
      }).addTo(bm.labelLayer);
    }
  }

  // The land, once whole, with the prefecture borders over it and the names.
  function finishBuild(bm, topology, land, common) {
    const L = window.L;
    land.addTo(bm.map);
    L.geoJSON(prefectureBorders(topology, window.topojson), Object.assign({
      style: { color: '#6a5a7a', weight: 2.2, fill: false }
    }, common)).addTo(bm.map);
    bm.map.on('moveend', () => relabel(bm));
    relabel(bm);
    bm.state.ready = true;
    bm.state.ms = Math.round(performance.now());
  }

  // Built in slices of a few municipalities per task, so that the
  // program's calls arriving meanwhile are served between them.
  function build(bm, topology) {
    const L = window.L;
    bm.state.loadedMs = Math.round(performance.now());
    const geometries = objectOf(topology).geometries;
    const renderer = L.canvas({ pane: 'basemap', padding: 0.3 });
    const common = { pane: 'basemap', renderer, interactive: false };
    // Put on the map once whole: each slice added to a shown layer would
    // have the canvas draw everything so far again.
    const land = L.geoJSON(null, Object.assign({
      style: { color: '#9c9c9c', weight: 0.8, fillColor: '#f2efe6', fillOpacity: 1 }
    }, common));
    let next = 0;
    const since = performance.now();
    (function slice() {
      // Marks being drawn go first: the base map can wait a moment, the
      // program's calls not. Not for ever, though.
      if (bm.options.busy && bm.options.busy() && performance.now() - since < MAX_YIELD_MS) return setTimeout(slice, 50);
      try {
        const part = window.topojson.feature(topology, { type: 'GeometryCollection', geometries: geometries.slice(next, next + BUILD_SLICE) });
        next += BUILD_SLICE;
        land.addData(part);
        for (const f of part.features) {
          const p = placeOf(f);
          if (p) bm.places.push(p);
        }
        if (next < geometries.length) return setTimeout(slice, 0);
        finishBuild(bm, topology, land, common);
      } catch (e) {
        bm.state.failed = true;
        console.error('base map not drawn:', e);
      }
    })();
  }

  function addTo(map, options) {
    const L = window.L;
    const state = { ready: false, failed: false, loadedMs: null, ms: null, labels: [] };
    map.createPane('basemap');
    map.getPane('basemap').style.zIndex = 150; // under the tiles (200)
    map.createPane('basemapLabels');
    map.getPane('basemapLabels').style.zIndex = 160;
    map.getPane('basemapLabels').style.pointerEvents = 'none';
    map.attributionControl.addAttribution(CREDIT);

    const bm = { map, options, state, places: [], labelLayer: L.layerGroup([], { pane: 'basemapLabels' }).addTo(map) };
    function load() {
      fetch(options.url)
        .then((r) => { if (!r.ok) throw new Error('base map ' + r.status); return r.json(); })
        .then((topology) => build(bm, topology))
        .catch((e) => { state.failed = true; console.error('base map not loaded:', e); });
    }

    if (document.readyState === 'complete') setTimeout(load, 0);
    else window.addEventListener('load', () => setTimeout(load, 0), { once: true });

    // For tests: whether the base map is drawn, when its file had been read
    // and when it was drawn (page clock), and what it names.
    window.tessoloBasemapState = () => ({
      ready: state.ready, failed: state.failed, loadedMs: state.loadedMs, ms: state.ms, labels: state.labels.slice()
    });
    return state;
  }

  return { CREDIT, municipalityName, labelPoint, prepare, chooseLabels, addTo };
});

/*
 * The cluster layer of the customer marks.
 *
 * Tens of thousands of customers are common, a hundred thousand possible.
 * Clustering them ahead for every zoom level (as general cluster layers do)
 * costs seconds and hundreds of megabytes; here only the view is clustered,
 * when it changes: each mark keeps its place in world coordinates, and the
 * marks in view are counted into square cells of CELL_PX screen pixels.
 * A cell at one zoom is exactly four cells of the next, so a cluster only
 * ever splits when zooming in. A cell holding one mark shows the mark
 * itself; only what is shown has a DOM element.
 *
 * The layer speaks the part of Leaflet.markercluster's interface the page
 * uses (addLayers, removeLayers, hasLayer, getLayers, refreshClusters,
 * zoomToShowLayer, the marks' events with e.layer, iconCreateFunction with
 * getChildCount/getAllChildMarkers, chunkProgress when marks are in).
 * Marks at one place (a town's representative point holds many customers)
 * never split by zooming: a click on their cluster fans them out around it.
 */
(function (root, factory) {
  'use strict';
  const api = factory(root.L);
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.TessoloClusters = api;
})(typeof self !== 'undefined' ? self : this, function (L) {
  'use strict';

  const CELL_PX = 60;
  const TILE = 256;

  // Web Mercator, the map's projection, scaled to the unit square: the
  // world pixel at zoom z is this times 256·2^z.
  const MAX_LAT = 85.0511287798;
  function project(lat, lng) {
    const s = Math.sin(Math.max(-MAX_LAT, Math.min(MAX_LAT, lat)) * Math.PI / 180);
    return { x: lng / 360 + 0.5, y: 0.5 - Math.log((1 + s) / (1 - s)) / (4 * Math.PI) };
  }

  function cellSize(zoom, cellPx) {
    return (cellPx || CELL_PX) / (TILE * Math.pow(2, zoom));
  }

  // The cell a point falls in at a zoom, as one number.
  function cellOf(x, y, size) {
    return Math.floor(x / size) * 4294967296 + Math.floor(y / size);
  }

  // Points (objects with x, y in the unit square) grouped by the cell they
  // fall in at `zoom`, those outside `box` ({x0, y0, x1, y1}, optional)
  // left out. Map: cell → array of the points, in the order given.
  function groupByCell(points, zoom, box, cellPx) {
    const size = cellSize(zoom, cellPx);
    const cells = new Map();
    for (const p of points) {
      if (box && (p.x < box.x0 || p.x > box.x1 || p.y < box.y0 || p.y > box.y1)) continue;
      const key = cellOf(p.x, p.y, size);
      const list = cells.get(key);
      if (list) list.push(p); else cells.set(key, [p]);
    }
    return cells;
  }

  // Where n fanned-out marks go, in pixels from their centre: a ring for a
  // few, a spiral for many (so that none overlap however many there are).
  function fanOffsets(n) {
    const out = [];
    if (n < 9) {
      const r = Math.max(35, 25 * (2 + n) / (2 * Math.PI));
      for (let i = 0; i < n; i++) {
        const a = (2 * Math.PI * i) / n;
        out.push({ x: Math.round(r * Math.cos(a)), y: Math.round(r * Math.sin(a)) });
      }
      return out;
    }
    let len = 11;
    let angle = 0;
    for (let i = 0; i < n; i++) {
      angle += 28 / len + i * 0.0005;
      out.push({ x: Math.round(len * Math.cos(angle)), y: Math.round(len * Math.sin(angle)) });
      len += (5 * 2 * Math.PI) / angle;
    }
    return out;
  }

  const api = { CELL_PX, project, cellSize, cellOf, groupByCell, fanOffsets };
  if (!L) return api;

  // A cluster on the map: a marker whose icon the page makes from what it holds.
  const ClusterMark = L.Marker.extend({
    getChildCount() { return this._tslMembers.length; },
    getAllChildMarkers() { return this._tslMembers.slice(); }
  });

  const Layer = L.Layer.extend({
    initialize(options) {
      L.setOptions(this, options);
      this._members = new Set();
      this._shown = L.featureGroup();
      this._shown.addEventParent(this);
      this._visible = new Set(); // layers in _shown
      this._clusters = new Map(); // cell → ClusterMark of the last drawing
      this._zoom = null;
      this._version = 0;
      this._fan = null;
      this._pending = 0; // marks added since the last drawing
      this._timer = null;
    },

    onAdd(map) {
      this._shown.addTo(map);
      map.on('moveend', this._onMoveEnd, this);
      map.on('zoomstart click', this._unfan, this);
      this._shown.on('click', this._onClusterClick, this);
      this._draw();
    },

    onRemove(map) {
      this._unfan();
      map.off('moveend', this._onMoveEnd, this);
      map.off('zoomstart click', this._unfan, this);
      this._shown.off('click', this._onClusterClick, this);
      clearTimeout(this._timer);
      this._timer = null;
      this._shown.clearLayers();
      this._shown.remove();
      this._visible.clear();
      this._clusters.clear();
    },

    addLayers(marks) {
      for (const m of marks) {
        const p = project(m.getLatLng().lat, m.getLatLng().lng);
        m._tslX = p.x;
        m._tslY = p.y;
        this._members.add(m);
      }
      this._pending += marks.length;
      this._schedule();
      return this;
    },
    addLayer(m) { return this.addLayers([m]); },

    removeLayers(marks) {
      let changed = false;
      for (const m of marks) {
        if (!this._members.delete(m)) continue;
        changed = true;
        if (this._fan && this._fan.members.includes(m)) this._unfan();
      }
      if (changed) this._schedule();
      return this;
    },
    removeLayer(m) { return this.removeLayers([m]); },

    hasLayer(m) { return this._members.has(m); },
    getLayers() { return [...this._members]; },
    count() { return this._members.size; },
    eachLayer(fn, ctx) { for (const m of this._members) fn.call(ctx, m); return this; },

    // The marks' looks changed: every cluster's icon is made again.
    refreshClusters() {
      this._version++;
      if (this._map) this._draw();
      return this;
    },

    // Brings a mark into view on its own (or fanned out of its cluster),
    // then calls back.
    zoomToShowLayer(m, done) {
      const map = this._map;
      if (!map || !this.hasLayer(m)) return;
      const callback = typeof done === 'function' ? done : () => {};
      if (m._icon && map.getBounds().contains(m.getLatLng())) { callback(); return; }
      const alone = this._aloneFrom(m);
      const zoom = Math.max(Math.round(map.getZoom()), alone === null ? map.getMaxZoom() : alone);
      // Registered after this layer's own moveend: the view is drawn by then.
      map.once('moveend', () => {
        if (this._map !== map || !this.hasLayer(m)) return;
        if (!m._icon) {
          const c = this._clusterHolding(m);
          if (c) this._fanOut(c);
        }
        if (m._icon) callback();
      });
      map.setView(m.getLatLng(), zoom);
    },

    // The lowest zoom from the current one on at which the mark has a cell
    // to itself; null when another mark shares its place.
    _aloneFrom(m) {
      const map = this._map;
      let zoom = Math.round(map.getZoom());
      let size = cellSize(zoom, this.options.cellPx);
      const key = (p) => cellOf(p._tslX, p._tslY, size);
      let others = [];
      const own = key(m);
      for (const o of this._members) if (o !== m && key(o) === own) others.push(o);
      const max = map.getMaxZoom();
      while (others.length) {
        if (zoom >= max) return null;
        zoom++;
        size = cellSize(zoom, this.options.cellPx);
        const mine = key(m);
        others = others.filter((o) => key(o) === mine);
      }
      return zoom;
    },

    _clusterHolding(m) {
      for (const c of this._clusters.values()) if (c._tslMembers.includes(m)) return c;
      return null;
    },

    // Changes that come together (batches, moves) are drawn once.
    _schedule() {
      if (this._timer === null) this._timer = setTimeout(() => this._drawPending(), 0);
    },

    _drawPending() {
      this._timer = null;
      if (this._map) this._draw();
      const added = this._pending;
      this._pending = 0;
      if (added && this.options.chunkProgress) this.options.chunkProgress(added, added);
    },

    _onMoveEnd() {
      // Same zoom (a pan, a popup making room): fanned marks stay out.
      if (this._fan && Math.round(this._map.getZoom()) !== this._fan.zoom) this._unfan();
      this._draw();
    },

    _draw() {
      const map = this._map;
      if (!map) return;
      const zoom = Math.round(map.getZoom());
      // Half a view around it, so that a short pan finds its marks drawn.
      const b = map.getBounds().pad(0.5);
      const nw = project(b.getNorth(), b.getWest());
      const se = project(b.getSouth(), b.getEast());
      const box = { x0: nw.x, y0: nw.y, x1: se.x, y1: se.y };
      const size = cellSize(zoom, this.options.cellPx);
      const cells = new Map();
      for (const m of this._members) {
        const x = m._tslX;
        const y = m._tslY;
        if (x < box.x0 || x > box.x1 || y < box.y0 || y > box.y1) continue;
        const key = cellOf(x, y, size);
        const list = cells.get(key);
        if (list) list.push(m); else cells.set(key, [m]);
      }

      const next = new Set();
      const clusters = new Map();
      const reuse = zoom === this._zoom ? this._clusters : new Map();
      for (const [key, list] of cells) {
        if (list.length === 1) { next.add(list[0]); continue; }
        let c = reuse.get(key);
        if (!c || c._tslVersion !== this._version || !sameMembers(c._tslMembers, list)) c = this._cluster(list);
        clusters.set(key, c);
        next.add(c);
      }
      if (this._fan) {
        if (next.has(this._fan.cluster)) for (const m of this._fan.members) next.add(m);
        else this._unfan();
      }
      for (const l of this._visible) if (!next.has(l)) this._shown.removeLayer(l);
      for (const l of next) if (!this._visible.has(l)) this._shown.addLayer(l);
      this._visible = next;
      this._clusters = clusters;
      this._zoom = zoom;
    },

    _cluster(list) {
      let lat = 0;
      let lng = 0;
      for (const m of list) { const ll = m.getLatLng(); lat += ll.lat; lng += ll.lng; }
      const c = new ClusterMark([lat / list.length, lng / list.length], { keyboard: false });
      c._tslMembers = list;
      c._tslVersion = this._version;
      c.options.icon = this.options.iconCreateFunction(c);
      return c;
    },

    // A cluster clicked: zoomed into until it splits, or fanned out where
    // its marks share one place (or the map is at its closest).
    _onClusterClick(e) {
      const c = e.layer;
      if (!(c instanceof ClusterMark)) return;
      const map = this._map;
      const bounds = L.latLngBounds(c._tslMembers.map((m) => m.getLatLng()));
      const max = map.getMaxZoom();
      const spread = map.project(bounds.getNorthEast(), max).distanceTo(map.project(bounds.getSouthWest(), max));
      if (Math.round(map.getZoom()) >= max || spread < 1) { this._fanOut(c); return; }
      const fits = map.getBoundsZoom(bounds);
      if (fits > map.getZoom()) map.fitBounds(bounds);
      else map.setView(c.getLatLng(), Math.round(map.getZoom()) + 1);
    },

    _fanOut(c) {
      if (this._fan && this._fan.cluster === c) return;
      this._unfan();
      const map = this._map;
      const centre = map.latLngToLayerPoint(c.getLatLng());
      const members = c._tslMembers.slice();
      const legs = L.layerGroup().addTo(map);
      fanOffsets(members.length).forEach((d, i) => {
        const m = members[i];
        const to = map.layerPointToLatLng(centre.add([d.x, d.y]));
        m._tslHome = m.getLatLng();
        m.setLatLng(to);
        L.polyline([c.getLatLng(), to], { weight: 1.5, color: '#222', opacity: 0.5, interactive: false }).addTo(legs);
        this._shown.addLayer(m);
        this._visible.add(m);
      });
      c.setOpacity(0.3);
      this._fan = { cluster: c, members, legs, zoom: Math.round(map.getZoom()) };
    },

    _unfan() {
      const fan = this._fan;
      if (!fan) return;
      this._fan = null;
      for (const m of fan.members) {
        if (m._tslHome) { m.setLatLng(m._tslHome); delete m._tslHome; }
        this._shown.removeLayer(m);
        this._visible.delete(m);
      }
      fan.legs.remove();
      fan.cluster.setOpacity(1);
    }
  });

  function sameMembers(a, b) {
    if (a.length !== b.length) return false;
    for (let i = 0; i < a.length; i++) if (a[i] !== b[i]) return false;
    return true;
  }

  api.Layer = Layer;
  api.layer = (options) => new Layer(options);
  return api;
});

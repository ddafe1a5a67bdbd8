/*
 * The list beside the area circle: the customers whose marks lie inside it,
 * nearest first, with their distance from the centre; those placed only at
 * their municipality's or prefecture's point are listed apart, since their
 * distance says little. Marks that arrive after the circle join the list,
 * a new circle replaces it, clearAll() empties it.
 *
 * The pure part (distance, membership, order) is plain data so that node's
 * test runner can check it; the DOM part builds the panel with textContent
 * only, so a label holding markup stays text.
 *
 * Loaded as a classic script by tessolo.html (global TessoloAreaPanel) and
 * with require() by the tests.
 */
(function (root, factory) {
  'use strict';
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.TessoloAreaPanel = api;
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  // Leaflet's own Earth (L.CRS.Earth): the panel measures as the circle does.
  const EARTH_RADIUS_M = 6371000;
  // A mark on the drawn edge counts as inside; half a metre is far below
  // what any geocoded position is good for.
  const EDGE_TOLERANCE_M = 0.5;
  const APPROXIMATE = { city: '市区町村の代表点', pref: '都道府県の代表点' };

  function distanceMetres(lat1, lng1, lat2, lng2) {
    const rad = Math.PI / 180;
    const sinDLat = Math.sin((lat2 - lat1) * rad / 2);
    const sinDLng = Math.sin((lng2 - lng1) * rad / 2);
    const a = sinDLat * sinDLat + Math.cos(lat1 * rad) * Math.cos(lat2 * rad) * sinDLng * sinDLng;
    return EARTH_RADIUS_M * 2 * Math.atan2(Math.sqrt(a), Math.sqrt(1 - a));
  }

  // Whether (lat, lng) lies inside the polygon `ring` ([[lat, lng], …], open
  // or closed; concave shapes too), a point within EDGE_TOLERANCE_M of an
  // edge counting as inside, as with the circle. Measured on a plane through
  // the point: a drawn territory spans a few tens of kilometres at most.
  function insidePolygon(lat, lng, ring) {
    const rad = Math.PI / 180;
    const kx = Math.cos(lat * rad) * EARTH_RADIUS_M * rad;
    const ky = EARTH_RADIUS_M * rad;
    const pts = ring.map(([a, b]) => [(b - lng) * kx, (a - lat) * ky]);
    let inside = false;
    for (let i = 0, j = pts.length - 1; i < pts.length; j = i++) {
      const [xi, yi] = pts[i];
      const [xj, yj] = pts[j];
      // distance from the point (the origin) to the edge j → i
      const dx = xi - xj;
      const dy = yi - yj;
      const len2 = dx * dx + dy * dy;
      const t = len2 ? Math.max(0, Math.min(1, -(xj * dx + yj * dy) / len2)) : 0;
      if (Math.hypot(xj + t * dx, yj + t * dy) <= EDGE_TOLERANCE_M) return true;
      if ((yi > 0) !== (yj > 0) && 0 < xj + (0 - yj) * dx / dy) inside = !inside;
    }
    return inside;
  }

  // The middle of a polygon's corners: where a territory's list measures from.
  function polygonCentre(ring) {
    let lat = 0;
    let lng = 0;
    for (const [a, b] of ring) { lat += a; lng += b; }
    return { lat: lat / ring.length, lng: lng / ring.length };
  }

  function isApproximate(level) {
    return Object.prototype.hasOwnProperty.call(APPROXIMATE, level);
  }

  // "1.2 km": kilometres to one decimal.
  function formatKm(metres) {
    return (Math.round(metres / 100) / 10).toFixed(1) + ' km';
  }

  // Index at which an entry of distance d goes into a list sorted by
  // distance: after every entry that is not farther, so equal distances
  // keep the order the marks came in.
  function insertionIndex(list, d) {
    let lo = 0;
    let hi = list.length;
    while (lo < hi) {
      const mid = (lo + hi) >> 1;
      if (list[mid].d <= d) lo = mid + 1;
      else hi = mid;
    }
    return lo;
  }

  /*
   * The membership without a page. A mark is anything `read` turns into
   * {lat, lng, level}; its place is read when it arrives (and again when it
   * moves), not at every circle. add() and update() answer what changed, in
   * order, so the DOM can be patched rather than rebuilt.
   *
   * `keyOf(mark)`, when given, names the customer a mark stands for: the
   * same customer marked again (全顧客位置表示 pressed twice draws every mark
   * twice) is listed and counted once, by its first mark.
   *
   * `isSearch(mark)`, when given, tells a searched address's mark (検索): it
   * is listed apart, in `searched`, and is no customer, so not counted.
   */
  class AreaModel {
    constructor(read, keyOf, isSearch) {
      this.get = read || ((m) => m);
      this.keyOf = keyOf;
      this.isSearch = isSearch || (() => false);
      this.keys = new Set();
      this.circle = null;        // {lat, lng, radius}
      this.nearList = [];        // [{mark, d, approximate, list}], nearest first
      this.approxList = [];
      this.searchList = [];
      this.entryOf = new Map();  // mark → its entry in one of the lists
      this.known = [];           // {mark, lat, lng, level} of every mark, in arrival order
      this.placeOf = new Map();
    }

    // Distance from the centre of the circle or territory; -1 outside.
    measure(p) {
      const d = distanceMetres(this.circle.lat, this.circle.lng, p.lat, p.lng);
      if (this.circle.ring) return insidePolygon(p.lat, p.lng, this.circle.ring) ? d : -1;
      return d <= this.circle.radius + EDGE_TOLERANCE_M ? d : -1;
    }

    // Which list a place goes to: 'search', 'approx' or 'near'.
    listOf(p) {
      return p.search ? 'search' : isApproximate(p.level) ? 'approx' : 'near';
    }

    listNamed(name) {
      return name === 'search' ? this.searchList : name === 'approx' ? this.approxList : this.nearList;
    }

    place(p) {
      const d = this.measure(p);
      if (d < 0) return null;
      const name = this.listOf(p);
      const list = this.listNamed(name);
      const entry = { mark: p.mark, d, approximate: name === 'approx', list: name };
      const index = insertionIndex(list, d);
      list.splice(index, 0, entry);
      this.entryOf.set(p.mark, entry);
      return { op: 'insert', entry, index, list: name, approximate: name === 'approx' };
    }

    remember(mark) {
      const r = this.get(mark);
      return { mark, lat: r.lat, lng: r.lng, level: r.level, search: !!this.isSearch(mark) };
    }

    // A new circle; every known mark is measured again.
    setCircle(lat, lng, radius) {
      this.setRegion({ lat, lng, radius });
    }

    // A drawn territory instead of a circle: ring [[lat, lng], …].
    setPolygon(ring) {
      const c = polygonCentre(ring);
      this.setRegion({ lat: c.lat, lng: c.lng, ring: ring.map(([a, b]) => [a, b]) });
    }

    setRegion(region) {
      this.circle = region;
      this.entryOf.clear();
      const lists = { near: [], approx: [], search: [] };
      for (const p of this.known) {
        const d = this.measure(p);
        if (d < 0) continue;
        const name = this.listOf(p);
        lists[name].push({ mark: p.mark, d, approximate: name === 'approx', list: name });
      }
      // Array sort is stable: equal distances keep their arrival order.
      const byDistance = (a, b) => a.d - b.d;
      this.nearList = lists.near.sort(byDistance);
      this.approxList = lists.approx.sort(byDistance);
      this.searchList = lists.search.sort(byDistance);
      for (const list of [this.nearList, this.approxList, this.searchList]) {
        for (const e of list) this.entryOf.set(e.mark, e);
      }
    }

    hasCircle() { return this.circle !== null; }

    // Marks new on the map; answers the insertions, in the order made.
    add(marks) {
      const ops = [];
      for (const mark of marks) {
        if (this.keyOf && !this.isSearch(mark)) {
          const key = this.keyOf(mark);
          if (this.keys.has(key)) continue;
          this.keys.add(key);
        }
        const p = this.remember(mark);
        this.known.push(p);
        this.placeOf.set(mark, p);
        if (this.circle) {
          const ins = this.place(p);
          if (ins) ops.push(ins);
        }
      }
      return ops;
    }

    // Marks that moved or changed level (a refined position): read and
    // measured again. Answers removals and insertions, in the order made.
    update(marks) {
      const ops = [];
      for (const mark of marks) {
        const p = this.placeOf.get(mark);
        if (!p) continue;
        Object.assign(p, this.remember(mark));
        const old = this.entryOf.get(mark);
        if (old) {
          const list = this.listNamed(old.list);
          const index = list.indexOf(old);
          list.splice(index, 1);
          this.entryOf.delete(mark);
          ops.push({ op: 'remove', entry: old, index, list: old.list, approximate: old.approximate });
        }
        if (this.circle) {
          const ins = this.place(p);
          if (ins) ops.push(ins);
        }
      }
      return ops;
    }

    clear() {
      this.circle = null;
      this.nearList = [];
      this.approxList = [];
      this.searchList = [];
      this.known = [];
      this.keys = new Set();
      this.placeOf = new Map();
      this.entryOf.clear();
    }

    near() { return this.nearList; }
    approximate() { return this.approxList; }
    searched() { return this.searchList; }
    // Customers only: a searched address is none.
    count() { return this.nearList.length + this.approxList.length; }
  }

  function createAreaModel(read, keyOf, isSearch) {
    return new AreaModel(read, keyOf, isSearch);
  }

  // Rows put in at once when a circle is drawn; the rest follow in slices of
  // ROWS_PER_SLICE between other work, so that a circle around thousands of
  // customers shows its nearest ones and its count at once.
  const FIRST_ROWS = 200;
  const ROWS_PER_SLICE = 1000;

  /*
   * The panel in the page. `elements`: root (shown while a circle is drawn),
   * count, list, approxBox, approxCount, approxList, and optionally
   * searchBox, searchList (the searched addresses inside). `show(mark)` brings a
   * mark into view and opens it; `labelOf(mark)` and `read(mark)` give its
   * text and its {lat, lng, level}; `keyOf(mark)` the customer it stands
   * for (optional, see createAreaModel); `onLayout()` runs when the panel
   * appears or goes (the map beside it changes size).
   */
  class AreaPanel {
    constructor(opts) {
      this.opts = opts;
      this.el = opts.elements;
      this.doc = this.el.root.ownerDocument;
      this.model = createAreaModel(opts.read, opts.keyOf, opts.isSearch);
      this.nodeOf = new Map(); // entry → li
      // Each list: its element, its entries, and how many of them are in it.
      this.lists = {
        near: { el: this.el.list, entries: () => this.model.near(), rendered: 0 },
        approx: { el: this.el.approxList, entries: () => this.model.approximate(), rendered: 0 },
        search: { el: this.el.searchList || null, entries: () => this.model.searched(), rendered: 0 }
      };
      this.sliceTimer = null;
      this.schedule = opts.schedule || ((fn) => setTimeout(fn, 0));
    }

    item(entry) {
      const doc = this.doc;
      const li = doc.createElement('li');
      const name = doc.createElement('a');
      name.href = '#';
      name.className = 'tsl-area-name';
      name.textContent = this.opts.labelOf(entry.mark) || '（名称なし）';
      name.addEventListener('click', (ev) => {
        ev.preventDefault();
        try { this.opts.show(entry.mark); } catch (e) { console.error(e); }
      });
      li.appendChild(name);
      const note = doc.createElement('span');
      if (entry.approximate) {
        note.className = 'tsl-area-note';
        note.textContent = APPROXIMATE[this.opts.read(entry.mark).level] || '';
      } else {
        note.className = 'tsl-area-km';
        note.textContent = formatKm(entry.d);
      }
      li.appendChild(note);
      this.nodeOf.set(entry, li);
      return li;
    }

    counts() {
      const el = this.el;
      el.count.textContent = String(this.model.count());
      el.approxCount.textContent = String(this.model.approximate().length);
      el.approxBox.hidden = this.model.approximate().length === 0;
      if (el.searchBox) el.searchBox.hidden = this.model.searched().length === 0;
      el.root.dataset.count = String(this.model.count());
    }

    // Appends the next rows of a list, up to `upTo` in all.
    renderTo(list, upTo) {
      const entries = list.entries();
      const end = Math.min(upTo, entries.length);
      if (list.rendered >= end) return;
      const frag = this.doc.createDocumentFragment();
      for (let i = list.rendered; i < end; i++) frag.appendChild(this.item(entries[i]));
      list.el.appendChild(frag);
      list.rendered = end;
    }

    slice() {
      this.sliceTimer = null;
      let budget = ROWS_PER_SLICE;
      for (const list of this.shownLists()) {
        const before = list.rendered;
        this.renderTo(list, list.rendered + budget);
        budget -= list.rendered - before;
      }
      this.scheduleSlices();
    }

    shownLists() {
      return [this.lists.near, this.lists.approx, this.lists.search].filter((l) => l.el);
    }

    scheduleSlices() {
      const pending = this.shownLists().some((l) => l.rendered < l.entries().length);
      if (pending && this.sliceTimer === null) this.sliceTimer = this.schedule(() => this.slice());
    }

    apply(ops) {
      for (const op of ops) {
        const list = this.lists[op.list];
        if (!list.el) continue;
        if (op.op === 'remove') {
          const li = this.nodeOf.get(op.entry);
          if (li) {
            li.remove();
            this.nodeOf.delete(op.entry);
            list.rendered--;
          }
        } else if (op.index < list.rendered || list.rendered === list.entries().length - 1) {
          // Inside the rows shown, or after the last of a list shown whole;
          // otherwise the slices bring it in its turn.
          list.el.insertBefore(this.item(op.entry), list.el.children[op.index] || null);
          list.rendered++;
        }
      }
      if (ops.length) {
        this.counts();
        this.scheduleSlices();
      }
    }

    setVisible(on) {
      const root = this.el.root;
      if (root.hidden === !on) return;
      root.hidden = !on;
      if (this.opts.onLayout) this.opts.onLayout();
    }

    reset() {
      this.nodeOf.clear();
      for (const list of this.shownLists()) {
        list.el.textContent = '';
        list.rendered = 0;
      }
    }

    setCircle(lat, lng, radius, name) {
      this.model.setCircle(lat, lng, radius);
      this.relist(name);
    }

    // A territory's members, under its name.
    setPolygon(ring, name) {
      this.model.setPolygon(ring);
      this.relist(name);
    }

    relist(name) {
      if (this.el.name) this.el.name.textContent = name ? name + ' ' : '';
      this.reset();
      this.renderTo(this.lists.near, FIRST_ROWS);
      this.renderTo(this.lists.approx, FIRST_ROWS - this.lists.near.rendered);
      if (this.lists.search.el) this.renderTo(this.lists.search, FIRST_ROWS);
      this.counts();
      this.setVisible(true);
      this.scheduleSlices();
    }

    // The panel shown for what it carries besides the list (a round of
    // visits), with no region listed.
    showEmpty() {
      if (this.model.hasCircle()) return;
      this.counts();
      this.setVisible(true);
    }

    add(marks) { this.apply(this.model.add(marks)); }
    update(marks) { this.apply(this.model.update(marks)); }

    clear() {
      this.model.clear();
      this.reset();
      this.counts();
      this.setVisible(false);
    }

    count() { return this.model.count(); }

    // The customers' marks listed, in the list's order: the near ones, then
    // the rest; never a searched address.
    marks() { return this.model.near().concat(this.model.approximate()).map((e) => e.mark); }
  }

  function createAreaPanel(opts) {
    return new AreaPanel(opts);
  }

  // The panel on the page's own elements (tessolo.html). While it is shown
  // the map stands beside it, not under it, so it hides none of the marks.
  function attach(doc, opts) {
    const byId = (id) => doc.getElementById(id);
    const root = byId('area');
    const panel = createAreaPanel(Object.assign({}, opts, {
      elements: {
        root,
        count: byId('area-count'),
        list: byId('area-list'),
        approxBox: byId('area-approx'),
        approxCount: byId('area-approx-count'),
        approxList: byId('area-approx-list'),
        searchBox: byId('area-search'),
        searchList: byId('area-search-list'),
        name: byId('area-name')
      },
      onLayout: () => {
        doc.body.classList.toggle('tsl-area-open', !root.hidden);
        if (opts.onLayout) opts.onLayout();
      }
    }));
    // 宛名印刷 and CSV出力 for the customers the list holds.
    for (const [id, action] of [['area-atena', 'atena'], ['area-csv', 'csv']]) {
      const link = byId(id);
      if (!link) continue;
      link.addEventListener('click', (ev) => {
        ev.preventDefault();
        const marks = panel.marks();
        if (marks.length && opts.choose) {
          try { opts.choose(action, marks); } catch (e) { console.error(e); }
        }
      });
    }
    return panel;
  }

  return { distanceMetres, insidePolygon, polygonCentre, isApproximate, formatKm, insertionIndex, createAreaModel, createAreaPanel, attach, EDGE_TOLERANCE_M, FIRST_ROWS };
});

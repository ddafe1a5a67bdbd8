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
   */
  function createAreaModel(read, keyOf) {
    const get = read || ((m) => m);
    let keys = new Set();
    let circle = null;    // {lat, lng, radius}
    let near = [];        // [{mark, d, approximate}], nearest first
    let approx = [];
    const entryOf = new Map(); // mark → its entry in near or approx
    let known = [];       // {mark, lat, lng, level} of every mark, in arrival order
    let placeOf = new Map();

    function measure(p) {
      const d = distanceMetres(circle.lat, circle.lng, p.lat, p.lng);
      return d <= circle.radius + EDGE_TOLERANCE_M ? d : -1;
    }

    function place(p) {
      const d = measure(p);
      if (d < 0) return null;
      const approximate = isApproximate(p.level);
      const list = approximate ? approx : near;
      const entry = { mark: p.mark, d, approximate };
      const index = insertionIndex(list, d);
      list.splice(index, 0, entry);
      entryOf.set(p.mark, entry);
      return { op: 'insert', entry, index, approximate };
    }

    function remember(mark) {
      const r = get(mark);
      return { mark, lat: r.lat, lng: r.lng, level: r.level };
    }

    return {
      // A new circle; every known mark is measured again.
      setCircle(lat, lng, radius) {
        circle = { lat, lng, radius };
        entryOf.clear();
        const inNear = [];
        const inApprox = [];
        for (const p of known) {
          const d = measure(p);
          if (d < 0) continue;
          const approximate = isApproximate(p.level);
          (approximate ? inApprox : inNear).push({ mark: p.mark, d, approximate });
        }
        // Array sort is stable: equal distances keep their arrival order.
        const byDistance = (a, b) => a.d - b.d;
        near = inNear.sort(byDistance);
        approx = inApprox.sort(byDistance);
        for (const e of near) entryOf.set(e.mark, e);
        for (const e of approx) entryOf.set(e.mark, e);
      },
      hasCircle: () => circle !== null,
      // Marks new on the map; answers the insertions, in the order made.
      add(marks) {
        const ops = [];
        for (const mark of marks) {
          if (keyOf) {
            const key = keyOf(mark);
            if (keys.has(key)) continue;
            keys.add(key);
          }
          const p = remember(mark);
          known.push(p);
          placeOf.set(mark, p);
          if (circle) {
            const ins = place(p);
            if (ins) ops.push(ins);
          }
        }
        return ops;
      },
      // Marks that moved or changed level (a refined position): read and
      // measured again. Answers removals and insertions, in the order made.
      update(marks) {
        const ops = [];
        for (const mark of marks) {
          const p = placeOf.get(mark);
          if (!p) continue;
          Object.assign(p, remember(mark));
          const old = entryOf.get(mark);
          if (old) {
            const list = old.approximate ? approx : near;
            const index = list.indexOf(old);
            list.splice(index, 1);
            entryOf.delete(mark);
            ops.push({ op: 'remove', entry: old, index, approximate: old.approximate });
          }
          if (circle) {
            const ins = place(p);
            if (ins) ops.push(ins);
          }
        }
        return ops;
      },
      clear() {
        circle = null;
        near = [];
        approx = [];
        known = [];
        keys = new Set();
        placeOf = new Map();
        entryOf.clear();
      },
      near: () => near,
      approximate: () => approx,
      count: () => near.length + approx.length
    };
  }

  // Rows put in at once when a circle is drawn; the rest follow in slices of
  // ROWS_PER_SLICE between other work, so that a circle around thousands of
  // customers shows its nearest ones and its count at once.
  const FIRST_ROWS = 200;
  const ROWS_PER_SLICE = 1000;

  /*
   * The panel in the page. `elements`: root (shown while a circle is drawn),
   * count, list, approxBox, approxCount, approxList. `show(mark)` brings a
   * mark into view and opens it; `labelOf(mark)` and `read(mark)` give its
   * text and its {lat, lng, level}; `keyOf(mark)` the customer it stands
   * for (optional, see createAreaModel); `onLayout()` runs when the panel
   * appears or goes (the map beside it changes size).
   */
  function createAreaPanel(opts) {
    const el = opts.elements;
    const doc = el.root.ownerDocument;
    const model = createAreaModel(opts.read, opts.keyOf);
    const nodeOf = new Map(); // entry → li
    // Each list: its element, its entries, and how many of them are in it.
    const lists = {
      near: { el: el.list, entries: () => model.near(), rendered: 0 },
      approx: { el: el.approxList, entries: () => model.approximate(), rendered: 0 }
    };
    let sliceTimer = null;
    const schedule = opts.schedule || ((fn) => setTimeout(fn, 0));

    function item(entry) {
      const li = doc.createElement('li');
      const name = doc.createElement('a');
      name.href = '#';
      name.className = 'tsl-area-name';
      name.textContent = opts.labelOf(entry.mark) || '（名称なし）';
      name.addEventListener('click', (ev) => {
        ev.preventDefault();
        try { opts.show(entry.mark); } catch (e) { console.error(e); }
      });
      li.appendChild(name);
      const note = doc.createElement('span');
      if (entry.approximate) {
        note.className = 'tsl-area-note';
        note.textContent = APPROXIMATE[opts.read(entry.mark).level] || '';
      } else {
        note.className = 'tsl-area-km';
        note.textContent = formatKm(entry.d);
      }
      li.appendChild(note);
      nodeOf.set(entry, li);
      return li;
    }

    function counts() {
      el.count.textContent = String(model.count());
      el.approxCount.textContent = String(model.approximate().length);
      el.approxBox.hidden = model.approximate().length === 0;
      el.root.dataset.count = String(model.count());
    }

    // Appends the next rows of a list, up to `upTo` in all.
    function renderTo(list, upTo) {
      const entries = list.entries();
      const end = Math.min(upTo, entries.length);
      if (list.rendered >= end) return;
      const frag = doc.createDocumentFragment();
      for (let i = list.rendered; i < end; i++) frag.appendChild(item(entries[i]));
      list.el.appendChild(frag);
      list.rendered = end;
    }

    function slice() {
      sliceTimer = null;
      let budget = ROWS_PER_SLICE;
      for (const list of [lists.near, lists.approx]) {
        const before = list.rendered;
        renderTo(list, list.rendered + budget);
        budget -= list.rendered - before;
      }
      scheduleSlices();
    }

    function scheduleSlices() {
      const pending = lists.near.rendered < model.near().length || lists.approx.rendered < model.approximate().length;
      if (pending && sliceTimer === null) sliceTimer = schedule(slice);
    }

    function apply(ops) {
      for (const op of ops) {
        const list = op.approximate ? lists.approx : lists.near;
        if (op.op === 'remove') {
          const li = nodeOf.get(op.entry);
          if (li) {
            li.remove();
            nodeOf.delete(op.entry);
            list.rendered--;
          }
        } else if (op.index < list.rendered || list.rendered === list.entries().length - 1) {
          // Inside the rows shown, or after the last of a list shown whole;
          // otherwise the slices bring it in its turn.
          list.el.insertBefore(item(op.entry), list.el.children[op.index] || null);
          list.rendered++;
        }
      }
      if (ops.length) {
        counts();
        scheduleSlices();
      }
    }

    function setVisible(on) {
      if (el.root.hidden === !on) return;
      el.root.hidden = !on;
      if (opts.onLayout) opts.onLayout();
    }

    function reset() {
      nodeOf.clear();
      for (const list of [lists.near, lists.approx]) {
        list.el.textContent = '';
        list.rendered = 0;
      }
    }

    return {
      setCircle(lat, lng, radius) {
        model.setCircle(lat, lng, radius);
        reset();
        renderTo(lists.near, FIRST_ROWS);
        renderTo(lists.approx, FIRST_ROWS - lists.near.rendered);
        counts();
        setVisible(true);
        scheduleSlices();
      },
      add(marks) { apply(model.add(marks)); },
      update(marks) { apply(model.update(marks)); },
      clear() {
        model.clear();
        reset();
        counts();
        setVisible(false);
      },
      count: () => model.count()
    };
  }

  // The panel on the page's own elements (tessolo.html). While it is shown
  // the map stands beside it, not under it, so it hides none of the marks.
  function attach(doc, opts) {
    const byId = (id) => doc.getElementById(id);
    const root = byId('area');
    return createAreaPanel(Object.assign({}, opts, {
      elements: {
        root,
        count: byId('area-count'),
        list: byId('area-list'),
        approxBox: byId('area-approx'),
        approxCount: byId('area-approx-count'),
        approxList: byId('area-approx-list')
      },
      onLayout: () => {
        doc.body.classList.toggle('tsl-area-open', !root.hidden);
        if (opts.onLayout) opts.onLayout();
      }
    }));
  }

  return { distanceMetres, isApproximate, formatKm, insertionIndex, createAreaModel, createAreaPanel, attach, EDGE_TOLERANCE_M, FIRST_ROWS };
});

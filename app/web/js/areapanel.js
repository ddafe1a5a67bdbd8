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
   * The membership without a page. A mark is anything with lat, lng and
   * level (the page passes an accessor). add() and remove() answer what
   * changed, so the DOM can be patched rather than rebuilt.
   */
  function createAreaModel(read) {
    const get = read || ((m) => m);
    let circle = null;    // {lat, lng, radius}
    let near = [];        // [{mark, d}], nearest first
    let approx = [];
    const entryOf = new Map(); // mark → entry in near/approx
    let known = [];       // every mark on the map, in the order it came

    function place(mark) {
      const p = get(mark);
      const d = distanceMetres(circle.lat, circle.lng, p.lat, p.lng);
      if (!(d <= circle.radius + EDGE_TOLERANCE_M)) return null;
      const list = isApproximate(p.level) ? approx : near;
      const entry = { mark, d, approximate: list === approx };
      const at = insertionIndex(list, d);
      list.splice(at, 0, entry);
      entryOf.set(mark, entry);
      return { entry, index: at, approximate: entry.approximate };
    }

    return {
      // A new circle; every known mark is measured again.
      setCircle(lat, lng, radius) {
        circle = { lat, lng, radius };
        near = [];
        approx = [];
        entryOf.clear();
        const inside = [];
        for (const mark of known) {
          const p = get(mark);
          const d = distanceMetres(lat, lng, p.lat, p.lng);
          if (d <= radius + EDGE_TOLERANCE_M) inside.push({ mark, d, approximate: isApproximate(p.level) });
        }
        // Array sort is stable: equal distances keep their arrival order.
        inside.sort((a, b) => a.d - b.d);
        for (const e of inside) {
          (e.approximate ? approx : near).push(e);
          entryOf.set(e.mark, e);
        }
      },
      hasCircle: () => circle !== null,
      // Marks new on the map; answers the insertions, in the order made.
      add(marks) {
        const made = [];
        for (const mark of marks) {
          known.push(mark);
          if (circle) {
            const ins = place(mark);
            if (ins) made.push(ins);
          }
        }
        return made;
      },
      // Marks that moved or changed level (a refined position): measured again.
      update(marks) {
        const removed = [];
        const made = [];
        for (const mark of marks) {
          const old = entryOf.get(mark);
          if (old) {
            const list = old.approximate ? approx : near;
            list.splice(list.indexOf(old), 1);
            entryOf.delete(mark);
            removed.push(old);
          }
          if (circle) {
            const ins = place(mark);
            if (ins) made.push(ins);
          }
        }
        return { removed, made };
      },
      clear() {
        circle = null;
        near = [];
        approx = [];
        known = [];
        entryOf.clear();
      },
      near: () => near,
      approximate: () => approx,
      count: () => near.length + approx.length
    };
  }

  /*
   * The panel in the page. `elements`: root (shown while a circle is drawn),
   * count, list, approxBox, approxCount, approxList. `show(mark)` brings a
   * mark into view and opens it; `labelOf(mark)` and `read(mark)` give its
   * text and its {lat, lng, level}; `onLayout()` runs when the panel appears
   * or goes (the map beside it changes size).
   */
  function createAreaPanel(opts) {
    const el = opts.elements;
    const doc = el.root.ownerDocument;
    const model = createAreaModel(opts.read);
    const nodeOf = new Map(); // entry → li

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

    function fill(list, entries) {
      list.textContent = '';
      const frag = doc.createDocumentFragment();
      for (const e of entries) frag.appendChild(item(e));
      list.appendChild(frag);
    }

    function insert(ins) {
      const list = ins.approximate ? el.approxList : el.list;
      list.insertBefore(item(ins.entry), list.children[ins.index] || null);
    }

    function setVisible(on) {
      if (el.root.hidden === !on) return;
      el.root.hidden = !on;
      if (opts.onLayout) opts.onLayout();
    }

    return {
      setCircle(lat, lng, radius) {
        model.setCircle(lat, lng, radius);
        nodeOf.clear();
        fill(el.list, model.near());
        fill(el.approxList, model.approximate());
        counts();
        setVisible(true);
      },
      add(marks) {
        const made = model.add(marks);
        for (const ins of made) insert(ins);
        if (made.length) counts();
      },
      update(marks) {
        const { removed, made } = model.update(marks);
        for (const e of removed) {
          const li = nodeOf.get(e);
          if (li) li.remove();
          nodeOf.delete(e);
        }
        for (const ins of made) insert(ins);
        if (removed.length || made.length) counts();
      },
      clear() {
        model.clear();
        nodeOf.clear();
        el.list.textContent = '';
        el.approxList.textContent = '';
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

  return { distanceMetres, isApproximate, formatKm, insertionIndex, createAreaModel, createAreaPanel, attach, EDGE_TOLERANCE_M };
});

import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';

const require = createRequire(import.meta.url);
const { distanceMetres, formatKm, createAreaModel, createAreaPanel, insidePolygon, EDGE_TOLERANCE_M, FIRST_ROWS } = require('../../app/web/js/areapanel.js');

const R = 6371000;
const deg = 180 / Math.PI;
// A point `metres` due north of (lat, lng), on Leaflet's sphere.
const north = (lat, lng, metres) => ({ lat: lat + (metres / R) * deg, lng });
const mark = (name, p, level = 'town') => ({ name, lat: p.lat, lng: p.lng, level });
const names = (entries) => entries.map((e) => e.mark.name);

test('distances are those of the sphere Leaflet draws the circle on', () => {
  assert.equal(distanceMetres(35, 139, 35, 139), 0);
  assert.ok(Math.abs(distanceMetres(35, 139, 36, 139) - R * Math.PI / 180) < 1e-6);
  const d = distanceMetres(35.681, 139.767, 34.702, 135.495); // Tokyo to Osaka stations
  assert.ok(d > 395000 && d < 410000, String(d));
  assert.equal(distanceMetres(34.702, 135.495, 35.681, 139.767), d);
});

test('kilometres are shown to one decimal', () => {
  assert.equal(formatKm(0), '0.0 km');
  assert.equal(formatKm(1234), '1.2 km');
  assert.equal(formatKm(1250), '1.3 km');
  assert.equal(formatKm(4999.9), '5.0 km');
  assert.equal(formatKm(123456), '123.5 km');
});

test('a mark on the edge is inside, one a metre beyond it is not', () => {
  const model = createAreaModel();
  const c = { lat: 35, lng: 139 };
  model.add([
    mark('on the edge', north(c.lat, c.lng, 5000)),
    mark('just inside', north(c.lat, c.lng, 4999)),
    mark('a metre out', north(c.lat, c.lng, 5001)),
    mark('east, on the edge', { lat: 35, lng: 139 + 2 * deg * Math.asin(Math.sin(5000 / (2 * R)) / Math.cos(35 / deg)) }),
    mark('centre', c)
  ]);
  model.setCircle(c.lat, c.lng, 5000);
  assert.deepEqual(names(model.near()).sort(), ['centre', 'east, on the edge', 'just inside', 'on the edge']);
  assert.deepEqual(names(model.near()).slice(0, 2), ['centre', 'just inside']);
  assert.ok(EDGE_TOLERANCE_M < 1);
});

test('nearest first, equal distances in arrival order, approximate ones apart', () => {
  const model = createAreaModel();
  const c = { lat: 35, lng: 139 };
  model.add([
    mark('c3', north(35, 139, 3000)),
    mark('city2', north(35, 139, 2000), 'city'),
    mark('a1', north(35, 139, 1000)),
    mark('b1', north(35, 139, 1000)),
    mark('pref0', c, 'pref'),
    mark('refined4', north(35, 139, 4000), 'refined')
  ]);
  model.setCircle(c.lat, c.lng, 10000);
  assert.deepEqual(names(model.near()), ['a1', 'b1', 'c3', 'refined4']);
  assert.deepEqual(names(model.approximate()), ['pref0', 'city2']);
  assert.equal(model.count(), 6);

  // Marks that come later go to their place; ties after the ones before.
  const made = model.add([mark('later1', north(35, 139, 1000)), mark('far', north(35, 139, 20000)), mark('z0', { ...c })]);
  assert.deepEqual(made.map((m) => [m.entry.mark.name, m.index, m.approximate]), [['later1', 2, false], ['z0', 0, false]]);
  assert.deepEqual(names(model.near()), ['z0', 'a1', 'b1', 'later1', 'c3', 'refined4']);

  // A refinement moves a municipality mark to its real place.
  const city = model.approximate()[1].mark;
  Object.assign(city, north(35, 139, 500), { level: 'refined' });
  assert.deepEqual(model.update([city]).map((o) => [o.op, o.entry.mark.name, o.index, o.approximate]),
    [['remove', 'city2', 1, true], ['insert', 'city2', 1, false]]);
  assert.deepEqual(names(model.approximate()), ['pref0']);

  // A new circle replaces the list; the marks are measured again.
  model.setCircle(north(35, 139, 20000).lat, 139, 1500);
  assert.deepEqual(names(model.near()), ['far']);
  model.clear();
  assert.equal(model.count(), 0);
  model.setCircle(35, 139, 10000);
  assert.equal(model.count(), 0, 'clearing forgets the marks too');
});

// Just enough of a DOM for the panel; setting innerHTML fails the test, so
// a label can reach the page only as text.
function fakeDocument() {
  class Node {
    constructor(tag) { this.tag = tag; this.children = []; this.parent = null; this.text = ''; this.listeners = {}; this.dataset = {}; this.hidden = false; this.ownerDocument = doc; }
    appendChild(n) { return this.insertBefore(n, null); }
    insertBefore(n, ref) {
      const kids = n.tag === '#fragment' ? n.children.splice(0) : [n];
      const at = ref ? this.children.indexOf(ref) : this.children.length;
      for (const k of kids) k.parent = this;
      this.children.splice(at, 0, ...kids);
      return n;
    }
    remove() { if (this.parent) this.parent.children.splice(this.parent.children.indexOf(this), 1); this.parent = null; }
    set textContent(t) { this.children = []; this.text = String(t); }
    get textContent() { return this.text + this.children.map((c) => c.textContent).join(''); }
    set innerHTML(v) { throw new Error('innerHTML set to ' + v); }
    addEventListener(type, fn) { this.listeners[type] = fn; }
    click() { this.listeners.click({ preventDefault() {} }); }
  }
  const doc = { createElement: (tag) => new Node(tag), createDocumentFragment: () => new Node('#fragment') };
  return doc;
}

test('the panel lists labels as text, counts, and shows a mark when its name is clicked', () => {
  const doc = fakeDocument();
  const el = {};
  for (const k of ['root', 'count', 'list', 'approxBox', 'approxCount', 'approxList']) el[k] = doc.createElement('div');
  el.root.hidden = true;
  const shown = [];
  let layouts = 0;
  const panel = createAreaPanel({
    elements: el,
    read: (m) => m,
    labelOf: (m) => m.name,
    show: (m) => shown.push(m.name),
    onLayout: () => layouts++,
    schedule: () => assert.fail('a short list needs no slices')
  });
  const hostile = '<img src=x onerror=alert(1)></script>&amp;';
  panel.add([mark(hostile, north(35, 139, 1500)), mark('市', north(35, 139, 100), 'city'), mark('', north(35, 139, 60))]);
  panel.setCircle(35, 139, 2000);
  assert.equal(el.root.hidden, false);
  assert.equal(layouts, 1);
  assert.equal(el.count.textContent, '3');
  assert.equal(el.root.dataset.count, '3');
  const rows = el.list.children.map((li) => li.children.map((c) => c.textContent));
  assert.deepEqual(rows, [['（名称なし）', '0.1 km'], [hostile, '1.5 km']]);
  assert.equal(el.approxBox.hidden, false);
  assert.deepEqual(el.approxList.children.map((li) => li.textContent), ['市市区町村の代表点']);

  el.list.children[1].children[0].click();
  assert.deepEqual(shown, [hostile]);

  panel.add([mark('later', north(35, 139, 1000))]);
  assert.deepEqual(el.list.children.map((li) => li.children[0].textContent), ['（名称なし）', 'later', hostile]);
  assert.equal(el.count.textContent, '4');

  panel.clear();
  assert.equal(el.root.hidden, true);
  assert.equal(layouts, 2);
  assert.equal(el.list.children.length, 0);
  assert.equal(el.count.textContent, '0');
  assert.equal(el.approxBox.hidden, true);
});

test('a long list shows its nearest rows at once and the rest in slices, marks arriving meanwhile included', () => {
  const doc = fakeDocument();
  const el = {};
  for (const k of ['root', 'count', 'list', 'approxBox', 'approxCount', 'approxList']) el[k] = doc.createElement('div');
  const slices = [];
  const panel = createAreaPanel({
    elements: el, read: (m) => m, labelOf: (m) => m.name, show: () => {}, schedule: (fn) => { slices.push(fn); return slices.length; }
  });
  const total = FIRST_ROWS + 1500;
  const marks = [];
  for (let i = 0; i < total; i++) marks.push(mark('m' + i, north(35, 139, 10 * i)));
  panel.add(marks);
  panel.setCircle(35, 139, 1e6);
  assert.equal(el.count.textContent, String(total));
  assert.equal(el.list.children.length, FIRST_ROWS);
  assert.equal(slices.length, 1);

  // One near the centre goes in among the rows shown; one far out waits
  // for its slice.
  panel.add([mark('near', north(35, 139, 5)), mark('far', north(35, 139, 10 * total))]);
  assert.equal(el.list.children.length, FIRST_ROWS + 1);
  assert.equal(el.list.children[1].children[0].textContent, 'near');
  while (slices.length) slices.shift()();
  const shown = el.list.children.map((li) => li.children[0].textContent);
  assert.equal(shown.length, total + 2);
  assert.deepEqual(shown.slice(0, 3), ['m0', 'near', 'm1']);
  assert.equal(shown[shown.length - 1], 'far');
  assert.equal(el.count.textContent, String(total + 2));
});

test('a customer marked twice is listed and counted once; another of the same name elsewhere is not merged', () => {
  const keyOf = (m) => m.name + '\n' + m.address;
  const model = createAreaModel(undefined, keyOf);
  const c = { lat: 35, lng: 139 };
  const once = () => [
    Object.assign(mark('山田太郎::山田商店', north(35, 139, 1000)), { address: '東京都千代田区' }),
    Object.assign(mark('山田太郎::山田商店', north(35, 139, 2000)), { address: '東京都港区' }),
    Object.assign(mark('佐藤花子::', north(35, 139, 3000), 'city'), { address: '東京都中央区' })
  ];
  model.add(once());
  model.setCircle(c.lat, c.lng, 10000);
  assert.equal(model.add(once()).length, 0); // 全顧客位置表示 again
  assert.equal(model.count(), 3);
  assert.deepEqual(names(model.near()), ['山田太郎::山田商店', '山田太郎::山田商店']);
  assert.deepEqual(names(model.approximate()), ['佐藤花子::']);
  model.setCircle(c.lat, c.lng, 10000);
  assert.equal(model.count(), 3);
  // After クリア the same customers are new again.
  model.clear();
  model.add(once());
  model.setCircle(c.lat, c.lng, 10000);
  assert.equal(model.count(), 3);
});

test('a drawn territory: its edge counts as inside, a concave one leaves its notch out', () => {
  // A "U" about 2 km wide near Tokyo station: two arms and the bottom; the
  // notch between the arms is outside.
  const lat0 = 35.68;
  const lng0 = 139.76;
  const dLat = (m) => (m / R) * deg;
  const dLng = (m) => (m / (R * Math.cos(lat0 / deg))) * deg;
  const at = (x, y) => [lat0 + dLat(y), lng0 + dLng(x)];
  const u = [at(0, 0), at(2000, 0), at(2000, 2000), at(1400, 2000), at(1400, 600), at(600, 600), at(600, 2000), at(0, 2000)];
  const inside = (x, y) => insidePolygon(...at(x, y), u);

  assert.equal(inside(300, 1500), true, 'left arm');
  assert.equal(inside(1700, 1500), true, 'right arm');
  assert.equal(inside(1000, 300), true, 'bottom');
  assert.equal(inside(1000, 1500), false, 'the notch');
  assert.equal(inside(1000, 2100), false, 'above the notch');
  assert.equal(inside(-10, 1000), false, 'beside the left edge');
  // on an edge and on a corner, also the notch's own edges
  assert.equal(inside(0, 1000), true);
  assert.equal(inside(1000, 0), true);
  assert.equal(inside(2000, 2000), true);
  assert.equal(inside(1000, 600), true);
  assert.equal(inside(600, 1200), true);
  assert.equal(inside(1000, 600 + 2 * EDGE_TOLERANCE_M), false, 'just past the notch edge');

  // The model lists the territory's customers as it does the circle's.
  const model = createAreaModel();
  const marks = [['armL', 300, 1500], ['notch', 1000, 1500], ['edge', 0, 1000], ['far', 5000, 5000]]
    .map(([name, x, y]) => { const [lat, lng] = at(x, y); return { name, lat, lng, level: 'town' }; });
  model.add(marks);
  model.setPolygon(u);
  assert.deepEqual(names(model.near()).sort(), ['armL', 'edge']);
  assert.equal(model.count(), 2);
});

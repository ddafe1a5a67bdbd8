// Drives the map page inside an iframe the way the program does (string
// arguments, many calls in a row, nothing read back but the test hooks) and
// posts what it saw to the runner (run.mjs) as JSON.

'use strict';

const frame = document.getElementById('page');
const report = { checks: [], timings: [], errors: [] };

function check(name, ok, detail) {
  report.checks.push({ name, ok: !!ok, detail: detail === undefined ? '' : String(detail) });
}

function load(query) {
  return new Promise((resolve) => {
    frame.onload = () => {
      const w = frame.contentWindow;
      if (!w.location.pathname.endsWith('/tessolo.html')) return; // the initial about:blank
      w.addEventListener('error', (e) => report.errors.push(String(e.message)));
      w.addEventListener('unhandledrejection', (e) => report.errors.push('rejection: ' + String(e.reason)));
      resolve(w);
    };
    frame.src = '/velmo/tessolo.html' + query;
  });
}

function idle(w, timeoutMs = 20000) {
  const start = performance.now();
  return new Promise((resolve, reject) => {
    (function poll() {
      if (w.tessoloPending() === 0) return resolve(performance.now() - start);
      if (performance.now() - start > timeoutMs) return reject(new Error('page still pending: ' + w.tessoloPending()));
      setTimeout(poll, 2);
    })();
  });
}

function until(probe, timeoutMs) {
  const start = performance.now();
  return new Promise((resolve) => {
    (function poll() {
      const v = probe();
      if (v || performance.now() - start > timeoutMs) return resolve(v);
      setTimeout(poll, 10);
    })();
  });
}

// Every call in a task of its own, all posted at once: the shape of a
// program looping over its rows and sending one script call per row.
function callsAsSeparateTasks(w, n, call) {
  const ch = new w.MessageChannel();
  let i = 0;
  ch.port1.onmessage = () => { call(i++); };
  for (let k = 0; k < n; k++) ch.port2.postMessage(0);
}

async function bench(w, addresses, n) {
  w.clearAll();
  const t0 = performance.now();
  let lastCall = 0;
  callsAsSeparateTasks(w, n, (i) => {
    w.search_geo2("'" + addresses[i % addresses.length] + "'", '顧客' + i + '::会社' + i);
    lastCall = performance.now();
  });
  await new Promise((resolve, reject) => {
    (function poll() {
      if (w.tessoloMarkCount() >= n && w.tessoloPending() === 0) return resolve();
      if (performance.now() - t0 > 60000) return reject(new Error('marks: ' + w.tessoloMarkCount()));
      setTimeout(poll, 2);
    })();
  });
  const ms = performance.now() - t0;
  report.timings.push({ marks: n, ms: Math.round(ms), callsMs: Math.round(lastCall - t0) });
  check(n + ' marks present', w.tessoloMarkCount() === n, w.tessoloMarkCount());
}

async function main() {
  const w = await load('?offline=1');
  const doc = w.document;
  check('page functions defined', ['search_geo2', 'draw_homeicon', 'draw_circle', 'clearAll', 'tessoloMarkCount', 'tessoloPending']
    .every((f) => typeof w[f] === 'function'));

  // Calls made before the table has arrived are kept, not lost.
  // (a town the tables do not know: placed at its municipality)
  w.search_geo2("'東京都千代田区どこか町'", '山田太郎::山田商事');
  await idle(w);
  check('one customer mark', w.tessoloMarkCount() === 1, w.tessoloMarkCount());
  const pin = doc.querySelector('.leaflet-marker-pane .tsl-pin');
  check('mark drawn as approximate (municipality point)', pin && pin.classList.contains('tsl-pin-city'), pin && pin.className);
  const popup = await until(() => doc.querySelector('.leaflet-popup-content'), 3000);
  check('single search opens its label', popup && popup.textContent.includes('山田太郎（山田商事）'), popup && popup.textContent);
  check('popup says the point is approximate', popup && popup.textContent.includes('市区町村の代表点'), popup && popup.textContent);

  w.search_geo2("'ほげほげ'", "'ほげほげ'");
  w.search_geo2("''", '::');
  await idle(w);
  const panel = doc.getElementById('unplaced');
  const items = [...doc.querySelectorAll('#unplaced-list li')].map((li) => li.textContent);
  check('unplaceable address listed without quotes', !panel.hidden && items[0] === 'ほげほげ', JSON.stringify(items));
  check('panel titled 位置不明 with count', panel.querySelector('summary').textContent.replace(/\s+/g, '') === '位置不明2件',
    panel.querySelector('summary').textContent);
  check('unplaceable not counted as marks', w.tessoloMarkCount() === 1, w.tessoloMarkCount());

  for (const [centre, radius] of [['東京都千代田区', 'abc'], ['東京都千代田区', '0'], ['東京都千代田区', '-3'], ['東京都千代田区', ''], ['', '5']]) {
    w.draw_circle(centre, radius);
  }
  await idle(w);
  check('no circle for bad radius or empty centre', w.tessoloState().circles === 0, JSON.stringify(w.tessoloState()));
  w.draw_circle('東京都千代田区丸の内', '５');
  w.draw_homeicon('東京都千代田区丸の内');
  await idle(w);
  const st = w.tessoloState();
  check('circle and home icon drawn', st.circles === 1 && st.homes === 1, JSON.stringify(st));
  check('circle shown in an svg path', doc.querySelectorAll('.leaflet-overlay-pane path').length >= 1);

  w.search_geo2("'福岡県福岡市中央区天神'", '::天神商店');
  w.search_geo2("'福岡県那珂川市'", '那珂川::');
  await idle(w);
  check('marks accumulate', w.tessoloMarkCount() === 3, w.tessoloMarkCount());

  // A later single search (a new burst) again opens its own label.
  await new Promise((r) => setTimeout(r, 700));
  w.search_geo2("'大阪府大阪市北区梅田'", "'大阪府大阪市北区梅田'");
  await idle(w);
  const later = await until(() => {
    const p = doc.querySelector('.leaflet-popup-content');
    return p && p.textContent.includes('大阪府大阪市北区梅田') ? p : null;
  }, 3000);
  check('a later single search opens its label', later, doc.querySelector('.leaflet-popup-content') && doc.querySelector('.leaflet-popup-content').textContent);
  check('a town-level mark is a pin', !!later && doc.querySelectorAll('.leaflet-marker-pane .tsl-pin-exact').length >= 1);

  // Queued calls made just before clearAll() must not appear after it.
  w.search_geo2("'大阪府大阪市北区'", 'x::y');
  w.clearAll();
  await idle(w);
  const cleared = w.tessoloState();
  // (a closed popup fades out for 200 ms before it leaves the DOM)
  check('clearAll closes the open label', await until(() => !doc.querySelector('.leaflet-popup-content'), 1000));
  check('clearAll removes everything', cleared.marks === 0 && cleared.homes === 0 && cleared.circles === 0 && cleared.unplaced === 0, JSON.stringify(cleared));
  check('clearAll empties the panel', panel.hidden && doc.querySelectorAll('#unplaced-list li').length === 0);
  check('base map drawn', await until(() => w.tessoloBasemapState().ready, 10000), JSON.stringify(w.tessoloBasemapState()));
  check('base map under the tiles', doc.querySelector('.leaflet-basemap-pane canvas') !== null);

  // Town tables: fetched only for the prefectures placed so far; calls made
  // while one loads are drawn once it is there, at their towns; clearAll
  // while one loads drops the calls before it.
  const townFiles = () => w.performance.getEntriesByType('resource')
    .map((e) => e.name).filter((n) => /\/towns\/\d\d\.json$/.test(n)).map((n) => n.slice(-7)).sort();
  check('only the placed prefectures\' town tables fetched', JSON.stringify(townFiles()) === '["13.json","27.json","40.json"]', JSON.stringify(townFiles()));
  w.search_geo2("'北海道札幌市北区北10条西3丁目'", 'A::');
  w.search_geo2("'沖縄県那覇市'", 'B::');
  w.search_geo2("'北海道札幌市北区北１０条西３丁目'", 'C::');
  await idle(w);
  const order = w.tessoloLevels ? w.tessoloLevels() : {};
  check('marks wait for their town tables', order.town >= 2, JSON.stringify(order));
  w.clearAll();
  w.search_geo2("'福岡県福岡市中央区天神1-1'", 'D::');
  w.clearAll();
  w.search_geo2("'福岡県福岡市中央区天神２丁目'", 'E::');
  await idle(w);
  check('clearAll during a table load keeps only the later call', w.tessoloMarkCount() === 1 && w.tessoloLevels().town === 1,
    JSON.stringify(w.tessoloLevels()));
  w.clearAll();

  // Throws nothing back to the caller, whatever it is given.
  let threw = null;
  try {
    w.search_geo2(undefined, undefined);
    w.search_geo2(null, 42);
    w.draw_circle(undefined, undefined);
    w.draw_homeicon('');
  } catch (e) { threw = e; }
  await idle(w);
  check('odd arguments raise nothing', threw === null, threw);
  w.clearAll();

  // Customers sharing one town's point never split by zooming: a click on
  // their cluster fans them out, a click on the map folds them back.
  for (let i = 0; i < 12; i++) w.search_geo2("'東京都千代田区丸の内１丁目'", '丸' + i + '::', String(100 + i), '{}');
  w.search_geo2("'東京都千代田区神田神保町１丁目'", '神保::', '200', '{}');
  await idle(w);
  const pane = w.document.querySelector('.leaflet-marker-pane');
  const pins = () => pane.querySelectorAll('.tsl-pin').length;
  const twelve = await until(() => [...pane.querySelectorAll('.marker-cluster, .tsl-cluster')].find((el) => el.textContent.trim() === '12'), 3000);
  check('twelve customers at one town are one cluster beside a lone mark', !!twelve && pins() === 1, pane.innerHTML.length + ' ' + pins());
  if (twelve) {
    twelve.click();
    check('a click on the cluster fans its marks out', await until(() => pins() === 13, 2000), pins());
    w.document.getElementById('map').dispatchEvent(new w.MouseEvent('click', { bubbles: true, clientX: 5, clientY: 400 }));
    check('a click on the map folds them back', await until(() => pins() === 1, 2000), pins());
  }
  w.clearAll();

  const table = await (await w.fetch('data/geocode-table.json')).json();
  const addresses = [];
  for (const [pref, , , cities] of table.prefectures) {
    for (const city of Object.keys(cities)) addresses.push(pref + city + '1-2-3');
  }
  await bench(w, addresses, 5000);
  await bench(w, addresses, 20000);
  w.clearAll();

  // Online mode where the network is unreachable (as here): tiles and the
  // refinement fail, the marks and the base map must not.
  const on = await load('');
  on.search_geo2("'東京都千代田区丸の内一丁目'", '山田太郎::山田商事');
  on.search_geo2("'大阪府大阪市北区梅田'", '::梅田商事');
  on.draw_homeicon('東京都港区');
  await idle(on);
  check('online page without network still marks', on.tessoloMarkCount() === 2 && on.tessoloState().homes === 1, JSON.stringify(on.tessoloState()));
  const settled = await until(() => on.tessoloState().refining === 0, 15000);
  check('failed refinement leaves the marks in place', settled && on.tessoloMarkCount() === 2, JSON.stringify(on.tessoloState()));
  check('base map drawn online too', await until(() => on.tessoloBasemapState().ready, 10000));
  check('tile layer present online', on.document.querySelectorAll('.leaflet-tile-pane .leaflet-layer').length === 1);
}

main()
  .catch((e) => report.errors.push('harness: ' + (e && e.stack ? e.stack : e)))
  .then(() => fetch('/report', { method: 'POST', body: JSON.stringify(report) }));

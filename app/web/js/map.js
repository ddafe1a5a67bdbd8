/*
 * The map page proper: the Leaflet map and the functions the program calls
 * (search_geo2, draw_homeicon, draw_circle, clearAll).
 *
 * The program calls those functions one by one, up to tens of thousands of
 * times in a row, and never reads anything back. So each call only queues its
 * arguments and returns; a flush a few milliseconds later geocodes the whole
 * queue and hands the marks to the cluster layer in one addLayers call.
 * Nothing thrown here may reach the program: its browser control turns a
 * script error into an error box and stops marking the remaining rows.
 *
 * URL parameters: offline=1 keeps the page off the network: no tiles (the
 * program adds it when started with --offline, and then answers refinement
 * questions only from what it kept). home=<address>: the own company's first
 * site, which the map opens on.
 *
 * ---- The contract with the program (app/frmmapbrows.cpp) ------------------
 * The calls keep the shape the program has always given them; users' habits
 * and the program's tests rest on it, so the page adapts to it, not the
 * other way round. Every argument is a string.
 *
 * search_geo2(address, label[, rowid[, fields]]), three callers:
 *   全顧客位置表示 / 顧客選択表示, one call per customer row:
 *       address "'" + prefecture + city + town + "'", label "person::company".
 *   検索 with a postal code: address prefecture + city + town (no quotes;
 *       empty when the code is unknown), label the code as typed, "123-4567".
 *   検索 with a typed address: "'" + typed text + "'" as address and label.
 *   The single quotes come from the program building its arguments the way
 *   it builds SQL literals; they are no part of the address. enqueue() below
 *   is the one place they are taken off (TessoloText.stripQuotes: one
 *   enclosing pair), for the label too (TessoloText.formatLabel), so that
 *   nothing after it ever sees them.
 *   The label carries two fields in one argument because the call has only
 *   one for the text: "person::company", split at the first "::" (a company
 *   name may hold another) and shown as 氏名（会社名）, either part may be
 *   empty; a label without "::" is shown as it is.
 *   A customer's call also carries its rowid (decimal text) and its fields
 *   as a JSON object text: g (groups, an array), co (company), pf, ct
 *   (prefecture, city), dp (department), ps (position), tel, mail, memo (the
 *   memo's first line); any of them may be missing. The rowid is the
 *   customer: two customers alike in every field are two, and the area
 *   list hands rowids back. A call without a rowid whose label has no "::"
 *   is a searched address (検索), no customer; one with "::" is a customer
 *   of an older caller, known by label and address.
 * set_color_by(key): colours the marks by a field of the fields object
 *   ('' for none); the legend lists the values with their counts.
 * draw_homeicon(address): the own company's prefecture + city + town, no
 *   quotes. The program sends only its first site, while the centre it keeps
 *   for draw_circle is overwritten by every site and ends as the last one:
 *   with several sites the circle may sit around another site than the icon.
 *   The page draws what it is told and does not reconcile the two.
 * draw_circle(centre, radius): the centre as draw_homeicon's address (empty
 *   until 自社表示 was pressed: then nothing is drawn), the radius the area
 *   field's text as typed, in kilometres, unchecked by the program: the page
 *   reads it (full-width digits too) and ignores anything else.
 * clearAll(): run as a script text, not as a call; removes every mark, icon,
 *   circle and the unplaced list.
 * The page lives at "/velmo/tessolo.html": "velmo" is the folder name the
 *   map page has always had beside the executable, and the program navigates
 *   to that fixed address (its address search answers under it too).
 * Calls accumulate until clearAll(); nothing is returned or read back.
 */
(function () {
  'use strict';

  const T = window.TessoloText;
  const params = new URLSearchParams(window.location.search);
  const OFFLINE = params.get('offline') === '1';
  // Street-level positions: each customer's whole address is asked of the
  // program's address search (the user's setting; offline the program
  // answers only from what it kept).
  let streetLevel = params.get('street') === '1';

  const JAPAN_CENTRE = [36.2, 137.8];
  const ZOOM_FOR_LEVEL = { refined: 15, town: 14, city: 12, pref: 8 };
  const NOTE_FOR_LEVEL = {
    refined: '国土地理院の住所検索による位置',
    city: '市区町村の代表点（おおよその位置）',
    pref: '都道府県の代表点（おおよその位置）'
  };

  // ---- map and base layers --------------------------------------------------
  // maxZoom set on the map itself: offline there is no tile layer to lend
  // one, and the cluster layer needs it.
  // The drawing tools touch only the layers that ask for them: not the tens
  // of thousands of customer marks.
  if (L.PM) L.PM.setOptIn(true);
  const map = L.map('map', { zoomControl: true, attributionControl: true, minZoom: 4, maxZoom: 18, pmIgnore: false }).setView(JAPAN_CENTRE, 5);
  map.attributionControl.setPrefix('<a href="https://leafletjs.com" target="_blank" rel="noopener">Leaflet</a>');

  // The base map is always drawn, under the tiles: online the tiles cover
  // it, offline (or wherever a tile fails) it is the map. So the map is
  // never blank.
  TessoloBasemap.addTo(map, { url: 'data/municipalities.topojson', busy: () => window.tessoloPending() > 0 });

  let tiles = null;
  if (!OFFLINE) {
    tiles = L.tileLayer('https://tile.openstreetmap.org/{z}/{x}/{y}.png', {
      maxZoom: 19,
      attribution: '地図 &copy; <a href="https://www.openstreetmap.org/copyright" target="_blank" rel="noopener">OpenStreetMap</a> contributors'
    }).addTo(map);
  }

  map.attributionControl.addAttribution(
    '位置 &copy; <a href="https://www.openstreetmap.org/copyright" target="_blank" rel="noopener">OpenStreetMap</a> contributors, ' +
    '<a href="https://www.geonames.org/" target="_blank" rel="noopener">GeoNames</a> (CC BY 4.0)');
  map.attributionControl.addAttribution('住所データ &copy; <a href="https://github.com/geolonia/japanese-addresses" target="_blank" rel="noopener">Geolonia</a> (CC BY 4.0)');
  // Offline too: points kept from earlier answers still show.
  map.attributionControl.addAttribution('位置補正 <a href="https://maps.gsi.go.jp/" target="_blank" rel="noopener">国土地理院</a>');

  // ---- looks --------------------------------------------------------------
  const ICONS = {
    exact: L.divIcon({ className: 'tsl-pin tsl-pin-exact', html: '', iconSize: [18, 18], iconAnchor: [9, 22], popupAnchor: [0, -20], tooltipAnchor: [0, -20] }),
    city: L.divIcon({ className: 'tsl-pin tsl-pin-city', html: '', iconSize: [18, 18], iconAnchor: [9, 9], popupAnchor: [0, -8], tooltipAnchor: [0, -8] }),
    pref: L.divIcon({ className: 'tsl-pin tsl-pin-pref', html: '', iconSize: [26, 26], iconAnchor: [13, 13], popupAnchor: [0, -12], tooltipAnchor: [0, -12] })
  };
  const iconFor = (level) => (level === 'city' ? ICONS.city : level === 'pref' ? ICONS.pref : ICONS.exact);

  const HOME_ICON = L.divIcon({
    className: 'tsl-home',
    html: '<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">' +
      '<path d="M16 3 L30 16 H26 V29 H19 V21 H13 V29 H6 V16 H2 Z" fill="#1f5fbf" stroke="#fff" stroke-width="1.5" stroke-linejoin="round"/>' +
      '</svg>',
    iconSize: [32, 32],
    iconAnchor: [16, 29],
    popupAnchor: [0, -26],
    tooltipAnchor: [0, -26]
  });

  function popupHtml(label, address, level, t) {
    let html = '';
    if (label) html += '<div class="tsl-popup-label">' + T.escapeHtml(label) + '</div>';
    if (address) html += '<div class="tsl-popup-address">' + T.escapeHtml(address) + '</div>';
    const note = NOTE_FOR_LEVEL[level];
    if (note) html += '<span class="tsl-popup-note tsl-popup-note-' + level + '">' + note + '</span>';
    if (t && t.fields) html += customerPopupHtml(t);
    return html || '（名称なし）';
  }

  // What a customer's popup adds: telephone and mail as links, the groups,
  // the memo's first line and the way to the customer in the roster.
  function customerPopupHtml(t) {
    const f = t.fields;
    let html = '';
    if (f.tel) {
      const number = f.tel.replace(/[^0-9+]/g, '');
      html += '<div class="tsl-popup-tel">電話 ' + (number
        ? '<a href="tel:' + number + '" class="tsl-ext">' + T.escapeHtml(f.tel) + '</a>'
        : T.escapeHtml(f.tel)) + '</div>';
    }
    if (f.mail) {
      html += '<div class="tsl-popup-mail">メール ' + (/^[^\s@<>"']+@[^\s@<>"']+$/.test(f.mail)
        ? '<a href="mailto:' + T.escapeHtml(f.mail) + '" class="tsl-ext">' + T.escapeHtml(f.mail) + '</a>'
        : T.escapeHtml(f.mail)) + '</div>';
    }
    if (f.g && f.g.length) html += '<div class="tsl-popup-groups">' + f.g.map((g) => '<span class="tsl-tag">' + T.escapeHtml(g) + '</span>').join(' ') + '</div>';
    if (f.memo) html += '<div class="tsl-popup-memo">' + T.escapeHtml(f.memo) + '</div>';
    if (t.rowid !== null) html += '<div class="tsl-popup-actions"><a href="#" class="tsl-open-roster" data-rowid="' + t.rowid + '">名簿で開く</a></div>';
    return html;
  }

  // Links in popups reach the program, which opens tel: and mailto: with the
  // desktop's own programs and brings the roster up.
  document.addEventListener('click', (ev) => {
    const a = ev.target && ev.target.closest ? ev.target.closest('.leaflet-popup a.tsl-open-roster, .leaflet-popup a.tsl-ext') : null;
    if (!a) return;
    ev.preventDefault();
    const host = window.tessoloHost;
    if (!host) return;
    try {
      if (a.classList.contains('tsl-open-roster')) {
        if (typeof host.openCustomer === 'function') host.openCustomer(Number(a.dataset.rowid));
      } else if (typeof host.openLink === 'function') {
        host.openLink(a.getAttribute('href'));
      }
    } catch (e) {
      console.error(e);
    }
  });

  function bindPopupLazily(marker) {
    if (!marker.getPopup()) marker.bindPopup(() => popupHtml(marker._tsl.label, marker._tsl.address, marker._tsl.level, marker._tsl));
  }

  // ---- colour by --------------------------------------------------------------
  // colorKey: the field the marks are coloured by ('' none). A mark's value
  // is that field, for groups the first one written. The looks are kept in
  // the page's storage (TessoloColors), so a value keeps its colour.
  let colorKey = '';
  let colouring = null;         // TessoloColors.assign result for colorKey
  const hiddenValues = new Set(); // legend entries switched off
  const colourIcons = new Map();

  function valueOf(m, key) {
    const f = m._tsl.fields || {};
    if (key === 'g') return f.g && f.g.length ? f.g[0] : '';
    return typeof f[key] === 'string' ? f[key] : '';
  }

  function colourIcon(look, level) {
    const id = look.color + look.letter + level;
    let icon = colourIcons.get(id);
    if (!icon) {
      const size = level === 'pref' ? 22 : 16;
      const shape = level === 'city' || level === 'pref' ? 'tsl-cpin-approx' : '';
      icon = L.divIcon({
        className: 'tsl-cpin ' + shape,
        html: '<span style="background:' + look.color + ';color:' + TessoloColors.inkOn(look.color) + '">' + look.letter + '</span>',
        iconSize: [size, size],
        iconAnchor: [size / 2, size / 2],
        popupAnchor: [0, -size / 2],
        tooltipAnchor: [0, -size / 2]
      });
      colourIcons.set(id, icon);
    }
    return icon;
  }

  const TessoloMarks = {
    iconFor(m) {
      if (!colorKey || !colouring) return iconFor(m._tsl.level);
      const look = colouring.lookOf(valueOf(m, colorKey)) || { color: '#9E9E9E', letter: '' };
      return colourIcon(look, m._tsl.level);
    }
  };

  function storage() {
    try { return window.localStorage; } catch { return null; }
  }

  // Every customer mark, shown or hidden by the legend.
  let allMarks = [];

  let lastRecolourMs = 0;
  window.tessoloLastRecolourMs = () => lastRecolourMs;

  function recolour() {
    const started = performance.now();
    if (!colorKey) {
      colouring = null;
    } else {
      const counts = new Map();
      for (const m of allMarks) {
        if (m._tsl.search) continue;
        const v = valueOf(m, colorKey);
        counts.set(v, (counts.get(v) || 0) + 1);
      }
      colouring = TessoloColors.assign(colorKey, counts, storage());
    }
    for (const m of allMarks) {
      const icon = TessoloMarks.iconFor(m);
      if (m._icon) m.setIcon(icon);
      else m.options.icon = icon;
    }
    applyHidden();
    group.refreshClusters();
    legend.render();
    lastRecolourMs = performance.now() - started;
  }

  // Marks of values switched off leave the cluster layer, and come back.
  function applyHidden() {
    const hide = [];
    const show = [];
    for (const m of allMarks) {
      const off = !!colouring && hiddenValues.has(colouring.entryValue(valueOf(m, colorKey))) && !m._tsl.search;
      if (off && !m._tsl.hidden) { m._tsl.hidden = true; hide.push(m); } else if (!off && m._tsl.hidden) { m._tsl.hidden = false; show.push(m); }
    }
    if (hide.length) group.removeLayers(hide);
    if (show.length) group.addLayers(show);
    if (hide.length || show.length) refreshDensity();
  }

  const legend = (() => {
    const control = L.control({ position: 'bottomright' });
    let box = null;
    control.onAdd = () => {
      box = L.DomUtil.create('div', 'tsl-legend');
      box.id = 'legend';
      L.DomEvent.disableClickPropagation(box);
      L.DomEvent.disableScrollPropagation(box);
      box.addEventListener('click', (ev) => {
        const row = ev.target.closest('[data-value]');
        if (!row) return;
        const v = row.dataset.value;
        if (hiddenValues.has(v)) hiddenValues.delete(v); else hiddenValues.add(v);
        try { applyHidden(); render(); } catch (e) { console.error(e); }
      });
      return box;
    };
    function render() {
      if (!box) return;
      box.textContent = '';
      box.hidden = !colouring;
      if (!colouring) return;
      for (const e of colouring.entries) {
        const row = document.createElement('div');
        row.className = 'tsl-legend-row' + (hiddenValues.has(e.value) ? ' tsl-legend-off' : '');
        row.dataset.value = e.value;
        row.title = hiddenValues.has(e.value) ? 'クリックで表示' : 'クリックで非表示';
        const sw = document.createElement('span');
        sw.className = 'tsl-legend-swatch';
        sw.style.background = e.look.color;
        sw.style.color = TessoloColors.inkOn(e.look.color);
        sw.textContent = e.look.letter || '';
        const name = document.createElement('span');
        name.className = 'tsl-legend-name';
        name.textContent = e.label;
        const count = document.createElement('span');
        count.className = 'tsl-legend-count';
        count.textContent = String(e.count);
        row.append(sw, name, count);
        box.appendChild(row);
      }
    }
    control.addTo(map);
    render();
    return { render };
  })();

  // A cluster's ring shows the mix of the looks it holds.
  function clusterIcon(cluster) {
    const n = cluster.getChildCount();
    const size = n < 10 ? 30 : n < 100 ? 36 : n < 1000 ? 42 : 48;
    if (!colouring) {
      const c = n < 10 ? 'small' : n < 100 ? 'medium' : 'large';
      return L.divIcon({ html: '<div><span>' + n + '</span></div>', className: 'marker-cluster marker-cluster-' + c, iconSize: L.point(40, 40) });
    }
    const byColour = new Map();
    for (const m of cluster.getAllChildMarkers()) {
      const look = colouring.lookOf(valueOf(m, colorKey)) || { color: '#9E9E9E' };
      byColour.set(look.color, (byColour.get(look.color) || 0) + 1);
    }
    let at = 0;
    const stops = [];
    for (const [colour, k] of [...byColour].sort((a, b) => b[1] - a[1])) {
      const to = at + (k / n) * 360;
      stops.push(colour + ' ' + at.toFixed(1) + 'deg ' + to.toFixed(1) + 'deg');
      at = to;
    }
    return L.divIcon({
      html: '<div class="tsl-cluster-ring" style="background:conic-gradient(' + stops.join(',') + ')"><span>' + n + '</span></div>',
      className: 'tsl-cluster',
      iconSize: L.point(size, size)
    });
  }

  window.set_color_by = function (key) {
    try {
      const k = ['g', 'co', 'pf', 'ct', 'dp', 'ps'].includes(key) ? key : '';
      if (k !== colorKey) hiddenValues.clear();
      colorKey = k;
      recolour();
    } catch (e) {
      console.error(e);
    }
  };

  // ---- state ---------------------------------------------------------------
  let geocoder = null;
  let tableFailed = false;
  let refiner = null;
  let queue = [];
  let flushTimer = null;
  let group = null;          // cluster layer of the customer marks
  let loading = 0;           // marks handed to addLayers and not yet added
  let loadingSince = 0;
  let afterLoad = null;      // view change waiting for the marks being added
  let overlays = L.layerGroup().addTo(map); // home icons and circles
  let byKey = new Map();     // normalised address → things drawn there (for refinement)
  let unplacedCount = 0;
  const panel = document.getElementById('unplaced');
  const panelList = document.getElementById('unplaced-list');
  const panelCount = document.getElementById('unplaced-count');
  let areaCircle = null;     // the circle the area panel lists
  const area = TessoloAreaPanel.attach(document, {
    read: (m) => { const ll = m.getLatLng(); return { lat: ll.lat, lng: ll.lng, level: m._tsl.level }; },
    labelOf: (m) => m._tsl.label || m._tsl.address,
    // A customer marked twice is one customer in the list; one known by
    // its rowid is never merged with another.
    keyOf: (m) => (m._tsl.rowid !== null ? 'r' + m._tsl.rowid : 'l' + m._tsl.label + '\n' + m._tsl.address),
    isSearch: (m) => m._tsl.search,
    show: (m) => { if (group.hasLayer(m)) group.zoomToShowLayer(m, () => { bindPopupLazily(m); m.openPopup(); }); },
    onLayout: () => map.invalidateSize({ pan: false, debounceMoveend: true }),
    // The area's links: the program is told which customers, nothing more.
    choose: (action, marks) => chooseCustomers(action, marks)
  });
  // The customers among the marks, by rowid, to the program.
  function chooseCustomers(action, marks) {
    const host = window.tessoloHost;
    if (!host || typeof host.chooseMarks !== 'function') return;
    const ids = [];
    for (const m of marks) if (m._tsl.rowid !== null && !m._tsl.search) ids.push(m._tsl.rowid);
    if (ids.length) host.chooseMarks(action, ids);
  }

  // A circle whose centre is refined later moves: listed again, unless a
  // newer circle has taken its place.
  function listArea(c) {
    areaCircle = c;
    listedTerritory = null;
    const list = () => {
      if (areaCircle !== c) return;
      const ll = c.getLatLng();
      area.setCircle(ll.lat, ll.lng, c.getRadius());
    };
    c.on('move', list);
    list();
  }

  function newGroup() {
    const g = TessoloClusters.layer({
      iconCreateFunction: (c) => clusterIcon(c),
      chunkProgress: (done, total) => {
        if (g !== group) return; // a group dropped by clearAll still finishing
        if (done >= total) {
          loading = 0;
          const then = afterLoad;
          afterLoad = null;
          if (then) then();
          scheduleFlush();
        }
      }
    });
    // Popups and tooltips are bound on first use: binding them up front
    // costs more than the marks themselves when there are tens of thousands.
    g.on('click', (e) => {
      const m = e.layer;
      if (!m || !m._tsl || m.getPopup()) return;
      bindPopupLazily(m);
      m.openPopup();
    });
    g.on('mouseover', (e) => {
      const m = e.layer;
      if (!m || !m._tsl || m.getTooltip() || !m._tsl.label) return;
      m.bindTooltip(T.escapeHtml(m._tsl.label), { direction: 'top' });
      m.openTooltip();
    });
    return g.addTo(map);
  }
  group = newGroup();

  // Refined points come from the program serving this page, which keeps
  // every answer it got; offline it answers from those alone and asks no one.
  if (typeof fetch === 'function') {
    refiner = TessoloRefine.createRefiner({
      fetch: (url, init) => fetch(url, init),
      street: () => streetLevel,
      onResult: (key, answer) => { try { applyRefinement(key, answer); } catch (e) { console.error(e); } }
    });
  }

  const fetchJson = (url) => fetch(url).then((r) => { if (!r.ok) throw new Error(url + ' ' + r.status); return r.json(); });
  // Without the town index the page still places at municipality level.
  const townIndex = fetchJson('data/towns/index.json').catch((e) => { console.error('town index not loaded:', e); return null; });
  let loadTowns = null;
  fetchJson('data/geocode-table.json')
    .then((table) => townIndex.then((index) => {
      geocoder = TessoloGeocoder.createGeocoder(table, index);
      loadTowns = TessoloGeocoder.createTownLoader(geocoder, (file) => fetchJson('data/towns/' + file));
    }))
    .catch((e) => { tableFailed = true; console.error('geocoding table not loaded:', e); })
    .then(() => { openingView(); scheduleFlush(); });

  // ---- density ---------------------------------------------------------------------
  // Two layers the user switches on in the layer control: the customers
  // counted per municipality on the shipped boundaries, shaded, and a heat
  // layer (leaflet.heat). Both are made when shown and again when the marks
  // change while they are.
  const densityLayer = L.layerGroup();
  const heatLayer = L.heatLayer ? L.heatLayer([], { radius: 18, blur: 15, minOpacity: 0.3, maxZoom: 12 }) : null;
  let municipalities = null; // {features, index}, read once on first use
  let densityTimer = null;

  function customerPoints() {
    return allMarks.filter((m) => !m._tsl.search && !m._tsl.hidden).map((m) => m.getLatLng());
  }

  function loadMunicipalities() {
    if (!municipalities) {
      municipalities = fetchJson('data/municipalities.topojson').then((topology) => {
        const name = Object.keys(topology.objects)[0];
        const features = topojson.feature(topology, topology.objects[name]).features;
        return { features, index: TessoloDensity.createIndex(features) };
      });
      municipalities.catch((e) => { console.error('boundaries not read:', e); municipalities = null; });
    }
    return municipalities;
  }

  function drawDensity() {
    if (!map.hasLayer(densityLayer)) return Promise.resolve();
    return loadMunicipalities().then((m) => {
      const counts = m.index.count(customerPoints());
      const classOf = TessoloDensity.classes(counts);
      const shown = [];
      counts.forEach((c, i) => { if (c > 0) shown.push(Object.assign({}, m.features[i], { properties: Object.assign({}, m.features[i].properties, { tslCount: c }) })); });
      densityLayer.clearLayers();
      L.geoJSON({ type: 'FeatureCollection', features: shown }, {
        style: (f) => ({ color: '#7f2704', weight: 0.5, fillColor: TessoloDensity.SHADES[classOf(f.properties.tslCount)], fillOpacity: 0.6 }),
        onEachFeature: (f, layer) => layer.bindTooltip(T.escapeHtml(TessoloBasemap.municipalityName(f.properties)) + ' ' + f.properties.tslCount + ' 件', { sticky: true })
      }).addTo(densityLayer);
    });
  }

  function drawHeat() {
    if (heatLayer && map.hasLayer(heatLayer)) heatLayer.setLatLngs(customerPoints());
  }

  function refreshDensity() {
    if (densityTimer !== null) return;
    densityTimer = setTimeout(() => {
      densityTimer = null;
      try { drawHeat(); drawDensity().catch((e) => console.error(e)); } catch (e) { console.error(e); }
    }, 300);
  }

  const overlaysShown = { '市区町村ごとの顧客数': densityLayer };
  if (heatLayer) overlaysShown['ヒートマップ'] = heatLayer;
  L.control.layers(null, overlaysShown, { position: 'topright', collapsed: true }).addTo(map);
  map.on('overlayadd', (e) => {
    try {
      if (e.layer === densityLayer) drawDensity().catch((err) => console.error(err));
      if (e.layer === heatLayer) drawHeat();
    } catch (err) {
      console.error(err);
    }
  });
  // For tests: the counts shown, by municipality.
  window.tessoloDensity = function (on) {
    if (on !== undefined) { if (on) densityLayer.addTo(map); else map.removeLayer(densityLayer); }
    const out = {};
    densityLayer.eachLayer((g) => g.eachLayer && g.eachLayer((l) => { out[TessoloBasemap.municipalityName(l.feature.properties)] = l.feature.properties.tslCount; }));
    return out;
  };

  // ---- a round of visits ---------------------------------------------------------
  // The customers the area panel lists (circle or territory), from the own
  // company's icon (自社表示), ordered short by straight-line distance; the
  // map shows the route and numbers, the program prints the list or opens a
  // route planner with it when asked.
  const routeLayer = L.layerGroup().addTo(map);
  const MAX_ROUND = 1000;
  let route = null; // {marks, legs, returnLeg, back}
  const routeBox = document.getElementById('route');

  function homeMark() {
    let home = null;
    overlays.eachLayer((l) => { if (!home && l instanceof L.Marker) home = l; });
    return home;
  }

  function clearRoute() {
    routeLayer.clearLayers();
    route = null;
    if (routeBox) routeBox.hidden = true;
  }

  function planRoute() {
    const home = homeMark();
    if (!home) { window.alert('出発地がありません。自社表示を押してから訪問順を求めてください。'); return; }
    // The area's or territory's list when one is shown, else every customer
    // on the map (the picker's or the roster's chosen rows, when they are
    // what was marked).
    const listed = !document.getElementById('area').hidden;
    const marks = listed ? area.marks() : allMarks.filter((m) => !m._tsl.search && !m._tsl.hidden && group.hasLayer(m));
    if (!marks.length) return;
    if (marks.length > MAX_ROUND) {
      window.alert('訪問順を求められるのは ' + MAX_ROUND + ' 件までです（' + marks.length + ' 件あります）。エリアかテリトリーで絞ってください。');
      return;
    }
    const back = document.getElementById('route-return').checked;
    const points = [home.getLatLng()].concat(marks.map((m) => m.getLatLng())).map((ll) => ({ lat: ll.lat, lon: ll.lng }));
    const order = TessoloRoute.orderVisits(points, { returnToStart: back });
    routeLayer.clearLayers();
    const path = order.map((i) => points[i]).map((p) => [p.lat, p.lon]);
    if (back) path.push(path[0]);
    L.polyline(path, { color: '#c0392b', weight: 3, opacity: 0.8, interactive: false }).addTo(routeLayer);
    const ordered = order.slice(1).map((i) => marks[i - 1]);
    const legs = [];
    for (let k = 1; k < order.length; k++) legs.push(TessoloRoute.distance(points[order[k - 1]], points[order[k]]));
    ordered.forEach((m, k) => {
      L.marker(m.getLatLng(), {
        icon: L.divIcon({ className: 'tsl-route-no', html: '<span>' + (k + 1) + '</span>', iconSize: [22, 22], iconAnchor: [11, 30] }),
        interactive: false, keyboard: false, zIndexOffset: 2000
      }).addTo(routeLayer);
    });
    const returnLeg = back ? TessoloRoute.distance(points[order[order.length - 1]], points[0]) : 0;
    route = { marks: ordered, legs, returnLeg, back };
    const km = (legs.reduce((a, b) => a + b, 0) + returnLeg) / 1000;
    document.getElementById('route-count').textContent = String(ordered.length);
    document.getElementById('route-km').textContent = km.toFixed(1) + ' km';
    routeBox.hidden = false;
    // Without a listed area the panel opens for the round alone.
    if (!listed) area.showEmpty();
  }

  function sendRoute(action) {
    const host = window.tessoloHost;
    if (!route || !host || typeof host.visitRound !== 'function') return;
    const ids = [];
    const legs = [];
    route.marks.forEach((m, k) => { if (m._tsl.rowid !== null) { ids.push(m._tsl.rowid); legs.push(Math.round(route.legs[k])); } });
    if (ids.length) host.visitRound(action, ids, legs, route.back ? Math.round(route.returnLeg) : -1);
  }

  for (const [id, fn] of [['area-route', planRoute], ['route-list', () => sendRoute('list')],
    ['route-planner', () => sendRoute('planner')], ['route-clear', clearRoute]]) {
    const el = document.getElementById(id);
    if (el) el.addEventListener('click', (ev) => { ev.preventDefault(); try { fn(); } catch (e) { console.error(e); } });
  }
  if (OFFLINE) { const el = document.getElementById('route-planner'); if (el) el.hidden = true; }
  // A button on the map for a round of every customer shown.
  const RouteControl = L.Control.extend({
    options: { position: 'topleft' },
    onAdd() {
      const box = L.DomUtil.create('div', 'leaflet-bar tsl-map-tools');
      const a = L.DomUtil.create('a', 'tsl-route-button', box);
      a.href = '#';
      a.title = '表示中の顧客の訪問順（自社から）';
      a.textContent = '順';
      L.DomEvent.disableClickPropagation(box);
      a.addEventListener('click', (ev) => { ev.preventDefault(); try { planRoute(); } catch (e) { console.error(e); } });
      return box;
    }
  });
  new RouteControl().addTo(map);

  // ---- territories ------------------------------------------------------------
  // Drawn polygons and rectangles, kept by name in the page's storage (which
  // outlives the program) and drawn again at the next start. A click on one
  // lists the customers inside it in the area panel, with its 宛名印刷 and
  // CSV出力.
  const TERRITORY_KEY = 'tessolo.territories';
  const territoryLayer = L.featureGroup().addTo(map);
  const territories = new Map(); // name → polygon
  let listedTerritory = null;

  const ringOf = (poly) => poly.getLatLngs()[0].map((ll) => [ll.lat, ll.lng]);

  function saveTerritories() {
    try {
      const list = [...territories].map(([name, poly]) => ({ name, ring: ringOf(poly) }));
      localStorage.setItem(TERRITORY_KEY, JSON.stringify(list));
    } catch (e) {
      console.error(e); // refused: the territory lasts for this start
    }
  }

  function listTerritory(poly) {
    areaCircle = null;
    listedTerritory = poly;
    area.setPolygon(ringOf(poly), poly._tslName);
  }

  function addTerritory(name, ring, keep) {
    const old = territories.get(name);
    if (old) territoryLayer.removeLayer(old);
    const poly = L.polygon(ring, { color: '#7b3fb2', weight: 2, fillOpacity: 0.06, pmIgnore: false });
    poly._tslName = name;
    poly.bindTooltip(T.escapeHtml(name), { sticky: true });
    poly.on('click', () => { try { listTerritory(poly); } catch (e) { console.error(e); } });
    territoryLayer.addLayer(poly);
    territories.set(name, poly);
    if (keep) saveTerritories();
    return poly;
  }

  function removeTerritory(poly) {
    if (territories.get(poly._tslName) !== poly) return;
    territories.delete(poly._tslName);
    territoryLayer.removeLayer(poly);
    saveTerritories();
    if (listedTerritory === poly) { listedTerritory = null; area.clear(); }
  }

  function nextTerritoryName() {
    for (let i = 1; ; i++) if (!territories.has('テリトリー' + i)) return 'テリトリー' + i;
  }

  try {
    const kept = JSON.parse(localStorage.getItem(TERRITORY_KEY) || '[]');
    if (Array.isArray(kept)) {
      for (const t of kept) {
        if (t && typeof t.name === 'string' && Array.isArray(t.ring) && t.ring.length >= 3) addTerritory(t.name, t.ring, false);
      }
    }
  } catch (e) {
    console.error('territories not read:', e);
  }

  if (map.pm) {
    try { map.pm.setLang('ja'); } catch { /* the tools keep English */ }
    map.pm.addControls({
      position: 'topleft',
      drawMarker: false, drawCircleMarker: false, drawPolyline: false, drawCircle: false, drawText: false,
      cutPolygon: false, rotateMode: false, dragMode: false, editMode: false,
      drawPolygon: true, drawRectangle: true, removalMode: true
    });
    map.on('pm:create', (e) => {
      try {
        const drawn = e.layer;
        const ring = ringOf(drawn);
        map.removeLayer(drawn);
        const answer = window.prompt('テリトリーの名前', nextTerritoryName());
        const name = answer === null ? '' : answer.trim();
        if (!name) return;
        listTerritory(addTerritory(name, ring, true));
      } catch (err) {
        console.error(err);
      }
    });
    map.on('pm:remove', (e) => { try { if (e.layer && e.layer._tslName) removeTerritory(e.layer); } catch (err) { console.error(err); } });
  }

  // ---- the view the page opens on -------------------------------------------
  // The own company's first site at a city's zoom, else the extent of the
  // customers marked last (kept in the page's storage, which outlives the
  // program), else the whole of Japan.
  const EXTENT_KEY = 'tessolo.lastMarkedExtent';
  function rememberExtent(bounds) {
    try {
      if (bounds && bounds.isValid()) localStorage.setItem(EXTENT_KEY, bounds.toBBoxString());
    } catch (e) {
      console.error(e); // storage full or refused: the next start shows Japan
    }
  }
  function openingView() {
    // Whatever the program has drawn by now frames the view itself.
    if (queue.length || group.getLayers().length || overlays.getLayers().length) return;
    const home = params.get('home');
    if (home && geocoder) {
      try {
        const r = geocoder.geocode(home);
        if (r.ok) { map.setView([r.lat, r.lng], ZOOM_FOR_LEVEL.city); return; }
      } catch (e) {
        console.error(e);
      }
    }
    try {
      const box = (localStorage.getItem(EXTENT_KEY) || '').split(',').map(Number);
      if (box.length === 4 && box.every(Number.isFinite)) {
        map.fitBounds([[box[1], box[0]], [box[3], box[2]]], { padding: [30, 30], maxZoom: 13 });
      }
    } catch (e) {
      console.error(e);
    }
  }

  // A prefecture's towns are fetched when the first address of it comes.
  // The queue waits, in its order, until every table it needs has arrived
  // (or failed: those addresses stay at municipality level); calls that come
  // meanwhile join it. queue.scanned: how much of this queue was looked at.
  let townsLoading = 0;
  function waitForTowns() {
    if (!loadTowns) return false;
    const wanted = new Set();
    for (let i = queue.scanned || 0; i < queue.length; i++) {
      try {
        for (const p of geocoder.needs(queue[i].address)) wanted.add(p);
      } catch (e) {
        console.error(e); // placed without its towns, not held up
      }
    }
    queue.scanned = queue.length;
    if (wanted.size) {
      townsLoading++;
      const done = () => { townsLoading--; scheduleFlush(); };
      loadTowns([...wanted]).then(done, done);
    }
    return townsLoading > 0;
  }

  // ---- geocoding with the stored refinements --------------------------------
  function locate(address) {
    if (!geocoder) return { ok: false, reason: 'no table', key: '' };
    let r;
    try {
      r = geocoder.geocode(address);
    } catch (e) {
      // one odd address must not cost the rest of its batch
      console.error('geocoding failed:', e);
      return { ok: false, reason: 'error', key: '' };
    }
    if (!r.ok) return r;
    if (refiner && TessoloRefine.needsRefinement(r.level, streetLevel)) {
      const hit = refiner.cached(r.key);
      if (hit) return Object.assign({}, r, { lat: hit.lat, lng: hit.lng, level: 'refined' });
      refiner.request(r.key, address, { pref: r.pref, city: r.level === 'pref' ? '' : r.city, level: r.level });
    }
    return r;
  }

  function remember(key, item) {
    if (!refiner || !key) return;
    let list = byKey.get(key);
    if (!list) byKey.set(key, (list = []));
    list.push(item);
  }

  const pendingMoves = [];
  function applyRefinement(key, answer) {
    const list = byKey.get(key);
    if (!list) return;
    const ll = L.latLng(answer.lat, answer.lng);
    for (const item of list) {
      if (item.kind === 'mark') {
        item.layer._tsl.level = 'refined';
        pendingMoves.push({ marker: item.layer, ll, group });
      } else if (item.kind === 'home') {
        item.layer.setLatLng(ll);
        item.layer.setPopupContent(popupHtml('自社', item.address, 'refined'));
      } else if (item.kind === 'circle') {
        item.layer.setLatLng(ll);
        item.layer.setStyle({ dashArray: null });
      }
    }
    scheduleFlush();
  }

  function movePending() {
    // A clustered mark moves by leaving and re-entering the cluster layer.
    const moves = pendingMoves.splice(0);
    const again = [];
    for (const mv of moves) {
      if (mv.group !== group) continue;
      group.removeLayer(mv.marker);
      mv.marker.setLatLng(mv.ll);
      mv.marker.setIcon(colorKey ? TessoloMarks.iconFor(mv.marker) : ICONS.exact);
      mv.marker.unbindPopup();
      if (!mv.marker._tsl.hidden) again.push(mv.marker);
    }
    if (again.length) {
      loading = again.length;
      loadingSince = performance.now();
      group.addLayers(again);
      area.update(again);
    }
  }

  // ---- the queue -----------------------------------------------------------
  // The program's calls arrive as separate tasks; waiting a few
  // milliseconds after the first one gathers a burst into one batch.
  const FLUSH_DELAY_MS = 10;
  // The program sends a long list as one script after another, and this
  // timer runs between two of them: while calls are still coming the
  // queue keeps gathering (drawing half and then the rest costs a second
  // round of drawing and framing), yet a long list still shows every second.
  const GATHER_MAX_MS = 1000;
  let lastCallAt = 0;
  let gatheringSince = 0;
  function stillComing() {
    const t = performance.now();
    return t - lastCallAt < FLUSH_DELAY_MS / 2 && t - gatheringSince < GATHER_MAX_MS;
  }
  function scheduleFlush() {
    if (flushTimer === null) flushTimer = setTimeout(flush, FLUSH_DELAY_MS);
  }

  function addUnplaced(label, address) {
    const li = document.createElement('li');
    li.textContent = label || address || '（名称なし）';
    if (label && address && label !== address) {
      const span = document.createElement('span');
      span.className = 'tsl-unplaced-address';
      span.textContent = ' ' + address;
      li.appendChild(span);
    }
    unplacedCount++;
    return li;
  }

  // Whether the queue must wait: for the table, for a running addLayers
  // (which flushes again when done) or for town tables. Moves waiting
  // refinements on the way.
  function mustWait() {
    if (!geocoder && !tableFailed) return true; // the table's arrival flushes again
    // A drawing that died (it runs in a timer, out of reach of flush's
    // try) must not hold the queue forever.
    if (loading > 0 && performance.now() - loadingSince < 30000) return true;
    loading = 0;
    if (pendingMoves.length) movePending();
    return loading > 0 || !queue.length || waitForTowns();
  }

  // What one batch drew: the new customer marks, the unplaced entries, and
  // the points the view should frame with the level that decides its zoom.
  function newBatchResult() {
    return { marks: [], unplaced: document.createDocumentFragment(), focus: [], focusLevel: 'pref' };
  }

  function drawMark(job, r, out) {
    if (!r.ok) { out.unplaced.appendChild(addUnplaced(job.label, job.address)); return; }
    const m = L.marker([r.lat, r.lng], { icon: iconFor(r.level), keyboard: false });
    m._tsl = { label: job.label, address: job.address, level: r.level, call: job.call,
      rowid: job.rowid, fields: job.fields, search: job.search };
    if (colorKey) m.options.icon = TessoloMarks.iconFor(m);
    out.marks.push(m);
    remember(r.key, { kind: 'mark', layer: m });
    out.focus.push([r.lat, r.lng]);
    out.focusLevel = r.level;
  }

  function drawHome(job, r, out) {
    if (!r.ok) { out.unplaced.appendChild(addUnplaced('自社', job.address)); return; }
    const h = L.marker([r.lat, r.lng], { icon: HOME_ICON, zIndexOffset: 1000, keyboard: false })
      .bindPopup(popupHtml('自社', job.address, r.level))
      .bindTooltip('自社', { direction: 'top' });
    overlays.addLayer(h);
    remember(r.key, { kind: 'home', layer: h, address: job.address });
    out.focus.push([r.lat, r.lng]);
    out.focusLevel = r.level;
  }

  function drawCircle(job, r, out) {
    if (!r.ok) { out.unplaced.appendChild(addUnplaced('エリアの中心', job.address)); return; }
    const approximate = r.level === 'city' || r.level === 'pref';
    const c = L.circle([r.lat, r.lng], {
      radius: job.km * 1000,
      color: '#1f5fbf', weight: 2, fillOpacity: 0.08,
      dashArray: approximate ? '6 6' : null,
      interactive: false
    });
    overlays.addLayer(c);
    listArea(c);
    remember(r.key, { kind: 'circle', layer: c });
    const b = c.getBounds();
    out.focus.push([b.getSouth(), b.getWest()], [b.getNorth(), b.getEast()]);
    out.focusLevel = 'circle';
  }

  const DRAW = { mark: drawMark, home: drawHome, circle: drawCircle };

  function showUnplaced(frag) {
    if (!frag.childNodes.length) return;
    panelList.appendChild(frag);
    panelCount.textContent = String(unplacedCount);
    panel.hidden = false;
  }

  function addMarks(out) {
    // The view moves once the marks are drawn (the cluster layer draws the
    // batches of one moment together, a moment later).
    const marks = out.marks;
    afterLoad = () => {
      showFocus(out.focus, out.focusLevel, marks.length === 1 ? marks[0] : null);
      if (burst) rememberExtent(burst.bounds);
    };
    for (const m of marks) allMarks.push(m);
    loading = marks.length;
    loadingSince = performance.now();
    group.addLayers(marks);
    area.add(marks);
    // New values come into the legend and take their looks.
    if (colorKey) scheduleRecolour();
    if (map.hasLayer(densityLayer) || (heatLayer && map.hasLayer(heatLayer))) refreshDensity();
  }

  let recolourTimer = null;
  function scheduleRecolour() {
    if (recolourTimer !== null) return;
    recolourTimer = setTimeout(() => {
      recolourTimer = null;
      try { recolour(); } catch (e) { console.error(e); }
    }, 50);
  }

  function frameWithoutMarks(out) {
    if (out.focusLevel !== 'circle') {
      showFocus(out.focus, out.focusLevel, null);
      return;
    }
    // Framing a circle redraws the marks around it at a new zoom, which
    // can take longer than listing them: the area panel is painted first,
    // the view follows a frame later (unless クリア came between).
    const g = group;
    requestAnimationFrame(() => setTimeout(() => {
      if (g === group) showFocus(out.focus, out.focusLevel, null);
    }, 0));
  }

  function flush() {
    flushTimer = null;
    try {
      if (mustWait()) return;
      if (stillComing()) { scheduleFlush(); return; }
      const batch = queue;
      queue = [];
      const out = newBatchResult();
      for (const job of batch) DRAW[job.kind](job, locate(job.address), out);
      showUnplaced(out.unplaced);
      if (out.marks.length) addMarks(out);
      else frameWithoutMarks(out);
    } catch (e) {
      console.error('map update failed:', e);
      loading = 0;
    }
  }

  // The program's calls come in bursts (one per customer row); the view
  // frames the whole burst, not just its last batch. A burst of one search
  // result zooms to it and opens its label.
  let burst = null; // {bounds, count, level, single, last}
  const BURST_GAP_MS = 500;

  function showFocus(points, level, single) {
    if (!points.length) return;
    const now = performance.now();
    if (!burst || now - burst.last > BURST_GAP_MS) burst = { bounds: L.latLngBounds([]), count: 0, level, single: null, last: now };
    for (const p of points) burst.bounds.extend(p);
    burst.count += points.length;
    burst.level = level;
    burst.single = burst.count === 1 ? single : null;
    burst.last = now;

    if (burst.count === 1) {
      map.setView(burst.bounds.getCenter(), Math.max(map.getZoom(), ZOOM_FOR_LEVEL[level] || 12));
    } else {
      map.fitBounds(burst.bounds, { padding: [30, 30], maxZoom: 13 });
    }
    if (burst.single) {
      const b = burst;
      const m = b.single;
      setTimeout(() => {
        if (burst !== b || b.single !== m || !group.hasLayer(m)) return; // more came, or cleared
        try {
          group.zoomToShowLayer(m, () => { if (group.hasLayer(m)) { bindPopupLazily(m); m.openPopup(); } });
        } catch (e) {
          console.error(e);
        }
      }, 100);
    }
  }

  // ---- the functions the program calls ----------------------------------------
  // The program's arguments are read here and nowhere else: the address
  // loses its quotes, the label is unpacked (see the contract at the top).
  function enqueue(kind, address, rest) {
    const job = Object.assign({ kind, address: T.stripQuotes(address) }, rest);
    if (kind === 'mark') job.label = T.formatLabel(job.label);
    if (kind === 'circle' && !job.address) return; // no centre yet: no circle
    lastCallAt = performance.now();
    if (!queue.length) gatheringSince = lastCallAt;
    queue.push(job);
    scheduleFlush();
  }

  // Every call is counted, from the page's load on: the program keeps what
  // each of its calls carried, and the number is how a mark names it back.
  let calls = 0;
  window.search_geo2 = function (address, label, rowid, fields) {
    const call = calls++;
    try {
      const id = T.parseRowid(rowid);
      const search = id === null && !String(label === undefined || label === null ? '' : label).includes('::');
      enqueue('mark', address, { label, call, rowid: id, fields: T.parseFields(fields), search });
    } catch (e) {
      console.error(e);
    }
  };

  window.draw_homeicon = function (address) {
    try {
      enqueue('home', address);
    } catch (e) {
      console.error(e);
    }
  };

  window.draw_circle = function (centre, radiusText) {
    try {
      const km = T.parseRadiusKm(radiusText);
      if (km !== null) enqueue('circle', centre, { km });
    } catch (e) {
      console.error(e);
    }
  };

  // The setting changed in the program: marks drawn from now on follow it.
  window.set_street_level = function (on) {
    streetLevel = on === true || on === '1' || on === 'true';
  };

  window.clearAll = function () {
    try {
      queue = [];
      pendingMoves.length = 0;
      byKey = new Map();
      if (refiner) refiner.clear();
      map.closePopup();
      map.removeLayer(group);
      group = newGroup();
      loading = 0;
      afterLoad = null;
      burst = null;
      overlays.clearLayers();
      panelList.textContent = '';
      unplacedCount = 0;
      panelCount.textContent = '0';
      panel.hidden = true;
      areaCircle = null;
      listedTerritory = null;
      clearRoute();
      area.clear();
      allMarks = [];
      hiddenValues.clear();
      recolour();
      refreshDensity();
    } catch (e) {
      console.error(e);
    }
  };

  // ---- for tests --------------------------------------------------------------
  // The printed map: the program hides the controls that mean nothing on
  // paper, and waits until the base map and the tiles are drawn whole.
  window.tessoloPrinting = function (on) {
    document.body.classList.toggle('tsl-printing', !!on);
  };
  window.tessoloPrintReady = function () {
    const bm = window.tessoloBasemapState ? window.tessoloBasemapState() : { ready: true };
    return (bm.ready || bm.failed) && window.tessoloPending() === 0 && !(tiles && tiles.isLoading());
  };

  // A territory as drawing it and naming it would make it; its list shown.
  window.tessoloAddTerritory = function (name, ring) {
    listTerritory(addTerritory(String(name), ring, true));
  };
  // The round shown: its customers' labels in order and the legs' metres.
  window.tessoloRoute = function () {
    return route ? { labels: route.marks.map((m) => m._tsl.label), legs: route.legs, returnLeg: route.returnLeg } : null;
  };
  window.tessoloTerritories = function () {
    return [...territories].map(([name, poly]) => ({ name, ring: ringOf(poly) }));
  };
  window.tessoloMarkCount = function () {
    return group.count();
  };
  // Calls not yet drawn: queued, waiting for the table, or handed to the
  // cluster layer and not yet drawn. 0 means every call so far is on the map or in the panel.
  window.tessoloPending = function () {
    return queue.length + loading + pendingMoves.length + (geocoder || tableFailed ? 0 : 1);
  };
  // Marks by precision: {town: n, city: n, …}.
  window.tessoloLevels = function () {
    const levels = {};
    for (const m of group.getLayers()) if (m._tsl) levels[m._tsl.level] = (levels[m._tsl.level] || 0) + 1;
    return levels;
  };
  // Asked many times a second while marks come in: counted without a copy
  // of the whole layer.
  function countRefined() {
    let n = 0;
    group.eachLayer((m) => { if (m._tsl && m._tsl.level === 'refined') n++; });
    return n;
  }
  window.tessoloState = function () {
    let homes = 0;
    let circles = 0;
    overlays.eachLayer((l) => { if (l instanceof L.Circle) circles++; else homes++; });
    return {
      marks: window.tessoloMarkCount(),
      homes,
      circles,
      unplaced: unplacedCount,
      pending: window.tessoloPending(),
      refining: refiner ? refiner.pending() : 0,
      refined: countRefined(),
      offline: OFFLINE
    };
  };
  // Every customer mark with its label, place and level.
  window.tessoloMarks = function () {
    return group.getLayers().filter((m) => m._tsl).map((m) => {
      const ll = m.getLatLng();
      return { label: m._tsl.label, lat: ll.lat, lng: ll.lng, level: m._tsl.level };
    });
  };
})();

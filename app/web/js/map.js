/*
 * The map page proper: the Leaflet map and the functions the program calls
 * (search_geo2, draw_homeicon, draw_circle, clearAll).
 *
 * The program calls those functions one by one, up to tens of thousands of
 * times in a row, and never reads anything back. So each call only queues its
 * arguments and returns; a flush a few milliseconds later geocodes the whole
 * queue and hands the marks to the cluster layer in one addLayers call. Nothing thrown here may reach the program: its browser control turns
 * a script error into an error box and stops marking the remaining rows.
 *
 * URL parameters: offline=1 keeps the page off the network: no tiles (the
 * program adds it when started with --offline, and then answers refinement
 * questions only from what it kept).
 */
(function () {
  'use strict';

  const T = window.TessoloText;
  const params = new URLSearchParams(window.location.search);
  const OFFLINE = params.get('offline') === '1';

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
  const map = L.map('map', { zoomControl: true, attributionControl: true, minZoom: 4, maxZoom: 18 }).setView(JAPAN_CENTRE, 5);
  map.attributionControl.setPrefix('<a href="https://leafletjs.com" target="_blank" rel="noopener">Leaflet</a>');

  // The base map is always drawn, under the tiles: online the tiles cover
  // it, offline (or wherever a tile fails) it is the map. So the map is
  // never blank.
  TessoloBasemap.addTo(map, { url: 'data/municipalities.topojson', busy: () => window.tessoloPending() > 0 });

  if (!OFFLINE) {
    L.tileLayer('https://tile.openstreetmap.org/{z}/{x}/{y}.png', {
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

  function popupHtml(label, address, level) {
    let html = '';
    if (label) html += '<div class="tsl-popup-label">' + T.escapeHtml(label) + '</div>';
    if (address) html += '<div class="tsl-popup-address">' + T.escapeHtml(address) + '</div>';
    const note = NOTE_FOR_LEVEL[level];
    if (note) html += '<span class="tsl-popup-note tsl-popup-note-' + level + '">' + note + '</span>';
    return html || '（名称なし）';
  }

  function bindPopupLazily(marker) {
    if (!marker.getPopup()) marker.bindPopup(() => popupHtml(marker._tsl.label, marker._tsl.address, marker._tsl.level));
  }

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
    // A customer marked twice is one customer in the list.
    keyOf: (m) => m._tsl.label + '\n' + m._tsl.address,
    show: (m) => { if (group.hasLayer(m)) group.zoomToShowLayer(m, () => { bindPopupLazily(m); m.openPopup(); }); },
    onLayout: () => map.invalidateSize({ pan: false, debounceMoveend: true })
  });
  // A circle whose centre is refined later moves: listed again, unless a
  // newer circle has taken its place.
  function listArea(c) {
    areaCircle = c;
    const list = () => {
      if (areaCircle !== c) return;
      const ll = c.getLatLng();
      area.setCircle(ll.lat, ll.lng, c.getRadius());
    };
    c.on('move', list);
    list();
  }

  function newGroup() {
    const g = L.markerClusterGroup({
      chunkedLoading: true,
      chunkDelay: 20,
      showCoverageOnHover: false,
      maxClusterRadius: 50,
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
    .then(scheduleFlush);

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
    if (refiner && TessoloRefine.needsRefinement(r.level)) {
      const hit = refiner.cached(r.key);
      if (hit) return Object.assign({}, r, { lat: hit.lat, lng: hit.lng, level: 'refined' });
      refiner.request(r.key, T.stripQuotes(address), { pref: r.pref, city: r.level === 'pref' ? '' : r.city, level: r.level });
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
      mv.marker.setIcon(ICONS.exact);
      mv.marker.unbindPopup();
      again.push(mv.marker);
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

  function flush() {
    flushTimer = null;
    if (!geocoder && !tableFailed) return; // the table's arrival flushes again
    // The running addLayers flushes when done; one that died half-way (it
    // runs in timer slices, out of reach of this try) must not hold the
    // queue forever.
    if (loading > 0 && performance.now() - loadingSince < 30000) return;
    loading = 0;
    try {
      if (pendingMoves.length) movePending();
      if (loading > 0 || !queue.length || waitForTowns()) return;
      const batch = queue;
      queue = [];
      const marks = [];
      const focus = [];
      let focusLevel = 'pref';
      const frag = document.createDocumentFragment();

      for (const job of batch) {
        const address = T.stripQuotes(job.address);
        const r = locate(job.address);
        if (job.kind === 'mark') {
          const label = T.formatLabel(job.label);
          if (!r.ok) { frag.appendChild(addUnplaced(label, address)); continue; }
          const m = L.marker([r.lat, r.lng], { icon: iconFor(r.level), keyboard: false });
          m._tsl = { label, address, level: r.level };
          marks.push(m);
          remember(r.key, { kind: 'mark', layer: m });
          focus.push([r.lat, r.lng]);
          focusLevel = r.level;
        } else if (job.kind === 'home') {
          if (!r.ok) { frag.appendChild(addUnplaced('自社', address)); continue; }
          const h = L.marker([r.lat, r.lng], { icon: HOME_ICON, zIndexOffset: 1000, keyboard: false })
            .bindPopup(popupHtml('自社', address, r.level))
            .bindTooltip('自社', { direction: 'top' });
          overlays.addLayer(h);
          remember(r.key, { kind: 'home', layer: h, address });
          focus.push([r.lat, r.lng]);
          focusLevel = r.level;
        } else if (job.kind === 'circle') {
          if (!r.ok) { frag.appendChild(addUnplaced('エリアの中心', address)); continue; }
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
          focus.push([b.getSouth(), b.getWest()], [b.getNorth(), b.getEast()]);
          focusLevel = 'circle';
        }
      }

      if (frag.childNodes.length) {
        panelList.appendChild(frag);
        panelCount.textContent = String(unplacedCount);
        panel.hidden = false;
      }
      if (marks.length) {
        // The view moves once the marks are in: moving it while the cluster
        // layer is still taking them in (zoom animation) slows both down.
        // Set before addLayers, which finishes a small batch synchronously.
        afterLoad = () => showFocus(focus, focusLevel, marks.length === 1 ? marks[0] : null);
        loading = marks.length;
        loadingSince = performance.now();
        group.addLayers(marks);
        area.add(marks);
      }
      if (!marks.length && focusLevel === 'circle') {
        // Framing a circle redraws the marks around it at a new zoom, which
        // can take longer than listing them: the area panel is painted
        // first, the view follows a frame later (unless クリア came between).
        const g = group;
        requestAnimationFrame(() => setTimeout(() => {
          if (g === group) showFocus(focus, focusLevel, null);
        }, 0));
      } else if (!marks.length) {
        showFocus(focus, focusLevel, null);
      }
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
  function enqueue(job) {
    queue.push(job);
    scheduleFlush();
  }

  window.search_geo2 = function (address, label) {
    try {
      enqueue({ kind: 'mark', address: String(address == null ? '' : address), label: String(label == null ? '' : label) });
    } catch (e) {
      console.error(e);
    }
  };

  window.draw_homeicon = function (address) {
    try {
      enqueue({ kind: 'home', address: String(address == null ? '' : address) });
    } catch (e) {
      console.error(e);
    }
  };

  window.draw_circle = function (centre, radiusText) {
    try {
      const km = T.parseRadiusKm(radiusText);
      const address = String(centre == null ? '' : centre);
      if (km === null || !T.stripQuotes(address)) return;
      enqueue({ kind: 'circle', address, km });
    } catch (e) {
      console.error(e);
    }
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
      area.clear();
    } catch (e) {
      console.error(e);
    }
  };

  // ---- for tests --------------------------------------------------------------
  window.tessoloMarkCount = function () {
    return group.getLayers().length;
  };
  // Calls not yet drawn: queued, waiting for the table, or inside a running
  // chunked addLayers. 0 means every call so far is on the map or in the panel.
  window.tessoloPending = function () {
    return queue.length + loading + pendingMoves.length + (geocoder || tableFailed ? 0 : 1);
  };
  // Marks by precision: {town: n, city: n, …}.
  window.tessoloLevels = function () {
    const levels = {};
    for (const m of group.getLayers()) if (m._tsl) levels[m._tsl.level] = (levels[m._tsl.level] || 0) + 1;
    return levels;
  };
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
      refined: group.getLayers().filter((m) => m._tsl && m._tsl.level === 'refined').length,
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

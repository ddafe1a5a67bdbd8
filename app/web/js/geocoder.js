/*
 * Offline geocoder of the map page: places an address at the most precise
 * point the shipped tables know (town, then municipality, then prefecture),
 * never in a prefecture other than the one the address names, and says which
 * level it reached so that an approximate pin can look approximate.
 *
 * Two kinds of table: the municipality table (data/geocode-table.json) with
 * the town index (data/towns/index.json: counties and a point for every
 * municipality), both loaded with the page; and one town table per
 * prefecture (data/towns/NN.json), which the page fetches only when an
 * address of that prefecture is to be placed. needs() tells which town
 * tables an address waits for; until one arrives (or if it never does) the
 * address is placed at its municipality.
 *
 * Lookups are map probes on normalised names; a city's town index is built
 * on its first use, so marking three customers indexes three cities.
 *
 * Classic script (global TessoloGeocoder) and node module alike.
 */
(function (root, factory) {
  'use strict';
  if (typeof module === 'object' && module.exports) module.exports = factory(require('./address.js'));
  else root.TessoloGeocoder = factory(root.TessoloText);
})(typeof self !== 'undefined' ? self : this, function (text) {
  'use strict';

  const { normalizeAddress, townKey, kanjiNumber } = text;

  // 横浜市西区 → parent 横浜市, ward 西区
  const WARD_RE = /^(.+?市)(.+区)$/;
  // Without the town index, any short run ending in 郡 is taken for a county;
  // with it, only the counties the prefecture has.
  const COUNTY_GUESS_RE = /^[^\d-]{1,6}?郡/;
  const COUNTY_NAME_RE = /^(.+?郡)(.+[町村])$/;
  const ISLAND_RE = /^[^\d-]{1,4}?島/;
  // Kyoto's street addresses: 烏丸通二条下る二条殿町 — the town comes after
  // the last direction.
  const DIRECTION_RE = /(?:[東西]入|上|下)(?:る|ル|がる|ガル)|[東西]入/g;
  // Where a town's name may be cut to give the name of several towns:
  // 員弁町 for 員弁町石仏, 員弁町大泉 …
  const STEM_END = '町村通条線';
  const CHOME_KEY_RE = /^(.*\D)(\d+)丁目$/;
  // 堺市 numbers its blocks 一丁, 二丁 … without the 目 (若松台一丁); a lone
  // 八丁 or 五十丁 elsewhere is a name, a run of them under one base is not.
  const CHO_KEY_RE = /^(.*\D)(\d+)丁$/;
  const SCALE = 1e4;

  // Only the lengths some key has are tried: a table of town names runs up
  // to twenty characters, most of them of two to four, and an address is
  // looked up a few times over on its way.
  const keyLengths = new WeakMap();
  function lengthsOf(map) {
    let known = keyLengths.get(map);
    if (!known || known.size !== map.size) {
      const lengths = new Set();
      for (const k of map.keys()) lengths.add(k.length);
      known = { size: map.size, list: [...lengths].sort((x, y) => y - x) };
      keyLengths.set(map, known);
    }
    return known.list;
  }

  function longestPrefix(map, maxLen, s) {
    for (const n of lengthsOf(map)) {
      if (n > maxLen || n > s.length) continue;
      const hit = map.get(s.slice(0, n));
      if (hit) return { hit, len: n };
    }
    return null;
  }

  function addTo(map, key, value) {
    const list = map.get(key);
    if (list) list.push(value); else map.set(key, [value]);
  }

  // ---- the towns of one municipality ----------------------------------------

  // A town of a town table; the written name of a 丁目 town is made only
  // when asked for (an answer's town, a cut's name).
  class Town {
    constructor(name, base, n, baseKey, lat, lng) {
      this.written = name;
      this.base = base;
      this.n = n;
      this.baseKey = baseKey; // for a 丁目 town: the key of its base
      this.lat = lat;
      this.lng = lng;
    }

    get name() {
      return this.written || (this.written = this.base + kanjiNumber(this.n) + '丁目');
    }
  }

  function decodeTowns(names, coords) {
    const towns = [];
    let lat = 0;
    let lng = 0;
    let i = 0;
    for (const entry of names ? names.split('|') : []) {
      const at = entry.indexOf('#');
      if (at < 0) {
        lat += coords[i++];
        lng += coords[i++];
        towns.push(new Town(entry, null, 0, null, lat / SCALE, lng / SCALE));
        continue;
      }
      const base = entry.slice(0, at);
      // The key of 旭町二丁目 is the key of 旭町 with 2丁目, unless the base
      // ends in what the key rules read together with the number.
      const baseKey = /[〇一二三四五六七八九十が字]$/.test(base) ? null : townKey(base);
      for (const part of entry.slice(at + 1).split(',')) {
        const dash = part.indexOf('-');
        const a = Number(dash < 0 ? part : part.slice(0, dash));
        const b = dash < 0 ? a : Number(part.slice(dash + 1));
        for (let n = a; n <= b; n++) {
          lat += coords[i++];
          lng += coords[i++];
          towns.push(new Town(null, base, n, baseKey, lat / SCALE, lng / SCALE));
        }
      }
    }
    return towns;
  }

  function mean(list, name) {
    let lat = 0;
    let lng = 0;
    for (const t of list) { lat += t.lat; lng += t.lng; }
    return { name, lat: lat / list.length, lng: lng / list.length };
  }

  function indexTowns(towns) {
    const exact = new Map(); // town key → town, but for 丁目 towns:
    const chome = new Map(); // key of the base → (丁目 number → town)
    let maxExact = 0;
    let maxBase = 0;
    const addChome = (base, n, t) => {
      let g = chome.get(base);
      if (!g) chome.set(base, (g = new Map()));
      if (!g.has(n)) g.set(n, t);
      if (base.length > maxBase) maxBase = base.length;
    };
    const cho = new Map(); // base key → [[number, town, key]] of its 丁 towns
    const addExact = (k, t) => {
      if (!exact.has(k)) exact.set(k, t);
      if (k.length > maxExact) maxExact = k.length;
    };
    for (const t of towns) {
      if (t.baseKey !== null) { addChome(t.baseKey, t.n, t); continue; }
      const k = townKey(t.name);
      const c = CHOME_KEY_RE.exec(k);
      if (c) { addChome(c[1], Number(c[2]), t); continue; }
      const d = CHO_KEY_RE.exec(k);
      if (d) { addTo(cho, d[1], [Number(d[2]), t, k]); continue; }
      addExact(k, t);
    }
    for (const [base, list] of cho) {
      for (const [n, t, k] of list) {
        if (list.length > 1) addChome(base, n, t); else addExact(k, t);
      }
    }
    // Cuts are only needed for what no whole town matches: made on demand.
    let stems = null; // a cut of town keys → towns that begin so
    let maxStem = 0;
    const addStem = (c, t) => {
      addTo(stems, c, t);
      if (c.length > maxStem) maxStem = c.length;
    };
    const cutsOf = (k, end, t) => {
      for (let at = 1; at < end; at++) if (STEM_END.indexOf(k[at]) >= 0) addStem(k.slice(0, at + 1), t);
    };
    function cutAll() {
      stems = new Map();
      for (const [k, t] of exact) cutsOf(k, k.length - 1, t);
      for (const [base, g] of chome) {
        for (const t of g.values()) {
          // one character (枝 of 枝一丁目) only as a 丁目 base; see matchTowns
          addStem(base, t);
          cutsOf(base, base.length - 1, t);
        }
      }
    }
    const stemPoint = new Map();
    return {
      exact, maxExact,
      chome(base, n) {
        const g = chome.get(base);
        return (g && g.get(n)) || null;
      },
      maxBase,
      stem(s) {
        if (!stems) cutAll();
        const hit = longestPrefix(stems, maxStem, s);
        if (!hit) return null;
        const key = s.slice(0, hit.len);
        let p = stemPoint.get(key);
        if (!p) stemPoint.set(key, (p = mean(hit.hit, hit.hit.length === 1 ? hit.hit[0].name : stemName(hit.hit, key))));
        return { town: p, len: hit.len };
      }
    };
  }

  // The written name of a cut, taken from one of its towns: as many
  // characters of the name as give the key.
  function stemName(towns, key) {
    const name = towns[0].name;
    for (let n = 1; n <= name.length; n++) if (townKey(name.slice(0, n)) === key) return name.slice(0, n);
    return key;
  }

  // The town part of an address against the towns of one municipality.
  // Returns {town, len} (len: how much of s the town took) or null.
  function matchTowns(idx, s) {
    if (!s) return null;
    // The longest whole town the address begins with, 丁目 towns included.
    const plain = longestPrefix(idx.exact, idx.maxExact, s);
    let best = plain ? { town: plain.hit, len: plain.len } : null;
    const whole = /(\d+)丁目/g;
    let m;
    while ((m = whole.exec(s)) && m.index <= idx.maxBase) {
      const t = idx.chome(s.slice(0, m.index), Number(m[1]));
      const len = m.index + m[0].length;
      if (t && (!best || len > best.len)) best = { town: t, len };
    }
    const e = best ? best.len : 0;
    // 旭町2-1, 旭町2 (二丁目 has become 2丁目 by now): the first number
    // after a name is its 丁目 where the table has that 丁目.
    const re = /\d+/g;
    for (let runs = 0; runs < 3 && (m = re.exec(s)) && m.index <= idx.maxBase; ) {
      if (m.index < Math.max(1, e)) continue;
      runs++;
      const t = idx.chome(s.slice(0, m.index), Number(m[0]));
      if (t) return { town: t, len: m.index + m[0].length };
    }
    // Where the address goes on past the longest whole town into what only
    // the beginnings of towns share (朝日町 with 朝日町一丁目 … 三丁目), it is
    // at the middle of those towns.
    // (no cut goes on past a whole town into a dash or the end)
    const stem = e && (e === s.length || s[e] === '-') ? null : idx.stem(s);
    // A one-character base stands alone or before the house number: 枝3-1,
    // not 東新宿.
    if (stem && stem.len > e && (stem.len > 1 || s.length === 1 || /^[\d-]/.test(s[1]))) return stem;
    return best;
  }

  function townCandidates(s) {
    const out = [];
    let last = -1;
    let m;
    DIRECTION_RE.lastIndex = 0;
    while ((m = DIRECTION_RE.exec(s))) last = m.index + m[0].length;
    if (last > 0 && last < s.length) out.push(s.slice(last));
    out.push(s);
    return out;
  }

  // ---- the index: prefectures, municipalities, the national name list -------

  function cityEntry(pref, name, lat, lng) {
    return { name, pointName: name, lat, lng, townsName: null, towns: null, wards: null, viaParent: false, pref };
  }

  function addCity(pref, key, city) {
    pref.cities.set(key, city);
    pref.maxCity = Math.max(pref.maxCity, key.length);
  }

  // One prefecture of the municipality table with its municipalities.
  function readPrefecture(name, lat, lng, cities) {
    const norm = normalizeAddress(name);
    const pref = { name, norm, lat, lng, cities: new Map(), maxCity: 0, counties: null, file: null, towns: 'none' };
    const rows = Object.entries(cities || {});
    const byName = new Map(rows);
    for (const [cname, row] of rows) {
      const city = cityEntry(pref, cname, row[0], row[1]);
      if (city.lat == null) {
        // A ward the table knows only by its towns: it stands on its
        // parent city's point (unless the town index gives it its own).
        const m = WARD_RE.exec(cname);
        const parent = m && byName.get(m[1]);
        if (!parent || parent[0] == null) continue;
        city.lat = parent[0];
        city.lng = parent[1];
        city.pointName = m[1];
        city.viaParent = true;
      }
      if (row[2]) {
        // Towns of the municipality table itself (a few, from GeoNames);
        // the prefecture's town table replaces them when it arrives.
        city.towns = indexTowns(Object.entries(row[2]).map(([t, p]) => new Town(t, null, 0, null, p[0], p[1])));
      }
      addCity(pref, normalizeAddress(cname), city);
    }
    return pref;
  }

  // The town index's entry for one prefecture: its town table's file, its
  // counties and a point for every municipality the town table has.
  function addTownIndexEntry(pref, file, counties, points) {
    pref.file = file;
    pref.counties = new Set((counties || []).map(normalizeAddress));
    for (const [townsName, pt] of Object.entries(points || {})) {
      const c = COUNTY_NAME_RE.exec(townsName);
      const key = normalizeAddress(c ? c[2] : townsName);
      let city = pref.cities.get(key);
      if (!city) {
        city = cityEntry(pref, c ? c[2] : townsName, pt[0] / SCALE, pt[1] / SCALE);
        addCity(pref, key, city);
      } else if (city.viaParent) {
        city.lat = pt[0] / SCALE;
        city.lng = pt[1] / SCALE;
        city.pointName = city.name;
        city.viaParent = false;
      }
      city.townsName = townsName;
      if (c) city.county = normalizeAddress(c[1]);
    }
    // A designated city: its wards, to look a town up in when the
    // address leaves the ward out or names a ward the table predates.
    for (const [key, city] of pref.cities) {
      const w = WARD_RE.exec(key);
      const parent = w && pref.cities.get(w[1]);
      if (parent && city.townsName) (parent.wards || (parent.wards = [])).push(city);
    }
  }

  // Wards newer than the town table (浜松市中央区): the index names the
  // table's wards their towns lie in (the abolished ones). Those stand
  // in for them, so a namesake ward elsewhere wins 中央区板屋町 only
  // where none of them has such a town.
  function addNewWards(pref, wards) {
    for (const [wname, from] of Object.entries(wards)) {
      const key = normalizeAddress(wname);
      const w = WARD_RE.exec(key);
      const parent = w && pref.cities.get(w[1]);
      const standIn = (Array.isArray(from) ? from : [])
        .map((f) => pref.cities.get(normalizeAddress(f))).filter((c) => c && c.townsName);
      if (!parent || !standIn.length || pref.cities.has(key)) continue;
      const city = cityEntry(pref, wname, parent.lat, parent.lng);
      city.pointName = parent.pointName;
      city.viaParent = true;
      city.wards = standIn;
      city.newWard = true;
      addCity(pref, key, city);
    }
  }

  function applyTownIndex(prefs, townIndex) {
    for (const [name, file, counties, points] of townIndex.prefectures) {
      const pref = prefs.get(normalizeAddress(name));
      if (pref) addTownIndexEntry(pref, file, counties, points);
    }
    for (const [name, wards] of Object.entries(townIndex.wardsWithoutTowns || {})) {
      const pref = prefs.get(normalizeAddress(name));
      if (pref && wards && typeof wards === 'object') addNewWards(pref, wards);
    }
  }

  // Municipality name (and a designated city's bare ward name) → every
  // {pref, city} of Japan that bears it. Fills each prefecture's bare
  // ward names on the way.
  function nationalNames(prefs) {
    const national = new Map();
    let maxNational = 0;
    for (const pref of prefs.values()) {
      for (const [key, city] of pref.cities) {
        addTo(national, key, city);
        maxNational = Math.max(maxNational, key.length);
        const w = WARD_RE.exec(key);
        // 北区 alone is 東京都北区 and 大阪市北区 and 名古屋市北区 …
        if (w) {
          addTo(national, w[2], city);
          maxNational = Math.max(maxNational, w[2].length);
          // …and 大阪府北区 is 大阪市北区 or 堺市北区
          if (!pref.bareWards) { pref.bareWards = new Map(); pref.maxWard = 0; }
          addTo(pref.bareWards, w[2], city);
          pref.maxWard = Math.max(pref.maxWard, w[2].length);
        }
      }
    }
    return { national, maxNational };
  }

  function buildIndex(table, townIndex) {
    if (!table || !Array.isArray(table.prefectures)) throw new Error('geocoding table has no prefectures');
    const prefs = new Map();
    const shortPrefs = new Map();
    for (const [name, lat, lng, cities] of table.prefectures) {
      const pref = readPrefecture(name, lat, lng, cities);
      prefs.set(pref.norm, pref);
      const short = pref.norm.replace(/[都府県]$/, '');
      if (short !== pref.norm) shortPrefs.set(short, pref);
    }
    if (townIndex && Array.isArray(townIndex.prefectures)) applyTownIndex(prefs, townIndex);
    return Object.assign({ prefs, shortPrefs }, nationalNames(prefs));
  }

  // ---- municipality ----------------------------------------------------------

  // A county (郡) or island (島) in front of a municipality: 糟屋郡宇美町.
  // With the town index only a county of the prefecture counts, so that
  // 山口市小郡大江町 stays 山口市 (小郡 is a town of it).
  function countyLen(pref, rest) {
    if (pref && pref.counties) {
      for (let n = 2; n <= Math.min(8, rest.length - 1); n++) {
        if (rest[n - 1] === '郡' && pref.counties.has(rest.slice(0, n))) return n;
      }
      return 0;
    }
    const m = COUNTY_GUESS_RE.exec(rest);
    return m ? m[0].length : 0;
  }

  function findCity(pref, rest) {
    const n = countyLen(pref, rest);
    if (n) {
      const hit = longestPrefix(pref.cities, pref.maxCity, rest.slice(n));
      if (hit) return { city: hit.hit, len: n + hit.len };
    }
    const plain = longestPrefix(pref.cities, pref.maxCity, rest);
    if (plain) return { city: plain.hit, len: plain.len };
    const island = ISLAND_RE.exec(rest);
    if (island) {
      const hit = longestPrefix(pref.cities, pref.maxCity, rest.slice(island[0].length));
      if (hit) return { city: hit.hit, len: island[0].length + hit.len };
    }
    return null;
  }

  // A municipality named without its prefecture: every reading of it,
  // {city, rest} — one per municipality of Japan that bears the name.
  function findNational(ix, s) {
    const out = [];
    const tryFrom = (at, county) => {
      const hit = longestPrefix(ix.national, ix.maxNational, s.slice(at));
      if (!hit) return;
      for (const city of hit.hit) {
        if (county && !(city.pref.counties ? city.pref.counties.has(county) : true)) continue;
        out.push({ city, rest: s.slice(at + hit.len) });
      }
    };
    const county = COUNTY_GUESS_RE.exec(s);
    if (county) tryFrom(county[0].length, county[0]);
    if (!out.length) tryFrom(0, null);
    const island = out.length ? null : ISLAND_RE.exec(s);
    if (island) tryFrom(island[0].length, null);
    return out;
  }

  // A bare ward name within a prefecture (大阪府北区梅田): the wards of
  // that name its designated cities have.
  function findWards(pref, rest) {
    const hit = pref.bareWards && longestPrefix(pref.bareWards, pref.maxWard, rest);
    return hit ? hit.hit.map((city) => ({ city, rest: rest.slice(hit.len) })) : [];
  }

  // ---- town ------------------------------------------------------------------

  function placeTown(city, rest) {
    const s = townKey(rest, true); // rest: what follows the municipality in the normalized address
    // 浜松市中央区… (a ward newer than the table) or 横浜市みなとみらい
    // (ward left out): the towns of every ward of the city, before the
    // few the municipality table itself may hold for the city.
    // (a ward newer than the table: its name is read already, and the
    // wards standing in for it are all it has)
    const tried = city.newWard ? city.wards : city.wards ? [...city.wards, city] : [city];
    for (const cand of townCandidates(s)) {
      let best = null;
      for (const c of tried) {
        const idx = c.towns;
        if (!idx) continue;
        const part = city.wards && !city.newWard ? cand.replace(/^[^\d-]{1,5}?区/, '') : cand;
        const hit = matchTowns(idx, part);
        if (hit && (!best || hit.len > best.hit.len)) best = { hit, city: c };
        if (best && !city.wards) break;
      }
      if (best) return best;
    }
    return null;
  }

  // Of several readings, the one town only one of them has; null if none
  // or more than one has it.
  function placeByTown(readings, key) {
    const hits = readings.map((c) => placeAtCity(c.city, c.rest, key)).filter((r) => r.level === 'town');
    return { hit: hits.length === 1 ? hits[0] : null, ambiguous: hits.length > 1 };
  }

  function placeIn(pref, rest, key) {
    const found = findCity(pref, rest);
    if (found) return placeAtCity(found.city, rest.slice(found.len), key);
    const wards = findWards(pref, rest);
    if (wards.length === 1) return placeAtCity(wards[0].city, wards[0].rest, key);
    const byTown = wards.length ? placeByTown(wards, key).hit : null;
    return byTown || { ok: true, level: 'pref', lat: pref.lat, lng: pref.lng, pref: pref.name, key };
  }

  function placeAtCity(city, rest, key) {
    const t = placeTown(city, rest);
    if (t) {
      return {
        ok: true, level: 'town', lat: t.hit.town.lat, lng: t.hit.town.lng,
        pref: city.pref.name, city: t.city.name, town: t.hit.town.name, key
      };
    }
    return {
      ok: true, level: 'city', lat: city.lat, lng: city.lng,
      pref: city.pref.name, city: city.pointName, viaParent: city.viaParent, key
    };
  }

  // ---- the geocoder ----------------------------------------------------------

  // What an address starts with: its prefecture with the rest, or (no
  // prefecture written) the municipalities it may name.
  function parse(ix, key) {
    const pref = ix.prefs.get(key.slice(0, 3)) || ix.prefs.get(key.slice(0, 4));
    if (pref) return { pref, rest: key.slice(pref.norm.length) };
    // 東京府中市 for 東京都府中市 — but 福島区 and 大阪市 are no prefectures.
    for (const n of [2, 3]) {
      const p = ix.shortPrefs.get(key.slice(0, n));
      if (!p || /^[市区町村郡]/.test(key.slice(n))) continue;
      if (findCity(p, key.slice(n)) || findWards(p, key.slice(n)).length) return { pref: p, rest: key.slice(n) };
    }
    const cities = findNational(ix, key);
    if (cities.length) return { cities };
    for (const n of [2, 3]) {
      const p = ix.shortPrefs.get(key.slice(0, n));
      if (p && !/^[市区町村郡]/.test(key.slice(n))) return { pref: p, rest: key.slice(n) };
    }
    return null;
  }

  function geocode(ix, address) {
    const key = normalizeAddress(address);
    if (!key) return { ok: false, reason: 'empty', key };
    const p = parse(ix, key);
    if (!p) return { ok: false, reason: 'unknown', key };
    if (p.pref) return placeIn(p.pref, p.rest, key);
    if (p.cities.length === 1) return placeAtCity(p.cities[0].city, p.cities[0].rest, key);
    // A name several municipalities bear (府中市, 北区): only a town that
    // exactly one of them has tells which.
    const { hit, ambiguous } = placeByTown(p.cities, key);
    return hit || { ok: false, reason: ambiguous ? 'ambiguous' : 'unknown', key };
  }

  // The prefectures whose town tables the address waits for.
  function needs(ix, address) {
    const key = normalizeAddress(address);
    if (!key) return [];
    const p = parse(ix, key);
    if (!p) return [];
    const list = p.pref ? [p.pref] : [...new Set(p.cities.map((c) => c.city.pref))];
    return list.filter((pr) => pr.file && pr.towns === 'none').map((pr) => pr.name);
  }

  // The town table of a prefecture, as fetched; a prefecture whose table
  // cannot be had is given null and stays at municipality level.
  function addTowns(pref, data) {
    pref.towns = 'loaded';
    if (!data || !Array.isArray(data.cities)) return;
    const byTownsName = new Map();
    for (const city of pref.cities.values()) if (city.townsName) byTownsName.set(city.townsName, city);
    for (const [cname, names, coords] of data.cities) {
      const city = byTownsName.get(cname);
      if (!city) continue;
      let idx = null;
      // indexed on first use: a prefecture has up to 200 municipalities
      Object.defineProperty(city, 'towns', {
        configurable: true,
        enumerable: true,
        get() { return idx || (idx = indexTowns(decodeTowns(names, coords || []))); }
      });
    }
  }

  // Addresses are taken as they are: the program's quotes are taken off by
  // the page before they get here (and would be dropped as punctuation).
  function createGeocoder(table, townIndex) {
    const ix = buildIndex(table, townIndex);
    const prefByName = (name) => ix.prefs.get(normalizeAddress(name)) || null;
    // Once every town table is in, no address waits: asking each of tens of
    // thousands of addresses would cost as much as placing them again.
    const someWaiting = () => [...ix.prefs.values()].some((p) => p.file && p.towns === 'none');
    let waiting = someWaiting();
    return {
      geocode: (address) => geocode(ix, address),
      needs: (address) => (waiting ? needs(ix, address) : []),
      addTowns(name, data) {
        const pref = prefByName(name);
        if (pref) addTowns(pref, data);
        waiting = someWaiting();
      },
      townFile(name) {
        const p = prefByName(name);
        return p && p.file;
      },
      prefectureOf(name) {
        const p = prefByName(name);
        return p ? { name: p.name, lat: p.lat, lng: p.lng } : null;
      },
      prefectureNames: () => [...ix.prefs.values()].map((p) => p.name)
    };
  }

  // Fetches the town tables the addresses wait for, each once; resolves
  // when every one asked for has arrived or failed. fetchJson(file) → Promise.
  // A table that does not come within timeoutMs counts as failed: the marks
  // waiting for it are drawn at their municipalities instead of never.
  function createTownLoader(geocoder, fetchJson, timeoutMs = 15000) {
    const inTime = (p) => new Promise((resolve, reject) => {
      const timer = setTimeout(() => reject(new Error('no answer in ' + timeoutMs + ' ms')), timeoutMs);
      p.then((v) => { clearTimeout(timer); resolve(v); }, (e) => { clearTimeout(timer); reject(e); });
    });
    const inFlight = new Map();
    return function load(prefNames) {
      const waits = [];
      for (const name of prefNames) {
        let p = inFlight.get(name);
        if (!p) {
          const file = geocoder.townFile(name);
          p = Promise.resolve()
            .then(() => inTime(Promise.resolve(fetchJson(file))))
            .then((data) => geocoder.addTowns(name, data), (e) => {
              geocoder.addTowns(name, null);
              if (typeof console !== 'undefined') console.error('town table not loaded:', name, e);
            })
            .catch((e) => { geocoder.addTowns(name, null); if (typeof console !== 'undefined') console.error(e); });
          inFlight.set(name, p);
        }
        waits.push(p);
      }
      return Promise.all(waits);
    };
  }

  return { createGeocoder, createTownLoader };
});

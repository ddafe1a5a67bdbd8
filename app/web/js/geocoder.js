/*
 * Offline geocoder of the map page: places an address at the most precise
 * point the shipped table knows (town, then municipality, then prefecture),
 * and says which level it reached so that an approximate pin can look
 * approximate.
 *
 * The table (data/geocode-table.json) is indexed once into maps keyed by the
 * normalised names, so one lookup costs a handful of map probes: a customer
 * list of tens of thousands of rows is geocoded in well under a second.
 *
 * Classic script (global TessoloGeocoder) and node module alike.
 */
(function (root, factory) {
  'use strict';
  if (typeof module === 'object' && module.exports) module.exports = factory(require('./address.js'));
  else root.TessoloGeocoder = factory(root.TessoloText);
})(typeof self !== 'undefined' ? self : this, function (text) {
  'use strict';

  const { normalizeAddress, stripQuotes } = text;

  // 横浜市西区 → parent 横浜市
  const WARD_RE = /^(.+?市)(.+区)$/;
  // A county (郡) or, in the Tokyo islands, an island (三宅島) written in
  // front of the municipality; the table names municipalities without it.
  const COUNTY_RE = /^[^\d-]{1,6}?郡/;
  const ISLAND_RE = /^[^\d-]{1,4}?島/;
  const AZA_RE = /^(大字|字)/;

  function longestPrefix(map, maxLen, s) {
    for (let n = Math.min(maxLen, s.length); n > 0; n--) {
      const hit = map.get(s.slice(0, n));
      if (hit) return { hit, len: n };
    }
    return null;
  }

  function createGeocoder(table) {
    if (!table || !Array.isArray(table.prefectures)) throw new Error('geocoding table has no prefectures');
    const prefs = new Map();
    const shortPrefs = new Map();
    const national = new Map(); // municipality name → [{pref, city}] across Japan
    let maxNational = 0;

    for (const [name, lat, lng, cities] of table.prefectures) {
      const norm = normalizeAddress(name);
      const pref = { name, norm, lat, lng, cities: new Map(), maxCity: 0 };
      prefs.set(norm, pref);
      const short = norm.replace(/[都府県]$/, '');
      if (short !== norm) shortPrefs.set(short, pref);

      const rows = Object.entries(cities || {});
      const byName = new Map(rows);
      for (const [cname, row] of rows) {
        const city = { name: cname, pointName: cname, lat: row[0], lng: row[1], towns: null, maxTown: 0, viaParent: false };
        if (city.lat == null) {
          // A ward the table knows only by its towns: it stands on its
          // parent city's point.
          const m = WARD_RE.exec(cname);
          const parent = m && byName.get(m[1]);
          if (!parent || parent[0] == null) continue;
          city.lat = parent[0];
          city.lng = parent[1];
          city.pointName = m[1];
          city.viaParent = true;
        }
        if (row[2]) {
          city.towns = new Map();
          for (const [tname, tp] of Object.entries(row[2])) {
            const tn = normalizeAddress(tname);
            city.towns.set(tn, { name: tname, lat: tp[0], lng: tp[1] });
            city.maxTown = Math.max(city.maxTown, tn.length);
          }
        }
        const cn = normalizeAddress(cname);
        pref.cities.set(cn, city);
        pref.maxCity = Math.max(pref.maxCity, cn.length);
        if (!national.has(cn)) national.set(cn, []);
        national.get(cn).push({ pref, city });
        maxNational = Math.max(maxNational, cn.length);
      }
    }

    function findCity(pref, rest) {
      const county = COUNTY_RE.exec(rest);
      if (county) {
        const hit = longestPrefix(pref.cities, pref.maxCity, rest.slice(county[0].length));
        if (hit) return { city: hit.hit, len: county[0].length + hit.len };
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

    // A municipality named without its prefecture, accepted only where the
    // name belongs to one prefecture (府中市 is both Tokyo's and Hiroshima's).
    function findNational(s) {
      const tries = [s];
      const county = COUNTY_RE.exec(s);
      if (county) tries.unshift(s.slice(county[0].length));
      for (const t of tries) {
        const hit = longestPrefix(national, maxNational, t);
        if (hit && hit.hit.length === 1) return { pref: hit.hit[0].pref, rest: t };
      }
      return null;
    }

    function placeIn(pref, rest, key) {
      const found = findCity(pref, rest);
      if (!found) {
        return { ok: true, level: 'pref', lat: pref.lat, lng: pref.lng, pref: pref.name, key };
      }
      const { city, len } = found;
      if (city.towns) {
        const townRest = rest.slice(len).replace(AZA_RE, '');
        const t = longestPrefix(city.towns, city.maxTown, townRest);
        if (t) {
          return {
            ok: true, level: 'town', lat: t.hit.lat, lng: t.hit.lng,
            pref: pref.name, city: city.name, town: t.hit.name, key
          };
        }
      }
      return {
        ok: true, level: 'city', lat: city.lat, lng: city.lng,
        pref: pref.name, city: city.pointName, viaParent: city.viaParent, key
      };
    }

    function geocode(address) {
      const key = normalizeAddress(stripQuotes(address));
      if (!key) return { ok: false, reason: 'empty', key };
      const pref = prefs.get(key.slice(0, 3)) || prefs.get(key.slice(0, 4));
      if (pref) return placeIn(pref, key.slice(pref.norm.length), key);

      // Written without the prefecture, or with 東京 for 東京都.
      let shortPref = null;
      for (const n of [2, 3]) {
        const p = shortPrefs.get(key.slice(0, n));
        if (!p) continue;
        shortPref = p;
        const r = placeIn(p, key.slice(n), key);
        if (r.level !== 'pref') return r;
      }
      const nat = findNational(key);
      if (nat) return placeIn(nat.pref, nat.rest, key);
      if (shortPref) return { ok: true, level: 'pref', lat: shortPref.lat, lng: shortPref.lng, pref: shortPref.name, key };
      return { ok: false, reason: 'unknown', key };
    }

    function prefectureOf(name) {
      const p = prefs.get(normalizeAddress(name));
      return p ? { name: p.name, lat: p.lat, lng: p.lng } : null;
    }

    return { geocode, prefectureOf, prefectureNames: () => [...prefs.values()].map((p) => p.name) };
  }

  return { createGeocoder };
});
